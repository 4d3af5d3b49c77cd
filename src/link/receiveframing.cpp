#include "link/linkreceiver.h"

#include <QDateTime>

namespace {
constexpr QChar Space = QLatin1Char(' ');
constexpr QChar CarriageReturn = QLatin1Char('\r');
constexpr qint16 LastSlot = LinkInternal::TokenSlots - 1;
} // namespace

void LinkReceiver::receive(PortCode event)
{
    if (!m_port)
        return;
    switch (event) {
    case PortCode::Receive:
        if (m_link.portMode == LinkMode::Compatible)
            receiveCompatible();
        else
            receiveText();
        break;
    case PortCode::RxOver:
        // The partial token and the synchronisation stay: the collector may join two messages, which the
        // lenient fields of the decoder tolerate.
        m_port->clearInBuffer();
        break;
    default:
        break;
    }
}

bool LinkReceiver::readChar(QChar& c)
{
    if (!m_port || m_port->InBufferCount() < 1)
        return false;
    m_port->setInputLen(1);
    const QByteArray bytes = m_port->Input();
    // A port that reports waiting bytes but delivers none must not keep us looping.
    if (bytes.isEmpty())
        return false;
    c = QChar::fromLatin1(bytes.at(0));
    return true;
}

void LinkReceiver::stampMessage()
{
    const qint64 at = m_clock.stamp(m_port->lastTakenArrival());
    m_messageMsecs = QDateTime::currentMSecsSinceEpoch() - (steadyMicros() - at) / 1000;
}

QByteArray LinkReceiver::readBytes(qint16 count)
{
    m_port->setInputLen(count);
    return m_port->Input();
}

void LinkReceiver::receiveText()
{
    if (!m_port)
        return;
    if (!m_internal.inSync) {
        QChar c;
        for (;;) {
            if (!readChar(c))
                return;
            if (c == CarriageReturn)
                break;
        }
        m_internal.tokenIndex = 0;
        m_internal.inSync = true;
        m_internal.token.clear();
        m_lineHasToken = false;
    }
    collectTextTokens();
}

void LinkReceiver::collectTextTokens()
{
    QChar c;
    while (readChar(c)) {
        if (c != Space && c != CarriageReturn) {
            if (m_internal.token.size() < MaxTokenLength)
                m_internal.token.append(c);
            m_internal.lastWasSpace = false;
            continue;
        }
        const bool isSpace = c == Space;
        // A doubled space ends the pass; the rest of the line waits for the next receive event.
        if (m_internal.lastWasSpace && isSpace)
            return;
        m_internal.lastWasSpace = isSpace;
        // The index is public state; keep it inside the slots whatever was assigned to it.
        qint16 index = qBound<qint16>(0, m_internal.tokenIndex, LastSlot);
        if (!m_internal.token.isEmpty()) {
            m_internal.tokens[static_cast<size_t>(index)] = m_internal.token;
            m_lineHasToken = true;
        }
        m_internal.token.clear();
        if (index < LastSlot)
            ++index;
        m_internal.tokenIndex = index;
        if (!isSpace) {
            m_internal.tokenIndex = 0;
            if (m_lineHasToken) {
                m_lineHasToken = false;
                stampMessage();
                decodeTextMessage();
                countMeasurement();
            }
        }
    }
}

void LinkReceiver::receiveCompatible()
{
    if (!m_port)
        return;
    if (m_internal.inSync) {
        const QByteArray record = readBytes(RecordLength);
        // A short read or a record with both frame bytes wrong loses the synchronisation.
        if (record.size() < RecordLength ||
            (record.at(0) != RecordStart && record.at(RecordLength - 1) != RecordEnd)) {
            m_internal.inSync = false;
            return;
        }
        stampMessage();
        decodeCompatibleRecord(record);
        countMeasurement();
        return;
    }

    const QByteArray start = readBytes(1);
    if (start.isEmpty() || start.at(0) != RecordStart)
        return;
    const QByteArray rest = readBytes(RecordLength - 1);
    if (rest.size() < RecordLength - 1)
        return;
    if (rest.at(RecordLength - 2) == RecordEnd)
        m_internal.inSync = true; // this first record only brings synchronisation
    else
        (void)readBytes(1);
}
