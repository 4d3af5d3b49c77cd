#include "mainwindow/formmain.h"

#include "analysiswindow/analysiswindow.h"
#include "connection/formcom.h"
#include "dialogs/formoptions.h"
#include "dialogs/publishdialog.h"
#include "link/link.h"
#include "mainwindow/tableviews.h"
#include "state/appstate.h"
#include "tables/tables.h"
#include "widgets/appicon.h"
#include "widgets/controls.h"
#include "widgets/flexgrid.h"
#include "widgets/messagebox.h"
#include "widgets/panelcache.h"
#include "widgets/twips.h"
#include "widgets/windowfont.h"

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

FormMain::FormMain(AppState& state, Link& link, Tables& tables, QWidget* parent)
    : QWidget(parent), m_state(state), m_link(link), m_tables(tables)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("TARNOLUX"));
    setFont(windowFont());
    // Not created yet: placed before, its frame goes where it is placed (under a window manager the frame
    // is known only once shown).
    resize(Twips::toPixels(DesignClientWidth), Twips::toPixels(DesignClientHeight));

    createControls();
    AppIcon::decorateMainWindow(this, m_aboutButton);
    m_tableViews = std::make_unique<TableViews>(m_state, m_tables, this);
    TableButtons buttons;
    buttons.storeValue = m_storeValueButton;
    buttons.clearSelection = m_clearSelectionButton;
    buttons.clearTable = m_clearTableButton;
    buttons.readMemory = m_readMemoryButton;
    buttons.averaging = m_averagingButton;
    buttons.tables = m_tableButtons;
    m_tableViews->setButtons(buttons);
    m_tableViews->setTobarBoxes({m_tobarValueBox, m_verdictBox, m_reticleBox});
    connect(&m_tables, &Tables::tableFilled, this, &FormMain::stopStoring);
    m_analysis = new AnalysisWindow(m_state, m_tables, m_link, this);
    m_analysis->setSelection([this](int number) {
        const FlexGrid* grid = m_tableViews->grid(number);
        return AnalysisWindow::Selection{grid->Row(), grid->RowSel()};
    });
    connectHandlers();
    createTableMenu();

    connect(&m_link, &Link::intervalReached, this, &FormMain::haveAngleMsg);
    connect(&m_link, &Link::linkLost, this,
            [this] { MessageBox::show(this, QStringLiteral("No connection available")); });

    m_displayTimer = new QTimer(this);
    m_displayTimer->setObjectName(QStringLiteral("TimerDisplay"));
    m_displayTimer->setInterval(200);
    connect(m_displayTimer, &QTimer::timeout, this, &FormMain::displayTick);
    m_displayTimer->start();

    load();
    Controls::orderTabs(this);
}

FormMain::~FormMain()
{
    // Deleted while this is still whole: its destroyed signal writes m_options.
    delete m_options;
}

