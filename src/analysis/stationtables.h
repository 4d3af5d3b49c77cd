#pragma once

#include "analysis/linerecord.h"
#include "analysis/readings.h"

#include <QtGlobal>

#include <optional>

// The tables as a guided run writes them: which one is current, their lines, a station stored into one
// and a line removed again.
class StationTables {
public:
    virtual ~StationTables() = default;
    [[nodiscard]] virtual int currentNumber() const = 0;
    virtual void setCurrent(int number) = 0;
    [[nodiscard]] virtual const TableLines& lines(int number) const = 0;
    // The record of a line written now or at msecs: its time, the unit shown and the zero offsets in effect.
    [[nodiscard]] virtual LineRecord recordNow(LineRecord::Source source,
                                               std::optional<qint64> msecs) const = 0;
    // x and y: shown angles in arcseconds (NaN: no value). The line, or 0 when the table is full.
    virtual qint32 storeStation(int number, double x, double y, LineRecord record) = 0;
    // Removes a line and numbers the rest anew.
    virtual void removeLine(int number, qint32 line) = 0;
};
