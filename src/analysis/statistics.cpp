#include "analysis/statistics.h"

#include "analysis/csvexport.h"

#include <cmath>

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

void RunningStats::add(double value)
{
    ++m_count;
    const double delta = value - m_mean;
    m_mean += delta / static_cast<double>(m_count);
    m_squares += delta * (value - m_mean);
    if (m_count == 1 || value < m_min)
        m_min = value;
    if (m_count == 1 || value > m_max)
        m_max = value;
}

double RunningStats::mean() const
{
    return m_count > 0 ? m_mean : NaN;
}
double RunningStats::standardDeviation() const
{
    return m_count > 1 ? std::sqrt(std::max(0.0, m_squares) / static_cast<double>(m_count - 1)) : NaN;
}
double RunningStats::uncertainty() const
{
    return standardDeviation() / std::sqrt(static_cast<double>(m_count));
}
double RunningStats::minimum() const
{
    return m_count > 0 ? m_min : NaN;
}
double RunningStats::maximum() const
{
    return m_count > 0 ? m_max : NaN;
}
double RunningStats::range() const
{
    return m_count > 0 ? m_max - m_min : NaN;
}

void TableStatistics::add(const TableLines& lines, qint32 line, Sums& sums) const
{
    if (m_scope.tobar) {
        if (const auto value = Readings::tobar(lines, line)) {
            sums.x.stats.add(value->mm);
            sums.inch += value->inch ? 1 : 0;
        } else {
            ++sums.x.skipped;
        }
        return;
    }
    for (int axis = 1; axis <= 2; ++axis) {
        Series& series = axis == 1 ? sums.x : sums.y;
        if (const auto value = Readings::angle(lines, line, axis, m_scope.unit))
            series.stats.add(*value);
        else
            ++series.skipped;
    }
}

void TableStatistics::update(const TableLines& lines, const Scope& scope, qint32 changedFrom)
{
    const qint32 last = std::min(scope.last, lines.count());
    const bool sameScope = scope == m_scope && last >= m_done;
    if (sameScope && changedFrom == m_done && m_done >= m_scope.first) {
        // The last line counted was still being written.
        m_now = m_beforeLast;
        --m_done;
    } else if (!sameScope || changedFrom < m_done) {
        m_scope = scope;
        m_now = {};
        m_beforeLast = {};
        m_done = scope.first - 1;
    }
    m_scope.last = last;
    for (qint32 line = m_done + 1; line <= last; ++line) {
        if (line == last)
            m_beforeLast = m_now;
        add(lines, line, m_now);
    }
    m_done = std::max(m_done, last);
}

QList<QStringList> TableStatistics::rows() const
{
    const bool tobar = m_scope.tobar;
    const bool inch = inInch();
    const QString unit =
        tobar ? (inch ? QStringLiteral("inch") : QStringLiteral("mm")) : CsvExport::unitName(m_scope.unit);
    const auto figure = [&](double v) {
        return tobar ? Readings::tobarFigure(v, inch) : Readings::angleFigure(v, m_scope.unit);
    };
    QList<QStringList> table;
    QStringList header{QString()};
    QList<const Series*> series{&m_now.x};
    if (tobar) {
        header << QStringLiteral("Value [%1]").arg(unit);
    } else {
        header << QStringLiteral("X [%1]").arg(unit) << QStringLiteral("Y [%1]").arg(unit);
        series << &m_now.y;
    }
    table << header;
    const auto row = [&](const QString& name, auto value) {
        QStringList cells{name};
        for (const Series* s : series)
            cells << value(*s);
        table << cells;
    };
    row(QStringLiteral("Valid lines"), [](const Series& s) { return QString::number(s.stats.count()); });
    row(QStringLiteral("Skipped lines"), [](const Series& s) { return QString::number(s.skipped); });
    row(QStringLiteral("Mean"), [&](const Series& s) { return figure(s.stats.mean()); });
    row(QStringLiteral("Standard deviation"),
        [&](const Series& s) { return figure(s.stats.standardDeviation()); });
    row(QStringLiteral("Minimum"), [&](const Series& s) { return figure(s.stats.minimum()); });
    row(QStringLiteral("Maximum"), [&](const Series& s) { return figure(s.stats.maximum()); });
    row(QStringLiteral("Range"), [&](const Series& s) { return figure(s.stats.range()); });
    row(QStringLiteral("Standard uncertainty of the mean (type A)"),
        [&](const Series& s) { return figure(s.stats.uncertainty()); });
    return table;
}

QString TableStatistics::tabSeparated() const
{
    QString text;
    for (const QStringList& row : rows())
        text += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}
