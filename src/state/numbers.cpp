#include "state/numbers.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace Numbers {

double leadingNumber(const QString& text)
{
    // Collect the characters that matter, skipping the ignored ones, then take the longest prefix of the
    // form [sign] digits [. digits] [(E|D) [sign] digits].
    std::string s;
    s.reserve(static_cast<size_t>(text.size()));
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t' || u == u'\n')
            continue;
        if (u > 0x7f)
            break;
        s.push_back(static_cast<char>(u));
    }

    size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number.push_back(s[i++]);
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        number.push_back(s[i++]);
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            number.push_back(s[i++]);
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent.push_back(s[j++]);
        size_t expDigits = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            exponent.push_back(s[j++]);
            ++expDigits;
        }
        if (expDigits > 0)
            number += exponent;
    }
    // strtod gives +-HUGE_VAL (infinity) on overflow and 0 on underflow, as wanted.
    const double value = std::strtod(number.c_str(), nullptr);
    return value == 0.0 ? 0.0 : value; // no negative zero
}

std::optional<double> strictNumber(const QString& text, const QLocale& locale)
{
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double roundHalfEven(double value)
{
    // The default floating-point rounding mode rounds halves to even.
    return std::nearbyint(value);
}

namespace {
template <typename T> std::optional<T> strictWhole(const QString& text, const QLocale& locale)
{
    const auto value = strictNumber(text, locale);
    if (!value)
        return std::nullopt;
    const double rounded = roundHalfEven(*value);
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(rounded);
}

template <typename T> T toWholeHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = roundHalfEven(value);
    if (rounded <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (rounded >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(rounded);
}
} // namespace

std::optional<qint16> strictInt16(const QString& text, const QLocale& locale)
{
    return strictWhole<qint16>(text, locale);
}

std::optional<qint32> strictInt32(const QString& text, const QLocale& locale)
{
    return strictWhole<qint32>(text, locale);
}

qint16 toInt16HalfEven(double value) { return toWholeHalfEven<qint16>(value); }
qint32 toInt32HalfEven(double value) { return toWholeHalfEven<qint32>(value); }

QString shortestText(double value, const QLocale& locale)
{
    if (std::isnan(value))
        value = 0.0;
    else if (std::isinf(value))
        value = std::copysign(std::numeric_limits<double>::max(), value);
    if (value == 0.0)
        value = 0.0; // no "-0"
    QString text = QString::number(value, 'G', 15);
    const QString point = locale.decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

} // namespace Numbers
