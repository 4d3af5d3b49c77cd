#pragma once

#include "platform/receiveport.h"

// A receive buffer in memory, for tests, benchmarks and fuzzing.
class MemoryPort final : public ReceivePort {
public:
    void feed(const QByteArray& bytes) { m_buffer.append(bytes); }
    // A later Input returns at most this many bytes, to model a port that delivers less than asked.
    void setShortRead(qint32 limit) { m_shortRead = limit; }

    [[nodiscard]] qint32 InBufferCount() const override { return static_cast<qint32>(m_buffer.waiting()); }
    void clearInBuffer() override { m_buffer.clear(); }
    void setInputLen(qint16 count) override { m_inputLen = count; }
    [[nodiscard]] QByteArray Input() override
    {
        return m_buffer.take(m_shortRead >= 0 ? qMin<qint32>(m_inputLen, m_shortRead) : m_inputLen);
    }

private:
    ReceiveBuffer m_buffer;
    qint16 m_inputLen = 1;
    qint32 m_shortRead = -1;
};
