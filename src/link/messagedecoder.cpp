#include "link/linkreceiver.h"

#include "state/numbers.h"

#include <array>
#include <cmath>
#include <limits>
#include <optional>

namespace {
constexpr qint32 CountdownStart = std::numeric_limits<qint32>::max();
constexpr int LastSlot = LinkInternal::TokenSlots - 1;
constexpr double FirstTobarMessage = static_cast<qint16>(TobarMessage::Efl);
constexpr double LastTobarMessage = static_cast<qint16>(TobarMessage::Bfl);

qint16 leadingWhole(const QString& text)
{
    return Numbers::toInt16HalfEven(Numbers::leadingNumber(text));
}

// A 24-bit two's complement value, least significant byte first.
qint32 raw24(const QByteArray& record, int first)
{
    const auto byte = [&record](int i) { return static_cast<qint32>(static_cast<quint8>(record.at(i))); };
    qint32 value = byte(first) + 256 * byte(first + 1) + 65536 * byte(first + 2);
    if (byte(first + 2) > 127)
        value -= 16777216;
    return value;
}
} // namespace

void LinkReceiver::decodeTextMessage()
{
    const double type = Numbers::leadingNumber(m_internal.tokens[0]);
    if (type >= 1.0 && type <= 4.0)
        decodeAngleMessage();
    else if (type == 6.0)
        decodeStoredHeader();
    else if (type == 5.0)
        decodeStoredRecord();
    else if (type == 8.0)
        m_options.modeTobar = m_internal.tokens[1] == QLatin1String("TOBAR");
    else if (type >= FirstTobarMessage && type <= LastTobarMessage)
        decodeTobarValue(type);
}

// Strict fields are read before anything changes: a message with one that cannot be read is skipped whole.
void LinkReceiver::decodeAngleMessage()
{
    QString& statusSlot = m_internal.tokens[1];
    // One strict reading serves both steps (the same as reading it again as a 16-bit whole number): the
    // regional format is costly to consult on every message.
    const std::optional<double> statusNumber = Numbers::strictNumber(statusSlot);
    if (!statusNumber)
        return;
    const bool aboveLimit = *statusNumber > 1000.0;
    const double whole = aboveLimit ? 0.0 : Numbers::roundHalfEven(*statusNumber);
    if (whole < std::numeric_limits<qint16>::min())
        return;
    const auto status = static_cast<qint16>(whole);

    m_options.modeTobar = false;
    if (aboveLimit)
        statusSlot = QStringLiteral("0");
    const QString s = QString::number(status);
    m_link.angleStatus = leadingWhole(s.right(1));
    qint16 signal = 0;
    if (s.size() == 4)
        signal = leadingWhole(s.mid(2, 1));
    else if (s.size() == 3)
        signal = leadingWhole(s.mid(1, 1));
    m_link.angleX = Numbers::leadingNumber(m_internal.tokens[2]);
    m_link.angleY = Numbers::leadingNumber(m_internal.tokens[3]);
    if (m_log)
        m_log->appendAngles(logTime(), m_link.angleX, m_link.angleY, m_link.angleStatus);

    if (!m_events)
        return;
    m_events->onMeasurement(m_link.angleX, m_link.angleY, m_link.angleStatus);
    if (m_link.storeAtIR && (signal & 1)) {
        m_link.storeSignal = StoreSignal::RemoteControl;
        m_events->onStoreSignal(m_link.storeSignal);
    } else if (m_link.storeAtExitkey && (signal & 2)) {
        m_link.storeSignal = StoreSignal::ExitKey;
        m_events->onStoreSignal(m_link.storeSignal);
    }
}

void LinkReceiver::decodeStoredHeader()
{
    const QLocale locale;
    const std::optional<qint16> columns = Numbers::strictInt16(m_internal.tokens[4], locale);
    const std::optional<qint16> grid = Numbers::strictInt16(m_internal.tokens[2], locale);
    const std::optional<qint32> records = Numbers::strictInt32(m_internal.tokens[3], locale);
    if (!columns || !grid || !records)
        return;
    m_internal.loadColumns = *columns;
    if (m_internal.loadColumns == 5)
        m_options.modeTobar = true; // the TOBAR table has five columns
    if (m_events)
        m_events->onReadoutStart(*grid, *records, *columns);
}