void FormMain::createControls()
{
    using Controls::make;
    m_openButton = make<CommandButton>(this, "CommandOpen", QStringLiteral("Open"), {120, 120, 855, 375});
    m_saveButton = make<CommandButton>(this, "CommandSave", QStringLiteral("Save"), {960, 120, 855, 375});
    m_connectButton =
        make<CommandButton>(this, "CommandConnect", QStringLiteral("Connection"), {1800, 120, 975, 375});
    m_optionsButton =
        make<CommandButton>(this, "CommandOptions", QStringLiteral("Options"), {2760, 120, 855, 375});
    m_copyTableButton =
        make<CommandButton>(this, "Command1", QStringLiteral("Table to clipboard"), {3600, 120, 1455, 375});
    m_aboutButton = make<CommandButton>(this, "Command2", QString(), {5160, 60, 735, 495});
    m_xLabel = make<QLabel>(this, "LabelX", QStringLiteral("X"), {2040, 600, 375, 615});
    m_yLabel = make<QLabel>(this, "LabelY", QStringLiteral("Y"), {1920, 1200, 615, 615});
    m_xAngleBox = make<QLineEdit>(this, "TextX", QString(), {2400, 600, 1935, 495});
    m_yAngleBox = make<QLineEdit>(this, "TextY", QString(), {2400, 1200, 1935, 495});
    m_arcsecOption =
        make<OptionButton>(this, "OptionArcsec", QStringLiteral("arcsec"), {4680, 600, 1335, 255});
    m_degreeOption =
        make<OptionButton>(this, "OptionDegree", QStringLiteral("degree"), {4680, 840, 1455, 255});
    m_degMinSecOption =
        make<OptionButton>(this, "OptionSecMinDeg", QStringLiteral("deg-min-sec"), {4680, 1080, 1335, 255});
    m_mradOption = make<OptionButton>(this, "OptionMrad", QStringLiteral("mrad"), {4680, 1320, 1455, 255});
    m_micronsPerMetreOption =
        make<OptionButton>(this, "OptionMproM", QString::fromUtf8("\u00b5/m"), {4680, 1560, 1335, 255});
    m_setZeroButton = make<CommandButton>(this, "CommandSet", QStringLiteral("Set"), {2400, 1920, 855, 375});
    m_resetZeroButton =
        make<CommandButton>(this, "CommandReset", QStringLiteral("Reset"), {3480, 1920, 855, 375});
    m_storeEveryLabel = make<QLabel>(this, "LabelStore", QStringLiteral("Store every"), {120, 735, 975, 255});
    m_intervalBox = make<QLineEdit>(this, "TextTimer", QStringLiteral("10"), {1005, 705, 615, 285});
    m_intervalSuffixLabel = make<QLabel>(this, "LabelTH", QStringLiteral("th"), {1620, 735, 135, 255});
    m_intervalUnitLabel =
        make<QLabel>(this, "LabelSeconds", QStringLiteral("measurement value"), {135, 1005, 1575, 255});
    m_startButton = make<CommandButton>(this, "CommandStart", QStringLiteral("Start"), {120, 1320, 735, 375});
    m_stopButton = make<CommandButton>(this, "CommandStop", QStringLiteral("Stop"), {960, 1320, 735, 375});
    m_lineLabel = make<QLabel>(this, "LabelLine", QStringLiteral("Current line #"), {120, 1800, 975, 255});
    m_lineBox = make<QLineEdit>(this, "TextLine", QStringLiteral("1"), {120, 2040, 1215, 285});
    m_separator = make<QFrame>(this, "Line1", QString(), {1920, 600, 15, 1680});
    m_separator->setFrameShape(QFrame::VLine);
    m_separator->setFrameShadow(QFrame::Plain);
    m_averagingButton =
        make<CommandButton>(this, "CommMean", QStringLiteral("Averages"), {4680, 6480, 1335, 375});
    m_tobarValueBox = make<QLineEdit>(this, "TextTobar", QString(), {840, 6240, 3855, 1215});
    m_verdictBox = make<QLineEdit>(this, "TextGONG", QString(), {240, 6960, 1215, 615});
    m_reticleBox = make<QLineEdit>(this, "TextReticle", QString(), {240, 7800, 1215, 615});
    m_storeValueButton = make<CommandButton>(this, "CommandVal2Table", QStringLiteral("Value to table"),
                                             {120, 4200, 1215, 375});
    m_clearSelectionButton =
        make<CommandButton>(this, "CommandDelete", QStringLiteral("Clear selection"), {120, 4680, 1215, 375});
    m_clearTableButton =
        make<CommandButton>(this, "CommandClearGrid", QStringLiteral("Clear table"), {120, 5160, 1215, 375});
    m_readMemoryButton = make<CommandButton>(this, "CommandLoadFromOrv", QStringLiteral("Load from ORVELAN"),
                                             {120, 5880, 1215, 495});
    for (QWidget* hidden : {static_cast<QWidget*>(m_lineLabel), static_cast<QWidget*>(m_lineBox),
                            static_cast<QWidget*>(m_averagingButton), static_cast<QWidget*>(m_tobarValueBox),
                            static_cast<QWidget*>(m_readMemoryButton)})
        hidden->setVisible(false);

    const std::pair<QWidget*, const char*> tips[] = {
        {m_openButton, "Read current table from  file"},
        {m_saveButton, "Save current table to file"},
        {m_connectButton, "Connect to the autocollimator"},
        {m_optionsButton, "Change view and background options"},
        {m_copyTableButton, "Transfer current table to the clipboard"},
        {m_aboutButton, "Click for vendor information"},
        {m_xAngleBox, "Current measured X angle"},
        {m_yAngleBox, "Current measured Y angle"},
        {m_setZeroButton, "Set values to zero"},
        {m_resetZeroButton, "Reset angle values "},
        {m_storeValueButton, "Write current angles to table"},
        {m_clearSelectionButton, "Wipe selected cells"},
        {m_clearTableButton, "Wipe complete table"},
        {m_readMemoryButton, "Read out values stored in autocollimator"},
    };
    for (const auto& [widget, tip] : tips)
        widget->setToolTip(QLatin1String(tip));

    m_xLabel->setFont(arial(20.25));
    m_yLabel->setFont(arial(20.25));
    m_xLabel->setAlignment(Qt::AlignCenter);
    m_yLabel->setAlignment(Qt::AlignCenter);
    m_xAngleBox->setFont(liveArial(18));
    m_yAngleBox->setFont(liveArial(18));
    m_tobarValueBox->setFont(liveArial(48));
    m_verdictBox->setFont(liveArial(21.75));
    m_reticleBox->setFont(liveArial(21.75));
    m_verdictBox->setAlignment(Qt::AlignCenter);
    m_reticleBox->setAlignment(Qt::AlignCenter);
    PanelCache::applyTo({m_xAngleBox, m_yAngleBox, m_lineBox, m_tobarValueBox, m_verdictBox, m_reticleBox});
    for (QPushButton* button :
         {m_openButton, m_saveButton, m_connectButton, m_optionsButton, m_copyTableButton, m_aboutButton,
          m_setZeroButton, m_resetZeroButton, m_startButton, m_stopButton, m_averagingButton,
          m_storeValueButton, m_clearSelectionButton, m_clearTableButton, m_readMemoryButton})
        button->setAutoDefault(false);

    // The table set places the table-select keypad and gives it captions and tooltips.
    for (int i = 0; i < 10; ++i) {
        auto* button = new CommandButton(this);
        button->setObjectName(QStringLiteral("CT%1").arg(i));
        button->setAutoDefault(false);
        m_tableButtons[static_cast<size_t>(i)] = button;
    }
}

