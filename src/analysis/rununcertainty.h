#pragma once

#include "analysis/backgroundrun.h"
#include "analysis/straightness.h"
#include "analysis/straightnessrun.h"

#include <QObject>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <vector>

// The standard uncertainty of a run's heights and straightness deviations by Monte Carlo propagation of
// the readings through the evaluation: each trial draws every reading and the base length from their
// distributions and evaluates the mean profile again. A fixed seed makes a report reproducible.
class RunUncertainty {
public:
    static constexpr int DefaultTrials = 10000;
    static constexpr quint64 DefaultSeed = 20261208;

    struct Input {
        StraightnessJob job; // instrument uncertainty, base length and its uncertainty
        StraightnessRun::Readings forward;
        std::optional<StraightnessRun::Readings> backward;
        int trials = DefaultTrials;
        quint64 seed = DefaultSeed;
        // Standard uncertainty (arcsec) of an offset common to every reading of a trial; 0: none. The
        // reference lines take it out, so it leaves the deviations' uncertainty as it is.
        double commonOffset = 0;
    };

    struct Result {
        bool done = false;
        int trials = 0;
        std::vector<double> height;        // u of each station's mean height, µm, station 0 first
        std::array<double, 3> deviation{}; // u of each reference line's deviation, µm (Straightness order)
        [[nodiscard]] double expanded(Straightness::Reference r) const // U = 2u
        {
            return 2 * deviation[static_cast<size_t>(r)];
        }
    };

    // Runs on the calling thread. cancel, when given, is looked at between trials: set, it ends the
    // computation with a result that is not done.
    [[nodiscard]] static Result compute(const Input& input, const std::atomic<bool>* cancel = nullptr);
};
Q_DECLARE_METATYPE(RunUncertainty::Result)

// Computes a RunUncertainty on a thread of its own and hands the result back by a queued signal, so the
// display tick never waits for it. A newer start supersedes a running one, whose result is dropped.
class UncertaintyWorker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void start(const RunUncertainty::Input& input);
    [[nodiscard]] bool busy() const { return m_run.busy(); }

signals:
    void finished(const RunUncertainty::Result& result);

private:
    BackgroundRun m_run;
};
