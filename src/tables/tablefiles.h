#pragma once

#include <QString>

class FlexGrid;

// Table text: no header row, no line numbers, TAB between columns, CR LF after every line, the separator
// rule on every cell, 8-bit text. The same text goes to files and to the clipboard.
namespace TableFiles {

[[nodiscard]] QString tableText(const FlexGrid& grid, bool useComma);
// Writes the whole file or nothing: a failure leaves any previous file as it was. False on failure.
[[nodiscard]] bool saveTable(const FlexGrid& grid, const QString& fileName, bool useComma);
// Replaces the lines of the table by the file's lines. A file that cannot be opened leaves the table as it
// was; a read error keeps the lines read so far. False when the file could not be opened.
bool loadTable(FlexGrid& grid, const QString& fileName);
void copyTableToClipboard(const FlexGrid& grid, bool useComma);

} // namespace TableFiles
