#pragma once

#include "analysis/linerecord.h"
#include "state/angleunit.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// A table as CSV for spreadsheets: RFC 4180, UTF-8 with a byte order mark, CRLF, a header row, one row per
// table line with the line's texts as shown and its record's time, unit, angles and source.
namespace CsvExport {

struct Table {
    bool tobar = false;
    qint32 lines = 0; // table lines 1 .. lines
    std::function<QString(qint32 line, qint32 col)> cell;
    std::function<const LineRecord*(qint32 line)> record; // null: none
};

[[nodiscard]] QByteArray text(const Table& table);
// Writes the whole file or nothing: a failure leaves any previous file as it was. False on failure.
[[nodiscard]] bool write(const Table& table, const QString& fileName);

// The file's start: the byte order mark that spreadsheets read as UTF-8.
inline constexpr char Bom[] = "\xEF\xBB\xBF";
// ISO 8601 with milliseconds and the offset, e.g. 2024-03-01T14:05:09.042+01:00.
[[nodiscard]] QString timeText(qint64 msecs, qint32 utcOffset);

// The local time's offset from UTC (seconds east) at a moment. Each lookup reads the time-zone data, so
// each minute is looked up once; the last few minutes asked for are kept.
class UtcOffsets {
public:
    [[nodiscard]] qint32 at(qint64 msecs);

private:
    QHash<qint64, qint32> m_minutes;
};

// Rows of texts, the first the header, written whole or not at all by the same rules. False on failure.
[[nodiscard]] bool writeRows(const QList<QStringList>& rows, const QString& fileName);

[[nodiscard]] QString unitName(AngleUnit unit);
[[nodiscard]] QString sourceName(LineRecord::Source source);

} // namespace CsvExport