void FormMain::connectHandlers()
{
    connect(m_setZeroButton, &QPushButton::clicked, this, &FormMain::setZero);
    connect(m_resetZeroButton, &QPushButton::clicked, this, &FormMain::resetZero);
    connect(m_averagingButton, &QPushButton::clicked, this, &FormMain::toggleAveraging);
    const std::pair<QRadioButton*, void (FormMain::*)()> units[] = {
        {m_arcsecOption, &FormMain::showInArcsec},
        {m_degreeOption, &FormMain::showInDegrees},
        {m_degMinSecOption, &FormMain::showInDegMinSec},
        {m_mradOption, &FormMain::showInMrad},
        {m_micronsPerMetreOption, &FormMain::showInMicronsPerMetre},
    };
    for (const auto& [button, handler] : units) {
        connect(button, &QRadioButton::toggled, this, [this, handler = handler](bool on) {
            if (on)
                (this->*handler)();
        });
    }
    connect(m_startButton, &QPushButton::clicked, this, &FormMain::startStoring);
    connect(m_stopButton, &QPushButton::clicked, this, &FormMain::stopStoring);
    m_intervalBox->installEventFilter(this);
    connect(m_connectButton, &QPushButton::clicked, this, &FormMain::openConnection);
    connect(m_readMemoryButton, &QPushButton::clicked, this, &FormMain::readInstrumentMemory);
    connect(m_optionsButton, &QPushButton::clicked, this, &FormMain::openOptions);
    connect(m_aboutButton, &QPushButton::clicked, this, &FormMain::openAbout);
    connect(m_openButton, &QPushButton::clicked, this, &FormMain::openTable);
    connect(m_saveButton, &QPushButton::clicked, this, &FormMain::saveTable);
    connect(m_copyTableButton, &QPushButton::clicked, this, &FormMain::copyTableToClipboard);
}

