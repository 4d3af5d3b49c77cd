#include "sim/ptypair.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

QString errnoText(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyPair::PtyPair()
{
    char name[128] = {};
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0) {
        m_error = errnoText("posix_openpt");
    } else if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        m_error = errnoText("grantpt/unlockpt");
    } else if (ptsname_r(m_master, name, sizeof name) != 0) {
        m_error = errnoText("ptsname_r");
    } else {
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_slave < 0)
            m_error = errnoText("open slave");
    }
    if (!isValid()) {
        close();
        return;
    }
    m_path = QString::fromLocal8Bit(name);
    // The starting speed is one that no program of ours sets, so a change shows that a program set its own.
    termios tio{};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    tcsetattr(m_slave, TCSANOW, &tio);
}

void PtyPair::close()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

bool PtyPair::writeAll(int fd, const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{fd, POLLOUT, 0};
        (void)::poll(&p, 1, 100);
    }
    return true;
}

qint64 PtyPair::writeSome(const QByteArray& bytes) const
{
    const ssize_t n = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
    return n < 0 ? 0 : n;
}

QByteArray PtyPair::readAvailable() const
{
    QByteArray out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, n);
    }
    return out;
}

QByteArray PtyPair::received()
{
    m_received += readAvailable();
    return m_received;
}

speed_t PtyPair::speed() const
{
    termios tio{};
    return m_master >= 0 && tcgetattr(m_master, &tio) == 0 ? cfgetospeed(&tio) : B0;
}
