// The statistics page: a full table counted from scratch, and the lines stored between display ticks.
#include "benchsupport.h"

#include "analysiswindow/figuretable.h"
#include "analysiswindow/statisticspage.h"
#include "tables/tables.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace Bench {
namespace {

using Clock = std::chrono::steady_clock;
double usSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Mean and deviation of plain numbers in two passes: what the figures cost without a table to read.
double plainUs(const std::vector<double>& values)
{
    const Clock::time_point start = Clock::now();
    double sum = 0;
    for (const double v : values)
        sum += v;
    const double mean = sum / static_cast<double>(values.size());
    double squares = 0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    benchmark::DoNotOptimize(squares);
    return usSince(start);
}

void statisticsFullTable(benchmark::State& state)
{
    Program program;
    fillByXY2Table(program, config().tableLines);
    Program::settle();
    const Table& grid = program.window->tables().current();
    std::vector<double> values; // the full table's marker line has none
    for (qint32 line = 1; line < grid.rows(); ++line) {
        if (grid.record(line))
            values.push_back(grid.record(line)->x);
    }
    for (auto _ : state) {
        StatisticsPage page;
        const auto* figures = page.findChild<FigureTable*>(QStringLiteral("figures"));
        const Clock::time_point start = Clock::now();
        page.follow(grid, 1, {1, 1}, 1, false, AngleUnit::Arcsec);
        const double ms = usSince(start) / 1000;
        if (!require(state, figures->text(1, 1) == QString::number(values.size()),
                     QStringLiteral("lines not counted")))
            return;
        state.SetIterationTime(ms / 1000);
        sample(state, "stats_full", ms, plainUs(values) / 1000);
    }
}

// Interval storing at line rate stores about 20 lines between two display ticks.
void statisticsPerLine(benchmark::State& state)
{
    constexpr int PerTick = 20;
    const int lines = std::min(config().tableLines - 1, 20000);
    for (auto _ : state) {
        Program program;
        const Table& grid = program.window->tables().current();
        StatisticsPage page;
        qint32 changedFrom = 1;
        QObject::connect(&grid, &Table::linesInserted, &page,
                         [&changedFrom](qint32 first) { changedFrom = std::min(changedFrom, first); });
        const auto* figures = page.findChild<FigureTable*>(QStringLiteral("figures"));
        double us = 0;
        for (int done = 0; done < lines; done += PerTick) {
            fillByXY2Table(program, PerTick);
            const Clock::time_point start = Clock::now();
            page.follow(grid, 1, {1, 1}, std::exchange(changedFrom, std::numeric_limits<qint32>::max()),
                        false, AngleUnit::Arcsec);
            us += usSince(start);
        }
        const qint32 stored = grid.count();
        if (!require(state, figures->text(1, 1) == QString::number(stored), QStringLiteral("lines missed")))
            return;
        std::vector<double> values(static_cast<size_t>(stored), 1.5);
        state.SetIterationTime(us / 1e6);
        sample(state, "stats_line", us / stored, plainUs(values) / stored);
    }
}

} // namespace

void registerStatisticsBenchmarks()
{
    registerFigure("StatisticsFullTable", statisticsFullTable, config().repetitions);
    registerFigure("StatisticsPerLine", statisticsPerLine, config().repetitions);
}

} // namespace Bench
