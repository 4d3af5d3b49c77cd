#include "link/link.h"

#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QTimer>

#include <limits>

namespace {
constexpr qint32 NoSignal = std::numeric_limits<qint32>::max();
// A returning device is looked for by one look at its path this often: a device path may lie in a folder
// that comes and goes with the device (/dev/serial/by-id), which a folder watch would lose.
constexpr int DeviceWatchMs = 500;

bool devicePresent(const QString& path)
{
#ifdef Q_OS_WIN
    // A COM name is no file: the system's list of ports tells.
    return !QSerialPortInfo(path).isNull();
#else
    return QFileInfo::exists(path);
#endif
}
} // namespace

Link::Link(AppState& state, QObject* parent, qint64 logChunks)
    : QObject(parent), m_state(state), m_log(logChunks),
      m_receiver(state.link, state.options, state.internal),
      m_background(state.link, state.options, state.internal)
{
    m_receiver.setBackgroundWriter(&m_background);
    m_receiver.setLog(&m_log);
    m_receiver.setEvents(this);
    m_comPort = new CommControl(this);
    m_comPort->setObjectName(QStringLiteral("comPort"));
    m_compatibleStatusTimer = new QTimer(this);
    m_compatibleStatusTimer->setObjectName(QStringLiteral("TimerCom"));
    m_compatibleStatusTimer->setInterval(1000);
    connect(m_compatibleStatusTimer, &QTimer::timeout, this, [this] { m_receiver.updateCompatibleStatus(); });
    connect(m_comPort, &CommControl::OnComm, this, [this](PortCode event) { m_receiver.receive(event); });
    connect(m_comPort, &CommControl::deviceLost, this, &Link::deviceLost);
    m_deviceWatch = new QTimer(this);
    m_deviceWatch->setInterval(DeviceWatchMs);
    connect(m_deviceWatch, &QTimer::timeout, this, &Link::reopenIfDeviceBack);
    m_receiver.setPort(m_comPort);
    m_comPort->setReadPlanner(&m_receiver.clock());
}

Link::~Link()
{
    m_receiver.setPort(nullptr);
    m_comPort->setReadPlanner(nullptr);
}

const LinkState& Link::state() const
{
    return m_state.link;
}

void Link::setStoreTriggers(bool atExitKey, bool atRemoteControl)
{
    m_state.link.storeAtExitkey = atExitKey;
    m_state.link.storeAtIR = atRemoteControl;
}

PortCode Link::initCom(qint16& portNumber, qint32 baudRate)
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

void Link::deInitCom()
{
    if (m_comPort->PortOpen() && m_comPort->CommPort() >= 1)
        (void)m_comPort->setPortOpen(false);
}

void Link::connectPort(qint16& portNumber)
{
    deInitCom();
    m_comPort->setBoundDevice(SettingValues::readText(SettingKeys::BoundDevice, portNumber));
    const bool textMode = m_state.link.portMode == LinkMode::Text;
    const PortCode result = initCom(portNumber, textMode ? 19200 : 2400);
    m_state.link.conStatus = 0;
    if (result == PortCode::Ok) {
        m_state.link.conStatus = 1;
        m_comPort->setRThreshold(textMode ? 1 : 8);
        m_awaitingDevice = false;
        updateDeviceWatch();
    }
    m_lastResult = result;
    emit portOpened(result);
}

void Link::bindDevice(const QString& path)
{
    qint16 port = m_comPort->CommPort();
    SettingValues::writeText(SettingKeys::BoundDevice, port, path);
    connectPort(port);
}

void Link::connectTyped(double typed)
{
    if (typed == static_cast<double>(m_comPort->CommPort()))
        return;
    // Outside the 16-bit range it names no port: try port 0, which reports "Port is not available".
    qint16 port = Numbers::wholeInRange<qint16>(typed).value_or(0);
    connectPort(port);
}

void Link::loadComSettings()
{
    m_state.link.portNum = SettingValues::readInt16(SettingKeys::PortNumber);
    const qint16 mode = SettingValues::readInt16(SettingKeys::PortMode);
    // Only 0 and 1 are link modes; anything else is the default, compatible mode.
    m_state.link.portMode = mode == 1 ? LinkMode::Text : LinkMode::Compatible;
    m_state.link.isHR = SettingValues::readInt16(SettingKeys::IsHR);
    setReconnect(SettingValues::readFlag(SettingKeys::Reconnect));
}

void Link::saveComSettings()
{
    SettingValues::writeInt(SettingKeys::PortNumber, m_comPort->CommPort());
    SettingValues::writeInt(SettingKeys::PortMode, m_state.link.portMode == LinkMode::Text ? 1 : 0);
    SettingValues::writeInt(SettingKeys::IsHR, m_state.link.isHR);
    SettingValues::writeInt(SettingKeys::Reconnect, m_reconnect ? 1 : 0);
}

