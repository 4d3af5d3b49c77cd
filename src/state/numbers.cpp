#include "state/numbers.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
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
    const auto isDigit = [&s](size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };

    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    std::string number; // unsigned mantissa and exponent, in the form from_chars reads
    // Decimal position of the first non-zero digit (10^magnitude), to tell overflow from underflow.
    long magnitude = 0;
    bool nonZero = false;
    size_t digits = 0;
    while (isDigit(i)) {
        if (nonZero)
            ++magnitude;
        else if (s[i] != '0')
            nonZero = true;
        number.push_back(s[i++]);
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (isDigit(i)) {
            if (!nonZero) {
                --magnitude;
                nonZero = s[i] != '0';
            }
            number.push_back(s[i++]);
            ++digits;
        }
    }
    if (digits == 0 || !nonZero)
        return 0.0; // also no negative zero

    long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        const bool negativeExponent = j < s.size() && s[j] == '-';
        const size_t expStart = (j < s.size() && (s[j] == '+' || s[j] == '-')) ? j + 1 : j;
        j = expStart;
        while (isDigit(j)) {
            exponent = std::min(exponent * 10 + (s[j] - '0'), 100000L); // far past any double
            ++j;
        }
        if (j > expStart) {
            if (negativeExponent)
                exponent = -exponent;
            number += 'e';
            number += std::to_string(exponent);
        }
    }

    // from_chars, unlike strtod, ignores the C locale that QCoreApplication sets from the environment.
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (result.ec != std::errc())
        value = 0.0;
    if (value == 0.0)
        return 0.0;
    return negative ? -value : value;
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
    return value ? wholeInRange<T>(*value) : std::nullopt;
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

qint16 toInt16HalfEven(double value)
{
    return toWholeHalfEven<qint16>(value);
}
qint32 toInt32HalfEven(double value)
{
    return toWholeHalfEven<qint32>(value);
}

QString shortestText(double value, const QLocale& locale)
{
    if (std::isnan(value))
        value = 0.0;
    else if (std::isinf(value))
        // The largest magnitude whose 15-digit text still reads back finite (the maximum double
        // itself prints rounded up, past the range).
        value = std::copysign(1.79769313486231e308, value);
    if (value == 0.0)
        value = 0.0; // no "-0"
    QString text = QString::number(value, 'G', 15);
    const QString point = locale.decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

QString fixedText(double value, int decimals)
{
    if (!std::isfinite(value))
        return {};
    decimals = std::max(decimals, 0);

    // "d.dddddddddddddde+XX": 15 significant digits, independent of the C and Qt locales (exact ties
    // rounded up). The rest works in buffers: the live values are formatted five times a second.
    constexpr int Significant = 15;
    const QByteArray scientific = QByteArray::number(std::fabs(value), 'e', Significant - 1);
    const qsizetype e = scientific.indexOf('e');
    int exponent = 0;
    (void)std::from_chars(scientific.constData() + e + (scientific.at(e + 1) == '+' ? 2 : 1),
                          scientific.constData() + scientific.size(), exponent);
    // One more place in front for a carry out of the first digit.
    char digitBuffer[Significant + 1];
    char* digits = digitBuffer + 1;
    digits[0] = scientific.at(0);
    std::copy(scientific.constData() + 2, scientific.constData() + e, digits + 1);
    int count = Significant;

    int intDigits = exponent + 1; // digits before the decimal point, may be <= 0
    const int keep = intDigits + decimals;
    if (keep < 0) {
        count = 0;
    } else if (keep < count) {
        const bool up = digits[keep] >= '5';
        count = keep;
        if (up) {
            int i = keep - 1;
            while (i >= 0 && digits[i] == '9')
                digits[i--] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {
                *--digits = '1';
                ++count;
                ++intDigits;
            }
        }
    }

    // The kept digits around the decimal point, padded with zeros on both sides.
    QVarLengthArray<char, 64> text;
    if (value < 0)
        text.append('-');
    const auto digit = [&](int at) { return at >= 0 && at < count ? digits[at] : '0'; };
    if (intDigits > 0) {
        for (int i = 0; i < intDigits; ++i)
            text.append(digit(i));
    } else {
        text.append('0');
    }
    QString fixed = QString::fromLatin1(text.data(), text.size());
    if (decimals > 0) {
        text.clear();
        for (int i = 0; i < decimals; ++i)
            text.append(digit(intDigits + i));
        fixed += QLocale().decimalPoint();
        fixed += QLatin1String(text.data(), text.size());
    }
    return fixed;
}

QString dotText(double value)
{
    if (!std::isfinite(value))
        return {};
    if (value == 0.0)
        value = 0.0; // no "-0"
    char buffer[32]; // the longest shortest form, "-2.2250738585072014e-308", takes 24
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return QString::fromLatin1(buffer, end - buffer);
}

QString dotText(double value, int decimals)
{
    if (!std::isfinite(value))
        return {};
    char buffer[400]; // the largest double has 309 integer digits
    const auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                     std::clamp(decimals, 0, 60));
    if (fixed.ec != std::errc())
        return {};
    double rounded = 0;
    (void)std::from_chars(buffer, fixed.ptr, rounded);
    return dotText(rounded);
}

} // namespace Numbers
