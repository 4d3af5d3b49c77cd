#pragma once

#include <QByteArray>
#include <QtGlobal>

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
};
