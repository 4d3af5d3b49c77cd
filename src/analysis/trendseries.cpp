#include "analysis/trendseries.h"

#include "state/anglemanager.h"

#include <algorithm>
#include <cmath>

namespace TrendSeries {

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();

struct Builder {
    const MeasurementLog& log;
    const Request& r;
    Series out;
    qint64 last = std::numeric_limits<qint64>::min();

    double key(qint64 time) const { return static_cast<double>(log.startMsecsSinceEpoch() + time) / 1000.0; }
    void gapIfPaused(qint64 time)
    {
        if (last != std::numeric_limits<qint64>::min() && time - last > GapMs)
            add(last + 1, NaN, NaN);
        last = time;
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

double plotted(double arcsec, qint16 unit)
{
    return unit == AngleManager::UnitDegMinSec ? arcsec : AngleManager::inUnit(arcsec, unit);
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
            for (const auto& p : log.tobarPoints(r.t0, r.t1, limit)) {
                b.gapIfPaused(p.time);
                b.add(p.time, b.tobar(p), NaN);
            }
        } else {
            for (const auto& p : log.anglePoints(r.t0, r.t1, limit)) {
                b.gapIfPaused(p.time);
                b.add(p.time, b.angle(p.x, r.zeroX), b.angle(p.y, r.zeroY));
            }
        }
    } else {
        // Each column drawn as a stroke from its smallest to its largest value; an empty column is a gap.
        b.out.columns = true;
        const auto range = [&](const MeasurementLog::Range& v, double zero, bool top) {
            if (!v.valid())
                return NaN;
            const double value = top ? v.max : v.min;
            return r.tobar ? value : b.angle(value, zero);
        };
        if (r.tobar) {
            const auto columns = log.tobarColumns(r.t0, r.t1, n, r.inch);
            for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
                const qint64 t = MeasurementLog::columnStart(r.t0, r.t1, n, c);
                b.add(t, range(columns[size_t(c)], 0, false), NaN);
                b.add(t, range(columns[size_t(c)], 0, true), NaN);
            }
        } else {
            const auto columns = log.angleColumns(r.t0, r.t1, n);
            for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
                const qint64 t = MeasurementLog::columnStart(r.t0, r.t1, n, c);
                const auto& v = columns[size_t(c)];
                b.add(t, range(v.x, r.zeroX, false), range(v.y, r.zeroY, false));
                b.add(t, range(v.x, r.zeroX, true), range(v.y, r.zeroY, true));
            }
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
