#pragma once

#include "analysis/conformity.h"
#include "analysis/flatness.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <limits>
#include <vector>

// The standard uncertainty of a plate's flatness figures by Monte Carlo propagation of the readings
// through the evaluations: each trial draws every reading about its stored value (normal, with the
// instrument's standard uncertainty a + b * |reading| and the reading's own scatter combined) and each
// base length (normal, one draw per base length, shared by the lines measured with it), then evaluates
// the plate again. U = 2u. A fixed seed makes a certificate reproducible. A pure function of its input:
// it may run on any thread (GLPK keeps an environment per thread: a thread of its own calls glp_free_env()
// before it ends).
namespace PlateUncertainty {

constexpr int DefaultTrials = 10000;
constexpr quint64 DefaultSeed = 20261208;

struct Input {
    PlateGeometry geometry;
    PlateReadings readings;
    double angleUncertaintyA = 0.1;      // arcsec, standard uncertainty of a reading: a + b * |reading|
    double angleUncertaintyB = 0.0;      // per arcsec of the reading
    double baseLengthUncertainty = 0.01; // mm, standard uncertainty of each base length
    int trials = DefaultTrials;
    quint64 seed = DefaultSeed;
};

struct Result {
    bool done = false;
    int trials = 0;
    std::array<double, 3> u{}; // per Flatness::Figure, µm; NaN where the figure is none
    // Per point of the geometry: u of its least-squares height about the least-squares plane, µm; NaN
    // for a point without a station.
    std::vector<double> height;
    [[nodiscard]] double expanded(Flatness::Figure figure) const
    {
        return 2 * u[static_cast<size_t>(figure)];
    }
};

// cancel, when given, is looked at between trials: set, it ends the computation with a result not done.
[[nodiscard]] Result compute(const Input& input, const std::atomic<bool>* cancel = nullptr);

// The grades of flatness of granite surface plates: AA 1 + 1.6 * D^2 * 1e-6 µm with D the plate's
// diagonal in mm, A twice that, B four times.
enum class Grade { None, AA, A, B };
[[nodiscard]] double tolerance(Grade grade, double diagonalMm);
[[nodiscard]] QString gradeName(Grade grade);

// What a plate is judged against: a tolerance of its own (µm) or else its grade's, and the figure judged.
struct Judgement {
    double tolerance = std::numeric_limits<double>::quiet_NaN();
    Grade grade = Grade::None;
    Flatness::Figure figure = Flatness::Figure::MinimumZone;
    [[nodiscard]] double toleranceFor(const PlateGeometry& geometry) const;
};

// The decision rule with U for the judged figure.
[[nodiscard]] Conformity::Verdict verdict(const Flatness& flatness, const Result& uncertainty,
                                          const Judgement& judgement);

} // namespace PlateUncertainty
