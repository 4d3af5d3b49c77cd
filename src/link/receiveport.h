#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

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

// A one-byte array without an allocation: in text mode every character is read on its own.
[[nodiscard]] inline QByteArray singleByte(char c)
{
    static constexpr std::array<char, 256> bytes = [] {
        std::array<char, 256> all{};
        for (int i = 0; i < 256; ++i)
            all[static_cast<size_t>(i)] = static_cast<char>(i);
        return all;
    }();
    return QByteArray::fromRawData(bytes.data() + static_cast<unsigned char>(c), 1);
}
