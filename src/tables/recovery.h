#pragma once

#include <QString>

class Table;

// Copies of tables that are about to be emptied or replaced, so that no measurement is lost without a
// trace. Each copy is a table file as "Save" writes it (so "Open" reads it back), in the folder "recovery"
// of the per-user data folder, named after the date and time, the table number and the cause.
namespace Recovery {

enum class Cause { ModeChange, Shutdown, ClearTable, Readout, OpenFile };

// The newest copies kept; older ones are removed when a copy is written.
inline constexpr int Kept = 200;

[[nodiscard]] QString folder();

// Writes a copy of the table when it holds lines and returns its path (empty when nothing was written).
// A failure is told on standard error, once per cause, and never stops the caller.
QString keep(const Table& table, int tableNumber, Cause cause, bool useComma);

} // namespace Recovery
