#pragma once

#include "analysis/measurementlog.h"
#include "state/angleunit.h"

#include <QVector>
#include <QtGlobal>

// What a trend plot draws of a span of the measurement log: values in the display unit against time, never
// more than about two points per pixel column. A NaN value breaks the curve: invalid stretches and pauses
// in the data are gaps, never lines to zero.
namespace TrendSeries {

struct Request {
    qint64 t0 = 0, t1 = 0; // log times, ms
    int columns = 1;       // pixel columns of the plot
    bool tobar = false;
    AngleUnit unit = AngleUnit::Arcsec; // deg-min-sec plots arcseconds (the axis labels them)
    double zeroX = 0, zeroY = 0;
    bool inch = false; // TOBAR values in inch, else mm
};

struct Series {
    QVector<double> keys;  // seconds since 1970, as the plot's time axis counts
    QVector<double> x, y;  // y is empty for TOBAR values
    QVector<double> marks; // stored-line times, at most one per column
    bool columns = false;  // min and max per column rather than the points themselves
};

// A pause longer than this between two points is drawn as a gap.
inline constexpr qint64 GapMs = 2000;
// Readings reach the log in batches up to a display tick apart: columns without a value between two with
// values, spanning less than this, are bridged rather than drawn as gaps.
inline constexpr qint64 BridgeMs = 250;

[[nodiscard]] Series build(const MeasurementLog& log, const Request& request);
// An angle in arcseconds as plotted in the unit.
[[nodiscard]] double plotted(double arcsec, AngleUnit unit);

} // namespace TrendSeries
