#include "analysis/trendseries.h"

#include "state/anglemanager.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace TrendSeries {

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();

struct Builder {
    const MeasurementLog& log;
    const Request& r;
    Series out;
    qint64 last = std::numeric_limits<qint64>::min();

    double key(qint64 time) const { return static_cast<double>(log.startMsecsSinceEpoch() + time) / 1000.0; }
    // A point of the curve, after a gap when the data paused before it.
    void point(qint64 time, double x, double y)
    {
        if (last != std::numeric_limits<qint64>::min() && time - last > GapMs)
            add(last + 1, NaN, NaN);
        last = time;
        add(time, x, y);
    }
    void add(qint64 time, double x, double y)
    {
        out.keys.append(key(time));
        out.x.append(x);
        if (!r.tobar)
            out.y.append(y);
    }
    double angle(double arcsec, double zero) const { return plotted(arcsec - zero, r.unit); }
    double tobar(const MeasurementLog::TobarPoint& p) const
    {
        return r.inch ? p.millimetres() / 25.4 : p.millimetres();
    }
};
} // namespace

double plotted(double arcsec, AngleUnit unit)
{
    return unit == AngleUnit::DegMinSec ? arcsec : AngleManager::inUnit(arcsec, unit);
}

Series build(const MeasurementLog& log, const Request& r)
{
    Builder b{log, r, {}};
    const int n = std::clamp(r.columns, 1, MeasurementLog::MaxColumns);
    if (r.t1 < r.t0)
        return b.out;
    const qint64 limit = 2 * static_cast<qint64>(n);
    const auto kind = r.tobar ? MeasurementLog::Kind::Tobar : MeasurementLog::Kind::Angles;
    if (log.countBetween(kind, r.t0, r.t1) <= limit) {
        if (r.tobar) {
            for (const auto& p : log.tobarPoints(r.t0, r.t1, limit))
                b.point(p.time, b.tobar(p), NaN);
        } else {
            for (const auto& p : log.anglePoints(r.t0, r.t1, limit))
                b.point(p.time, b.angle(p.x, r.zeroX), b.angle(p.y, r.zeroY));
        }
    } else {
        // Each column drawn as a stroke from its smallest to its largest value; one without values is a gap
        // unless bridged. TOBAR columns take the X place.
        b.out.columns = true;
        std::vector<MeasurementLog::AngleColumn> columns;
        if (r.tobar) {
            for (const MeasurementLog::Range& v : log.tobarColumns(r.t0, r.t1, n, r.inch))
                columns.push_back({v, {}});
        } else {
            columns = log.angleColumns(r.t0, r.t1, n);
        }
        const auto range = [&](const MeasurementLog::Range& v, double zero, bool top) {
            if (!v.valid())
                return NaN;
            const double value = top ? v.max : v.min;
            return r.tobar ? value : b.angle(value, zero);
        };
        const auto empty = [&columns](int c) {
            const MeasurementLog::AngleColumn& v = columns[size_t(c)];
            return !v.x.valid() && !v.y.valid();
        };
        // Runs of columns without any value, between two with values and together shorter than BridgeMs.
        const int count = static_cast<int>(columns.size());
        std::vector<bool> skip(columns.size(), false);
        for (int s = 1; s < count; ++s) {
            if (!empty(s) || empty(s - 1))
                continue;
            int d = s;
            while (d < count && empty(d))
                ++d;
            const bool bridge = d < count && MeasurementLog::columnStart(r.t0, r.t1, n, d) -
                                                     MeasurementLog::columnStart(r.t0, r.t1, n, s) <
                                                 BridgeMs;
            for (int c = s; c < d; ++c)
                skip[size_t(c)] = bridge;
            s = d;
        }
        for (int c = 0; c < count; ++c) {
            if (skip[size_t(c)])
                continue;
            const qint64 t = MeasurementLog::columnStart(r.t0, r.t1, n, c);
            const auto& v = columns[size_t(c)];
            b.add(t, range(v.x, r.zeroX, false), range(v.y, r.zeroY, false));
            b.add(t, range(v.x, r.zeroX, true), range(v.y, r.zeroY, true));
        }
    }
    // One mark per column at most: more would draw on top of each other.
    const double columnSeconds = static_cast<double>(r.t1 - r.t0) / 1000.0 / n;
    for (const qint64 t : log.marks(r.t0, r.t1)) {
        const double k = b.key(t);
        if (b.out.marks.isEmpty() || k - b.out.marks.back() >= columnSeconds)
            b.out.marks.append(k);
    }
    return b.out;
}

} // namespace TrendSeries
