#pragma once

#include "platform/portcode.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <chrono>
#include <limits>

// Microseconds on the steady clock, which neither jumps nor runs back when the wall clock is set.
[[nodiscard]] inline qint64 steadyMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// When a received byte arrived, as far as the reads of the port can tell: after the read before the one
// that brought it, and at the latest at its own read, less the time the bytes after it in that read took
// on the line. Times in steadyMicros().
struct ByteArrival {
    // Nothing bounds the byte from below: it may have waited in the device before the port was opened.
    static constexpr qint64 Unknown = std::numeric_limits<qint64>::min();

    qint64 read = -1; // which read brought it, counting up; -1: the port does not tell
    qint64 after = Unknown;
    qint64 latest = 0;
    // Read as soon as the device signalled bytes (after a quiet spell, or a backlog), not on a timer.
    bool atOnce = false;
};

// Chooses when a port reads a trickling stream next: a time within [from, to] (steadyMicros()), or -1 to
// leave it to the port.
class ReadPlanner {
public:
    virtual ~ReadPlanner() = default;
    [[nodiscard]] virtual qint64 nextRead(qint64 from, qint64 to) = 0;
};

// The narrow view of the serial port that receive framing reads through, so the same code runs on the
// real port and on an in-memory buffer.
class ReceivePort {
public:
    virtual ~ReceivePort() = default;

    // Bytes waiting in the receive buffer.
    [[nodiscard]] virtual qint32 InBufferCount() const = 0;
    // InBufferCount = 0: discard every waiting byte.
    virtual void clearInBuffer() = 0;
    // Number of bytes the next Input takes.
    virtual void setInputLen(qint16 count) = 0;
    // Takes up to InputLen waiting bytes; the rest stays waiting.
    [[nodiscard]] virtual QByteArray Input() = 0;
    // The arrival of the last byte taken; a port that does not time its reads gives read -1.
    [[nodiscard]] virtual ByteArrival lastTakenArrival() { return {}; }
};

// Received bytes not yet taken. Taking moves a read position; the taken front is dropped in bulk, so a
// long stream read one byte at a time costs neither a copy per byte nor growing memory.
class ReceiveBuffer {
public:
    [[nodiscard]] qsizetype waiting() const { return m_bytes.size() - m_pos; }

    // Up to n waiting bytes; one byte costs no allocation.
    [[nodiscard]] QByteArray take(qsizetype n)
    {
        n = qMin(n, waiting());
        if (n <= 0)
            return {};
        QByteArray out = n == 1 ? single(m_bytes.at(m_pos)) : m_bytes.mid(m_pos, n);
        m_pos += n;
        compact();
        return out;
    }
    void append(const QByteArray& bytes)
    {
        compact();
        m_bytes.append(bytes);
    }
    // Reads up to count bytes straight into the buffer's room through read(char*, count), which returns
    // the number of bytes it wrote.
    template <typename Read> qint64 appendFrom(qint64 count, Read read)
    {
        compact();
        const qsizetype at = m_bytes.size();
        m_bytes.resize(at + count);
        const qint64 got = read(m_bytes.data() + at, count);
        m_bytes.resize(at + qMax<qint64>(got, 0));
        return got;
    }
    // Keeps the first n waiting bytes and loses the rest.
    void keepWaiting(qsizetype n)
    {
        if (n < waiting())
            m_bytes.truncate(m_pos + n);
    }
    // Drops every waiting byte, keeping the room.
    void clear()
    {
        m_bytes.resize(0);
        m_pos = 0;
    }

private:
    // Only when the taken part is large and at least half of the buffer.
    static constexpr qsizetype CompactAfter = 4096;

    static QByteArray single(char c)
    {
        static constexpr std::array<char, 256> bytes = [] {
            std::array<char, 256> all{};
            for (int i = 0; i < 256; ++i)
                all[static_cast<size_t>(i)] = static_cast<char>(i);
            return all;
        }();
        return QByteArray::fromRawData(bytes.data() + static_cast<unsigned char>(c), 1);
    }
    void compact()
    {
        if (m_pos == m_bytes.size()) {
            clear();
        } else if (m_pos >= CompactAfter && m_pos * 2 >= m_bytes.size()) {
            m_bytes.remove(0, m_pos);
            m_pos = 0;
        }
    }

    QByteArray m_bytes;
    qsizetype m_pos = 0;
};
