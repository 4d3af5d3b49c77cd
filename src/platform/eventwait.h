#pragma once

#include <functional>

// Lets pending events run until done() holds or limitMs of wall-clock time have passed, so that a
// condition driven by a stopped timer can never hang the caller. Returns whether done() held.
namespace EventWait {

bool waitUntil(const std::function<bool()>& done, int limitMs, int pollMs = 10);

} // namespace EventWait
