#include "mainwindow/formmain.h"

#include "analysiswindow/analysiswindow.h"
#include "connection/comlink.h"
#include "dialogs/formoptions.h"
#include "state/appstate.h"
#include "tables/tableset.h"
#include "widgets/appicon.h"
#include "widgets/controls.h"
#include "widgets/windowfont.h"
#include "widgets/flexgrid.h"
#include "widgets/panelcache.h"
#include "widgets/twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <memory>

namespace {
// Client area of a new window, in twips, before start-up applies the stored size.
constexpr double DesignClientWidth = 6015;
constexpr double DesignClientHeight = 8895;

QFont arial(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    return font;
}

// The live values change up to five times a second; numbers and units need no text shaping, which
// otherwise costs more than drawing them.
QFont liveArial(double points)
{
    QFont font = arial(points);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}
} // namespace

FormMain::FormMain(AppState& state, ComLink& link, QWidget* parent)
    : QWidget(parent), m_state(state), m_link(link)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("TARNOLUX"));
    setFont(windowFont());
    resize(Twips::toPixels(DesignClientWidth), Twips::toPixels(DesignClientHeight));
    // The native window gives the frame margins that outer window sizes need.
    winId();

    createControls();
    AppIcon::decorateMainWindow(this, Command2);
    m_tables = std::make_unique<TableSet>(m_state, this);
    TableButtons buttons;
    buttons.CommandVal2Table = CommandVal2Table;
    buttons.CommandDelete = CommandDelete;
    buttons.CommandClearGrid = CommandClearGrid;
    buttons.CommandLoadFromOrv = CommandLoadFromOrv;
    buttons.CommMean = CommMean;
    buttons.CT = CT;
    m_tables->setButtons(buttons);
    m_tables->setTobarBoxes({TextTobar, TextGONG, TextReticle});
    m_tables->setStopStoring([this] { CommandStop_Click(); });
    m_analysis = new AnalysisWindow(m_state, *m_tables, m_link.log(), this);
    m_tables->setLog(&m_link.log());
    connectHandlers();
    createTableMenu();

    m_link.setWindowParent(this);
    m_link.setMainWindow(this);

    TimerDisplay = new QTimer(this);
    TimerDisplay->setObjectName(QStringLiteral("TimerDisplay"));
    TimerDisplay->setInterval(200);
    connect(TimerDisplay, &QTimer::timeout, this, &FormMain::TimerDisplay_Timer);
    TimerDisplay->start();

    Form_Load();
    Controls::orderTabs(this);
}

FormMain::~FormMain()
{
    // Deleted while this is still whole: its destroyed signal writes m_options.
    delete m_options;
    m_link.setMainWindow(nullptr);
    if (m_link.windowParent() == this)
        m_link.setWindowParent(nullptr);
}

