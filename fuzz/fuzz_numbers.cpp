// The two readings of numbers and the number texts: the leading-number reading against an independent
// reading of the same rule, the strict readings against their ranges, the shortest text read back. (The
// angle texts of arbitrary values are checked by the receive harness.)
#include "fuzzcheck.h"

#include "state/numbers.h"

#include <QLocale>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The rule written out once more: ignore blanks, tabs and line feeds; take [sign] digits [. digits]
// [(E|D) [sign] digits] from the start; nothing numeric reads 0.
double referenceLeadingNumber(const QString& text)
{
    std::string s;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == ' ' || u == '\t' || u == '\n')
            continue;
        if (u > 0x7f)
            break;
        s += static_cast<char>(u);
    }
    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number += s[i++];
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number += s[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    if (i < s.size() && std::strchr("EeDd", s[i]) && s[i] != '\0') {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent += s[j++];
        bool expDigits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exponent += s[j++];
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    // strtod reads the C locale's point here: this harness never changes the C locale.
    return std::strtod(number.c_str(), nullptr);
}

bool sameReading(double a, double b)
{
    if (a == b)
        return true;
    // Below the normal range the two may differ in how they round to a subnormal or to zero.
    return std::fabs(a) < DBL_MIN && std::fabs(b) < DBL_MIN;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& text : {QString::fromLatin1(bytes), QString::fromUtf8(bytes)}) {
        const double leading = Numbers::leadingNumber(text);
        FUZZ_CHECK(!std::isnan(leading));
        FUZZ_CHECK(sameReading(leading, referenceLeadingNumber(text)));

        for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
            const auto strict = Numbers::strictNumber(text, locale);
            if (strict)
                FUZZ_CHECK(std::isfinite(*strict));
            const auto small = Numbers::strictInt16(text, locale);
            const auto whole = Numbers::strictInt32(text, locale);
            if (small || whole)
                FUZZ_CHECK(strict);
            if (small)
                FUZZ_CHECK(Numbers::roundHalfEven(*strict) == *small);
            if (whole)
                FUZZ_CHECK(Numbers::roundHalfEven(*strict) == *whole);
        }

        // The shortest text reads back as nearly the same number, never as infinity or NaN.
        const QString shortest = Numbers::shortestText(leading, QLocale::c());
        FUZZ_CHECK(FuzzCheck::showsNoInfOrNan(shortest));
        const double back = Numbers::leadingNumber(shortest);
        FUZZ_CHECK(std::isfinite(back));
        if (std::isfinite(leading) && std::fabs(leading) >= DBL_MIN)
            FUZZ_CHECK(std::fabs(back - leading) <= 1e-14 * std::fabs(leading));
        // The files' numbers read back exactly; a negative value keeps its sign when it rounds to zero.
        const QString dot = Numbers::dotText(leading);
        FUZZ_CHECK(std::isfinite(leading) ? sameReading(Numbers::leadingNumber(dot), leading)
                                          : dot.isEmpty());
        const QString fixed = Numbers::fixedText(leading, 3);
        FUZZ_CHECK(fixed.isEmpty() || fixed.startsWith(QLatin1Char('-')) == (leading < 0));
        (void)Numbers::toInt16HalfEven(leading);
        (void)Numbers::toInt32HalfEven(leading);
    }
    return 0;
}
