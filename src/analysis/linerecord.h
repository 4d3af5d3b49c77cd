#pragma once

#include "state/angleunit.h"

#include <QtGlobal>

#include <limits>
#include <optional>

// What a table line knows besides its texts: when, in which unit and how it was measured.
struct LineRecord {
    enum class Source : quint8 { Button, Interval, InstrumentKey, RemoteControl, Readout, File, Tobar };
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();

    Source source = Source::Button;
    std::optional<AngleUnit> unit = std::nullopt; // the angle unit the line was written in
    bool inch = false;                            // a TOBAR value in inch, else in mm
    qint64 msecs = 0;                             // time of measurement, milliseconds since 1970 UTC; 0: none
    qint32 utcOffset = 0;                         // seconds east of UTC at that time
    double x = None;             // the shown X angle in arcseconds, or the TOBAR value; NaN: not known
    double y = None;             // the shown Y angle in arcseconds; NaN: not known
    double zeroX = 0, zeroY = 0; // zero offsets in effect, arcseconds
    // A station of a guided straightness run: the job (0: none), the run (1 forward, 2 backward), the
    // station number, and the spread and count of the settled readings whose mean the line holds.
    quint32 job = 0;
    quint8 run = 0;
    qint32 station = 0;
    double settleSd = None; // arcsec, on the job's axis
    qint32 settleCount = 0;

    [[nodiscard]] bool hasTime() const { return msecs != 0; }
};
