// The straightness page: a full table of stations evaluated against all three reference lines.
#include "benchsupport.h"

#include "analysis/straightness.h"
#include "tables/table.h"

#include <chrono>
#include <cmath>
#include <vector>

namespace Bench {
namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The least-squares sums of the same profile in a plain vector: what the figure costs without reading a
// table, the hull and the other lines.
double plainMs(const std::vector<double>& heights, double base)
{
    const Clock::time_point start = Clock::now();
    const double n = static_cast<double>(heights.size());
    double meanH = 0;
    for (const double h : heights)
        meanH += h;
    meanH /= n;
    const double meanX = base * (n - 1) / 2;
    double sxx = 0;
    double sxh = 0;
    for (size_t i = 0; i < heights.size(); ++i) {
        const double dx = static_cast<double>(i) * base - meanX;
        sxx += dx * dx;
        sxh += dx * (heights[i] - meanH);
    }
    benchmark::DoNotOptimize(sxh / sxx);
    return msSince(start);
}

void straightnessFull(benchmark::State& state)
{
    const qint32 stations = config().tableLines;
    const double base = 100;
    // A guideway with a bow and scatter, as the instrument would store it: texts and records.
    Table lines;
    lines.setCols(3);
    std::vector<double> heights{0};
    for (qint32 line = 1; line <= stations; ++line) {
        const double angle = 20 * std::sin(line * 6.0 / stations) + (line * 7919 % 101 - 50) / 25.0;
        LineRecord record;
        record.unit = AngleUnit::Arcsec;
        record.x = angle;
        record.y = 0;
        lines.appendLine({QString::number(line), QString::number(angle, 'f', 2), QStringLiteral("0.00")},
                         &record);
        heights.push_back(heights.back() + base * 1000 * std::tan(angle * 4 * std::atan(1.0) / 648000));
    }
    Straightness::Input input;
    input.baseLength = base;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const Straightness result = Straightness::evaluate(lines, input);
        const double ms = msSince(start);
        using Ref = Straightness::Reference;
        const bool evaluated = result.done() && result.stations().size() == heights.size() &&
                               std::abs(result.stations().back().height - heights.back()) < 1e-6 &&
                               result.deviation(Ref::MinimumZone) <= result.deviation(Ref::LeastSquares) &&
                               result.deviation(Ref::MinimumZone) <= result.deviation(Ref::EndPoints);
        if (!require(state, evaluated, QStringLiteral("stations not evaluated")))
            return;
        state.SetIterationTime(ms / 1000);
        sample(state, "straightness", ms, plainMs(heights, base));
    }
}

} // namespace

void registerStraightnessBenchmarks()
{
    registerFigure("StraightnessFullTable", straightnessFull, config().repetitions);
}

} // namespace Bench
