#pragma once

#include "analysis/straightness.h"
#include "analysis/straightnessjob.h"

#include <QList>
#include <QStringList>

#include <array>
#include <cmath>
#include <optional>
#include <vector>

// A job's runs evaluated together: each run's profile, the mean profile (from the mean reading of each
// station), the reversal (forward minus backward height per station) and the mean's deviations.
class StraightnessRun {
public:
    // One run's stations as stored: reading (arcsec, on the job's axis) and the settle window's spread and
    // count, station 1 first whatever the walking order.
    struct Readings {
        std::vector<double> reading;
        std::vector<double> settleSd; // arcsec; NaN: not known
        std::vector<qint32> settleCount;
        // The standard uncertainty of station i's reading from the scatter of the window it is the mean
        // of, arcsec; 0 when not known.
        [[nodiscard]] double scatter(size_t i) const
        {
            const double sd = i < settleSd.size() ? settleSd[i] : Straightness::NaN;
            const qint32 count = i < settleCount.size() ? settleCount[i] : 0;
            return std::isfinite(sd) && count > 0 ? sd / std::sqrt(double(count)) : 0.0;
        }
    };

    // The readings of a run's table: lines whose record names the job and run, ordered by station; a
    // line without such a record is read as the station of its place in walking order (backward: n .. 1).
    // Nothing when a station is missing or unreadable. For a plate job, run is the line (1-based).
    [[nodiscard]] static std::optional<Readings>
    fromTable(const TableLines& lines, const StraightnessJob& job, int run, AngleUnit unit);

    // backward: absent for a forward-only job. Both runs must have the same number of stations.
    [[nodiscard]] static StraightnessRun evaluate(const StraightnessJob& job, const Readings& forward,
                                                  const std::optional<Readings>& backward);

    [[nodiscard]] bool done() const { return m_mean.done(); }
    [[nodiscard]] QString message() const; // why not done; empty when done
    [[nodiscard]] const Straightness& forward() const { return m_forward; }
    [[nodiscard]] const std::optional<Straightness>& backward() const { return m_backward; }
    // The profile of the mean readings; for one run, that run's.
    [[nodiscard]] const Straightness& mean() const { return m_mean; }
    // Forward minus backward height per station (station 0 first, 0 there), µm; empty for one run.
    [[nodiscard]] const std::vector<double>& reversal() const { return m_reversal; }
    // Sample standard deviation of the reversal over stations 1 .. n, µm; NaN for one run.
    [[nodiscard]] double reversalSd() const { return m_reversalSd; }
    [[nodiscard]] double reversalMax() const; // largest |reversal|, µm; NaN for one run
    [[nodiscard]] const Readings& forwardReadings() const { return m_forwardReadings; }
    [[nodiscard]] const std::optional<Readings>& backwardReadings() const { return m_backwardReadings; }
    // Station table: station, position, forward, backward, mean height, reversal (µm), in their shortest
    // text with a full stop; a header row first.
    [[nodiscard]] QList<QStringList> stationRows() const;

private:
    Straightness m_forward;
    std::optional<Straightness> m_backward;
    Straightness m_mean;
    std::vector<double> m_reversal;
    double m_reversalSd = Straightness::NaN;
    Readings m_forwardReadings;
    std::optional<Readings> m_backwardReadings;
    QString m_message;
};
