#include "analysis/straightnessrun.h"

#include "state/numbers.h"

#include <algorithm>
#include <cmath>

std::optional<StraightnessRun::Readings>
StraightnessRun::fromTable(const TableLines& lines, const StraightnessJob& job, int run, AngleUnit unit)
{
    // A plate's line has readings of its own.
    const std::vector<StraightnessJob::Pass> passes =
        job.plate ? job.passes() : std::vector<StraightnessJob::Pass>{};
    const int n = !job.plate                                           ? job.readingCount()
                  : run >= 1 && run <= static_cast<int>(passes.size()) ? passes[size_t(run - 1)].readings
                                                                       : 0;
    if (n < 1 || n > StraightnessJob::MaxReadings)
        return std::nullopt;
    std::vector<qint32> byRecord(static_cast<size_t>(n) + 1, 0);
    std::vector<qint32> byPlace(static_cast<size_t>(n) + 1, 0);
    for (qint32 line = 1; line <= lines.count(); ++line) {
        const LineRecord* r = lines.record(line);
        if (r && r->job != 0) {
            // Another job's line is no station of this one; a retaken station's later line wins.
            if (job.id != 0 && r->job == job.id && r->run == run && r->station >= 1 && r->station <= n)
                byRecord[static_cast<size_t>(r->station)] = line;
            continue;
        }
        if (line <= n)
            byPlace[static_cast<size_t>(run == 2 && !job.plate ? n - line + 1 : line)] = line;
    }
    Readings readings;
    readings.reading.reserve(static_cast<size_t>(n));
    for (int station = 1; station <= n; ++station) {
        const qint32 fromRecord = byRecord[static_cast<size_t>(station)];
        const qint32 line = fromRecord > 0 ? fromRecord : byPlace[static_cast<size_t>(station)];
        if (line == 0)
            return std::nullopt;
        const auto angle = ::Readings::angle(lines, line, job.axis, unit);
        if (!angle)
            return std::nullopt;
        const LineRecord* r = lines.record(line);
        readings.reading.push_back(*angle);
        readings.settleSd.push_back(fromRecord > 0 ? r->settleSd : Straightness::NaN);
        readings.settleCount.push_back(fromRecord > 0 ? r->settleCount : 0);
    }
    return readings;
}

StraightnessRun StraightnessRun::evaluate(const StraightnessJob& job, const Readings& forward,
                                          const std::optional<Readings>& backward)
{
    StraightnessRun result;
    result.m_forwardReadings = forward;
    result.m_backwardReadings = backward;
    result.m_forward = Straightness::fromReadings(forward.reading, job.baseLength);
    if (!backward) {
        result.m_mean = result.m_forward;
        result.m_message = result.m_forward.message();
        return result;
    }
    if (backward->reading.size() != forward.reading.size()) {
        result.m_message = QStringLiteral("The forward run has %1 stations and the backward run %2.")
                               .arg(forward.reading.size())
                               .arg(backward->reading.size());
        return result;
    }
    result.m_backward = Straightness::fromReadings(backward->reading, job.baseLength);
    std::vector<double> mean(forward.reading.size());
    for (size_t i = 0; i < mean.size(); ++i)
        mean[i] = (forward.reading[i] + backward->reading[i]) / 2;
    result.m_mean = Straightness::fromReadings(mean, job.baseLength);
    for (const Straightness* s : {&result.m_forward, &*result.m_backward, &result.m_mean}) {
        if (!s->done()) {
            result.m_message = s->message();
            result.m_mean = Straightness{};
            return result;
        }
    }
    const auto& f = result.m_forward.stations();
    const auto& b = result.m_backward->stations();
    result.m_reversal.resize(f.size());
    double sum = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        result.m_reversal[i] = f[i].height - b[i].height;
        sum += result.m_reversal[i];
    }
    const size_t n = f.size() - 1;
    if (n >= 2) {
        const double meanReversal = sum / static_cast<double>(n);
        double squares = 0;
        for (size_t i = 1; i <= n; ++i)
            squares += (result.m_reversal[i] - meanReversal) * (result.m_reversal[i] - meanReversal);
        result.m_reversalSd = std::sqrt(squares / static_cast<double>(n - 1));
    }
    return result;
}

QString StraightnessRun::message() const
{
    if (done())
        return {};
    return m_message.isEmpty() ? m_mean.message() : m_message;
}

double StraightnessRun::reversalMax() const
{
    if (m_reversal.empty())
        return Straightness::NaN;
    double largest = 0;
    for (const double r : m_reversal)
        largest = std::max(largest, std::abs(r));
    return largest;
}

QList<QStringList> StraightnessRun::stationRows() const
{
    QList<QStringList> rows{{QStringLiteral("Station"), QStringLiteral("Position [mm]"),
                             QStringLiteral("Forward [\u00b5m]"), QStringLiteral("Backward [\u00b5m]"),
                             QStringLiteral("Mean [\u00b5m]"), QStringLiteral("Reversal [\u00b5m]")}};
    if (!done())
        return rows;
    const auto& mean = m_mean.stations();
    for (size_t i = 0; i < mean.size(); ++i) {
        const bool both = m_backward.has_value();
        rows << QStringList{QString::number(i),
                            Numbers::dotText(mean[i].position, 3),
                            Numbers::dotText(m_forward.stations()[i].height),
                            both ? Numbers::dotText(m_backward->stations()[i].height) : QString(),
                            Numbers::dotText(mean[i].height),
                            both ? Numbers::dotText(m_reversal[i]) : QString()};
    }
    return rows;
}
