#include "connection/formcom.h"

#include "connection/comlink.h"
#include "platform/eventwait.h"
#include "platform/serialdevices.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "widgets/controls.h"
#include "widgets/messagebox.h"
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

#include <cmath>
#include <limits>

namespace {
constexpr qint32 NoSignal = std::numeric_limits<qint32>::max();
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

FormCom::FormCom(AppState& state, ComLink& link, QWidget* parent)
    : QDialog(parent), m_state(state), m_link(link)
{
    setObjectName(QStringLiteral("FormCom"));
    setWindowTitle(QStringLiteral("Connection"));
    setFont(windowFont());
    // The port, mode and status rows, and one more row for the device.
    setFixedSize(Twips::toPixels(5640), Twips::toPixels(1920));

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
    m_compatibleStatusTimer = new QTimer(this);
    m_compatibleStatusTimer->setInterval(1000);
    m_deviceRefresh = new QTimer(this);
    m_deviceRefresh->setInterval(2000);
    m_comPort = new CommControl(this);
    m_compatibleStatusTimer->setObjectName(QStringLiteral("TimerCom"));
    m_comPort->setObjectName(QStringLiteral("comPort"));

    // Neither option is selected before the first showComSettings, so that one always runs its click step.
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_compatibleModeOption);
    modes->addButton(m_textModeOption);

    connect(m_textModeOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            selectTextMode();
    });
    connect(m_compatibleModeOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            selectCompatibleMode();
    });
    connect(m_highResolutionCheck, &QCheckBox::toggled, this, &FormCom::setHighResolution);
    connect(m_portNumberEdit, &QLineEdit::textChanged, this, &FormCom::connectTypedPort);
    connect(m_closeButton, &QPushButton::clicked, this, &FormCom::closeWindow);
    connect(m_compatibleStatusTimer, &QTimer::timeout, this, &FormCom::updateCompatibleStatus);
    connect(m_deviceRefresh, &QTimer::timeout, this, &FormCom::refreshDevices);
    connect(m_deviceBox, &QComboBox::activated, this, &FormCom::chooseDevice);
    connect(m_comPort, &CommControl::OnComm, this,
            [this](PortCode event) { m_link.receiver().receive(event); });
    connect(m_comPort, &CommControl::deviceLost, this, &FormCom::deviceLost);
    m_link.receiver().setPort(m_comPort);
    Controls::orderTabs(this);

    load();
}

void FormCom::chooseDevice(int index)
{
    const QString path = m_deviceBox->itemData(index).toString();
    if (!path.isEmpty()) {
        bindDevice(path);
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
            bindDevice(typed);
        else
            refreshDevices();
    });
}

FormCom::~FormCom()
{
    m_link.receiver().setPort(nullptr);
}

PortCode FormCom::initCom(qint16& portNumber, qint32 baudRate)
{
    deInitCom();
    PortCode result = m_comPort->setCommPort(portNumber);
    if (result != PortCode::Ok)
        return result;
    result = m_comPort->setSettings(QString::number(baudRate) + QStringLiteral(",N,8,1"));
    if (result != PortCode::Ok)
        return result;
    m_state.link.portNum = portNumber;
    m_comPort->setInBufferSize(8192);
    m_comPort->setRTSEnable(false);
    m_comPort->setDTREnable(false);
    return m_comPort->setPortOpen(true);
}

void FormCom::deInitCom()
{
    if (m_comPort->PortOpen() && m_comPort->CommPort() >= 1)
        (void)m_comPort->setPortOpen(false);
}

void FormCom::connectPort(qint16& portNumber)
{
    deInitCom();
    m_comPort->setBoundDevice(SettingValues::readText(SettingKeys::BoundDevice, portNumber));
    const bool textMode = m_state.link.portMode == LinkMode::Text;
    const qint32 baudRate = textMode ? 19200 : 2400;
    const PortCode result = initCom(portNumber, baudRate);
    m_state.link.conStatus = 0;
    m_statusEdit->setText(statusText(result));
    if (result == PortCode::Ok) {
        m_state.link.conStatus = 1;
        m_comPort->setRThreshold(textMode ? 1 : 8);
    }
    m_deviceSignature.clear(); // the port number or its device may have changed
    refreshDevices();
}

void FormCom::refreshDevices()
{
    if (m_deviceBox->isEditable())
        return; // the operator is typing a path
    const qint16 port = m_comPort->CommPort();
    const QString bound = m_comPort->boundDevice(); // as the last connect step read it
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
    const QString used = m_comPort->devicePath();
    int chosen = m_deviceBox->findData(bound.isEmpty() ? used : bound);
    if (chosen < 0)
        for (int i = 0; i < devices.size() && chosen < 0; ++i)
            chosen = devices.at(i).path == used ? i : -1;
    m_deviceBox->setCurrentIndex(chosen);
    m_deviceBox->setToolTip(used.isEmpty() ? QStringLiteral("No port number")
                                           : QStringLiteral("Port %1 uses %2").arg(port).arg(used));
}

void FormCom::bindDevice(const QString& path)
{
    qint16 port = m_comPort->CommPort();
    SettingValues::writeText(SettingKeys::BoundDevice, port, path);
    connectPort(port);
}

