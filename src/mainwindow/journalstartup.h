#pragma once

#include <memory>

struct AppState;
class Journal;
class Link;
class QString;
class QWidget;
class Tables;

namespace JournalStartup {

// Opens the journal in folder; after a session without a clean end, once the shown window is laid out, asks
// whether to restore its tables and measurement log ("Restore" or "Discard"), then begins a new session
// following tables and link.
std::unique_ptr<Journal> start(QWidget* parent, AppState& state, Tables& tables, Link& link,
                               const QString& folder);

} // namespace JournalStartup
