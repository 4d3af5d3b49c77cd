#include "platform/commcontrol.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <optional>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// "baud,parity,databits,stopbits"; parity one of N E O M S.
std::optional<LineSettings> parseSettings(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    LineSettings line;
    bool ok = false;
    line.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || line.baudRate <= 0)
        return std::nullopt;

    const QString parity = parts[1].trimmed().toUpper();
    if (parity == QLatin1String("N"))
        line.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        line.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        line.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        line.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        line.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    line.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    const QString stopBits = parts[3].trimmed();
    if (stopBits == QLatin1String("1"))
        line.stopBits = QSerialPort::OneStop;
    else if (stopBits == QLatin1String("1.5"))
        line.stopBits = QSerialPort::OneAndHalfStop;
    else if (stopBits == QLatin1String("2"))
        line.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return line;
}

QString settingsText(const LineSettings& line)
{
    const char* parity = "N";
    switch (line.parity) {
    case QSerialPort::EvenParity:
        parity = "E";
        break;
    case QSerialPort::OddParity:
        parity = "O";
        break;
    case QSerialPort::MarkParity:
        parity = "M";
        break;
    case QSerialPort::SpaceParity:
        parity = "S";
        break;
    default:
        break;
    }
    const char* stop = line.stopBits == QSerialPort::TwoStop          ? "2"
                       : line.stopBits == QSerialPort::OneAndHalfStop ? "1.5"
                                                                      : "1";
    return QStringLiteral("%1,%2,%3,%4")
        .arg(line.baudRate)
        .arg(QLatin1String(parity))
        .arg(static_cast<int>(line.dataBits))
        .arg(QLatin1String(stop));
}

// Applied before opening; an open port is changed setting by setting.
bool setLine(QSerialPort& port, const LineSettings& line)
{
    bool ok = port.setBaudRate(line.baudRate);
    ok = port.setParity(line.parity) && ok;
    ok = port.setDataBits(line.dataBits) && ok;
    ok = port.setStopBits(line.stopBits) && ok;
    ok = port.setFlowControl(QSerialPort::NoFlowControl) && ok;
    return ok;
}

bool isFatal(int error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
}

// QSerialPort reports a lock held by another program and missing access rights alike; only the second
// is for the user to fix, so it is told apart by asking whether this user may read and write the device.
bool mayUse(const QString& device)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    return true;
#else
    return ::faccessat(AT_FDCWD, QFile::encodeName(device).constData(), R_OK | W_OK, AT_EACCESS) == 0;
#endif
}

// Time of one character on the line: a start bit, the data bits, the parity bit and the stop bits.
double characterMicros(const LineSettings& line)
{
    const double stop = line.stopBits == QSerialPort::TwoStop          ? 2.0
                        : line.stopBits == QSerialPort::OneAndHalfStop ? 1.5
                                                                       : 1.0;
    const double parity = line.parity == QSerialPort::NoParity ? 0.0 : 1.0;
    return (1.0 + static_cast<int>(line.dataBits) + parity + stop) * 1e6 / line.baudRate;
}

#ifndef Q_OS_WIN
// The outcome of opening the device for reading, by the reason it failed.
PortCode openFailure(int error)
{
    switch (error) {
    case EBUSY:
        return PortCode::PortAlreadyOpen;
    case EACCES:
    case EPERM:
        return PortCode::PermissionDenied;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case ELOOP:
        return PortCode::InvalidPort;
    default:
        return PortCode::HardwareUnavailable;
    }
}
#endif

} // namespace

