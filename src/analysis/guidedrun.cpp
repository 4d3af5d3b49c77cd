#include "analysis/guidedrun.h"

#include "state/appstate.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {
// Readings kept past the settle time, so that a settled window is always covered whole.
constexpr qint64 KeepMs = 1000;
constexpr int TableCount = 10;
} // namespace

GuidedRun::GuidedRun(AppState& state, StationTables& tables, JobBook& book, QObject* parent)
    : QObject(parent), m_state(state), m_tables(tables), m_book(book)
{
}

int GuidedRun::emptyTableFrom(int first, const std::vector<int>& except) const
{
    for (int i = 0; i < TableCount; ++i) {
        const int n = (first - 1 + i) % TableCount + 1;
        if (std::find(except.begin(), except.end(), n) == except.end() && empty(n))
            return n;
    }
    return 0;
}

QString GuidedRun::noTableText(int pass, const QString& title)
{
    if (!title.isEmpty())
        return QStringLiteral("No empty table for line %1, %2").arg(pass + 1).arg(title);
    return pass == 0 ? QStringLiteral("No empty table for the forward run")
                     : QStringLiteral("No empty table for the backward run");
}

QString GuidedRun::start(const StraightnessJob& job)
{
    if (active())
        return QStringLiteral("A run is under way: cancel it first.");
    if (const QString problem = job.problem(); !problem.isEmpty())
        return problem;
    if (m_state.options.modeTobar)
        return QStringLiteral("A straightness run measures angles: leave TOBAR mode first.");
    StraightnessJob next = job;
    const std::vector<StraightnessJob::Pass> passes = next.passes();
    // The first pass into the current table when it is empty; every other into the next empty one after
    // the one before.
    const int current = m_tables.currentNumber();
    std::vector<int> taken;
    for (size_t i = 0; i < passes.size(); ++i) {
        const int t =
            i == 0 && empty(current) ? current : emptyTableFrom((i == 0 ? current : taken.back()) + 1, taken);
        if (t == 0) {
            return next.plate
                       ? QStringLiteral("This plate needs %1 empty tables, one per line: clear tables first.")
                             .arg(passes.size())
                       : noTableText(static_cast<int>(i), passes[i].title) +
                             QStringLiteral(": clear a table first.");
        }
        taken.push_back(t);
        next.setPassTable(static_cast<int>(i), t);
    }
    m_job = next;
    m_passes = m_job.passes();
    // Seconds since the epoch name the job; a second job within the same second takes the next number.
    m_job.id = static_cast<quint32>(std::max<qint64>(1, QDateTime::currentSecsSinceEpoch()));
    while (m_book.find(m_job.id))
        ++m_job.id;
    m_book.put(m_job);
    m_tables.setCurrent(taken.front());
    m_run = 1;
    m_station = 1;
    m_settle.setCriteria(m_job.settleSeconds, m_job.settleBand);
    m_windowMs =
        m_job.settleSeconds > 0 ? static_cast<qint64>(std::min(m_job.settleSeconds, 1e9) * 1000.0) : 0;
    m_settle.reset();
    m_recent.clear(); // a reading from before the start is no station of this job
    m_armed = true;
    setState(State::Running);
    return {};
}

void GuidedRun::addReading(double x, double y, qint16 status, qint64 msecs)
{
    msecs = std::max(msecs, m_lastMsecs);
    m_lastMsecs = msecs;
    constexpr double NaN = StraightnessJob::NaN;
    m_lastX = (status & 1) && std::isfinite(x) ? x - m_state.angles.zeroX : NaN;
    m_lastY = (status & 2) && std::isfinite(y) ? y - m_state.angles.zeroY : NaN;
    if (!active())
        return;
    const double value = axisValue(m_lastX, m_lastY);
    const bool valid = !std::isnan(value);
    if (valid) {
        m_recent.push_back({msecs, m_lastX, m_lastY});
        const qint64 oldest = msecs - m_windowMs - KeepMs;
        while (m_recent.front().msecs < oldest)
            m_recent.pop_front();
    }
    if (!m_armed) {
        // Compared where both are known: either axis may show the carriage moving.
        const double band = m_job.settleBand;
        const bool movedX =
            !std::isnan(m_lastX) && !std::isnan(m_storedX) && std::abs(m_lastX - m_storedX) > band;
        const bool movedY =
            !std::isnan(m_lastY) && !std::isnan(m_storedY) && std::abs(m_lastY - m_storedY) > band;
        if (!valid || movedX || movedY)
            rearm();
        else
            return;
    }
    if (m_runState != State::Running || !m_settle.add(msecs, value, valid))
        return;
    const SettleDetector::Window w = m_settle.window();
    auto [meanX, meanY] = means(w.from);
    (m_job.axis == 2 ? meanY : meanX) = w.mean;
    store(meanX, meanY, w.sd, w.count, w.to);
}

