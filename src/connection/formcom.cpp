#include "connection/formcom.h"

#include "link/link.h"
#include "platform/eventwait.h"
#include "platform/serialdevices.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "widgets/controls.h"
#include "widgets/twips.h"
#include "widgets/windowfont.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>

namespace {
// The close step waits for two display ticks; never longer than this, should the display timer stop.
constexpr int TickWaitLimitMs = 2000;

QString decimal(qint32 value)
{
    return QString::number(value);
}
} // namespace

QString FormCom::statusText(PortCode result)
{
    switch (result) {
    case PortCode::Ok:
        return QStringLiteral("o.k.");
    case PortCode::InvalidPort:
        return QStringLiteral("Port is not available");
    case PortCode::PortAlreadyOpen:
        return QStringLiteral("Port is already open");
    case PortCode::PermissionDenied:
        return QString::number(static_cast<int>(result)) + QStringLiteral(" - Permission denied");
    default:
        return QString::number(static_cast<int>(result)) + QStringLiteral(" - Don't know what's wrong");
    }
}

FormCom::FormCom(AppState& state, Link& link, QWidget* parent) : QDialog(parent), m_state(state), m_link(link)
{
    setObjectName(QStringLiteral("FormCom"));
    setWindowTitle(QStringLiteral("Connection"));
    setFont(windowFont());
    // The port, mode and status rows, and below them the device and whether a lost link reconnects.
    setFixedSize(Twips::toPixels(5640), Twips::toPixels(2340));

    using Controls::make;
    make<QLabel>(this, "LabelPortNum", QStringLiteral("Com"), {240, 180, 615, 255});
    m_portNumberEdit = make<QLineEdit>(this, "TextPortNum", QStringLiteral("1"), {840, 120, 375, 375});
    make<QLabel>(this, "LabelStatus", QStringLiteral("com exists"), {1440, 180, 735, 255});
    m_statusEdit = make<QLineEdit>(this, "TextStatus", QString(), {2280, 120, 3135, 375});
    m_statusEdit->setReadOnly(true);
    m_compatibleModeOption = make<OptionButton>(this, "OptionCompatible", QStringLiteral("compatible mode"),
                                                {240, 600, 1815, 375});
    m_textModeOption =
        make<OptionButton>(this, "OptionText", QStringLiteral("Text mode"), {2160, 600, 1215, 375});
    m_closeButton = make<CommandButton>(this, "CommandClose", QStringLiteral("Close"), {4560, 600, 855, 375});
    m_closeButton->setAutoDefault(false);
    m_highResolutionCheck =
        make<CheckBox>(this, "optionHR", QStringLiteral("ORVELAN HR"), {240, 960, 1575, 375});
    make<QLabel>(this, "LabelDevice", QStringLiteral("Device"), {240, 1500, 615, 255});
    m_deviceBox = make<QComboBox>(this, "ComboDevice", QString(), {840, 1440, 4575, 315});
    m_reconnectCheck = make<CheckBox>(
        this, "CheckReconnect", QStringLiteral("Reconnect when the device returns"), {240, 1800, 5175, 375});
    m_reconnectCheck->setChecked(m_link.reconnects());
    m_deviceRefresh = new QTimer(this);
    m_deviceRefresh->setInterval(2000);

    auto* modes = new QButtonGroup(this);
    modes->addButton(m_compatibleModeOption);
    modes->addButton(m_textModeOption);

    connect(m_textModeOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            selectMode(LinkMode::Text);
    });
    connect(m_compatibleModeOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            selectMode(LinkMode::Compatible);
    });
    connect(m_highResolutionCheck, &QCheckBox::toggled, &m_link, &Link::setHighResolution);
    connect(m_reconnectCheck, &QCheckBox::toggled, &m_link, &Link::setReconnect);
    connect(m_portNumberEdit, &QLineEdit::textChanged, this, &FormCom::connectTypedPort);
    connect(m_closeButton, &QPushButton::clicked, this, &FormCom::closeWindow);
    connect(m_deviceRefresh, &QTimer::timeout, this, &FormCom::refreshDevices);
    connect(m_deviceBox, &QComboBox::activated, this, &FormCom::chooseDevice);
    connect(&m_link, &Link::portOpened, this, [this] {
        showStatus();
        m_deviceSignature.clear(); // the port number or its device may have changed
        refreshDevices();
    });
    connect(&m_link, &Link::linkLost, this, &FormCom::showStatus);
    Controls::orderTabs(this);

    if (m_link.isLoaded())
        showSettings();
    showStatus();
    refreshDevices();
}

void FormCom::showSettings()
{
    const LinkState& link = m_link.state();
    const bool compatible = link.portMode == LinkMode::Compatible;
    const QSignalBlocker quietCompatible(m_compatibleModeOption);
    const QSignalBlocker quietText(m_textModeOption);
    const QSignalBlocker quietHR(m_highResolutionCheck);
    const QSignalBlocker quietPort(m_portNumberEdit);
    const QSignalBlocker quietReconnect(m_reconnectCheck);
    (compatible ? m_compatibleModeOption : m_textModeOption)->setChecked(true);
    m_highResolutionCheck->setVisible(compatible);
    m_highResolutionCheck->setChecked(link.isHR == 1);
    m_portNumberEdit->setText(decimal(link.portNum));
    m_reconnectCheck->setChecked(m_link.reconnects());
}

void FormCom::showStatus()
{
    const std::optional<PortCode> result = m_link.lastResult();
    m_statusEdit->setText(result ? statusText(*result) : QString());
}

