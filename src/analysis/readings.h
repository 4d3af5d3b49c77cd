#pragma once

#include "analysis/linerecord.h"
#include "state/angleunit.h"

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>

// The lines of a table as the analysis reads them: lines 1 .. count(), their cell texts and records.
class TableLines {
public:
    virtual ~TableLines() = default;
    [[nodiscard]] virtual qint32 count() const = 0;
    // Valid until the table changes.
    [[nodiscard]] virtual QStringView text(qint32 line, qint32 col) const = 0;
    // Null: the line has none.
    [[nodiscard]] virtual const LineRecord* record(qint32 line) const = 0;
};

// Table texts read back as numbers: angles in arcseconds from the texts of the display units, TOBAR values
// in mm; and the figures written back as text.
namespace Readings {

inline constexpr double MmPerInch = 25.4;

// A number with a full stop or a comma as its decimal point, blanks around it; empty for anything else.
[[nodiscard]] std::optional<double> number(QStringView text);
// An angle text in arcseconds: deg-min-sec ("-1:02:03.45") in any unit, else a number in the unit
// (degrees for deg-min-sec).
// Empty for placeholders and texts that are not numbers.
[[nodiscard]] std::optional<double> angleText(QStringView text, AngleUnit unit);

// Line `line`'s angle on axis 1 (X) or 2 (Y) in arcseconds: the record's where it holds one, else the
// cell text in the record's unit, or in shownUnit when the line has none.
[[nodiscard]] std::optional<double> angle(const TableLines& lines, qint32 line, int axis,
                                          AngleUnit shownUnit);

struct TobarReading {
    double mm = 0;
    bool inch = false; // the line's unit
};
// Line `line`'s TOBAR value, in mm: the record's where it holds one, else the value cell ("12.5mm",
// "7.25\"") with the unit cell.
[[nodiscard]] std::optional<TobarReading> tobar(const TableLines& lines, qint32 line);

// A figure as text in the display unit, with one decimal more than the live values show.
[[nodiscard]] QString angleFigure(double arcsec, AngleUnit unit);
// A TOBAR figure in mm (4 decimals) or inch (5 decimals).
[[nodiscard]] QString tobarFigure(double mm, bool inch);

} // namespace Readings