void FormMain::createTableMenu()
{
    m_exportCsvAction = new QAction(QStringLiteral("Export as CSV\u2026"), this);
    m_exportCsvAction->setObjectName(QStringLiteral("ActionExportCsv"));
    m_exportCsvAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(m_exportCsvAction, &QAction::triggered, this, &FormMain::exportCsv);
    m_copyTableAction = new QAction(QStringLiteral("Table to clipboard"), this);
    m_copyTableAction->setObjectName(QStringLiteral("ActionCopyTable"));
    m_copyTableAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(m_copyTableAction, &QAction::triggered, this, &FormMain::copyTableToClipboard);
    m_statisticsAction = new QAction(QStringLiteral("Statistics"), this);
    m_statisticsAction->setObjectName(QStringLiteral("ActionStatistics"));
    m_statisticsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(m_statisticsAction, &QAction::triggered, this,
            [this] { m_analysis->showPage(AnalysisWindow::Statistics); });
    m_trendAction = new QAction(QStringLiteral("Trend"), this);
    m_trendAction->setObjectName(QStringLiteral("ActionTrend"));
    m_trendAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    connect(m_trendAction, &QAction::triggered, this,
            [this] { m_analysis->showPage(AnalysisWindow::Trend); });
    m_straightnessAction = new QAction(QStringLiteral("Straightness"), this);
    m_straightnessAction->setObjectName(QStringLiteral("ActionStraightness"));
    m_straightnessAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    connect(m_straightnessAction, &QAction::triggered, this,
            [this] { m_analysis->showPage(AnalysisWindow::Straightness); });
    m_runAction = new QAction(QStringLiteral("Straightness run"), this);
    m_runAction->setObjectName(QStringLiteral("ActionStraightnessRun"));
    m_runAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(m_runAction, &QAction::triggered, this,
            [this] { m_analysis->showPage(AnalysisWindow::StraightnessRun); });
    m_flatnessAction = new QAction(QStringLiteral("Flatness"), this);
    m_flatnessAction->setObjectName(QStringLiteral("ActionFlatness"));
    m_flatnessAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    connect(m_flatnessAction, &QAction::triggered, this,
            [this] { m_analysis->showPage(AnalysisWindow::Flatness); });
    m_publishingAction = new QAction(QStringLiteral("Publishing (MQTT)\u2026"), this);
    m_publishingAction->setObjectName(QStringLiteral("ActionPublishing"));
    m_publishingAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    connect(m_publishingAction, &QAction::triggered, this, &FormMain::showPublishing);
    addActions({m_exportCsvAction, m_copyTableAction, m_statisticsAction, m_trendAction, m_straightnessAction,
                m_runAction, m_flatnessAction, m_publishingAction});
    for (int n = 1; n <= 10; ++n) {
        FlexGrid* grid = m_tableViews->grid(n);
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& at) {
            QMenu menu(this);
            menu.addActions({m_exportCsvAction, m_copyTableAction});
            menu.addSeparator();
            menu.addActions(
                {m_statisticsAction, m_trendAction, m_straightnessAction, m_runAction, m_flatnessAction});
            menu.addSeparator();
            menu.addAction(m_publishingAction);
            menu.exec(grid->viewport()->mapToGlobal(at));
        });
    }
    // The live values are rewritten at every tick: their menu offers copying and the analysis, no editing.
    for (QLineEdit* box : {m_xAngleBox, m_yAngleBox}) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this, [this, box](const QPoint& at) {
            QMenu menu(this);
            QAction* copy = menu.addAction(QStringLiteral("&Copy"), box, &QLineEdit::copy);
            copy->setObjectName(QStringLiteral("ActionCopyValue"));
            copy->setShortcut(QKeySequence::Copy);
            copy->setEnabled(box->hasSelectedText());
            QAction* all = menu.addAction(QStringLiteral("Select All"), box, &QLineEdit::selectAll);
            all->setObjectName(QStringLiteral("ActionSelectAllValue"));
            all->setShortcut(QKeySequence::SelectAll);
            all->setEnabled(!box->text().isEmpty());
            menu.addSeparator();
            menu.addActions(
                {m_statisticsAction, m_trendAction, m_straightnessAction, m_runAction, m_flatnessAction});
            menu.addSeparator();
            menu.addAction(m_publishingAction);
            menu.exec(box->mapToGlobal(at));
        });
    }
}

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_intervalBox) {
        if (event->type() == QEvent::KeyPress) {
            int code = Controls::typedCharacter(static_cast<QKeyEvent*>(event));
            if (code < 0)
                return false;
            filterIntervalKey(code);
            return code == 0;
        }
        if (event->type() == QEvent::FocusOut)
            applyTypedInterval();
    }
    return QWidget::eventFilter(watched, event);
}

void FormMain::showPublishing()
{
    if (!m_publisher)
        return;
    if (!m_publishing)
        m_publishing = new PublishDialog(*m_publisher, this);
    m_publishing->show();
    m_publishing->raise();
    m_publishing->activateWindow();
}

FormOptions* FormMain::optionsLoaded() const
{
    return m_options;
}

FormOptions& FormMain::options()
{
    if (!m_options) {
        m_options = new FormOptions(m_state, m_link, this);
        connect(m_options, &QObject::destroyed, this, [this] { m_options = nullptr; });
    }
    return *m_options;
}

FormCom* FormMain::connectionLoaded() const
{
    return m_connection.data();
}

FormCom& FormMain::connection()
{
    if (!m_connection)
        m_connection = new FormCom(m_state, m_link, this);
    return *m_connection;
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
    m_knownFrameExtra.setWidth(frameExtra().width());
    resize(qMax(1, outer - m_knownFrameExtra.width()), height());
}

void FormMain::setWindowHeight(double twips)
{
    const int outer = qMin(Twips::toPixels(twips), largestOuterSize().height());
    m_knownFrameExtra.setHeight(frameExtra().height());
    resize(width(), qMax(1, outer - m_knownFrameExtra.height()));
}

bool FormMain::event(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (m_keepStartPlace && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint))
        keepStartPlace(type == QEvent::Paint);
    return QWidget::event(event);
}

void FormMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applySizeRules();
}

void FormMain::closeEvent(QCloseEvent* event)
{
    // The close request is never refused.
    if (!m_closed) {
        m_closed = true;
        saveAndClose();
    }
    event->accept();
}
