#include "analysis/settledetector.h"

#include <algorithm>
#include <cmath>
#include <limits>

// The window kept is the longest run of newest readings whose spread stays within the band, trimmed so
// that only its oldest reading lies at or before now - seconds. It has settled when that oldest reading
// is at or before now - seconds: the readings then stayed within the band for the whole time. Each
// reading enters and leaves the window and the two monotonic queues once.

void SettleDetector::setCriteria(double seconds, double band)
{
    const double ms = std::round(seconds * 1000);
    m_spanMsecs = ms > 0 ? (ms < 1e15 ? static_cast<qint64>(ms) : qint64(1e15)) : 0;
    m_band = band >= 0 ? band : 0;
    // Readings kept under the old criteria may not meet the new ones.
    reset();
}

bool SettleDetector::add(qint64 msecs, double value, bool valid)
{
    if (!valid || !std::isfinite(value)) {
        reset();
        return false;
    }
    if (!m_items.empty() && msecs < m_now)
        reset(); // the clock went back: the old readings' times mean nothing against the new ones
    const Item item{msecs, value, m_seq++};
    m_items.push_back(item);
    while (!m_min.empty() && m_min.back().value >= value)
        m_min.pop_back();
    m_min.push_back(item);
    while (!m_max.empty() && m_max.back().value <= value)
        m_max.pop_back();
    m_max.push_back(item);
    m_now = msecs;

    while (m_max.front().value - m_min.front().value > m_band)
        dropOldest();
    const qint64 start = windowStart();
    while (m_items.size() >= 2 && m_items[1].msecs <= start)
        dropOldest();
    return m_items.front().msecs <= start;
}

void SettleDetector::dropOldest()
{
    const quint64 seq = m_items.front().seq;
    m_items.pop_front();
    if (m_min.front().seq == seq)
        m_min.pop_front();
    if (m_max.front().seq == seq)
        m_max.pop_front();
}

qint64 SettleDetector::windowStart() const
{
    // Saturated: a time near the start of the range must not wrap around.
    const qint64 earliest = std::numeric_limits<qint64>::min();
    return m_now < earliest + m_spanMsecs ? earliest : m_now - m_spanMsecs;
}

void SettleDetector::reset()
{
    m_items.clear();
    m_min.clear();
    m_max.clear();
}

SettleDetector::Window SettleDetector::window() const
{
    Window w;
    const qint64 start = windowStart();
    double sum = 0;
    for (const Item& i : m_items) {
        if (i.msecs < start)
            continue;
        if (w.count == 0)
            w.from = i.msecs;
        w.to = i.msecs;
        sum += i.value;
        ++w.count;
    }
    if (w.count == 0)
        return w;
    w.mean = sum / w.count;
    double squares = 0;
    for (const Item& i : m_items) {
        if (i.msecs >= start)
            squares += (i.value - w.mean) * (i.value - w.mean);
    }
    w.sd = w.count > 1 ? std::sqrt(squares / (w.count - 1)) : 0.0;
    return w;
}

double SettleDetector::progress() const
{
    if (m_items.empty())
        return 0;
    if (m_spanMsecs <= 0)
        return 1;
    return std::min(1.0,
                    static_cast<double>(m_now - m_items.front().msecs) / static_cast<double>(m_spanMsecs));
}

double SettleDetector::spread() const
{
    return m_items.empty() ? 0.0 : m_max.front().value - m_min.front().value;
}
