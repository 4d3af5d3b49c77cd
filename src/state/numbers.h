#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>

#include <limits>
#include <optional>

// The two readings of numbers in text and the number texts the program writes.
namespace Numbers {

// Leading-number reading: blanks, tabs and line feeds are ignored anywhere, a full stop is always the
// decimal point, an exponent may start with E or D. Never fails: no leading number reads as 0, an
// overflowing exponent as +-infinity.
[[nodiscard]] double leadingNumber(const QString& text);

// Strict reading: the whole text must be a number in the given (default: regional) format.
[[nodiscard]] std::optional<double> strictNumber(const QString& text, const QLocale& locale = QLocale());
// Strict whole numbers: rounded halves to even, then range-checked.
[[nodiscard]] std::optional<qint16> strictInt16(const QString& text, const QLocale& locale = QLocale());
[[nodiscard]] std::optional<qint32> strictInt32(const QString& text, const QLocale& locale = QLocale());

// Nearest whole number, halves to the even neighbour.
[[nodiscard]] double roundHalfEven(double value);
// Halves to even, then the range check: empty when the result (or NaN) lies outside T.
template <typename T> [[nodiscard]] std::optional<T> wholeInRange(double value)
{
    const double rounded = roundHalfEven(value);
    if (!(rounded >= static_cast<double>(std::numeric_limits<T>::min()) &&
          rounded <= static_cast<double>(std::numeric_limits<T>::max())))
        return std::nullopt;
    return static_cast<T>(rounded);
}
// Halves to even, limited to the 16-bit or 32-bit range (NaN gives 0).
[[nodiscard]] qint16 toInt16HalfEven(double value);
[[nodiscard]] qint32 toInt32HalfEven(double value);

// Shortest general form: up to 15 significant digits, no grouping, exponent only for very large or very
// small magnitudes, with the locale's decimal separator. Infinities are written as the largest finite
// value of that form and NaN as 0, so that readers always get a number.
[[nodiscard]] QString shortestText(double value, const QLocale& locale = QLocale());

// Fixed-point text with all integer digits and exactly `decimals` decimals and the regional decimal point,
// halves rounded away from zero as the value prints with 15 significant digits (so 0.0005 goes up to
// 0.001). Every negative value keeps its minus sign, also one that rounds to zero ("-0.000"); empty for
// infinities and NaN.
[[nodiscard]] QString fixedText(double value, int decimals);

// The shortest text that reads back as the same double, with a full stop whatever the locale, as files
// for other programs take numbers ("34.69", "1e-05"). Zero has no sign; empty for infinities and NaN.
[[nodiscard]] QString dotText(double value);
// The same of the value rounded to `decimals` decimals: no trailing zeros ("0.3", "12").
[[nodiscard]] QString dotText(double value, int decimals);

} // namespace Numbers