void LinkReceiver::decodeStoredRecord()
{
    const std::optional<qint16> grid = Numbers::strictInt16(m_internal.tokens[1]);
    if (!grid)
        return;
    if (m_internal.tokens[5] != QLatin1String("EFL"))
        m_internal.tokens[7].clear();
    if (!m_events)
        return;
    // A copy and a fixed count: the calls out may let further receive events change the slots.
    const std::array<QString, LinkInternal::TokenSlots> fields = m_internal.tokens;
    const int lastColumnSlot = m_internal.loadColumns + 2;
    m_events->onReadoutLine(*grid);
    // Columns a header announced past the last slot are written empty so the row stays complete.
    for (int i = 3; i <= lastColumnSlot; ++i)
        m_events->onReadoutCell(i <= LastSlot ? fields[static_cast<size_t>(i)] : QString());
}

void LinkReceiver::decodeTobarValue(double type)
{
    // A type between two message numbers takes the nearer one, halves to the even.
    m_link.lastTobarMsg = static_cast<TobarMessage>(Numbers::toInt16HalfEven(type));
    m_options.modeTobar = true;
    m_link.tobarStatus = leadingWhole(m_internal.tokens[1]);
    const double value = Numbers::leadingNumber(m_internal.tokens[2]);
    m_link.tobarValue = Numbers::shortestText(value);
    if (m_log)
        m_log->appendTobarAt(logTime(), value, m_link.tobarInInch());
    if (m_events)
        m_events->onTobarValue(m_link.tobarValue, m_link.tobarStatus, m_link.lastTobarMsg);
}

void LinkReceiver::decodeCompatibleRecord(const QByteArray& record)
{
    if (record.size() < RecordLength)
        return;
    m_link.angleX = raw24(record, 1) / 100.0;
    m_link.angleY = raw24(record, 4) / 100.0;
    if (m_link.isHR == 1) {
        m_link.angleX /= 10.0;
        m_link.angleY /= 10.0;
    }
    // Records carry no status: each one holds both axes.
    if (m_log)
        m_log->appendAngles(logTime(), m_link.angleX, m_link.angleY, 3);
    if (m_events)
        m_events->onMeasurement(m_link.angleX, m_link.angleY, 3);
}

void LinkReceiver::countMeasurement()
{
    qint32& countdown = m_internal.measureCountdown;
    // Wraps like the tick counter instead of overflowing (only reachable from the initial 0).
    countdown = countdown == std::numeric_limits<qint32>::min() ? CountdownStart : countdown - 1;
    // A divisor below 1 (not yet set) means no signal.
    const qint32 msgEvery = m_internal.msgSignalEvery;
    if (msgEvery >= 1 && countdown % msgEvery == 0 && m_events)
        m_events->onInterval();
    const qint32 updateEvery = m_internal.updateSignalEvery;
    if (updateEvery >= 1 && countdown % updateEvery == 0 && m_options.useBackground && m_background)
        m_background->writeBackgroundFile();
    if (countdown == 0)
        countdown = CountdownStart;
}

qint32 LinkReceiver::divisorFor(double time)
{
    if (std::isnan(time) || time < 1.0)
        return 1;
    // Halves to even; 2147483647.5 and above are limited to the largest count.
    return Numbers::toInt32HalfEven(time);
}

void LinkReceiver::setMsgSignal(double time)
{
    m_internal.msgSignalEvery = divisorFor(time);
}

void LinkReceiver::setUpdateSignal(double time)
{
    m_internal.updateSignalEvery = divisorFor(time);
}

void LinkReceiver::updateCompatibleStatus()
{
    if (m_internal.measureCountdown != m_internal.lastCountdownSeen) {
        m_link.angleStatus = 3;
        m_internal.lastCountdownSeen = m_internal.measureCountdown;
    } else {
        m_link.angleStatus = 0;
    }
}