void FormMain::createControls()
{
    using Controls::make;
    CommandOpen = make<CommandButton>(this, "CommandOpen", QStringLiteral("Open"), {120, 120, 855, 375});
    CommandSave = make<CommandButton>(this, "CommandSave", QStringLiteral("Save"), {960, 120, 855, 375});
    CommandConnect =
        make<CommandButton>(this, "CommandConnect", QStringLiteral("Connection"), {1800, 120, 975, 375});
    CommandOptions =
        make<CommandButton>(this, "CommandOptions", QStringLiteral("Options"), {2760, 120, 855, 375});
    Command1 =
        make<CommandButton>(this, "Command1", QStringLiteral("Table to clipboard"), {3600, 120, 1455, 375});
    Command2 = make<CommandButton>(this, "Command2", QString(), {5160, 60, 735, 495});
    LabelX = make<QLabel>(this, "LabelX", QStringLiteral("X"), {2040, 600, 375, 615});
    LabelY = make<QLabel>(this, "LabelY", QStringLiteral("Y"), {1920, 1200, 615, 615});
    TextX = make<QLineEdit>(this, "TextX", QString(), {2400, 600, 1935, 495});
    TextY = make<QLineEdit>(this, "TextY", QString(), {2400, 1200, 1935, 495});
    OptionArcsec = make<OptionButton>(this, "OptionArcsec", QStringLiteral("arcsec"), {4680, 600, 1335, 255});
    OptionDegree = make<OptionButton>(this, "OptionDegree", QStringLiteral("degree"), {4680, 840, 1455, 255});
    OptionSecMinDeg =
        make<OptionButton>(this, "OptionSecMinDeg", QStringLiteral("deg-min-sec"), {4680, 1080, 1335, 255});
    OptionMrad = make<OptionButton>(this, "OptionMrad", QStringLiteral("mrad"), {4680, 1320, 1455, 255});
    OptionMproM =
        make<OptionButton>(this, "OptionMproM", QString::fromUtf8("\u00b5/m"), {4680, 1560, 1335, 255});
    CommandSet = make<CommandButton>(this, "CommandSet", QStringLiteral("Set"), {2400, 1920, 855, 375});
    CommandReset = make<CommandButton>(this, "CommandReset", QStringLiteral("Reset"), {3480, 1920, 855, 375});
    LabelStore = make<QLabel>(this, "LabelStore", QStringLiteral("Store every"), {120, 735, 975, 255});
    TextTimer = make<QLineEdit>(this, "TextTimer", QStringLiteral("10"), {1005, 705, 615, 285});
    LabelTH = make<QLabel>(this, "LabelTH", QStringLiteral("th"), {1620, 735, 135, 255});
    LabelSeconds =
        make<QLabel>(this, "LabelSeconds", QStringLiteral("measurement value"), {135, 1005, 1575, 255});
    CommandStart = make<CommandButton>(this, "CommandStart", QStringLiteral("Start"), {120, 1320, 735, 375});
    CommandStop = make<CommandButton>(this, "CommandStop", QStringLiteral("Stop"), {960, 1320, 735, 375});
    LabelLine = make<QLabel>(this, "LabelLine", QStringLiteral("Current line #"), {120, 1800, 975, 255});
    TextLine = make<QLineEdit>(this, "TextLine", QStringLiteral("1"), {120, 2040, 1215, 285});
    Line1 = make<QFrame>(this, "Line1", QString(), {1920, 600, 15, 1680});
    Line1->setFrameShape(QFrame::VLine);
    Line1->setFrameShadow(QFrame::Plain);
    CommMean = make<CommandButton>(this, "CommMean", QStringLiteral("Averages"), {4680, 6480, 1335, 375});
    TextTobar = make<QLineEdit>(this, "TextTobar", QString(), {840, 6240, 3855, 1215});
    TextGONG = make<QLineEdit>(this, "TextGONG", QString(), {240, 6960, 1215, 615});
    TextReticle = make<QLineEdit>(this, "TextReticle", QString(), {240, 7800, 1215, 615});
    CommandVal2Table = make<CommandButton>(this, "CommandVal2Table", QStringLiteral("Value to table"),
                                           {120, 4200, 1215, 375});
    CommandDelete =
        make<CommandButton>(this, "CommandDelete", QStringLiteral("Clear selection"), {120, 4680, 1215, 375});
    CommandClearGrid =
        make<CommandButton>(this, "CommandClearGrid", QStringLiteral("Clear table"), {120, 5160, 1215, 375});
    CommandLoadFromOrv = make<CommandButton>(this, "CommandLoadFromOrv", QStringLiteral("Load from ORVELAN"),
                                             {120, 5880, 1215, 495});
    for (QWidget* hidden :
         {static_cast<QWidget*>(LabelLine), static_cast<QWidget*>(TextLine), static_cast<QWidget*>(CommMean),
          static_cast<QWidget*>(TextTobar), static_cast<QWidget*>(CommandLoadFromOrv)})
        hidden->setVisible(false);

    const std::pair<QWidget*, const char*> tips[] = {
        {CommandOpen, "Read current table from  file"},
        {CommandSave, "Save current table to file"},
        {CommandConnect, "Connect to the autocollimator"},
        {CommandOptions, "Change view and background options"},
        {Command1, "Transfer current table to the clipboard"},
        {Command2, "Click for vendor information"},
        {TextX, "Current measured X angle"},
        {TextY, "Current measured Y angle"},
        {CommandSet, "Set values to zero"},
        {CommandReset, "Reset angle values "},
        {CommandVal2Table, "Write current angles to table"},
        {CommandDelete, "Wipe selected cells"},
        {CommandClearGrid, "Wipe complete table"},
        {CommandLoadFromOrv, "Read out values stored in autocollimator"},
    };
    for (const auto& [widget, tip] : tips)
        widget->setToolTip(QLatin1String(tip));

    LabelX->setFont(arial(20.25));
    LabelY->setFont(arial(20.25));
    LabelX->setAlignment(Qt::AlignCenter);
    LabelY->setAlignment(Qt::AlignCenter);
    TextX->setFont(liveArial(18));
    TextY->setFont(liveArial(18));
    TextTobar->setFont(liveArial(48));
    TextGONG->setFont(liveArial(21.75));
    TextReticle->setFont(liveArial(21.75));
    TextGONG->setAlignment(Qt::AlignCenter);
    TextReticle->setAlignment(Qt::AlignCenter);
    PanelCache::applyTo({TextX, TextY, TextLine, TextTobar, TextGONG, TextReticle});
    for (QPushButton* button : {CommandOpen, CommandSave, CommandConnect, CommandOptions, Command1, Command2,
                                CommandSet, CommandReset, CommandStart, CommandStop, CommMean,
                                CommandVal2Table, CommandDelete, CommandClearGrid, CommandLoadFromOrv})
        button->setAutoDefault(false);

    // The table set places the table-select keypad and gives it captions and tooltips.
    for (int i = 0; i < 10; ++i) {
        auto* button = new CommandButton(this);
        button->setObjectName(QStringLiteral("CT%1").arg(i));
        button->setAutoDefault(false);
        CT[static_cast<size_t>(i)] = button;
    }
}

