#pragma once

#include "analysis/measurementlog.h"
#include "state/angleunit.h"

#include <QString>

// A span of the measurement log as CSV, by the rules of the table export (UTF-8 with a byte order mark, CRLF,
// a header row): "time,x,y,unit" for angles, "time,value,unit" for TOBAR values. Times are local ISO 8601
// with milliseconds and the offset; a value the log does not hold is an empty field. The file is written
// whole or not at all; false on failure or for an unknown unit.
namespace LogCsv {

// Angles less the zero offsets, in the unit.
[[nodiscard]] bool writeAngles(const MeasurementLog& log, qint64 t0, qint64 t1, AngleUnit unit, double zeroX,
                               double zeroY, const QString& fileName);
// TOBAR values as they arrived, with their unit "mm" or "inch".
[[nodiscard]] bool writeTobar(const MeasurementLog& log, qint64 t0, qint64 t1, const QString& fileName);

// An angle in the unit with a dot and as many decimals as a thousandth of an arcsecond needs; deg-min-sec
// as d:mm:ss.sss. Empty when not finite or for an unknown unit.
[[nodiscard]] QString angleText(double arcsec, AngleUnit unit);

} // namespace LogCsv
