#include "sim/instrumentmodel.h"

#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr qint32 RawMax = 8388607;
constexpr qint32 RawMin = -8388608;
constexpr int MaxKeptCommands = 1000;

// The value rounded to the given decimals and written with exactly those, never as "-0.00".
QString fixed(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0;
    return QString::number(rounded, 'f', decimals);
}

double roundTo(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

qint32 toRaw(double arcsec, double scale)
{
    const double raw = std::round(arcsec * scale);
    if (raw > RawMax)
        return RawMax;
    if (raw < RawMin)
        return RawMin;
    return static_cast<qint32>(raw);
}

QString tobarTypeName(int type)
{
    switch (type) {
    case 30:
        return QStringLiteral("EFL");
    case 31:
        return QStringLiteral("Radius");
    default:
        return QStringLiteral("BFL");
    }
}

} // namespace

InstrumentModel::AnglePair InstrumentModel::driftAt(qint64 timeMs)
{
    const double t = static_cast<double>(timeMs);
    return AnglePair{15.0 + 120.0 * std::sin(2.0 * Pi * t / 30000.0),
                     -40.0 + 75.0 * std::cos(2.0 * Pi * t / 45000.0)};
}

InstrumentModel::TobarReading InstrumentModel::tobarAt(qint64 timeMs, int poll, bool inch)
{
    const double deviation = 0.02 * std::sin(2.0 * Pi * static_cast<double>(timeMs) / 8000.0);
    const bool go = std::abs(deviation) <= TobarToleranceMm;
    const int reticle = (poll / 20) % 4;
    TobarReading reading;
    reading.type = 30 + (poll / 40) % 3;
    reading.status = reticle * 100 + (inch ? 10 : 0) + (go ? 2 : 1);
    const double mm = TobarNominalMm + deviation;
    reading.value = inch ? fixed(mm / 25.4, 4) : fixed(mm, 3);
    return reading;
}

int InstrumentModel::bytesPerSecond(LinkMode mode)
{
    return (mode == LinkMode::Text ? TextBaud : CompatibleBaud) / 10;
}

QByteArray InstrumentModel::compatibleRecord(qint32 rawX, qint32 rawY)
{
    QByteArray record(8, '\0');
    record[0] = 0x02;
    for (int i = 0; i < 3; ++i) {
        record[1 + i] = static_cast<char>((static_cast<quint32>(rawX) >> (8 * i)) & 0xFF);
        record[4 + i] = static_cast<char>((static_cast<quint32>(rawY) >> (8 * i)) & 0xFF);
    }
    record[7] = 0x03;
    return record;
}

void InstrumentModel::setLinkMode(LinkMode mode)
{
    if (mode == m_linkMode)
        return;
    m_linkMode = mode;
    // What was queued in the other format means nothing on the new line.
    m_out.clear();
    m_textCommand.clear();
    m_textOverlong = false;
    m_frame.clear();
    m_pendingSignal = 0;
}

void InstrumentModel::setKind(Kind kind)
{
    if (kind == m_kind)
        return;
    m_kind = kind;
    m_pendingSignal = 0;
    m_lastAnnounce = m_now;
    if (m_linkMode == LinkMode::Text)
        m_out.append(kind == Kind::Tobar ? "8 TOBAR\r" : "8 ORVELAN\r");
}

void InstrumentModel::setRate(int perSecond)
{
    m_rate = qBound(1, perSecond, MaxRate);
    m_rateStart = m_now;
}

qint64 InstrumentModel::lastDueBy(qint64 timeMs) const
{
    // Message k goes at floor(k * 1000 / rate) ms, so rates that do not divide a second stay on average.
    return ((timeMs - m_rateStart + 1) * m_rate - 1) / 1000;
}

void InstrumentModel::advance(qint64 ms)
{
    if (ms <= 0)
        return;
    const qint64 target = m_now + ms;
    qint64 first = lastDueBy(m_now) + 1;
    const qint64 last = lastDueBy(target);
    // After a long stall the instrument does not catch up with everything it would have sent.
    if (last - first + 1 > MaxCatchUpMessages)
        first = last - MaxCatchUpMessages + 1;
    for (qint64 k = first; k <= last; ++k) {
        m_now = m_rateStart + k * 1000 / m_rate;
        periodic(m_now);
    }
    m_now = target;
}

void InstrumentModel::periodic(qint64 timeMs)
{
    if (!m_streaming || m_lineBusy)
        return;
    if (m_kind == Kind::Orvelan) {
        sendAngles(timeMs);
        return;
    }
    // A TOBAR instrument that nobody polls keeps telling its mode, so a program that connects later learns
    // it.
    if (m_linkMode == LinkMode::Text && timeMs - m_lastPoll >= AnnouncePeriodMs &&
        timeMs - m_lastAnnounce >= AnnouncePeriodMs) {
        m_out.append("8 TOBAR\r");
        m_lastAnnounce = timeMs;
    }
}

