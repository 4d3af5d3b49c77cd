// The journal: its cost at line rate, the GUI thread's wait per stored line, its size for a day at line
// rate with a full table, and the restore of ten full tables and that day's log.
#include "benchsupport.h"

#include "analysis/measurementlog.h"
#include "journal/journal.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace Bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int PointsPerTick = 20; // 200 ms at 100 a second

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double p99(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto k = static_cast<size_t>(0.99 * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + long(k), values.end());
    return values[k];
}

struct Day {
    double cpuPercent = 0; // of a core, while storing every message
    double waitP99 = 0;    // ms, per stored line or tick hand-over
};

// Ticks of line-rate data, fast-forwarded: PointsPerTick measurements each, every one stored as a line of
// table 1 while it has room. With a journal the ticks hand their batches over as the display tick does.
Day run(Journal* journal, Link& link, Tables& tables, qint64 ticks, qint64 storingTicks)
{
    MeasurementLog& log = link.log();
    Table& table = tables.table(1);
    std::vector<double> waits;
    waits.reserve(size_t(storingTicks * (PointsPerTick + 1)));
    const double cpu0 = processCpuSeconds();
    Day day;
    for (qint64 tick = 0; tick < ticks; ++tick) {
        const bool storing = tick < storingTicks;
        for (int k = 0; k < PointsPerTick; ++k) {
            const qint64 i = tick * PointsPerTick + k;
            log.appendAnglesAt(i * 10, 120.0 * std::sin(double(i) * 2e-6), -40.0 + double(i % 7) * 0.01);
            if (storing && table.rows() < Tables::FullRows) {
                const LineRecord r{LineRecord::Source::Interval,
                                   AngleUnit::Arcsec,
                                   false,
                                   1700000000000 + i * 10,
                                   3600,
                                   1.0,
                                   2.0,
                                   0,
                                   0};
                const Clock::time_point start = Clock::now();
                table.appendLine(
                    {QString::number(table.rows()), QStringLiteral("12.500"), QStringLiteral("-3.250")}, &r);
                log.markStoredAt(i * 10);
                waits.push_back(msSince(start));
            }
        }
        if (journal) {
            const Clock::time_point start = Clock::now();
            journal->flush();
            if (storing)
                waits.push_back(msSince(start));
        }
        if (tick + 1 == storingTicks) {
            if (journal)
                journal->waitWritten(); // the writer's time counts
            const double seconds = double(storingTicks) * Journal::TickMsecs / 1000;
            day = {(processCpuSeconds() - cpu0) / seconds * 100, p99(waits)};
        }
    }
    if (journal)
        journal->waitWritten();
    return day;
}

void journal(benchmark::State& state)
{
    // A day at line rate; the storing part as long as a full table takes.
    const qint64 ticks = config().logPoints / PointsPerTick;
    const qint64 storingTicks =
        std::min<qint64>(ticks, (config().tableLines + PointsPerTick - 1) / PointsPerTick);
    for (auto _ : state) {
        Day bare;
        {
            AppState s;
            Link link(s);
            Tables tables(s);
            tables.setupForMode();
            bare = run(nullptr, link, tables, storingTicks, storingTicks);
        }
        QTemporaryDir folder;
        Day journaled;
        double bytes = 0;
        {
            AppState s;
            Link link(s);
            Tables tables(s);
            tables.setupForMode();
            Journal j(folder.path());
            j.begin(tables, link);
            journaled = run(&j, link, tables, ticks, storingTicks);
            const QString path = QDir(folder.path()).filePath(Journal::fileName());
            bytes = double(QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size());
            // Ten full tables for the restore.
            for (int n = 2; n <= Tables::Count; ++n) {
                Table& t = tables.table(n);
                const Table::Bulk bulk(t);
                const LineRecord r{
                    LineRecord::Source::File, AngleUnit::Arcsec, false, 1700000000000, 0, 1, 2, 0, 0};
                while (t.rows() < config().tableLines)
                    t.appendLine(
                        {QString::number(t.rows()), QStringLiteral("1.000"), QStringLiteral("2.000")}, &r);
            }
            j.flush();
            j.waitWritten();
            if (!require(state, j.isOpen(), QStringLiteral("journal: %1").arg(j.problem())))
                return;
        } // no clean end: the restore below finds the session
        AppState s;
        Tables tables(s);
        MeasurementLog log;
        const Clock::time_point start = Clock::now();
        Journal j(folder.path());
        const std::optional<Journal::Session> session = j.unclean();
        const bool restored = session && j.restore(*session, tables, log);
        const double restoreSeconds = msSince(start) / 1000;
        if (!require(state,
                     restored && tables.table(10).rows() == config().tableLines &&
                         log.count(MeasurementLog::Kind::Angles) == ticks * PointsPerTick,
                     QStringLiteral("the restore lost lines or measurements")))
            return;
        state.SetIterationTime(restoreSeconds);
        sample(state, "journal_cpu", journaled.cpuPercent - bare.cpuPercent, bare.cpuPercent);
        sample(state, "journal_wait", journaled.waitP99, bare.waitP99);
        sample(state, "journal_size", bytes / 1e6, double(ticks * PointsPerTick) * 16 / 1e6);
        sample(state, "journal_restore", restoreSeconds, 0);
    }
}

} // namespace

void registerJournalBenchmarks()
{
    registerFigure("Journal", journal, config().slowRepetitions);
}

} // namespace Bench
