#include "analysis/rununcertainty.h"

#include <QMetaObject>

#include <cmath>
#include <random>

namespace {
const double RadPerArcsec = 4.0 * std::atan(1.0) / 648000.0;

// Mean (over trials) and spread of a figure, summed as differences from its value without errors so that
// the sums stay small.
struct Spread {
    double nominal = 0;
    double sum = 0;
    double squares = 0;
    void add(double value)
    {
        const double d = value - nominal;
        sum += d;
        squares += d * d;
    }
    [[nodiscard]] double sd(int trials) const
    {
        const double n = trials;
        return std::sqrt(std::max(0.0, (squares - sum * sum / n) / (n - 1)));
    }
};

// The standard uncertainty of each reading of a run: the instrument's and the settle window's mean's.
std::vector<double> readingSigmas(const StraightnessJob& job, const StraightnessRun::Readings& run)
{
    std::vector<double> sigma(run.reading.size());
    for (size_t i = 0; i < sigma.size(); ++i) {
        const double instrument = job.angleUncertaintyA + job.angleUncertaintyB * std::abs(run.reading[i]);
        const double scatter = run.scatter(i);
        sigma[i] = std::sqrt(instrument * instrument + scatter * scatter);
    }
    return sigma;
}

// Heights of the readings as the evaluation sums them, into ws.points.
void profile(const std::vector<double>& readings, double base, Straightness::Workspace& ws)
{
    ws.points.resize(readings.size() + 1);
    ws.points[0] = {0, 0};
    double height = 0;
    for (size_t i = 0; i < readings.size(); ++i) {
        height += base * 1000.0 * std::tan(readings[i] * RadPerArcsec);
        ws.points[i + 1] = {static_cast<double>(i + 1) * base, height};
    }
}
} // namespace

RunUncertainty::Result RunUncertainty::compute(const Input& input, const std::atomic<bool>* cancel)
{
    Result result;
    const StraightnessJob& job = input.job;
    const std::vector<double>& forward = input.forward.reading;
    const size_t n = forward.size();
    const bool both = input.backward.has_value();
    if (n == 0 || input.trials < 2 || (both && input.backward->reading.size() != n) ||
        !(job.baseLength > 0 && job.baseLength <= Straightness::MaxBaseLength) ||
        !(job.baseLengthUncertainty >= 0) || !(job.angleUncertaintyA >= 0) || !(job.angleUncertaintyB >= 0) ||
        !(input.commonOffset >= 0))
        return result;
    for (size_t i = 0; i < n; ++i) {
        if (!(std::abs(forward[i]) < 324000.0) ||
            (both && !(std::abs(input.backward->reading[i]) < 324000.0)))
            return result;
    }

    // The reproducibility of a station's mean reading: half the spread of the runs' differences.
    std::vector<double> nominal(forward);
    double reproducibility = 0;
    const std::vector<double> sigmaF = readingSigmas(job, input.forward);
    std::vector<double> sigmaB;
    if (both) {
        const std::vector<double>& backward = input.backward->reading;
        sigmaB = readingSigmas(job, *input.backward);
        double sum = 0;
        for (size_t i = 0; i < n; ++i) {
            nominal[i] = (forward[i] + backward[i]) / 2;
            sum += forward[i] - backward[i];
        }
        if (n >= 2) {
            const double meanDiff = sum / double(n);
            double squares = 0;
            for (size_t i = 0; i < n; ++i) {
                const double d = forward[i] - backward[i] - meanDiff;
                squares += d * d;
            }
            reproducibility = std::sqrt(squares / double(n - 1)) / 2;
        }
    }

    Straightness::Workspace ws;
    ws.points.reserve(n + 1);
    profile(nominal, job.baseLength, ws);
    std::vector<Spread> heights(n + 1);
    for (size_t i = 0; i <= n; ++i)
        heights[i].nominal = ws.points[i].h;
    std::array<Spread, 3> deviations;
    const std::array<Straightness::Line, 3> nominalLines = Straightness::referenceLines(ws);
    for (size_t r = 0; r < 3; ++r)
        deviations[r].nominal = nominalLines[r].deviation();

    std::mt19937_64 draws(input.seed);
    // The common offset has its own generator: with or without it, every other draw stays the same.
    std::mt19937_64 offsetDraws(input.seed ^ 0x9e3779b97f4a7c15ULL);
    std::normal_distribution<double> normal;
    std::normal_distribution<double> offsetNormal;
    // Only the mean reading of a station enters the mean profile, so the errors of its readings and the
    // reproducibility, all independent and normal, are drawn as their sum: one normal of the combined
    // standard uncertainty per station.
    std::vector<double> sigma(n);
    for (size_t i = 0; i < n; ++i) {
        sigma[i] = both ? std::sqrt((sigmaF[i] * sigmaF[i] + sigmaB[i] * sigmaB[i]) / 4 +
                                    reproducibility * reproducibility)
                        : sigmaF[i];
    }
    std::vector<double> trial(n);
    int done = 0;
    for (; done < input.trials; ++done) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return result;
        const double base = job.baseLength + job.baseLengthUncertainty * normal(draws);
        const double common = input.commonOffset > 0 ? input.commonOffset * offsetNormal(offsetDraws) : 0.0;
        for (size_t i = 0; i < n; ++i)
            trial[i] = nominal[i] + sigma[i] * normal(draws) + common;
        profile(trial, base, ws);
        for (size_t i = 1; i <= n; ++i)
            heights[i].add(ws.points[i].h);
        const std::array<Straightness::Line, 3> lines = Straightness::referenceLines(ws);
        for (size_t r = 0; r < 3; ++r)
            deviations[r].add(lines[r].deviation());
    }
    result.trials = done;
    result.height.resize(n + 1);
    for (size_t i = 0; i <= n; ++i)
        result.height[i] = heights[i].sd(done);
    for (size_t r = 0; r < 3; ++r)
        result.deviation[r] = deviations[r].sd(done);
    result.done = true;
    return result;
}

void UncertaintyWorker::start(const RunUncertainty::Input& input)
{
    qRegisterMetaType<RunUncertainty::Result>();
    m_run.start<RunUncertainty::Result>(
        this, [input](const std::atomic<bool>* cancel) { return RunUncertainty::compute(input, cancel); },
        [this](const RunUncertainty::Result& result) { emit finished(result); });
}
