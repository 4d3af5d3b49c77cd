// The measurement log: appending at the decoder, its memory at a day of line-rate points, and the pixel
// columns a trend plot asks for.
#include "benchsupport.h"

#include "analysis/measurementlog.h"
#include "analysiswindow/analysiswindow.h"
#include "analysiswindow/trendpage.h"

#include <QComboBox>
#include <qcustomplot.h>

#include <QProcess>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace Bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr qint64 LineRateStep = 10; // ms between points at 100 a second
constexpr int Columns = 1000;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A drifting, slightly noisy pair; every 50 000th point starts a stretch of 300 without a valid X.
double driftX(qint64 i)
{
    return i % 50000 < 300 ? MeasurementLog::NoValue
                           : 120.0 * std::sin(double(i) * 2e-6) + 0.01 * double(i % 7);
}
double driftY(qint64 i)
{
    return -40.0 + 75.0 * std::cos(double(i) * 3e-6) - 0.01 * double(i % 5);
}

// The log filled as a day at line rate fills it, times given.
void fill(MeasurementLog& log, qint64 points)
{
    for (qint64 i = 0; i < points; ++i)
        log.appendAnglesAt(i * LineRateStep, driftX(i), driftY(i));
}

void append(benchmark::State& state)
{
    const qint64 points = config().logAppends;
    for (auto _ : state) {
        MeasurementLog log;
        // As the decoder appends: stamped by the log's clock.
        Clock::time_point start = Clock::now();
        for (qint64 i = 0; i < points; ++i)
            log.appendAngles(log.now(), driftX(i), driftY(i), 3);
        const double ms = msSince(start);
        if (!require(state, log.count(MeasurementLog::Kind::Angles) == points,
                     QStringLiteral("the log lost points")))
            return;

        start = Clock::now();
        std::vector<MeasurementLog::AnglePoint> plain;
        for (qint64 i = 0; i < points; ++i)
            plain.push_back({i, driftX(i), driftY(i)});
        benchmark::DoNotOptimize(plain.data());
        const double plainMs = msSince(start);
        state.SetIterationTime(ms / 1000);
        sample(state, "log_append", ms * 1000 / double(points), plainMs * 1000 / double(points));
    }
}

void memory(benchmark::State& state)
{
    for (auto _ : state) {
        QProcess probe;
        probe.start(config().selfPath, {QStringLiteral("--log-probe"), QString::number(config().logPoints)});
        const bool finished = probe.waitForFinished(120000);
        const QList<QByteArray> fields = probe.readAllStandardOutput().trimmed().split(' ');
        if (!require(state, finished && probe.exitCode() == 0 && fields.size() == 3,
                     QStringLiteral("log probe failed: %1")
                         .arg(QString::fromLocal8Bit(probe.readAllStandardError()))))
            return;
        state.SetIterationTime(fields[2].toDouble());
        sample(state, "log_memory", fields[0].toDouble() / 1e6, fields[1].toDouble() / 1e6);
    }
}

// The columns of a span from the levels, and the same columns from every point of the span.
std::pair<double, double> columnsOf(benchmark::State& state, const MeasurementLog& log, qint64 t0, qint64 t1)
{
    Clock::time_point start = Clock::now();
    const std::vector<MeasurementLog::AngleColumn> columns = log.angleColumns(t0, t1, Columns);
    const double ms = msSince(start);

    start = Clock::now();
    // Per column: X low, X high, Y low, Y high.
    std::vector<std::array<double, 4>> plain(Columns, {INFINITY, -INFINITY, INFINITY, -INFINITY});
    log.visitAngles(t0, t1, [&](const MeasurementLog::AnglePoint& p) {
        std::array<double, 4>& c = plain[static_cast<size_t>((p.time - t0) * Columns / (t1 - t0 + 1))];
        if (!std::isnan(p.x)) {
            c[0] = std::min(c[0], p.x);
            c[1] = std::max(c[1], p.x);
        }
        if (!std::isnan(p.y)) {
            c[2] = std::min(c[2], p.y);
            c[3] = std::max(c[3], p.y);
        }
        return true;
    });
    const double plainMs = msSince(start);
    const auto same = [](const MeasurementLog::Range& r, double low, double high) {
        return r.valid() ? r.min == low && r.max == high : low > high;
    };
    bool ok = columns.size() == size_t(Columns);
    for (size_t c = 0; ok && c < columns.size(); ++c) {
        const std::array<double, 4>& p = plain[c];
        ok = same(columns[c].x, p[0], p[1]) && same(columns[c].y, p[2], p[3]);
    }
    require(state, ok, QStringLiteral("the columns differ from the points"));
    return {ms, plainMs};
}

void columns(benchmark::State& state)
{
    MeasurementLog log;
    fill(log, config().logPoints);
    const qint64 last = log.lastTime(MeasurementLog::Kind::Angles);
    for (auto _ : state) {
        const auto [dayMs, dayPlainMs] = columnsOf(state, log, 0, last);
        const auto [recentMs, recentPlainMs] = columnsOf(state, log, last - 30000, last);
        state.SetIterationTime((dayMs + recentMs) / 1000);
        sample(state, "log_columns_day", dayMs, dayPlainMs);
        sample(state, "log_columns_30s", recentMs, recentPlainMs);
    }
}

} // namespace

int logProbe(qint64 points)
{
    const double base = residentBytes();
    const Clock::time_point start = Clock::now();
    MeasurementLog log;
    fill(log, points);
    const double grown = residentBytes() - base;
    std::printf("%.0f %lld %.3f\n", grown, static_cast<long long>(log.bytes()), msSince(start) / 1000);
    return log.count(MeasurementLog::Kind::Angles) == points ? 0 : 1;
}

// The trend page redrawn for each span over a day of points: the series built from the log and the plot
// drawn, until the picture is complete.
void trendRedraw(benchmark::State& state)
{
    Program program;
    fill(program.link.log(), config().logPoints);
    AnalysisWindow& analysis = program.window->analysis();
    analysis.showPage(AnalysisWindow::Trend);
    Program::settle();
    TrendPage& trend = *analysis.findChild<TrendPage*>(QStringLiteral("TrendPage"));
    QCustomPlot* plot = trend.findChild<QCustomPlot*>(QStringLiteral("plot"));
    auto* spans = trend.findChild<QComboBox*>(QStringLiteral("ComboSpan"));
    const auto drawMs = [&trend, plot] {
        const Clock::time_point start = Clock::now();
        trend.follow({});
        plot->replot(QCustomPlot::rpImmediateRefresh);
        return msSince(start);
    };
    for (auto _ : state) {
        double worst = 0;
        for (int span = 0; span < 4; ++span) {
            spans->setCurrentIndex(span);
            worst = std::max(worst, drawMs());
        }
        const int points = plot->graph(0)->data()->size();
        if (!require(state, points > 0 && points <= 2 * plot->axisRect()->width() + 2,
                     QStringLiteral("%1 points handed to the plot").arg(points)))
            return;
        // The baseline: the same plot drawn again with what it already holds.
        const Clock::time_point start = Clock::now();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        state.SetIterationTime(worst / 1000);
        sample(state, "trend_redraw", worst, msSince(start));
    }
}

void registerLogBenchmarks()
{
    registerFigure("LogAppend", append, config().repetitions);
    registerFigure("LogMemory", memory, config().slowRepetitions);
    registerFigure("LogColumns", columns, config().repetitions);
    registerFigure("TrendRedraw", trendRedraw, config().repetitions);
}

} // namespace Bench