void Link::showComSettings()
{
    if (!m_modeApplied) {
        m_modeApplied = true;
        selectMode(m_state.link.portMode);
    }
    if (m_state.link.portMode == LinkMode::Text)
        m_compatibleStatusTimer->stop();
    else
        m_compatibleStatusTimer->start();
    m_state.internal.inSync = false;
}

void Link::selectMode(LinkMode mode)
{
    m_modeApplied = true;
    m_state.link.portMode = mode;
    showComSettings();
    connectPort(m_state.link.portNum);
    if (mode == LinkMode::Compatible)
        m_state.link.angleStatus = 0;
}

void Link::setHighResolution(bool on)
{
    m_state.link.isHR = on ? 1 : 0;
}

void Link::setReconnect(bool on)
{
    m_reconnect = on;
    updateDeviceWatch();
}

void Link::updateDeviceWatch()
{
    const bool watch = m_reconnect && m_awaitingDevice && m_loaded;
    if (watch && !m_deviceWatch->isActive())
        m_deviceWatch->start();
    else if (!watch)
        m_deviceWatch->stop();
}

void Link::reopenIfDeviceBack()
{
    if (m_comPort->PortOpen() || !devicePresent(m_comPort->devicePath()))
        return;
    // In the mode it had; a device that is back but cannot be opened yet is tried again at the next look.
    qint16 port = m_comPort->CommPort();
    connectPort(port);
    if (m_lastResult == PortCode::Ok)
        m_state.link.wasSendError = false;
}

void Link::loadStepMain()
{
    loadComSettings();
    showComSettings();
    m_state.internal.inSync = false;
    m_state.internal.msgSignalEvery = NoSignal;
    setUpdateSignal(m_state.options.backgroundSeconds);
    m_state.internal.measureCountdown = m_state.internal.msgSignalEvery;
    connectPort(m_state.link.portNum);
}

void Link::load()
{
    m_loaded = true;
    if (m_state.link.wasSendError) {
        connectPort(m_state.link.portNum);
        m_state.link.wasSendError = false;
        return;
    }
    loadStepMain();
}

void Link::activate()
{
    if (!m_loaded)
        load();
    m_state.link.wasSendError = false;
    loadStepMain();
}

void Link::forgetPortNumber()
{
    m_state.link.portNum = 0;
}

void Link::unload()
{
    saveComSettings();
    deInitCom();
    m_compatibleStatusTimer->stop();
    m_loaded = false;
    m_modeApplied = false;
    m_awaitingDevice = false;
    updateDeviceWatch();
}

void Link::closeIfLoaded()
{
    if (m_loaded)
        unload();
}

void Link::deviceLost()
{
    // Placeholders from the next tick on, and in what a store writes, not the last values as if current.
    m_state.link.angleStatus = 0;
    m_state.link.tobarStatus = 0;
    m_state.link.tobarValue.clear();
    m_lastResult = PortCode::InvalidPort;
    m_awaitingDevice = true;
    updateDeviceWatch();
    if (m_state.link.portNum != 0) // else a failed send has dropped the link already
        dropLink();
}

void Link::dropLink()
{
    m_state.link.portNum = 0;
    m_state.internal.inSync = false;
    m_state.link.wasSendError = true;
    emit linkLost();
}

void Link::sendCommand(const QString& s)
{
    if (m_state.link.portNum == 0)
        return;
    if (!m_loaded)
        load();
    if (m_state.link.portNum == 0)
        return;
    QByteArray frame = s.toLatin1();
    frame.append('\r');
    if (m_comPort->Output(frame) == PortCode::Ok)
        return;
    deInitCom();
    dropLink();
}

void Link::sendCommandCompatible(const qint16& command)
{
    if (!m_loaded)
        load();
    QByteArray frame;
    frame.append('\x02');
    frame.append(static_cast<char>(command & 0xFF));
    frame.append('\x03');
    (void)m_comPort->Output(frame);
}

void Link::onMeasurement(double x, double y, qint16 status)
{
    emit measurementDecoded(x, y, status, m_receiver.messageMsecs());
}

void Link::onTobarValue(const QString& value, qint16 status, TobarMessage message)
{
    emit tobarValueDecoded(value, status, message, m_receiver.messageMsecs());
}

void Link::onStoreSignal(StoreSignal cause)
{
    emit storeRequested(cause == StoreSignal::ExitKey ? LineRecord::Source::InstrumentKey
                                                      : LineRecord::Source::RemoteControl,
                        m_receiver.messageMsecs());
}

void Link::onInterval()
{
    emit intervalReached(m_receiver.messageMsecs());
}

void Link::onReadoutStart(qint16 table, qint32 lines, qint16 columns)
{
    emit readoutStarted(table, lines, columns);
}

void Link::onReadoutLine(qint16 table)
{
    emit readoutLineStarted(table);
}

void Link::onReadoutCell(const QString& text)
{
    emit readoutCell(text);
}
