#include "mainwindow/formmain.h"

#include "link/comlink.h"
#include "platform/designfont.h"
#include "platform/flexgrid.h"
#include "platform/twips.h"
#include "settings/appicon.h"
#include "settings/formoptions.h"
#include "state/appstate.h"
#include "tables/tableset.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

namespace {
// Client area of the design, in twips, before start-up applies the stored size.
constexpr double DesignClientWidth = 6015;
constexpr double DesignClientHeight = 8895;

template <typename T> T* make(QWidget* parent, const char* name, const QString& caption = QString())
{
    auto* widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    if constexpr (std::is_base_of_v<QLineEdit, T> || std::is_base_of_v<QLabel, T> ||
                  std::is_base_of_v<QAbstractButton, T>) {
        if (!caption.isEmpty())
            widget->setText(caption);
    }
    return widget;
}

QFont arial(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    return font;
}
} // namespace

FormMain::FormMain(AppState& state, ComLink& link, QWidget* parent)
    : QWidget(parent), m_state(state), m_link(link)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("TARNOLUX"));
    setFont(designFont());
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
    connectHandlers();

    m_link.setWindowParent(this);
    m_link.setMainWindow(this);

    TimerDisplay = new QTimer(this);
    TimerDisplay->setObjectName(QStringLiteral("TimerDisplay"));
    TimerDisplay->setInterval(200);
    connect(TimerDisplay, &QTimer::timeout, this, &FormMain::TimerDisplay_Timer);
    TimerDisplay->start();

    Form_Load();
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
    struct Item {
        QWidget* widget;
        double left, top, width, height;
        bool visible;
        QString tip;
    };
    CommandOpen = make<QPushButton>(this, "CommandOpen", QStringLiteral("Open"));
    CommandSave = make<QPushButton>(this, "CommandSave", QStringLiteral("Save"));
    CommandConnect = make<QPushButton>(this, "CommandConnect", QStringLiteral("Connection"));
    CommandOptions = make<QPushButton>(this, "CommandOptions", QStringLiteral("Options"));
    Command1 = make<QPushButton>(this, "Command1", QStringLiteral("Table to clipboard"));
    Command2 = make<QPushButton>(this, "Command2");
    LabelX = make<QLabel>(this, "LabelX", QStringLiteral("X"));
    LabelY = make<QLabel>(this, "LabelY", QStringLiteral("Y"));
    TextX = make<QLineEdit>(this, "TextX");
    TextY = make<QLineEdit>(this, "TextY");
    OptionArcsec = make<QRadioButton>(this, "OptionArcsec", QStringLiteral("arcsec"));
    OptionDegree = make<QRadioButton>(this, "OptionDegree", QStringLiteral("degree"));
    OptionSecMinDeg = make<QRadioButton>(this, "OptionSecMinDeg", QStringLiteral("deg-min-sec"));
    OptionMrad = make<QRadioButton>(this, "OptionMrad", QStringLiteral("mrad"));
    OptionMproM = make<QRadioButton>(this, "OptionMproM", QString::fromUtf8("\u00b5/m"));
    CommandSet = make<QPushButton>(this, "CommandSet", QStringLiteral("Set"));
    CommandReset = make<QPushButton>(this, "CommandReset", QStringLiteral("Reset"));
    LabelStore = make<QLabel>(this, "LabelStore", QStringLiteral("Store every"));
    TextTimer = make<QLineEdit>(this, "TextTimer", QStringLiteral("10"));
    LabelTH = make<QLabel>(this, "LabelTH", QStringLiteral("th"));
    LabelSeconds = make<QLabel>(this, "LabelSeconds", QStringLiteral("measurement value"));
    CommandStart = make<QPushButton>(this, "CommandStart", QStringLiteral("Start"));
    CommandStop = make<QPushButton>(this, "CommandStop", QStringLiteral("Stop"));
    LabelLine = make<QLabel>(this, "LabelLine", QStringLiteral("Current line #"));
    TextLine = make<QLineEdit>(this, "TextLine", QStringLiteral("1"));
    Line1 = make<QFrame>(this, "Line1");
    Line1->setFrameShape(QFrame::VLine);
    Line1->setFrameShadow(QFrame::Plain);
    CommMean = make<QPushButton>(this, "CommMean", QStringLiteral("Averages"));
    TextTobar = make<QLineEdit>(this, "TextTobar");
    TextGONG = make<QLineEdit>(this, "TextGONG");
    TextReticle = make<QLineEdit>(this, "TextReticle");
    CommandVal2Table = make<QPushButton>(this, "CommandVal2Table", QStringLiteral("Value to table"));
    CommandDelete = make<QPushButton>(this, "CommandDelete", QStringLiteral("Clear selection"));
    CommandClearGrid = make<QPushButton>(this, "CommandClearGrid", QStringLiteral("Clear table"));
    CommandLoadFromOrv = make<QPushButton>(this, "CommandLoadFromOrv", QStringLiteral("Load from ORVELAN"));

    const Item items[] = {
        {CommandOpen, 120, 120, 855, 375, true, QStringLiteral("Read current table from  file")},
        {CommandSave, 960, 120, 855, 375, true, QStringLiteral("Save current table to file")},
        {CommandConnect, 1800, 120, 975, 375, true, QStringLiteral("Connect to the autocollimator")},
        {CommandOptions, 2760, 120, 855, 375, true, QStringLiteral("Change view and background options")},
        {Command1, 3600, 120, 1455, 375, true, QStringLiteral("Transfer current table to the clipboard")},
        {Command2, 5160, 60, 735, 495, true, QStringLiteral("Click for vendor information")},
        {LabelX, 2040, 600, 375, 615, true, {}},
        {LabelY, 1920, 1200, 615, 615, true, {}},
        {TextX, 2400, 600, 1935, 495, true, QStringLiteral("Current measured X angle")},
        {TextY, 2400, 1200, 1935, 495, true, QStringLiteral("Current measured Y angle")},
        {OptionArcsec, 4680, 600, 1335, 255, true, {}},
        {OptionDegree, 4680, 840, 1455, 255, true, {}},
        {OptionSecMinDeg, 4680, 1080, 1335, 255, true, {}},
        {OptionMrad, 4680, 1320, 1455, 255, true, {}},
        {OptionMproM, 4680, 1560, 1335, 255, true, {}},
        {CommandSet, 2400, 1920, 855, 375, true, QStringLiteral("Set values to zero")},
        {CommandReset, 3480, 1920, 855, 375, true, QStringLiteral("Reset angle values ")},
        {LabelStore, 120, 735, 975, 255, true, {}},
        {TextTimer, 1005, 705, 615, 285, true, {}},
        {LabelTH, 1620, 735, 135, 255, true, {}},
        {LabelSeconds, 135, 1005, 1575, 255, true, {}},
        {CommandStart, 120, 1320, 735, 375, true, {}},
        {CommandStop, 960, 1320, 735, 375, true, {}},
        {LabelLine, 120, 1800, 975, 255, false, {}},
        {TextLine, 120, 2040, 1215, 285, false, {}},
        {Line1, 1920, 600, 15, 1680, true, {}},
        {CommMean, 4680, 6480, 1335, 375, false, {}},
        {TextTobar, 840, 6240, 3855, 1215, false, {}},
        {TextGONG, 240, 6960, 1215, 615, true, {}},
        {TextReticle, 240, 7800, 1215, 615, true, {}},
        {CommandVal2Table, 120, 4200, 1215, 375, true, QStringLiteral("Write current angles to table")},
        {CommandDelete, 120, 4680, 1215, 375, true, QStringLiteral("Wipe selected cells")},
        {CommandClearGrid, 120, 5160, 1215, 375, true, QStringLiteral("Wipe complete table")},
        {CommandLoadFromOrv, 120, 5880, 1215, 495, false,
         QStringLiteral("Read out values stored in autocollimator")},
    };
    for (const Item& item : items) {
        Twips::place(item.widget, item.left, item.top, item.width, item.height);
        item.widget->setVisible(item.visible);
        if (!item.tip.isEmpty())
            item.widget->setToolTip(item.tip);
    }

    LabelX->setFont(arial(20.25));
    LabelY->setFont(arial(20.25));
    LabelX->setAlignment(Qt::AlignCenter);
    LabelY->setAlignment(Qt::AlignCenter);
    TextX->setFont(arial(18));
    TextY->setFont(arial(18));
    TextTobar->setFont(arial(48));
    TextGONG->setFont(arial(21.75));
    TextReticle->setFont(arial(21.75));
    TextGONG->setAlignment(Qt::AlignCenter);
    TextReticle->setAlignment(Qt::AlignCenter);
    for (QPushButton* button : {CommandOpen, CommandSave, CommandConnect, CommandOptions, Command1, Command2,
                                CommandSet, CommandReset, CommandStart, CommandStop, CommMean,
                                CommandVal2Table, CommandDelete, CommandClearGrid, CommandLoadFromOrv})
        button->setAutoDefault(false);

    // The table set places the table-select keypad and gives it captions and tooltips.
    for (int i = 0; i < 10; ++i) {
        QPushButton* button = make<QPushButton>(this, "CT");
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

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TextTimer) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            // Only keys that type a character pass the filter; moving keys and Delete type none.
            int code = 0;
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                code = 13;
            else if (key->key() == Qt::Key_Backspace)
                code = 8;
            else if (!key->text().isEmpty())
                code = key->text().at(0).unicode();
            else
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
    m_tables->XY2Table();
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
        m_options = new FormOptions(m_state, m_link, this);
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
        emit closed();
    }
    event->accept();
}
