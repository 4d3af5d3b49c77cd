#include "analysis/plateuncertainty.h"

#include "analysis/plateleastsquares.h"

#include <cmath>
#include <map>
#include <random>

namespace PlateUncertainty {

namespace {
// Normal deviates from the standard engine by the polar method: the same numbers with every standard
// library, so a certificate comes out the same on every platform.
class Normal {
public:
    explicit Normal(quint64 seed) : m_engine(seed) {}
    double operator()()
    {
        if (m_hasSpare) {
            m_hasSpare = false;
            return m_spare;
        }
        double u = 0, v = 0, s = 0;
        do {
            u = uniform() * 2 - 1;
            v = uniform() * 2 - 1;
            s = u * u + v * v;
        } while (s >= 1 || s == 0);
        const double f = std::sqrt(-2 * std::log(s) / s);
        m_spare = v * f;
        m_hasSpare = true;
        return u * f;
    }

private:
    double uniform() { return static_cast<double>(m_engine() >> 11) * 0x1.0p-53; }
    std::mt19937_64 m_engine;
    double m_spare = 0;
    bool m_hasSpare = false;
};

// Mean and sum of squared deviations, updated one value at a time.
struct Spread {
    int n = 0;
    double mean = 0;
    double squares = 0;
    void add(double value)
    {
        ++n;
        const double delta = value - mean;
        mean += delta / n;
        squares += delta * (value - mean);
    }
    [[nodiscard]] double sd() const { return n > 1 ? std::sqrt(squares / (n - 1)) : Flatness::NaN; }
};
} // namespace

Result compute(const Input& input, const std::atomic<bool>* cancel)
{
    Result result;
    const PlateGeometry& geometry = input.geometry;
    if (input.trials < 2 || !input.readings.problem(geometry).isEmpty())
        return result;
    const PlateLeastSquares squares(geometry);
    if (!squares.valid())
        return result;
    const PlateStations stations(geometry);
    PlaneZone zone(stations.x, stations.y);
    const auto& lines = geometry.lines();
    const bool classic = geometry.kind() == PlateGeometry::Kind::UnionJack;

    // Each reading's standard uncertainty, and the lines sharing each base length.
    std::vector<std::vector<double>> u(lines.size());
    std::map<double, std::vector<size_t>> byBase;
    for (size_t l = 0; l < lines.size(); ++l) {
        byBase[lines[l].base].push_back(l);
        for (size_t i = 0; i < input.readings.lines[l].size(); ++i) {
            const double instrument =
                input.angleUncertaintyA + input.angleUncertaintyB * std::abs(input.readings.lines[l][i]);
            const double scatter = input.readings.scatter.empty() ? 0.0 : input.readings.scatter[l][i];
            u[l].push_back(std::sqrt(instrument * instrument + scatter * scatter));
        }
    }
    Normal normal(input.seed);
    PlateReadings trial = input.readings;
    std::vector<double> scale(lines.size(), 1.0);
    std::array<Spread, 3> spread;
    std::vector<Spread> heightSpread(stations.points.size());
    for (int t = 0; t < input.trials; ++t) {
        if (cancel && cancel->load())
            return result;
        for (const auto& [base, members] : byBase) {
            const double factor = 1 + normal() * input.baseLengthUncertainty / base;
            for (const size_t l : members)
                scale[l] = factor;
        }
        for (size_t l = 0; l < lines.size(); ++l) {
            for (size_t i = 0; i < u[l].size(); ++i)
                trial.lines[l][i] = input.readings.lines[l][i] + normal() * u[l][i];
        }
        const PlateLeastSquares::Solution solution = squares.solve(trial.lines, scale);
        const std::vector<double> heights = stations.heights(solution.heights);
        const PlaneZone::Plane plane = zone.leastSquares(heights);
        for (size_t i = 0; i < heights.size(); ++i)
            heightSpread[i].add(heights[i] - plane.at(stations.x[i], stations.y[i]));
        spread[static_cast<size_t>(Flatness::Figure::LeastSquaresPlane)].add(plane.width());
        spread[static_cast<size_t>(Flatness::Figure::MinimumZone)].add(zone.minimumZone(heights).width());
        if (classic) {
            // The classic evaluation reads the base lengths from the geometry: the trial's are put there.
            for (size_t l = 0; l < lines.size(); ++l) {
                for (double& r : trial.lines[l])
                    r *= scale[l];
            }
            spread[static_cast<size_t>(Flatness::Figure::Classic)].add(
                PlateClassic::evaluate(geometry, trial).flatness());
        }
    }
    for (const Flatness::Figure f : Flatness::Figures)
        result.u[static_cast<size_t>(f)] = spread[static_cast<size_t>(f)].sd();
    result.height.assign(geometry.points().size(), Flatness::NaN);
    for (size_t i = 0; i < stations.points.size(); ++i)
        result.height[static_cast<size_t>(stations.points[i])] = heightSpread[i].sd();
    result.trials = input.trials;
    result.done = true;
    return result;
}

double tolerance(Grade grade, double diagonalMm)
{
    const double aa = 1 + 1.6 * diagonalMm * diagonalMm * 1e-6;
    switch (grade) {
    case Grade::AA:
        return aa;
    case Grade::A:
        return 2 * aa;
    case Grade::B:
        return 4 * aa;
    case Grade::None:
        break;
    }
    return Flatness::NaN;
}

QString gradeName(Grade grade)
{
    switch (grade) {
    case Grade::AA:
        return QStringLiteral("AA");
    case Grade::A:
        return QStringLiteral("A");
    case Grade::B:
        return QStringLiteral("B");
    case Grade::None:
        break;
    }
    return {};
}

double Judgement::toleranceFor(const PlateGeometry& geometry) const
{
    if (tolerance > 0)
        return tolerance;
    return PlateUncertainty::tolerance(grade, geometry.plateDiagonal());
}

Conformity::Verdict verdict(const Flatness& flatness, const Result& uncertainty, const Judgement& judgement)
{
    if (!flatness.done() || !uncertainty.done)
        return Conformity::Verdict::None;
    return Conformity::decide(flatness.figure(judgement.figure), uncertainty.expanded(judgement.figure),
                              judgement.toleranceFor(flatness.geometry()));
}

} // namespace PlateUncertainty