void FormCom::loadComSettings()
{
    m_state.link.portNum = SettingValues::readInt16(SettingKeys::PortNumber);
    const qint16 mode = SettingValues::readInt16(SettingKeys::PortMode);
    // Only 0 and 1 are link modes; anything else is the default, compatible mode.
    m_state.link.portMode = mode == 1 ? LinkMode::Text : LinkMode::Compatible;
    m_state.link.isHR = SettingValues::readInt16(SettingKeys::IsHR);
}

void FormCom::saveComSettings()
{
    SettingValues::writeInt(SettingKeys::PortNumber, m_comPort->CommPort());
    SettingValues::writeInt(SettingKeys::PortMode, m_state.link.portMode == LinkMode::Text ? 1 : 0);
    SettingValues::writeInt(SettingKeys::IsHR, m_state.link.isHR);
}

void FormCom::showComSettings()
{
    if (m_state.link.portMode == LinkMode::Compatible)
        m_compatibleModeOption->setChecked(true);
    else
        m_textModeOption->setChecked(true);
    const qint16 port = m_comPort->CommPort();
    m_portNumberEdit->setText(port < 1 ? QString() : decimal(port));
    if (m_state.link.portMode == LinkMode::Text) {
        m_compatibleStatusTimer->stop();
    } else {
        m_compatibleStatusTimer->setInterval(1000);
        m_compatibleStatusTimer->start();
    }
    m_state.internal.inSync = false;
}

void FormCom::loadStepMain()
{
    loadComSettings();
    showComSettings();
    m_highResolutionCheck->setChecked(m_state.link.isHR == 1);
    m_state.internal.inSync = false;
    m_state.internal.msgSignalEvery = NoSignal;
    m_link.setUpdateSignal(m_state.options.backgroundSeconds);
    m_state.internal.measureCountdown = m_state.internal.msgSignalEvery;
    connectPort(m_state.link.portNum);
    m_portNumberEdit->setText(decimal(m_state.link.portNum));
}

void FormCom::load()
{
    if (m_state.link.wasSendError) {
        connectPort(m_state.link.portNum);
        m_state.link.wasSendError = false;
        return;
    }
    loadStepMain();
}

void FormCom::activate()
{
    if (m_state.link.wasSendError)
        m_state.link.wasSendError = false;
    loadStepMain();
}

void FormCom::unload()
{
    saveComSettings();
    deInitCom();
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
    if (m_state.link.portMode == LinkMode::Text) {
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
    saveComSettings();
    hide();
    m_inCloseStep = false;
}

void FormCom::selectTextMode()
{
    m_state.link.portMode = LinkMode::Text;
    showComSettings();
    connectPort(m_state.link.portNum);
    m_highResolutionCheck->setVisible(false);
}

void FormCom::selectCompatibleMode()
{
    m_state.link.portMode = LinkMode::Compatible;
    showComSettings();
    connectPort(m_state.link.portNum);
    m_state.link.angleStatus = 0;
    m_highResolutionCheck->setVisible(true);
}

void FormCom::setHighResolution(bool on)
{
    m_state.link.isHR = on ? 1 : 0;
}

void FormCom::connectTypedPort()
{
    const double typed = Numbers::leadingNumber(m_portNumberEdit->text());
    if (typed == static_cast<double>(m_comPort->CommPort()))
        return;
    // Outside the 16-bit range it names no port: try port 0, which reports "Port is not available".
    qint16 port = Numbers::wholeInRange<qint16>(typed).value_or(0);
    connectPort(port);
}

void FormCom::deviceLost()
{
    // Placeholders from the next tick on, and in what a store writes, not the last values as if current.
    m_state.link.angleStatus = 0;
    m_state.link.tobarStatus = 0;
    m_state.link.tobarValue.clear();
    m_statusEdit->setText(statusText(PortCode::InvalidPort));
    if (m_state.link.portNum != 0) // else a failed send has told the operator already
        dropLink();
}

// As after a failed send: no more commands until the operator reconnects with "Connection".
void FormCom::dropLink()
{
    m_state.link.portNum = 0;
    m_state.internal.inSync = false;
    m_state.link.wasSendError = true;
    MessageBox::show(m_link.windowParent(), QStringLiteral("No connection available"));
}

void FormCom::updateCompatibleStatus()
{
    m_link.receiver().updateCompatibleStatus();
}

void FormCom::sendCommand(const QString& s)
{
    if (m_state.link.portNum == 0)
        return;
    QByteArray frame = s.toLatin1();
    frame.append('\r');
    if (m_comPort->Output(frame) == PortCode::Ok)
        return;
    deInitCom();
    dropLink();
}

void FormCom::sendCommandCompatible(const qint16& command)
{
    QByteArray frame;
    frame.append('\x02');
    frame.append(static_cast<char>(command & 0xFF));
    frame.append('\x03');
    (void)m_comPort->Output(frame);
}

void FormCom::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_deviceSignature.clear();
    refreshDevices();
    m_deviceRefresh->start();
    if (!event->spontaneous())
        activate();
}

void FormCom::hideEvent(QHideEvent* event)
{
    m_deviceRefresh->stop();
    QDialog::hideEvent(event);
}

void FormCom::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
    QDialog::done(QDialog::Rejected);
    m_link.unloaded(this);
}

void FormCom::reject()
{
    // Escape does nothing: the window is left with "Close" or its close box.
}
