#pragma once

#include "platform/receiveport.h"

#include <QtGlobal>

#include <deque>
#include <optional>
#include <vector>

// Arrival times of the messages of a stream, recovered from the reads that brought them, so that a program
// that reads a few times a second still times every message.
//
// An instrument sends at the pace of its own clock: message n arrives at about t0 + n * period. Each read
// bounds the messages it completed: each came after the read before, and at the latest at the read less the
// bytes after it at line speed. Linear programs over the reads of the last WindowMicros find, of the lines
// t0 + n * period that keep every message within its bounds, the two that put the newest message earliest
// and latest; their mean is the fit. A message of a later read takes its time from the fit, kept within its
// own bounds, so it is never placed where its read says it cannot have been. Every other timed read falls
// where the fit expects a message, which halves the doubt about it; the others vary evenly, so that a fit
// that runs late shows too.
//
// It assumes one steady pace within the window (an instrument clock drifts far less than a millisecond in
// it) and that no message is lost between reads. The times settle within about three seconds of a stream's
// start; until MinReads reads fit, a message takes the latest time its read allows. A settled fit leaves out
// one read it misses by more than JitterMs (a message held up on its way). Reads that keep missing every
// line by more than that (jitter, a USB adapter's latency timer) are fitted by the line that misses least,
// solved again only every RefitMicros while new reads agree with it. When the reads miss every line by more
// than ToleranceMs twice in a row, the pace changed (averaging switched, another instrument mode, a readout
// of the instrument's memory) or a message was lost: the fit starts anew from the newest read and settles
// within a few seconds. After a pause longer than GapMicros the fit starts anew likewise. A message far off
// the fit, or read at once (the first after a quiet spell, a backlog after a reconnect or a busy spell),
// takes the latest time its read allows: the read's own time, the ones before it spread back at the line's
// byte rate, never one time for many.
class MessageClock : public ReadPlanner {
public:
    static constexpr qint64 WindowMicros = 10000000;
    static constexpr qint64 GapMicros = 2000000;
    static constexpr double ToleranceMs = 25.0;
    // Reads missed by more than this (ms) mean jitter: a fit that cannot sharpen.
    static constexpr double JitterMs = 2.0;
    static constexpr int MinReads = 3;
    // Reads in the window before a fit is trusted to tell a held-up message.
    static constexpr size_t SettledReads = 10;
    // Reads nearest the last fit's line on each side that a new fit starts from.
    static constexpr int TightReads = 4;
    // A fit that misses some reads is solved again only this often, or when a read misses it by more.
    static constexpr qint64 RefitMicros = 2000000;

    // The arrival of the message whose last byte arrived as given, steadyMicros(); a port that does not
    // time its reads gives the time of the call.
    [[nodiscard]] qint64 stamp(const ByteArrival& arrival);
    // The read that tells most: at the time the fit expects a message, which lands it in this read or the
    // next and so halves the doubt about its time.
    [[nodiscard]] qint64 nextRead(qint64 from, qint64 to) override;

private:
    struct Read {
        qint64 id = -1;
        qint64 first = 0; // index of its first and last message
        qint64 last = 0;
        qint64 after = ByteArrival::Unknown; // the first message came after this
        qint64 latest = 0;                   // the last one at the latest then
    };
    struct Line {
        double t0 = 0.0; // ms after the oldest read of the window, for its first message
        double period = 0.0;
        double margin = 0.0;
    };
    enum class Goal { WidestMargin, NewestEarliest, NewestLatest };
    // The linear program over the reads of the window marked used, with the margin free (WidestMargin) or
    // fixed; reads the solution misses are marked and it is solved again.
    [[nodiscard]] std::optional<Line> solve(Goal goal, double margin, std::vector<char>& used) const;
    void restart();
    void closeRead();
    // Whether the fit puts the read's messages within its bounds, or misses them by at most missMs.
    [[nodiscard]] bool agrees(const Read& read, double missMs) const;
    void fit();
    [[nodiscard]] double predicted(qint64 index) const;

    std::deque<Read> m_window;
    Read m_open;
    qint64 m_next = 0;
    qint64 m_previous = 0;
    bool m_fitted = false;
    bool m_setAside = false; // the newest read did not fit and was left out
    bool m_jittered = false; // the last fit found no line within every read's bounds
    bool m_planNext = false;
    // The fit: message n at m_origin + (m_t0 + (n - m_base) * m_period) ms.
    qint64 m_origin = 0;
    qint64 m_base = 0;
    double m_t0 = 0.0;
    double m_period = 0.0;
    double m_margin = 0.0; // of the fit: below 0 when it misses some read by that much
    qint64 m_fittedAt = 0;
};
