#pragma once

#include "analysis/readings.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <limits>

// Mean and scatter of a series, updated one value at a time: Welford's running mean and sum of squared
// deviations, which stays exact for readings far from zero (100000.001 +- 0.001).
class RunningStats {
public:
    void add(double value);

    [[nodiscard]] qint64 count() const { return m_count; }
    // NaN where the figure needs more values: the mean and extremes one, the deviations two.
    [[nodiscard]] double mean() const;
    [[nodiscard]] double standardDeviation() const; // n - 1
    [[nodiscard]] double uncertainty() const;       // of the mean: deviation / sqrt(n)
    [[nodiscard]] double minimum() const;
    [[nodiscard]] double maximum() const;
    [[nodiscard]] double range() const;

private:
    qint64 m_count = 0;
    double m_mean = 0;
    double m_squares = 0;
    double m_min = 0;
    double m_max = 0;
};

// The statistics of the lines of a table (or a block of them), followed line by line as lines arrive:
// angles in arcseconds per axis, or TOBAR values in mm.
class TableStatistics {
public:
    static constexpr qint32 NoChange = std::numeric_limits<qint32>::max();

    struct Series {
        RunningStats stats;
        qint64 skipped = 0;
    };
    struct Scope {
        const void* table = nullptr; // which table: a change starts over
        qint32 first = 1;
        qint32 last = 0; // lines first .. last
        bool tobar = false;
        AngleUnit unit = AngleUnit::Arcsec; // the unit shown, which record-less lines are read in
        friend bool operator==(const Scope& a, const Scope& b)
        {
            return a.table == b.table && a.first == b.first && a.tobar == b.tobar && a.unit == b.unit;
        }
    };

    // Brings the figures to the scope's lines. changedFrom: the first line written or removed since the
    // last update (NoChange: none). Lines added at the end cost only themselves, as does the last line
    // counted being completed; any other change counts the lines anew.
    void update(const TableLines& lines, const Scope& scope, qint32 changedFrom = NoChange);

    [[nodiscard]] const Series& x() const { return m_now.x; } // or the TOBAR value
    [[nodiscard]] const Series& y() const { return m_now.y; }
    // A TOBAR table whose values are all in inch is shown in inch.
    [[nodiscard]] bool inInch() const { return m_now.inch > 0 && m_now.inch == m_now.x.stats.count(); }
    [[nodiscard]] const Scope& scope() const { return m_scope; }
    // Lines counted since the scope started.
    [[nodiscard]] qint32 counted() const { return m_done - m_scope.first + 1; }

    // The figures as a table of texts: a header row, then one row per figure, a column per series; in
    // the unit shown with one decimal more than the live values.
    [[nodiscard]] QList<QStringList> rows() const;
    // The same, tab-separated, one row per line.
    [[nodiscard]] QString tabSeparated() const;

private:
    struct Sums {
        Series x, y;
        qint64 inch = 0; // TOBAR values in inch
    };
    void add(const TableLines& lines, qint32 line, Sums& sums) const;

    Scope m_scope;
    Sums m_now;
    Sums m_beforeLast; // without the last line counted, which may still be being written
    qint32 m_done = 0; // lines first .. m_done are counted
};