void FormCom::selectMode(LinkMode mode)
{
    const qint16 port = m_link.comPort().CommPort();
    {
        const QSignalBlocker quiet(m_portNumberEdit);
        m_portNumberEdit->setText(port < 1 ? QString() : decimal(port));
    }
    m_link.selectMode(mode);
    m_highResolutionCheck->setVisible(mode == LinkMode::Compatible);
}

void FormCom::chooseDevice(int index)
{
    const QString path = m_deviceBox->itemData(index).toString();
    if (!path.isEmpty()) {
        m_link.bindDevice(path);
        return;
    }
    // "Other…": the operator types a path and confirms it with Enter.
    m_deviceBox->setEditable(true);
    m_deviceBox->setInsertPolicy(QComboBox::NoInsert);
    m_deviceBox->setCompleter(nullptr);
    m_deviceBox->clearEditText();
    m_deviceBox->setFocus();
    connect(m_deviceBox->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        const QString typed = m_deviceBox->currentText().trimmed();
        m_deviceBox->setEditable(false);
        if (!typed.isEmpty())
            m_link.bindDevice(typed);
        else
            refreshDevices();
    });
}

void FormCom::refreshDevices()
{
    if (m_deviceBox->isEditable())
        return; // the operator is typing a path
    const CommControl& port = m_link.comPort();
    const QString bound = port.boundDevice(); // as the last connect step read it
    const QList<SerialDevice> devices = SerialDevices::available();
    QString signature = bound;
    for (const SerialDevice& device : devices)
        signature += QLatin1Char('\n') + device.storedPath() + device.description;
    if (signature == m_deviceSignature)
        return;
    m_deviceSignature = signature;

    const QSignalBlocker quiet(m_deviceBox);
    m_deviceBox->clear();
    bool boundPresent = bound.isEmpty();
    for (const SerialDevice& device : devices) {
        QStringList about;
        for (const QString& part : {device.description, device.manufacturer, device.serialNumber})
            if (!part.isEmpty())
                about << part;
        QString text = device.path;
        if (!about.isEmpty())
            text += QStringLiteral(" - ") + about.join(QStringLiteral(", "));
        if (!device.stablePath.isEmpty())
            text += QStringLiteral(" (") + device.stablePath + QLatin1Char(')');
        m_deviceBox->addItem(text, device.storedPath());
        boundPresent = boundPresent || device.storedPath() == bound || device.path == bound;
    }
    // A bound device the system does not list stays the choice (a typed path, a pseudo-terminal), marked
    // when it is gone, rather than another one taking its place.
    if (!boundPresent)
        m_deviceBox->addItem(QFileInfo::exists(bound) ? bound : bound + QStringLiteral(" (absent)"), bound);
    m_deviceBox->addItem(QStringLiteral("Other\u2026"), QString());
    const QString used = port.devicePath();
    int chosen = m_deviceBox->findData(bound.isEmpty() ? used : bound);
    if (chosen < 0)
        for (int i = 0; i < devices.size() && chosen < 0; ++i)
            chosen = devices.at(i).path == used ? i : -1;
    m_deviceBox->setCurrentIndex(chosen);
    m_deviceBox->setToolTip(used.isEmpty()
                                ? QStringLiteral("No port number")
                                : QStringLiteral("Port %1 uses %2").arg(port.CommPort()).arg(used));
}

bool FormCom::waitMainTicks(int ticks)
{
    const qint32 start = m_state.options.mainTime;
    const MainOptions& options = m_state.options;
    // The tick counter wraps; compare the distance travelled, not the values.
    return EventWait::waitUntil(
        [&options, start, ticks] {
            const auto travelled = static_cast<quint32>(options.mainTime) - static_cast<quint32>(start);
            return travelled >= static_cast<quint32>(ticks);
        },
        TickWaitLimitMs);
}

void FormCom::closeWindow()
{
    // The waits let events run; a second click meanwhile must not start a second close step.
    if (m_inCloseStep)
        return;
    m_inCloseStep = true;
    QPointer<FormCom> self(this);
    if (m_link.state().portMode == LinkMode::Text) {
        m_link.sendCommand(QStringLiteral("d"));
        (void)waitMainTicks(2);
        if (!self)
            return;
        m_link.sendCommand(QStringLiteral("d"));
        (void)waitMainTicks(2);
        if (!self)
            return;
        if (!m_state.options.modeTobar)
            m_link.sendCommand(QStringLiteral("R"));
    } else {
        m_state.options.modeTobar = false;
    }
    m_link.saveComSettings();
    hide();
    m_inCloseStep = false;
}

void FormCom::connectTypedPort()
{
    m_link.connectTyped(Numbers::leadingNumber(m_portNumberEdit->text()));
}

void FormCom::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_deviceSignature.clear();
    refreshDevices();
    m_deviceRefresh->start();
    if (!event->spontaneous()) {
        m_link.activate();
        showSettings();
    }
}

void FormCom::hideEvent(QHideEvent* event)
{
    m_deviceRefresh->stop();
    QDialog::hideEvent(event);
}

void FormCom::closeEvent(QCloseEvent* event)
{
    m_link.unload();
    event->accept();
    QDialog::done(QDialog::Rejected);
    // The next window starts anew, as the link's next use loads it anew.
    deleteLater();
}

void FormCom::reject()
{
    // Escape does nothing: the window is left with "Close" or its close box.
}
