#pragma once

#include "link/receiveport.h"

// A receive buffer in memory, for tests, benchmarks and fuzzing.
class MemoryPort final : public ReceivePort {
public:
    void feed(const QByteArray& bytes) { m_buffer.append(bytes); }
    // A later Input returns at most this many bytes, to model a port that delivers less than asked.
    void setShortRead(qint32 limit) { m_shortRead = limit; }

    [[nodiscard]] qint32 InBufferCount() const override
    {
        return static_cast<qint32>(m_buffer.size() - m_pos);
    }
    void clearInBuffer() override
    {
        m_buffer.clear();
        m_pos = 0;
    }
    void setInputLen(qint16 count) override { m_inputLen = count; }
    [[nodiscard]] QByteArray Input() override
    {
        qsizetype n = qMin<qsizetype>(m_inputLen, m_buffer.size() - m_pos);
        if (m_shortRead >= 0)
            n = qMin<qsizetype>(n, m_shortRead);
        const QByteArray out = n == 1 ? singleByte(m_buffer.at(m_pos)) : m_buffer.mid(m_pos, n);
        m_pos += n;
        if (m_pos > 65536 && m_pos * 2 > m_buffer.size()) { // keep memory flat on long streams
            m_buffer.remove(0, m_pos);
            m_pos = 0;
        }
        return out;
    }

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint16 m_inputLen = 1;
    qint32 m_shortRead = -1;
};