CommControl::CommControl(QObject* parent)
    : QObject(parent), m_port(new QSerialPort(this)), m_readTimer(new QTimer(this))
{
    // The reads need not be precise, but a coarse timer would align them to a grid that may keep them at
    // one phase of the instrument's pace.
    m_readTimer->setTimerType(Qt::PreciseTimer);
    m_readTimer->setSingleShot(true);
    connect(m_readTimer, &QTimer::timeout, this, &CommControl::readOnTimer);
    m_port->setReadBufferSize(m_inBufferSize);
#ifdef Q_OS_WIN
    connect(m_port, &QSerialPort::readyRead, this, &CommControl::onDeviceSignalled);
#else
    m_readWatch = new QSocketNotifier(QSocketNotifier::Read, this);
    m_readWatch->setEnabled(false);
    connect(m_readWatch, &QSocketNotifier::activated, this, &CommControl::onDeviceSignalled);
#endif
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onPortError(error); });
    m_byteMicros = characterMicros(LineSettings{});
}

CommControl::~CommControl()
{
    // The port closes with its destruction; no signal of it may reach this half-destroyed object.
    m_port->disconnect(this);
    closePort();
}

QString CommControl::deviceName(qint16 portNumber, const QString& bound)
{
    if (portNumber < 1)
        return {};
    // Scripts and tests name the device in the environment; it wins over the operator's choice.
    const QString configured =
        qEnvironmentVariable(qPrintable(QStringLiteral("TARNOLUX_COM%1").arg(portNumber)));
    if (!configured.isEmpty())
        return configured;
    if (!bound.isEmpty())
        return bound;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

void CommControl::setInBufferSize(qint32 size)
{
    m_inBufferSize = qMax<qint32>(size, 1);
    // The device is read in pieces no larger than the receive buffer, so a burst that a fast line queued
    // waits in the device until the handlers have made room, instead of arriving whole and overflowing a
    // buffer that is drained on every event.
    m_port->setReadBufferSize(m_inBufferSize);
}

PortCode CommControl::setCommPort(qint16 portNumber)
{
    if (portNumber < 1)
        return PortCode::InvalidPort;
    if (PortOpen())
        return PortCode::PortAlreadyOpen;
    m_commPort = portNumber;
    return PortCode::Ok;
}

PortCode CommControl::setSettings(const QString& settings)
{
    const std::optional<LineSettings> line = parseSettings(settings);
    if (!line)
        return PortCode::SetState;
    const QString text = settingsText(*line);
    if (PortOpen() && !applySettings(text)) {
        (void)applySettings(m_settings);
        return PortCode::SetState;
    }
    m_settings = text;
    m_byteMicros = characterMicros(*line);
    return PortCode::Ok;
}

bool CommControl::applySettings(const QString& settings)
{
    const std::optional<LineSettings> line = parseSettings(settings);
    return line && setLine(*m_port, *line);
}

void CommControl::setRTSEnable(bool on)
{
    m_rts = on;
    // A pseudo-terminal has no modem lines: its UnsupportedOperationError is of no concern.
    if (PortOpen())
        (void)m_port->setRequestToSend(on);
}

void CommControl::setDTREnable(bool on)
{
    m_dtr = on;
    if (PortOpen())
        (void)m_port->setDataTerminalReady(on);
}

PortCode CommControl::setPortOpen(bool open)
{
    if (!open) {
        closePort();
        return PortCode::Ok;
    }
    if (PortOpen())
        return PortCode::PortAlreadyOpen;
    if (m_port->isOpen()) // vanished, its queued close not run yet
        closePort();

    const QString name = devicePath();
    if (name.isEmpty())
        return PortCode::InvalidPort;
#ifndef Q_OS_WIN
    const QFileInfo info(name);
    if (!info.exists() || info.isDir())
        return PortCode::InvalidPort;
#endif
    const std::optional<LineSettings> line = parseSettings(m_settings);
    m_port->setPortName(name);
    (void)setLine(*m_port, line.value_or(LineSettings{}));
#ifdef Q_OS_WIN
    const QIODevice::OpenMode mode = QIODevice::ReadWrite;
#else
    // Opened before QSerialPort makes the line exclusive; QSerialPort then only writes.
    const int readFd =
        ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (readFd < 0)
        return openFailure(errno);
    auto closeRead = qScopeGuard([readFd] { ::close(readFd); });
    const QIODevice::OpenMode mode = QIODevice::WriteOnly;
#endif
    if (!m_port->open(mode)) {
        const QSerialPort::SerialPortError error = m_port->error();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return PortCode::InvalidPort;
        case QSerialPort::PermissionError:
        case QSerialPort::OpenError:
            return mayUse(name) ? PortCode::PortAlreadyOpen : PortCode::PermissionDenied;
        case QSerialPort::UnsupportedOperationError:
            // Either no serial line at all, or a line that refuses these settings.
            (void)setLine(*m_port, LineSettings{});
            if (m_port->open(mode)) {
                m_port->close();
                return PortCode::SetState;
            }
            return PortCode::InvalidPort;
        default:
            return PortCode::HardwareUnavailable;
        }
    }
    // Opening does not tell whether the line took the settings; setting them on the open port does.
    if (!setLine(*m_port, line.value_or(LineSettings{}))) {
        m_port->close();
        return PortCode::SetState;
    }
#ifndef Q_OS_WIN
    closeRead.dismiss();
    m_readFd = readFd;
    // A line whose receiver is off delivers nothing, whatever it receives.
    termios tio{};
    if (::tcgetattr(m_readFd, &tio) == 0 && (tio.c_cflag & CREAD) == 0) {
        tio.c_cflag |= CREAD;
        (void)::tcsetattr(m_readFd, TCSANOW, &tio);
    }
    m_readWatch->setSocket(m_readFd);
    m_readWatch->setEnabled(true);
#endif
    m_closePending = false;
    m_byteMicros = characterMicros(line.value_or(LineSettings{}));
    m_consumed += static_cast<quint64>(InBufferCount());
    m_in.clear();
    m_reads.clear();
    m_received = m_consumed;
    // What waits in the device now may have come long before.
    m_lastRead = ByteArrival::Unknown;
    (void)m_port->setRequestToSend(m_rts);
    (void)m_port->setDataTerminalReady(m_dtr);
    return PortCode::Ok;
}

