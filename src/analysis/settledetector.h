#pragma once

#include <QtGlobal>

#include <deque>

// Tells when a reading has settled: over the last `seconds` the readings' spread (max - min) stayed
// within `band`. Fed one reading per message at line rate, so each is taken at constant amortized cost.
// An invalid reading empties the window: what the instrument could not measure never settles.
class SettleDetector {
public:
    struct Window {
        double mean = 0;
        double sd = 0; // sample standard deviation; 0 for one reading
        qint32 count = 0;
        qint64 from = 0, to = 0; // ms: the first and last reading's time
    };

    void setCriteria(double seconds, double band);
    // A reading at msecs (ms, not decreasing); true when, with it, the readings settle.
    bool add(qint64 msecs, double value, bool valid);
    // Forgets every reading (a station stored, the link lost, a retake).
    void reset();
    // The readings of the last `seconds`, valid after add() returned true.
    [[nodiscard]] Window window() const;
    // For the display: 0 .. 1, how much of `seconds` the readings have stayed within the band so far.
    [[nodiscard]] double progress() const;
    [[nodiscard]] double spread() const; // max - min of the window; 0 when empty

private:
    struct Item {
        qint64 msecs;
        double value;
        quint64 seq;
    };
    void dropOldest();
    [[nodiscard]] qint64 windowStart() const; // now - seconds

    qint64 m_spanMsecs = 2000;
    double m_band = 0.3;
    qint64 m_now = 0;
    quint64 m_seq = 0;
    // The readings since the oldest one from which every later reading stays within the band, but none
    // older than needed to reach back `seconds`; and the candidates for their minimum and maximum.
    std::deque<Item> m_items;
    std::deque<Item> m_min;
    std::deque<Item> m_max;
};