void InstrumentModel::sendAngles(qint64 timeMs)
{
    AnglePair angles = m_fixed ? *m_fixed : driftAt(timeMs);
    if (m_noise > 0) {
        angles.x += m_noise * (2.0 * m_random.generateDouble() - 1.0);
        angles.y += m_noise * (2.0 * m_random.generateDouble() - 1.0);
    }
    if (m_linkMode == LinkMode::Text) {
        const int status = 100 + 10 * m_pendingSignal + m_validity + (m_averaging ? 4 : 0);
        m_out.append(QStringLiteral("1 %1 %2 %3\r")
                         .arg(status)
                         .arg(fixed(angles.x, 2), fixed(angles.y, 2))
                         .toLatin1());
        m_lastAngles = AnglePair{roundTo(angles.x, 2), roundTo(angles.y, 2)};
    } else {
        const double scale = m_hr ? 1000.0 : 100.0;
        const qint32 rawX = toRaw(angles.x, scale);
        const qint32 rawY = toRaw(angles.y, scale);
        m_out.append(compatibleRecord(rawX, rawY));
        // Divided the way a receiver divides, so a comparison can be exact.
        m_lastAngles = AnglePair{rawX / 100.0, rawY / 100.0};
        if (m_hr)
            m_lastAngles = AnglePair{m_lastAngles.x / 10.0, m_lastAngles.y / 10.0};
    }
    m_pendingSignal = 0;
    ++m_angleMessages;
}

void InstrumentModel::receive(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (m_linkMode == LinkMode::Text)
            receiveText(c);
        else
            receiveCompatible(c);
    }
}

void InstrumentModel::receiveText(char c)
{
    if (c == '\r') {
        if (!m_textOverlong) {
            const QString command = QString::fromLatin1(m_textCommand).trimmed();
            if (!command.isEmpty())
                execute(command);
        }
        m_textCommand.clear();
        m_textOverlong = false;
    } else if (c != '\n') {
        if (m_textCommand.size() < MaxCommandLength)
            m_textCommand.append(c);
        else
            m_textOverlong = true;
    }
}

void InstrumentModel::receiveCompatible(char c)
{
    // A sliding window finds the frame 02 <code> 03 wherever it starts, even after a broken one.
    m_frame.append(c);
    if (m_frame.size() > 3)
        m_frame.remove(0, 1);
    if (m_frame.size() < 3 || m_frame[0] != 0x02 || m_frame[2] != 0x03)
        return;
    const auto code = static_cast<unsigned char>(m_frame[1]);
    m_frame.clear();
    execute(code >= 0x21 && code < 0x7F
                ? QString(QChar(code))
                : QStringLiteral("0x") + QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper());
}

void InstrumentModel::execute(const QString& command)
{
    m_commands.append(command);
    if (m_commands.size() > MaxKeptCommands)
        m_commands.removeFirst();

    const bool text = m_linkMode == LinkMode::Text;
    if (command == QLatin1String("M")) {
        m_averaging = true;
    } else if (command == QLatin1String("U")) {
        m_averaging = false;
    } else if (command == QLatin1String("b")) {
        // Only a TOBAR instrument answers, and only in text mode: records carry angles only.
        if (text && m_kind == Kind::Tobar) {
            m_lastTobar = tobarAt(m_now, m_polls, m_inch);
            ++m_polls;
            m_lastPoll = m_now;
            m_out.append(QStringLiteral("%1 %2 %3\r")
                             .arg(m_lastTobar.type)
                             .arg(m_lastTobar.status)
                             .arg(m_lastTobar.value)
                             .toLatin1());
        }
    } else if (command == QLatin1String("t")) {
        if (text)
            m_out.append(storedReadout());
    }
    // "d", "R" and anything else: taken, no answer.
}

QByteArray InstrumentModel::takeOutput()
{
    QByteArray out;
    out.swap(m_out);
    return out;
}

QStringList InstrumentModel::takeCommands()
{
    QStringList commands;
    commands.swap(m_commands);
    return commands;
}

QStringList InstrumentModel::storedRecord(int n) const
{
    const qint64 when = static_cast<qint64>(n) * 1000;
    if (m_kind == Kind::Orvelan) {
        const AnglePair a = driftAt(when);
        return {fixed(a.x, 2), fixed(a.y, 2)};
    }
    const TobarReading r = tobarAt(when, n * 20, m_inch);
    const int gonogo = r.status % 10;
    // The comment only counts for EFL lines; the others carry a placeholder the receiver must drop.
    const QString comment = r.type == 30 ? QStringLiteral("LP%1").arg(r.status / 100) : QStringLiteral("-");
    return {r.value, m_inch ? QStringLiteral("\"") : QStringLiteral("mm"), tobarTypeName(r.type),
            gonogo == 2 ? QStringLiteral("Go") : QStringLiteral("NG"), comment};
}

QByteArray InstrumentModel::storedReadout() const
{
    QByteArray out = QStringLiteral("6 0 %1 %2 %3\r")
                         .arg(m_storedTable)
                         .arg(m_storedRecords)
                         .arg(storedColumns())
                         .toLatin1();
    for (int n = 1; n <= m_storedRecords; ++n) {
        out.append(QStringLiteral("5 %1 %2 %3\r")
                       .arg(m_storedTable)
                       .arg(n)
                       .arg(storedRecord(n).join(QLatin1Char(' ')))
                       .toLatin1());
    }
    return out;
}