bool CommControl::PortOpen() const
{
    return m_port->isOpen() && !m_closePending;
}

void CommControl::setRThreshold(qint16 threshold)
{
    m_rThreshold = threshold;
    // Bytes that arrived while no events were raised must not wait for more bytes.
    if (m_rThreshold >= 1 && InBufferCount() >= m_rThreshold)
        scheduleRaise();
}

qint32 CommControl::InBufferCount() const
{
    return static_cast<qint32>(m_in.waiting());
}

void CommControl::clearInBuffer()
{
    m_consumed += static_cast<quint64>(InBufferCount());
    m_in.clear();
    dropArrivalsPast(m_consumed);
}

void CommControl::dropArrivalsPast(quint64 end)
{
    m_received = end;
    while (!m_reads.empty() && m_reads.back().end > end) {
        const quint64 before = m_reads.size() > 1 ? m_reads[m_reads.size() - 2].end : 0;
        if (before < end) {
            m_reads.back().end = end;
            break;
        }
        m_reads.pop_back();
    }
}

QByteArray CommControl::Input()
{
    QByteArray out = m_in.take(m_inputLen <= 0 ? m_in.waiting() : m_inputLen);
    m_consumed += static_cast<quint64>(out.size());
    return out;
}

PortCode CommControl::Output(const QByteArray& bytes)
{
    if (!PortOpen())
        return PortCode::PortNotOpen;
    m_port->clearError();
    if (m_port->write(bytes) != bytes.size())
        return PortCode::Write;
    // Hand the bytes over now, so that a vanished device shows in this call and not only later.
    (void)m_port->flush();
    const QSerialPort::SerialPortError error = m_port->error();
    if (m_closePending || error == QSerialPort::WriteError || error == QSerialPort::ResourceError)
        return PortCode::Write;
    return PortCode::Ok;
}