std::pair<double, double> GuidedRun::means(qint64 from) const
{
    double sumX = 0, sumY = 0;
    int countX = 0, countY = 0;
    for (auto it = m_recent.rbegin(); it != m_recent.rend() && it->msecs >= from; ++it) {
        if (!std::isnan(it->x)) {
            sumX += it->x;
            ++countX;
        }
        if (!std::isnan(it->y)) {
            sumY += it->y;
            ++countY;
        }
    }
    constexpr double NaN = StraightnessJob::NaN;
    return {countX ? sumX / countX : NaN, countY ? sumY / countY : NaN};
}

void GuidedRun::linkLost()
{
    m_recent.clear();
    m_lastX = m_lastY = StraightnessJob::NaN;
    rearm();
}

QString GuidedRun::storeNow()
{
    if (!active())
        return QStringLiteral("No run is under way.");
    if (m_state.options.modeTobar)
        return QStringLiteral("A straightness run measures angles: leave TOBAR mode first.");
    if (m_recent.empty())
        return QStringLiteral("No valid reading to store.");
    const qint64 from = m_lastMsecs - m_windowMs;
    auto [meanX, meanY] = means(from);
    const double mean = axisValue(meanX, meanY);
    double sum = 0;
    qint32 count = 0;
    for (auto it = m_recent.rbegin(); it != m_recent.rend() && it->msecs >= from; ++it) {
        const double d = axisValue(it->x, it->y) - mean;
        sum += d * d;
        ++count;
    }
    if (count == 0) { // nothing valid within the settle time: the latest valid reading
        const Reading& latest = m_recent.back();
        store(latest.x, latest.y, 0.0, 1, latest.msecs);
    } else {
        store(meanX, meanY, count > 1 ? std::sqrt(sum / (count - 1)) : 0.0, count, m_recent.back().msecs);
    }
    return {};
}

void GuidedRun::store(double x, double y, double sd, qint32 count, qint64 msecs)
{
    LineRecord record = m_tables.recordNow(LineRecord::Source::Button, msecs);
    record.job = m_job.id;
    record.run = static_cast<quint8>(m_run);
    record.station = m_station;
    record.settleSd = sd;
    record.settleCount = count;
    const int number = table();
    const qint32 line = m_tables.storeStation(number, x, y, record);
    if (line == 0) {
        pause();
        emit message(QStringLiteral("Table %1 is full: the run is paused.").arg(number));
        return;
    }
    m_storedX = x;
    m_storedY = y;
    m_armed = false;
    m_settle.reset();
    emit stationStored(m_run, m_station, number, line);
    advance();
}

void GuidedRun::advance()
{
    const StraightnessJob::Pass& p = pass();
    if (!p.backward && m_station < p.readings) {
        ++m_station;
    } else if (p.backward && m_station > 1) {
        --m_station;
    } else if (m_run < passCount()) {
        // The table kept for the next pass may have been written to meanwhile.
        const int i = m_run;
        int t = m_job.passTable(i);
        if (!empty(t))
            t = emptyTableFrom(t + 1, m_job.tables());
        m_job.setPassTable(i, t);
        m_passes = m_job.passes();
        if (t == 0) {
            m_book.put(m_job);
            setState(State::Cancelled);
            emit message(noTableText(i, m_passes[size_t(i)].title) + QStringLiteral(": the job ends here."));
            return;
        }
        m_run = i + 1;
        m_station = m_passes[size_t(i)].backward ? m_passes[size_t(i)].readings : 1;
        m_tables.setCurrent(t);
        m_book.put(m_job);
    } else {
        m_book.put(m_job);
        setState(State::Finished);
        emit finished();
        return;
    }
    emit changed();
}

void GuidedRun::retake()
{
    int run = m_run;
    int station = m_station;
    if (m_runState == State::Finished) {
        // The last station stored is taken again.
    } else if (!active()) {
        return;
    } else if (const StraightnessJob::Pass& p = pass(); station != (p.backward ? p.readings : 1)) {
        station += p.backward ? 1 : -1;
    } else if (run > 1) {
        --run;
        const StraightnessJob::Pass& before = m_passes[size_t(run - 1)];
        station = before.backward ? 1 : before.readings;
    } else {
        return;
    }
    const int number = m_job.passTable(run - 1);
    const TableLines& t = m_tables.lines(number);
    for (qint32 line = t.count(); line >= 1; --line) {
        const LineRecord* r = t.record(line);
        if (r && r->job == m_job.id && r->run == run && r->station == station) {
            m_tables.removeLine(number, line);
            break;
        }
    }
    if (run != m_run)
        m_tables.setCurrent(number);
    m_run = run;
    m_station = station;
    rearm();
    if (m_runState == State::Finished)
        setState(State::Running);
    else
        emit changed();
}

void GuidedRun::rearm()
{
    m_armed = true;
    m_settle.reset();
}

void GuidedRun::pause()
{
    if (m_runState != State::Running)
        return;
    m_settle.reset();
    setState(State::Paused);
}

void GuidedRun::resume()
{
    if (m_runState != State::Paused)
        return;
    m_settle.reset();
    setState(State::Running);
}

void GuidedRun::cancel()
{
    if (!active())
        return;
    m_book.put(m_job);
    setState(State::Cancelled);
}

void GuidedRun::setState(State s)
{
    m_runState = s;
    emit changed();
}
