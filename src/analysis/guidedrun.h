#pragma once

#include "analysis/settledetector.h"
#include "analysis/stationtables.h"
#include "analysis/straightnessjob.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <deque>
#include <utility>
#include <vector>

struct AppState;

// Walks the operator through a job: station after station of the forward run and, when the job asks for
// it, the backward run (stations n .. 1), or a plate's lines one after the other, each pass stored into a
// table of its own once the reading on the job's axis has settled. After a store the next station is armed
// only when a reading has left the band around the stored value on either axis or was invalid: the carriage
// being moved disturbs the reading, so a reading that never moved is never stored twice. "Store now" stores
// whatever the state.
class GuidedRun : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Running, Paused, Finished, Cancelled };

    GuidedRun(AppState& state, StationTables& tables, JobBook& book, QObject* parent = nullptr);

    // Starts the job: the forward run into the current table when it is empty, else into the next empty
    // one; the backward run into the next empty table after that. Empty when started, else why not.
    [[nodiscard]] QString start(const StraightnessJob& job);
    // A decoded message (the link's measurementDecoded): raw angles in arcseconds, the instrument's status
    // (bit 1 X, bit 2 Y valid).
    void addReading(double x, double y, qint16 status, qint64 msecs);
    // The link's linkLost.
    void linkLost();
    // Stores the mean of the valid readings of the last settle time, else the latest valid reading. Empty
    // when stored, else why not.
    QString storeNow();
    // Back one station: its line removed, to be stored again.
    void retake();
    void pause();
    void resume();
    // Ends the job; stored lines stay.
    void cancel();

    [[nodiscard]] State state() const { return m_runState; }
    [[nodiscard]] bool active() const { return m_runState == State::Running || m_runState == State::Paused; }
    [[nodiscard]] const StraightnessJob& job() const { return m_job; }
    // The pass under way, 1-based: 1 forward, 2 backward; a plate's line.
    [[nodiscard]] int run() const { return m_run; }
    [[nodiscard]] int passCount() const { return static_cast<int>(m_passes.size()); }
    [[nodiscard]] const StraightnessJob::Pass& pass() const
    {
        static const StraightnessJob::Pass none;
        return m_run >= 1 && m_run <= passCount() ? m_passes[size_t(m_run - 1)] : none;
    }
    [[nodiscard]] int station() const { return m_station; } // the station to store next, 1 .. stations()
    [[nodiscard]] int stations() const { return pass().readings; }
    [[nodiscard]] int table() const { return m_job.passTable(m_run - 1); }
    // mm from the line's start
    [[nodiscard]] double position() const { return m_station * pass().base; }
    // Waiting for the reading to move off the last stored value before settling again.
    [[nodiscard]] bool awaitingMove() const { return !m_armed; }
    [[nodiscard]] double progress() const { return m_armed ? m_settle.progress() : 0.0; }
    [[nodiscard]] double spread() const { return m_settle.spread(); } // arcsec
    // The last shown angles (zero offsets applied), arcsec; NaN when invalid.
    [[nodiscard]] double shownX() const { return m_lastX; }
    [[nodiscard]] double shownY() const { return m_lastY; }

signals:
    void stationStored(int run, int station, int table, qint32 line);
    // State, run or station changed.
    void changed();
    void finished();
    // Something the operator should read.
    void message(const QString& text);

private:
    struct Reading {
        qint64 msecs;
        double x, y; // shown, arcsec; NaN where invalid
    };
    [[nodiscard]] double axisValue(double x, double y) const { return m_job.axis == 2 ? y : x; }
    // The first empty table from first on, wrapping, that is none of except; 0: none.
    [[nodiscard]] int emptyTableFrom(int first, const std::vector<int>& except) const;
    [[nodiscard]] static QString noTableText(int pass, const QString& title);
    [[nodiscard]] bool empty(int number) const { return m_tables.lines(number).count() == 0; }
    // Means of the kept readings from msecs on.
    [[nodiscard]] std::pair<double, double> means(qint64 from) const;
    void store(double x, double y, double sd, qint32 count, qint64 msecs);
    void advance();
    void rearm();
    void setState(State s);

    AppState& m_state;
    StationTables& m_tables;
    JobBook& m_book;
    StraightnessJob m_job;
    State m_runState = State::Idle;
    int m_run = 1;
    int m_station = 1;
    std::vector<StraightnessJob::Pass> m_passes;
    SettleDetector m_settle;
    std::deque<Reading> m_recent; // valid readings of the last settle time and a little more
    qint64 m_lastMsecs = 0;
    qint64 m_windowMs = 2000; // the settle time
    double m_lastX = StraightnessJob::NaN;
    double m_lastY = StraightnessJob::NaN;
    bool m_armed = true;
    double m_storedX = StraightnessJob::NaN, m_storedY = StraightnessJob::NaN;
};
