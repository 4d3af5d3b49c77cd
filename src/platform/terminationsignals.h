#pragma once

#include <functional>

class QObject;

// A request from outside to end the program runs a handler on the GUI thread, so that the program can end
// the way closing its window does instead of being cut off with its settings unsaved. On Unix these are
// SIGTERM (logout, kill), SIGINT (Ctrl+C in a terminal) and SIGHUP (the terminal went away); elsewhere
// nothing is caught.
namespace TerminationSignals {

// Replaces a handler installed before. A request that was ignored when the program started (nohup, a
// background job) stays ignored. While the handler runs, further requests are dropped. When context is
// destroyed the requests act as they did before. False when nothing could be caught.
[[nodiscard]] bool install(QObject* context, std::function<void()> handler);

} // namespace TerminationSignals