void FormMain::connectHandlers()
{
    connect(CommandSet, &QPushButton::clicked, this, &FormMain::CommandSet_Click);
    connect(CommandReset, &QPushButton::clicked, this, &FormMain::CommandReset_Click);
    connect(CommMean, &QPushButton::clicked, this, &FormMain::CommMean_Click);
    const std::pair<QRadioButton*, void (FormMain::*)()> units[] = {
        {OptionArcsec, &FormMain::OptionArcsec_Click},       {OptionDegree, &FormMain::OptionDegree_Click},
        {OptionSecMinDeg, &FormMain::OptionSecMinDeg_Click}, {OptionMrad, &FormMain::OptionMrad_Click},
        {OptionMproM, &FormMain::OptionMproM_Click},
    };
    for (const auto& [button, handler] : units) {
        connect(button, &QRadioButton::toggled, this, [this, handler = handler](bool on) {
            if (on)
                (this->*handler)();
        });
    }
    connect(CommandStart, &QPushButton::clicked, this, &FormMain::CommandStart_Click);
    connect(CommandStop, &QPushButton::clicked, this, &FormMain::CommandStop_Click);
    TextTimer->installEventFilter(this);
    connect(CommandConnect, &QPushButton::clicked, this, &FormMain::CommandConnect_Click);
    connect(CommandLoadFromOrv, &QPushButton::clicked, this, &FormMain::CommandLoadFromOrv_Click);
    connect(CommandOptions, &QPushButton::clicked, this, &FormMain::CommandOptions_Click);
    connect(Command2, &QPushButton::clicked, this, &FormMain::Command2_Click);
    connect(CommandOpen, &QPushButton::clicked, this, &FormMain::CommandOpen_Click);
    connect(CommandSave, &QPushButton::clicked, this, &FormMain::CommandSave_Click);
    connect(Command1, &QPushButton::clicked, this, &FormMain::Command1_Click);
}