ByteArrival CommControl::lastTakenArrival()
{
    if (m_consumed == 0)
        return {};
    const quint64 last = m_consumed - 1;
    while (!m_reads.empty() && m_reads.front().end <= last)
        m_reads.pop_front();
    if (m_reads.empty())
        return {};
    const Read& read = m_reads.front();
    const auto following = static_cast<double>(read.end - 1 - last);
    ByteArrival arrival;
    arrival.read = read.id;
    arrival.after = read.after;
    arrival.latest = read.at - std::llround(following * m_byteMicros);
    if (read.after != ByteArrival::Unknown)
        arrival.latest = std::max(arrival.latest, read.after + 1);
    arrival.atOnce = read.atOnce;
    return arrival;
}

void CommControl::onDeviceSignalled()
{
    if (!PortOpen())
        return;
    const qint64 got = readDevice(true);
    if (got < 0) {
        deviceEnded();
        return;
    }
    if (got == 0)
        return;
    if (isTrickle(got))
        watchDevice(false);
    raiseReceiveEvents();
}

qint64 CommControl::readDevice(bool atOnce)
{
    const qint64 now = steadyMicros();
    // Bytes past the buffer's room wait in the device while a reader keeps up; only a full buffer takes
    // more and overflows, as a line that nobody reads does.
    const qint64 room = m_inBufferSize - InBufferCount();
    // Straight into the receive buffer, whose room is kept: a read costs no allocation.
#ifdef Q_OS_WIN
    Q_UNUSED(atOnce);
    const qint64 available = m_port->bytesAvailable();
    const qint64 wanted = room > 0 ? qMin(available, room) : available;
    qint64 got =
        wanted > 0
            ? m_in.appendFrom(wanted, [this](char* data, qint64 count) { return m_port->read(data, count); })
            : 0;
    got = qMax<qint64>(got, 0);
#else
    const qint64 wanted = room > 0 ? room : m_inBufferSize;
    int failure = 0;
    qint64 got = m_in.appendFrom(wanted, [this, &failure](char* data, qint64 count) {
        const ssize_t n = ::read(m_readFd, data, static_cast<size_t>(count));
        failure = n < 0 ? errno : 0;
        return static_cast<qint64>(n);
    });
    if (got < 0 && (failure == EAGAIN || failure == EWOULDBLOCK || failure == EINTR))
        got = 0;
    // The line reads nothing without waiting when it is empty, so nothing after the device signalled
    // bytes is its end: a hang-up, like the error of a removed one.
    else if (got < 0 || (got == 0 && atOnce))
        return -1;
#endif
    if (got > 0) {
        m_received += static_cast<quint64>(got);
        m_reads.push_back({m_received, ++m_readCount, m_lastRead, now, atOnce});
    }
    // A read that filled its room may have left earlier bytes in the device.
    m_filledRoom = got >= (room > 0 ? room : m_inBufferSize);
    if (got < wanted)
        m_lastRead = now;
    return got;
}

void CommControl::readOnTimer()
{
    if (!PortOpen())
        return;
    const qint64 got = readDevice(false);
    if (got < 0) {
        deviceEnded();
        return;
    }
    // Quiet or flooding: the watch takes over.
    const bool trickle = isTrickle(got);
    if (trickle)
        startReadTimer();
    else
        watchDevice(true);
    // A trickle's records are few: they are all raised now, in this wake-up, rather than in a queued call
    // that would wake the program once more.
    if (got > 0)
        raiseReceiveEvents(trickle);
}

void CommControl::watchDevice(bool on)
{
    if (!m_readWatch || m_readFd < 0)
        return;
    if (on) {
        m_readTimer->stop();
        m_readWatch->setEnabled(true);
    } else if (m_readWatch->isEnabled()) {
        m_readWatch->setEnabled(false);
        startReadTimer();
    }
}

