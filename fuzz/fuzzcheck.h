#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>

// A broken property is a crash to the fuzzer and a failed test to the replay.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

namespace FuzzCheck {

// Texts the program shows or writes must never carry what a formatted infinity or NaN looks like.
[[nodiscard]] inline bool showsNoInfOrNan(const QString& text)
{
    return !text.contains(QLatin1String("inf"), Qt::CaseInsensitive) &&
           !text.contains(QLatin1String("nan"), Qt::CaseInsensitive);
}

} // namespace FuzzCheck
