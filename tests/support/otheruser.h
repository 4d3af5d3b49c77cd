#pragma once

// Tests run as root, and access rights do not bind root: a device without access bits opens all the same.
// While an OtherUser exists the process acts as an unprivileged user (the effective user id only, given
// back afterwards), so that such a device really refuses the open. Run as a plain user, nothing changes.

#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

class OtherUser {
public:
    OtherUser()
    {
        if (::geteuid() != 0) {
            m_valid = true;
            return;
        }
        m_switched = ::seteuid(Nobody) == 0;
        m_valid = m_switched;
    }
    ~OtherUser()
    {
        if (m_switched)
            (void)::seteuid(0);
    }
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

    // False where the process may not change its user (then skip).
    [[nodiscard]] bool isValid() const { return m_valid; }

    // Sets the access bits of a path that this process owns (a pseudo-terminal it opened).
    [[nodiscard]] static bool setMode(const QString& path, mode_t mode)
    {
        return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
    }

private:
    static constexpr uid_t Nobody = 65534;
    bool m_valid = false;
    bool m_switched = false;
};
