// The straightness page: a full table of stations evaluated against all three reference lines.
#include "benchsupport.h"

#include "analysis/rununcertainty.h"
#include "analysis/settledetector.h"
#include "analysis/straightness.h"
#include "tables/table.h"

#include <chrono>
#include <cmath>
#include <random>
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

// A guided run's settle detection at line rate: readings 10 ms apart whose noise sometimes stays within the
// band for the settle time and sometimes not; a settled window is stored and the detector starts anew.
void settleDetection(benchmark::State& state)
{
    const int messages = config().smoke ? 20000 : 2000000;
    std::mt19937_64 draws(3);
    std::uniform_real_distribution<double> noise(-0.1, 0.1);
    std::vector<double> values(static_cast<size_t>(messages));
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = 12.5 + noise(draws) * (i / 1000 % 3 == 0 ? 3 : 1);
    for (auto _ : state) {
        SettleDetector detector;
        detector.setCriteria(2.0, 0.3);
        int stored = 0;
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < messages; ++i) {
            if (detector.add(qint64(i) * 10, values[size_t(i)], true)) {
                stored += detector.window().count > 0 ? 1 : 0;
                detector.reset();
            }
        }
        const double us = msSince(start) * 1000 / messages;
        // The baseline: the same readings' running minimum and maximum, never dropped.
        const Clock::time_point plain = Clock::now();
        double low = values[0], high = values[0];
        for (const double v : values) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
        benchmark::DoNotOptimize(high - low);
        const double plainUs = msSince(plain) * 1000 / messages;
        if (!require(state, stored > 0 && stored < messages / 200, QStringLiteral("no station settled")))
            return;
        state.SetIterationTime(us * messages / 1e6);
        sample(state, "settle", us, plainUs);
    }
}

// The uncertainty of a job of 100 stations walked both ways.
void monteCarlo(benchmark::State& state)
{
    RunUncertainty::Input in;
    in.trials = config().smoke ? 200 : RunUncertainty::DefaultTrials;
    std::mt19937_64 draws(5);
    std::normal_distribution<double> scatter(0, 0.2);
    for (int i = 0; i < 100; ++i) {
        const double angle = 20 * std::sin(i / 15.0);
        in.forward.reading.push_back(angle + scatter(draws));
        in.forward.settleSd.push_back(0.1);
        in.forward.settleCount.push_back(40);
    }
    in.backward = in.forward;
    for (double& r : in.backward->reading)
        r += scatter(draws);
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const RunUncertainty::Result result = RunUncertainty::compute(in);
        const double ms = msSince(start);
        // The baseline: the normal draws of the same trials alone.
        const Clock::time_point plain = Clock::now();
        std::mt19937_64 same(in.seed);
        std::normal_distribution<double> normal;
        double sum = 0;
        for (int t = 0; t < in.trials * 101; ++t)
            sum += normal(same);
        benchmark::DoNotOptimize(sum);
        const double plainMs = msSince(plain);
        const bool computed = result.done && result.trials == in.trials && result.height.size() == 101 &&
                              result.height[100] > result.height[1] && result.deviation[2] > 0;
        if (!require(state, computed, QStringLiteral("no uncertainty computed")))
            return;
        state.SetIterationTime(ms / 1000);
        sample(state, "montecarlo", ms, plainMs);
    }
}

} // namespace

void registerStraightnessBenchmarks()
{
    registerFigure("StraightnessFullTable", straightnessFull, config().repetitions);
    registerFigure("SettleDetection", settleDetection, config().repetitions);
    registerFigure("MonteCarloUncertainty", monteCarlo, config().repetitions);
}

} // namespace Bench
