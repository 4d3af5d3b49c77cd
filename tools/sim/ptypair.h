#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

// A pseudo-terminal: whoever plays the instrument holds the master, a program opens path() as its serial
// port. A slave descriptor stays open here so that the master never sees a hang-up while the program closes
// and reopens the port. Raw bytes both ways; both ends non-blocking.
class PtyPair {
public:
    // Opens a new pair; isValid() says whether that worked, error() why not.
    PtyPair();
    ~PtyPair() { close(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    [[nodiscard]] bool isValid() const { return m_master >= 0 && m_slave >= 0; }
    [[nodiscard]] QString error() const { return m_error; }
    [[nodiscard]] QString path() const { return m_path; }
    [[nodiscard]] int master() const { return m_master; }
    [[nodiscard]] int slave() const { return m_slave; }

    // The line vanishes: both ends close and the device disappears.
    void close();

    // Writes everything, waiting while the line is full; false when the line failed.
    bool write(const QByteArray& bytes) const { return writeAll(m_master, bytes.constData(), bytes.size()); }
    // The same on a master's descriptor, also one handed to another process.
    static bool writeAll(int fd, const char* data, qint64 size);
    // As much as the line takes at once (it may be full); the count written.
    qint64 writeSome(const QByteArray& bytes) const;

    // Whatever the program wrote, without waiting.
    [[nodiscard]] QByteArray readAvailable() const;
    // Everything the program wrote so far, kept across calls.
    QByteArray received();
    // The line speed the program set, as the kernel's speed code (B2400, ...).
    [[nodiscard]] speed_t speed() const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QString m_error;
    QByteArray m_received;
};
