#pragma once

// A pseudo-terminal whose master side the test holds; the control under test opens the slave path.

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class PseudoTerminal {
public:
    PseudoTerminal()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            closeMaster();
            return;
        }
        m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
        const int slave = ::open(ptsname(m_master), O_RDWR | O_NOCTTY);
        termios tio{};
        if (slave >= 0 && tcgetattr(slave, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(slave, TCSANOW, &tio);
        }
        if (slave >= 0)
            ::close(slave);
    }
    ~PseudoTerminal() { closeMaster(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    [[nodiscard]] bool isValid() const { return m_master >= 0; }
    [[nodiscard]] QString slavePath() const { return m_slavePath; }

    // Bytes the master could take at once (the line may be full).
    qint64 write(const QByteArray& bytes) const
    {
        const ssize_t n = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
        return n < 0 ? 0 : n;
    }

    // Everything the master has received so far.
    QByteArray received()
    {
        char chunk[4096];
        ssize_t n = 0;
        while (m_master >= 0 && (n = ::read(m_master, chunk, sizeof chunk)) > 0)
            m_received.append(chunk, static_cast<qsizetype>(n));
        return m_received;
    }

    // The slave's line speed (the master reports the slave's settings).
    [[nodiscard]] speed_t speed() const
    {
        termios tio{};
        return tcgetattr(m_master, &tio) == 0 ? cfgetospeed(&tio) : B0;
    }

    // The device vanishes.
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slavePath;
    QByteArray m_received;
};
