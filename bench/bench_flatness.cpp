// A surface plate: a Union Jack of 8 x 20 readings and a grid of 40 x 40 stations evaluated whole.
#include "benchsupport.h"

#include "analysis/flatness.h"

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

// A worn plate: a shallow bowl, a twist and a little scatter, µm over mm.
double surface(double x, double y)
{
    return 3e-6 * ((x - 500) * (x - 500) + (y - 400) * (y - 400)) + 2e-6 * (x - 500) * (y - 400);
}

PlateReadings readingsOf(const PlateGeometry& geometry)
{
    PlateReadings readings;
    const double arcsecPerRad = 648000 / (4 * std::atan(1.0));
    int k = 0;
    for (const PlateGeometry::Line& line : geometry.lines()) {
        std::vector<double> r;
        for (int j = 1; j <= line.readings; ++j) {
            const double step = surface(line.x(j), line.y(j)) - surface(line.x(j - 1), line.y(j - 1));
            r.push_back(std::atan(step / (line.base * 1000)) * arcsecPerRad + 3 +
                        (++k * 7919 % 101 - 50) / 500.0);
        }
        readings.lines.push_back(std::move(r));
    }
    return readings;
}

// The readings summed into heights line by line: what reading them costs without solving anything.
double plainMs(const PlateReadings& readings)
{
    const Clock::time_point start = Clock::now();
    double total = 0;
    for (const auto& line : readings.lines) {
        double h = 0;
        for (const double r : line)
            h += r;
        total += h;
    }
    benchmark::DoNotOptimize(total);
    return msSince(start);
}

void run(benchmark::State& state, const PlateGeometry& geometry, const char* figure, bool classic)
{
    const PlateReadings readings = readingsOf(geometry);
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const Flatness result = Flatness::evaluate(geometry, readings);
        const double ms = msSince(start);
        using F = Flatness::Figure;
        const bool evaluated = result.done() && std::isfinite(result.figure(F::MinimumZone)) &&
                               result.figure(F::MinimumZone) <= result.figure(F::LeastSquaresPlane) &&
                               result.figure(F::MinimumZone) > 0 &&
                               std::isfinite(result.figure(F::Classic)) == classic;
        if (!require(state, evaluated, QStringLiteral("plate not evaluated")))
            return;
        state.SetIterationTime(ms / 1000);
        sample(state, figure, ms, plainMs(readings));
    }
}

void unionJack(benchmark::State& state)
{
    const PlateGeometry geometry = PlateGeometry::unionJack(20, 20, 20, 50, 0);
    run(state, geometry, "flatness_union_jack", true);
}

void grid(benchmark::State& state)
{
    const int n = config().smoke ? 8 : 40;
    run(state, PlateGeometry::grid(n, n, 25, 20), "flatness_grid", false);
}

} // namespace

void registerFlatnessBenchmarks()
{
    registerFigure("FlatnessUnionJack", unionJack, config().repetitions);
    registerFigure("FlatnessGrid", grid, config().repetitions);
}

} // namespace Bench