void CommControl::startReadTimer()
{
    const int earliest = ReadEvery - ReadSpread / 2;
    const qint64 now = steadyMicros();
    const qint64 planned =
        m_planner ? m_planner->nextRead(now + earliest * 1000, now + (earliest + ReadSpread) * 1000) : -1;
    if (planned >= 0) {
        m_readTimer->start(static_cast<int>((planned - now + 999) / 1000));
        return;
    }
    // A golden-ratio walk covers the spread evenly, whatever the instrument's period.
    m_readPhase = std::fmod(m_readPhase + 0.6180339887498949, 1.0);
    m_readTimer->start(earliest + static_cast<int>(m_readPhase * ReadSpread));
}

bool CommControl::emitEvent(PortCode commEvent)
{
    const QPointer<CommControl> self(this);
    m_commEvent = commEvent;
    m_inHandler = true;
    emit OnComm(commEvent);
    if (!self)
        return false;
    m_inHandler = false;
    return true;
}

void CommControl::raiseReceiveEvents(bool repeat)
{
    if (m_inHandler) {
        // A handler let events run; look again once it has returned.
        m_recheck = true;
        return;
    }
    for (;;) {
        if (InBufferCount() > m_inBufferSize) {
            if (!emitEvent(PortCode::RxOver))
                return;
            // Nobody discarded: the buffer is full and the bytes past it are lost.
            if (InBufferCount() > m_inBufferSize) {
                m_in.keepWaiting(m_inBufferSize);
                dropArrivalsPast(m_consumed + static_cast<quint64>(m_inBufferSize));
            }
        }
        if (m_rThreshold < 1 || !PortOpen() || InBufferCount() < m_rThreshold)
            return;
        const quint64 consumedBefore = m_consumed;
        m_recheck = false;
        if (!emitEvent(PortCode::Receive))
            return;
        // Leftover bytes get another event without waiting for new ones, but a handler that takes nothing
        // must not be called again and again. A drained buffer needs no second look: every wake-up costs CPU
        // on an idle machine.
        const bool again = (m_consumed != consumedBefore || m_recheck) && m_rThreshold >= 1 &&
                           InBufferCount() >= m_rThreshold;
        m_recheck = false;
        if (!again)
            return;
        if (!repeat) {
            scheduleRaise();
            return;
        }
    }
}

void CommControl::scheduleRaise()
{
    if (m_raisePending)
        return;
    m_raisePending = true;
    // One queued call raises the events for everything left over (the records of a batch): a call per event
    // would cost a turn of the event loop each.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_raisePending = false;
            raiseReceiveEvents(true);
        },
        Qt::QueuedConnection);
}

void CommControl::onPortError(int error)
{
    // After the other side went away Qt repeats the error without end until the port is closed.
    if (!isFatal(error) || !m_port->isOpen() || m_closePending)
        return;
    deviceEnded();
}

void CommControl::deviceEnded()
{
    m_closePending = true;
    // A hung-up line stays readable: the watch would wake the program without end until the close.
    m_readTimer->stop();
    if (m_readWatch)
        m_readWatch->setEnabled(false);
    QMetaObject::invokeMethod(this, &CommControl::closeVanished, Qt::QueuedConnection);
}

void CommControl::closeVanished()
{
    if (!m_closePending)
        return;
    closePort();
    emit deviceLost();
}

void CommControl::closePort()
{
    m_readTimer->stop();
    if (m_readWatch)
        m_readWatch->setEnabled(false);
    m_closePending = false;
    if (m_port->isOpen())
        m_port->close();
#ifndef Q_OS_WIN
    if (m_readFd >= 0) {
        if (m_readWatch)
            m_readWatch->setSocket(-1);
        ::close(m_readFd);
        m_readFd = -1;
    }
#endif
    m_consumed += static_cast<quint64>(InBufferCount());
    m_in.clear();
    m_reads.clear();
    m_received = m_consumed;
}
