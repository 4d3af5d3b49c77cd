#pragma once

#include <atomic>

// Waits for a network socket that a library owns, and can be woken from another thread: a thread that
// sleeps here costs nothing until the socket or a wake-up wants it.
class SocketWait {
public:
    enum Ready : int { None = 0, Readable = 1, Writable = 2 };

    SocketWait();
    ~SocketWait();
    SocketWait(const SocketWait&) = delete;
    SocketWait& operator=(const SocketWait&) = delete;

    // From any thread: the current or the next wait returns at once. Many wake-ups before it count as one.
    void wake();
    // The Ready bits of the socket after at most msecs (None when woken or timed out); Readable also when
    // it failed or was closed, so that the next read finds out.
    [[nodiscard]] int wait(int socket, bool forWrite, int msecs);

private:
    int m_read = -1;
    int m_write = -1;
    std::atomic<bool> m_woken{false};
};