void FormMain::createTableMenu()
{
    ActionExportCsv = new QAction(QStringLiteral("Export as CSV\u2026"), this);
    ActionExportCsv->setObjectName(QStringLiteral("ActionExportCsv"));
    ActionExportCsv->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(ActionExportCsv, &QAction::triggered, this, &FormMain::exportCsv);
    ActionCopyTable = new QAction(QStringLiteral("Table to clipboard"), this);
    ActionCopyTable->setObjectName(QStringLiteral("ActionCopyTable"));
    ActionCopyTable->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(ActionCopyTable, &QAction::triggered, this, &FormMain::Command1_Click);
    ActionStatistics = new QAction(QStringLiteral("Statistics"), this);
    ActionStatistics->setObjectName(QStringLiteral("ActionStatistics"));
    ActionStatistics->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(ActionStatistics, &QAction::triggered, this,
            [this] { m_analysis->showPage(AnalysisWindow::Statistics); });
    ActionTrend = new QAction(QStringLiteral("Trend"), this);
    ActionTrend->setObjectName(QStringLiteral("ActionTrend"));
    ActionTrend->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    connect(ActionTrend, &QAction::triggered, this, [this] { m_analysis->showPage(AnalysisWindow::Trend); });
    ActionStraightness = new QAction(QStringLiteral("Straightness"), this);
    ActionStraightness->setObjectName(QStringLiteral("ActionStraightness"));
    ActionStraightness->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    connect(ActionStraightness, &QAction::triggered, this,
            [this] { m_analysis->showPage(AnalysisWindow::Straightness); });
    addActions({ActionExportCsv, ActionCopyTable, ActionStatistics, ActionTrend, ActionStraightness});
    for (int n = 1; n <= 10; ++n) {
        FlexGrid* grid = m_tables->grid(n);
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& at) {
            QMenu menu(this);
            menu.addActions({ActionExportCsv, ActionCopyTable});
            menu.addSeparator();
            menu.addActions({ActionStatistics, ActionTrend, ActionStraightness});
            menu.exec(grid->viewport()->mapToGlobal(at));
        });
    }
    // The live values keep their own menu (copy, select all) and gain the analysis.
    for (QLineEdit* box : {TextX, TextY}) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this, [this, box](const QPoint& at) {
            std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
            menu->addSeparator();
            menu->addActions({ActionStatistics, ActionTrend, ActionStraightness});
            menu->exec(box->mapToGlobal(at));
        });
    }
}

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TextTimer) {
        if (event->type() == QEvent::KeyPress) {
            int code = Controls::typedCharacter(static_cast<QKeyEvent*>(event));
            if (code < 0)
                return false;
            TextTimer_KeyPress(code);
            return code == 0;
        }
        if (event->type() == QEvent::FocusOut)
            TextTimer_LostFocus();
    }
    return QWidget::eventFilter(watched, event);
}

void FormMain::XY2Table()
{
    m_tables->XY2Table(m_state.link.storeSignal == StoreSignal::ExitKey ? LineRecord::Source::InstrumentKey
                                                     : LineRecord::Source::RemoteControl);
}
void FormMain::setGridForLoad(qint16 g, qint32 r, qint16 c)
{
    m_tables->setGridForLoad(g, r, c);
}
void FormMain::addLine(qint16 gridNum)
{
    m_tables->addLine(gridNum);
}
void FormMain::setColumn(const QString& s)
{
    m_tables->setColumn(s);
}

FormOptions* FormMain::optionsLoaded() const
{
    return m_options;
}

FormOptions& FormMain::options()
{
    if (!m_options) {
        m_options = new FormOptions(m_state, m_link.receiver(), this);
        connect(m_options, &QObject::destroyed, this, [this] { m_options = nullptr; });
    }
    return *m_options;
}

QSize FormMain::frameExtra() const
{
    return frameGeometry().size() - size();
}

double FormMain::windowLeft() const
{
    return Twips::fromPixels(frameGeometry().x());
}
double FormMain::windowTop() const
{
    return Twips::fromPixels(frameGeometry().y());
}
double FormMain::windowWidth() const
{
    return Twips::fromPixels(frameGeometry().width());
}
double FormMain::windowHeight() const
{
    return Twips::fromPixels(frameGeometry().height());
}

void FormMain::setWindowLeft(double twips)
{
    move(Twips::toPixels(twips), frameGeometry().y());
}
void FormMain::setWindowTop(double twips)
{
    move(frameGeometry().x(), Twips::toPixels(twips));
}

QSize FormMain::largestOuterSize() const
{
    // Sizes come from a settings file anyone can edit. A window larger than all screens together is of no
    // use, and one of thousands of pixels each way takes gigabytes and half a minute to paint. The resize
    // rule's minimum still fits on the smallest screen.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QSize desktop = screen ? screen->virtualSize() : QSize(0, 0);
    return desktop.expandedTo(QSize(Twips::toPixels(6135), Twips::toPixels(6000)));
}

void FormMain::setWindowWidth(double twips)
{
    const int outer = qMin(Twips::toPixels(twips), largestOuterSize().width());
    resize(qMax(1, outer - frameExtra().width()), height());
}

void FormMain::setWindowHeight(double twips)
{
    const int outer = qMin(Twips::toPixels(twips), largestOuterSize().height());
    resize(width(), qMax(1, outer - frameExtra().height()));
}

void FormMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void FormMain::closeEvent(QCloseEvent* event)
{
    // The close request is never refused.
    if (!m_closed) {
        m_closed = true;
        Form_QueryUnload();
    }
    event->accept();
}
