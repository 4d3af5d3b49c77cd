#include "sim/ptyinstrument.h"

#include "sim/ptypair.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

int baudOf(speed_t speed)
{
    switch (speed) {
    case B2400:
        return 2400;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

} // namespace

PtyInstrument::PtyInstrument(QObject* parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &PtyInstrument::tick);
}

PtyInstrument::~PtyInstrument()
{
    closeLine();
}

QString PtyInstrument::devicePath() const
{
    return m_linkPath.isEmpty() ? m_slavePath : m_linkPath;
}

bool PtyInstrument::open(QString* error)
{
    if (isOpen())
        return true;
    auto line = std::make_unique<PtyPair>();
    if (!line->isValid()) {
        if (error)
            *error = line->error();
        return false;
    }
    fcntl(line->master(), F_SETFD, FD_CLOEXEC);
    fcntl(line->slave(), F_SETFD, FD_CLOEXEC);
    m_line = std::move(line);
    m_slavePath = m_line->path();
    QString reason;
    if (!placeLink(&reason)) {
        closeLine();
        if (error)
            *error = reason;
        return false;
    }
    m_notifier = new QSocketNotifier(m_line->master(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyInstrument::readMaster);
    m_pending.clear();
    m_budget = 0.0;
    if (!m_clock.isValid()) {
        m_clock.start();
        m_lastTick = 0;
    }
    m_timer.start();
    followLine();
    return true;
}

void PtyInstrument::vanish()
{
    closeLine();
}

void PtyInstrument::closeLine()
{
    delete m_notifier;
    m_notifier = nullptr;
    m_line.reset();
    m_pending.clear();
    removeLink();
}

bool PtyInstrument::placeLink(QString* error)
{
    if (m_linkPath.isEmpty())
        return true;
    const QFileInfo info(m_linkPath);
    if (info.exists() && !info.isSymLink()) {
        *error = QStringLiteral("%1 exists and is not a symbolic link").arg(m_linkPath);
        return false;
    }
    QFile::remove(m_linkPath);
    if (!QFile::link(m_slavePath, m_linkPath)) {
        *error = QStringLiteral("cannot create the link %1").arg(m_linkPath);
        return false;
    }
    return true;
}

void PtyInstrument::removeLink()
{
    // Only ever a link of ours: never a file someone put there.
    if (!m_linkPath.isEmpty() && QFileInfo(m_linkPath).isSymLink())
        QFile::remove(m_linkPath);
}

void PtyInstrument::setModeChoice(ModeChoice choice)
{
    m_choice = choice;
    followLine();
}

void PtyInstrument::followLine()
{
    InstrumentModel::LinkMode mode = m_model.linkMode();
    if (m_choice == ModeChoice::Text) {
        mode = InstrumentModel::LinkMode::Text;
    } else if (m_choice == ModeChoice::Compatible) {
        mode = InstrumentModel::LinkMode::Compatible;
    } else if (m_line) {
        termios tio{};
        if (tcgetattr(m_line->slave(), &tio) == 0) {
            m_lineBaud = baudOf(cfgetospeed(&tio));
            if (m_lineBaud == InstrumentModel::TextBaud)
                mode = InstrumentModel::LinkMode::Text;
            else if (m_lineBaud == InstrumentModel::CompatibleBaud)
                mode = InstrumentModel::LinkMode::Compatible;
        }
    }
    if (mode == m_model.linkMode())
        return;
    m_model.setLinkMode(mode);
    m_pending.clear();
    m_budget = 0.0;
    emit linkModeChanged(mode);
}

void PtyInstrument::readMaster()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_line->master(), buffer, sizeof buffer);
        if (n > 0) {
            m_model.receive(QByteArray(buffer, static_cast<qsizetype>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // The slave held here keeps the master from hanging up; anything else would only spin.
        if (m_notifier)
            m_notifier->setEnabled(false);
        break;
    }
    const QStringList commands = m_model.takeCommands();
    for (const QString& command : commands)
        emit commandReceived(command);
}

void PtyInstrument::tick()
{
    const qint64 now = m_clock.elapsed();
    const qint64 elapsed = now - m_lastTick;
    m_lastTick = now;
    if (isOpen())
        followLine();
    const int rate = InstrumentModel::bytesPerSecond(m_model.linkMode());
    m_model.setLineBusy(m_pending.size() > rate);
    m_model.advance(elapsed);
    const QByteArray out = m_model.takeOutput();
    if (!isOpen())
        return;
    if (m_pending.size() + out.size() <= MaxPending)
        m_pending.append(out);
    else
        m_dropped += out.size();
    dropStaleInput();
    writePaced(elapsed);
}

void PtyInstrument::dropStaleInput()
{
    int waiting = 0;
    if (ioctl(m_line->slave(), FIONREAD, &waiting) != 0)
        return;
    if (waiting > StaleSeconds * InstrumentModel::bytesPerSecond(m_model.linkMode())) {
        tcflush(m_line->slave(), TCIFLUSH);
        m_dropped += waiting;
    }
}

void PtyInstrument::writePaced(qint64 elapsedMs)
{
    const int rate = InstrumentModel::bytesPerSecond(m_model.linkMode());
    // A stalled event loop must not turn into a burst: carry at most a few ticks' worth.
    const double cap = qMax(16.0, rate * 0.05);
    m_budget = qMin(cap, m_budget + static_cast<double>(elapsedMs) * rate / 1000.0);
    const qsizetype n = qMin<qsizetype>(static_cast<qsizetype>(m_budget), m_pending.size());
    if (n <= 0)
        return;
    const ssize_t written = ::write(m_line->master(), m_pending.constData(), static_cast<size_t>(n));
    if (written > 0) {
        m_pending.remove(0, written);
        m_budget -= static_cast<double>(written);
        m_written += written;
        return;
    }
    // Nobody drains the line (EAGAIN) or it failed: these bytes are lost, as on a real line.
    m_pending.remove(0, n);
    m_budget -= static_cast<double>(n);
    m_dropped += n;
}
