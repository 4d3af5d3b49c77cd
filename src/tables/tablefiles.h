#pragma once

#include "state/angleunit.h"

#include <QString>

#include <optional>

class Table;

// Table text: no header row, no line numbers, TAB between columns, CR LF after every line, the separator
// rule on every cell, 8-bit text. The same text goes to files and to the clipboard.
namespace TableFiles {

[[nodiscard]] QString tableText(const Table& table, bool useComma);
// Writes the whole file or nothing: a failure leaves any previous file as it was. False on failure.
[[nodiscard]] bool saveTable(const Table& table, const QString& fileName, bool useComma);
// Replaces the lines of the table by the file's lines. A file that cannot be opened leaves the table as it
// was; a read error keeps the lines read so far. The new lines are announced once and keep `unit` as the unit
// of their angle texts. False when the file could not be opened.
bool loadTable(Table& table, const QString& fileName, std::optional<AngleUnit> unit = std::nullopt);

} // namespace TableFiles
