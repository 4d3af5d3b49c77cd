#pragma once

#include <QtGlobal>

#include <cmath>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

// Every measurement the link decoded since program start, for plotting and export: angle pairs and TOBAR
// values, each with its arrival time, and the times at which lines were stored into a table.
//
// Times are milliseconds since the log was created, on the wall clock: startMsecsSinceEpoch() plus a
// point's time is when it arrived, also across a suspended machine. Times never run backwards: a point
// stamped before the newest of its kind (the clock was set back) takes the newest one's time.
//
// Points are kept as fixed-point integers: angles in thousandths of an arcsecond (the finest the instrument
// sends), TOBAR values in ten-thousandths of a millimetre or inch. A value that is not finite or lies outside
// +-2147483.647 arcseconds (TOBAR: +-214748.3647 mm) is kept as "no value". Points sit in chunks of
// ChunkPoints with min/max summaries per block of BlockPoints and per chunk, so min/max over any span costs
// at most a few hundred steps plus one per chunk it covers whole.
//
// Capacity: chunks() chunks of each kind, by default 2400: 9 830 400 points, 27.3 hours at 100 measurements a
// second, in about 130 MB. When a new chunk is needed past it, the oldest chunk goes as a whole, so at
// least (chunks() - 1) * ChunkPoints + 1 points are always kept.
class MeasurementLog {
public:
    enum class Kind { Angles, Tobar };

    static constexpr int ChunkPoints = 4096;
    static constexpr int BlockPoints = 64;
    static constexpr qint64 DefaultChunks = 2400;
    static constexpr double AngleScale = 1000.0;  // counts per arcsecond
    static constexpr double TobarScale = 10000.0; // counts per mm or inch
    static constexpr int MaxColumns = 65536;
    static constexpr qint64 MaxMarks = 262144;
    static constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();

    // x, y in arcseconds as the link holds them (before zero offsets); NaN: not valid.
    struct AnglePoint {
        qint64 time = 0;
        double x = NoValue;
        double y = NoValue;
    };
    // The value in the unit it arrived in; NaN: none.
    struct TobarPoint {
        qint64 time = 0;
        double value = NoValue;
        bool inch = false;
        [[nodiscard]] double millimetres() const { return inch ? value * 25.4 : value; }
    };
    // Smallest and largest value in a pixel column; both NaN when it holds no valid value (a gap).
    struct Range {
        double min = NoValue;
        double max = NoValue;
        [[nodiscard]] bool valid() const { return !std::isnan(min); }
    };
    struct AngleColumn {
        Range x;
        Range y;
    };

    explicit MeasurementLog(qint64 chunks = DefaultChunks);
    ~MeasurementLog();
    MeasurementLog(const MeasurementLog&) = delete;
    MeasurementLog& operator=(const MeasurementLog&) = delete;

    [[nodiscard]] qint64 startMsecsSinceEpoch() const { return m_startWall; }
    // A log restored from an earlier run keeps that run's clock; taken only while the log is empty.
    void setStartMsecsSinceEpoch(qint64 start)
    {
        if (count(Kind::Angles) == 0 && count(Kind::Tobar) == 0 && m_marks.empty())
            m_startWall = start;
    }
    // The current time on the log's clock.
    [[nodiscard]] qint64 now() const;

    // Appending at a time on the log's clock; a time before the kind's newest is taken as that newest time.
    // Status: the link's angle status, bit 1 X valid, bit 2 Y valid.
    void appendAngles(qint64 time, double x, double y, qint16 status);
    void markStored() { markStoredAt(now()); }
    void appendAnglesAt(qint64 time, double x, double y);
    void appendTobarAt(qint64 time, double value, bool inch);
    void markStoredAt(qint64 time);

    [[nodiscard]] qint64 count(Kind kind) const;
    // Times of the oldest and newest point held; 0 when there is none.
    [[nodiscard]] qint64 firstTime(Kind kind) const;
    [[nodiscard]] qint64 lastTime(Kind kind) const;
    [[nodiscard]] std::optional<AnglePoint> lastAngles() const;
    [[nodiscard]] std::optional<TobarPoint> lastTobar() const;
    // Points held with t0 <= time <= t1.
    [[nodiscard]] qint64 countBetween(Kind kind, qint64 t0, qint64 t1) const;

    // The points of [t0, t1] in time order, or none when there are more than limit (then draw columns).
    [[nodiscard]] std::vector<AnglePoint> anglePoints(qint64 t0, qint64 t1, qint64 limit) const;
    [[nodiscard]] std::vector<TobarPoint> tobarPoints(qint64 t0, qint64 t1, qint64 limit) const;
    // Every point of [t0, t1] in time order until visit returns false.
    void visitAngles(qint64 t0, qint64 t1, const std::function<bool(const AnglePoint&)>& visit) const;
    void visitTobar(qint64 t0, qint64 t1, const std::function<bool(const TobarPoint&)>& visit) const;

    // [t0, t1] split into n columns of equal length; column c holds the times from columnStart(c) up to
    // columnStart(c + 1) - 1. Empty for n < 1 or t1 < t0; n is limited to MaxColumns. TOBAR values come
    // in millimetres, or in inch when asked, whatever unit each arrived in.
    [[nodiscard]] std::vector<AngleColumn> angleColumns(qint64 t0, qint64 t1, int n) const;
    [[nodiscard]] std::vector<Range> tobarColumns(qint64 t0, qint64 t1, int n, bool inch = false) const;
    [[nodiscard]] static qint64 columnStart(qint64 t0, qint64 t1, int n, int c);

    // Times at which lines were stored, within [t0, t1]; the newest MaxMarks are kept.
    [[nodiscard]] std::vector<qint64> marks(qint64 t0, qint64 t1) const;
    [[nodiscard]] qint64 markCount() const { return static_cast<qint64>(m_marks.size()); }

    [[nodiscard]] qint64 chunks() const { return m_maxChunks; }
    // About the bytes the log holds on the heap.
    [[nodiscard]] qint64 bytes() const;

private:
    class Series;
    [[nodiscard]] const Series& series(Kind kind) const;

    qint64 m_startWall = 0;
    qint64 m_maxChunks = DefaultChunks;
    std::unique_ptr<Series> m_angles;
    std::unique_ptr<Series> m_tobar;
    std::deque<qint64> m_marks;
};
