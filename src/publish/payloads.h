#pragma once

#include "analysis/linerecord.h"

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

// The JSON texts (UTF-8) published for measurements, stored lines and the program's status.
namespace Payloads {

// Angles in arcseconds as shown (zero offsets applied); NaN where the axis holds no valid value.
[[nodiscard]] QByteArray angles(qint64 msecs, qint32 utcOffset, double x, double y);
// A TOBAR value (NaN: none) in mm or inch.
[[nodiscard]] QByteArray tobar(qint64 msecs, qint32 utcOffset, double value, bool inch);
// A stored table line: its cells and its record (null: none).
[[nodiscard]] QByteArray line(int table, qint32 line, const QStringList& cells, const LineRecord* record);
// Online with the link's mode and device, or offline (the last will, or the clean end).
[[nodiscard]] QByteArray online(const QString& mode, const QString& device);
[[nodiscard]] QByteArray offline();
[[nodiscard]] QString version();

} // namespace Payloads
