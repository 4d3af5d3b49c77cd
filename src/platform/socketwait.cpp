#include "platform/socketwait.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#endif

#ifdef _WIN32
// Without a pipe to wake it, a wait ends within a short tick instead.
SocketWait::SocketWait() = default;
SocketWait::~SocketWait() = default;
void SocketWait::wake() {}
int SocketWait::wait(int socket, bool forWrite, int msecs)
{
    WSAPOLLFD p{};
    p.fd = SOCKET(socket);
    p.events = short(POLLRDNORM | (forWrite ? POLLWRNORM : 0));
    if (WSAPoll(&p, 1, msecs < 20 ? msecs : 20) <= 0)
        return None;
    return ((p.revents & (POLLRDNORM | POLLERR | POLLHUP | POLLNVAL)) != 0 ? Readable : None) |
           ((p.revents & POLLWRNORM) != 0 ? Writable : None);
}
#else
SocketWait::SocketWait()
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    for (const int fd : fds) {
        (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        (void)fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    m_read = fds[0];
    m_write = fds[1];
}

SocketWait::~SocketWait()
{
    if (m_read >= 0)
        close(m_read);
    if (m_write >= 0)
        close(m_write);
}

void SocketWait::wake()
{
    if (m_write >= 0 && !m_woken.exchange(true)) {
        const char byte = 1;
        (void)!write(m_write, &byte, 1);
    }
}

int SocketWait::wait(int socket, bool forWrite, int msecs)
{
    pollfd p[2] = {{socket, short(POLLIN | (forWrite ? POLLOUT : 0)), 0}, {m_read, POLLIN, 0}};
    // Without the pipe a wait ends within a short tick instead.
    if (poll(p, m_read >= 0 ? 2 : 1, m_read >= 0 ? msecs : std::min(msecs, 20)) <= 0)
        return None;
    if ((p[1].revents & POLLIN) != 0) {
        // Emptied before the flag is cleared: a wake-up in between finds it set and its work is taken
        // with this one's; one after it writes anew.
        char buffer[16];
        while (read(m_read, buffer, sizeof buffer) > 0) {
        }
        m_woken = false;
    }
    return ((p[0].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) != 0 ? Readable : None) |
           ((p[0].revents & POLLOUT) != 0 ? Writable : None);
}
#endif
