#include "analysis/readings.h"

#include "state/anglemanager.h"
#include "state/numbers.h"

#include <array>
#include <charconv>
#include <cmath>

namespace Readings {

namespace {
// Whole decimal digits only, as the minutes and degrees of a deg-min-sec text.
std::optional<qint64> digits(QStringView text)
{
    if (text.isEmpty() || text.size() > 12)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

std::optional<double> degMinSec(QStringView text)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (negative || text.startsWith(QLatin1Char('+')))
        text = text.mid(1);
    const qsizetype first = text.indexOf(QLatin1Char(':'));
    const qsizetype second = text.indexOf(QLatin1Char(':'), first + 1);
    if (second < 0 || text.indexOf(QLatin1Char(':'), second + 1) >= 0)
        return std::nullopt;
    const auto degrees = digits(text.left(first));
    const auto minutes = digits(text.mid(first + 1, second - first - 1));
    const QStringView secondsText = text.mid(second + 1).trimmed();
    if (!degrees || !minutes || *minutes >= 60 || secondsText.startsWith(QLatin1Char('-')) ||
        secondsText.startsWith(QLatin1Char('+')))
        return std::nullopt;
    const double seconds = number(secondsText).value_or(-1.0);
    if (!(seconds >= 0 && seconds < 60))
        return std::nullopt;
    const double value =
        static_cast<double>(*degrees) * 3600.0 + static_cast<double>(*minutes) * 60.0 + seconds;
    return negative ? -value : value;
}
} // namespace

std::optional<double> number(QStringView text)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1Char('+')))
        text = text.mid(1);
    std::array<char, 64> buffer{};
    if (text.isEmpty() || text.size() > static_cast<qsizetype>(buffer.size()))
        return std::nullopt;
    qsizetype n = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // Letters other than an exponent's would let "inf" and "nan" through.
        if (!((u >= u'0' && u <= u'9') || u == u'.' || u == u',' || u == u'-' || u == u'+' || u == u'e' ||
              u == u'E'))
            return std::nullopt;
        buffer[static_cast<size_t>(n++)] = u == u',' ? '.' : static_cast<char>(u);
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(buffer.data(), buffer.data() + n, value);
    if (ec != std::errc() || end != buffer.data() + n || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> angleText(QStringView text, AngleUnit unit)
{
    text = text.trimmed();
    if (text.contains(QLatin1Char(':')))
        return degMinSec(text);
    const auto value = number(text);
    return value ? std::optional<double>(AngleManager::fromUnit(*value, unit)) : std::nullopt;
}

std::optional<double> angle(const TableLines& lines, qint32 line, int axis, AngleUnit shownUnit)
{
    const LineRecord* record = lines.record(line);
    if (record) {
        const double known = axis == 1 ? record->x : record->y;
        if (!std::isnan(known))
            return known;
    }
    return angleText(lines.text(line, axis), record && record->unit ? *record->unit : shownUnit);
}

std::optional<TobarReading> tobar(const TableLines& lines, qint32 line)
{
    const LineRecord* record = lines.record(line);
    if (record && !std::isnan(record->x))
        return TobarReading{record->inch ? record->x * MmPerInch : record->x, record->inch};
    QStringView text = lines.text(line, 1).trimmed();
    bool inch = lines.text(line, 2).trimmed() == QLatin1String("\"");
    if (text.endsWith(QLatin1String("mm"))) {
        text.chop(2);
        inch = false;
    } else if (text.endsWith(QLatin1Char('"'))) {
        text.chop(1);
        inch = true;
    }
    const auto value = number(text);
    if (!value)
        return std::nullopt;
    return TobarReading{inch ? *value * MmPerInch : *value, inch};
}

QString angleFigure(double arcsec, AngleUnit unit)
{
    if (!std::isfinite(arcsec))
        return {};
    switch (unit) {
    case AngleUnit::Degree:
        return Numbers::fixedText(AngleManager::inUnit(arcsec, unit), 7);
    case AngleUnit::DegMinSec:
        return AngleManager::formatDegMinSec(arcsec, 3).trimmed();
    case AngleUnit::Mrad:
        return Numbers::fixedText(AngleManager::inUnit(arcsec, unit), 5);
    case AngleUnit::MicroPerMetre:
        return Numbers::fixedText(AngleManager::inUnit(arcsec, unit), 2);
    default:
        return Numbers::fixedText(arcsec, 4);
    }
}

QString tobarFigure(double mm, bool inch)
{
    return inch ? Numbers::fixedText(mm / MmPerInch, 5) : Numbers::fixedText(mm, 4);
}

} // namespace Readings
