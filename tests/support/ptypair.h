#pragma once

// A pseudo-terminal for tests: the test holds the master side and plays the instrument; the program
// opens the slave path as its serial port.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        m_path = QString::fromLocal8Bit(ptsname(m_master));
        // Keep a slave open so the master never sees a hang-up while the program reopens the port.
        m_slave = ::open(ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (m_slave >= 0 && tcgetattr(m_slave, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(m_slave, TCSANOW, &tio);
        }
    }
    ~PtyPair() { close(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    [[nodiscard]] bool isValid() const { return m_master >= 0 && m_slave >= 0; }
    [[nodiscard]] QString path() const { return m_path; }

    // The instrument vanishes: both of our ends close.
    void close()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
        m_slave = m_master = -1;
    }

    bool write(const QByteArray& bytes) const
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (n > 0)
                done += n;
            else
                waitFor(POLLOUT, 100);
        }
        return true;
    }

    // As much as the line takes at once (it may be full); the count written.
    qint64 writeSome(const QByteArray& bytes) const
    {
        const ssize_t n = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
        return n < 0 ? 0 : n;
    }

    // Everything the program wrote so far, kept across calls.
    QByteArray received()
    {
        m_received += readAvailable();
        return m_received;
    }

    // The line speed the program set, as the kernel's speed code (B2400, ...).
    [[nodiscard]] speed_t speed() const
    {
        termios tio{};
        return m_master >= 0 && tcgetattr(m_master, &tio) == 0 ? cfgetospeed(&tio) : B0;
    }

    // Whatever the program wrote, without waiting.
    [[nodiscard]] QByteArray readAvailable() const
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

private:
    bool waitFor(short events, int ms) const
    {
        pollfd p{m_master, events, 0};
        return ::poll(&p, 1, ms) > 0;
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QByteArray m_received;
};
