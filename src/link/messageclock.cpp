#include "link/messageclock.h"

#include <glpk.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// No instrument sends faster than this; it also keeps the period away from zero in a loose fit.
constexpr double MinPeriodMs = 0.1;
} // namespace

qint64 MessageClock::stamp(const ByteArrival& arrival)
{
    if (arrival.read < 0)
        return steadyMicros();
    if (arrival.read != m_open.id) {
        if (m_open.id >= 0)
            closeRead();
        // Bytes that may have waited in the device, or the first after a long pause: a new stretch.
        if (arrival.after == ByteArrival::Unknown ||
            (!m_window.empty() && arrival.latest - m_window.back().latest > GapMicros))
            restart();
        m_open = {arrival.read, m_next, m_next, arrival.after, arrival.latest};
    } else {
        m_open.last = m_next;
        m_open.latest = arrival.latest;
    }
    const qint64 index = m_next++;
    qint64 time = arrival.latest;
    if (m_fitted && !arrival.atOnce) {
        // A message near the fit is kept within what its read allows; one far off it (the pace changed, it
        // was held up) takes the latest time, so that several never crowd at one bound.
        const qint64 earliest = arrival.after == ByteArrival::Unknown
                                    ? arrival.latest
                                    : std::min(std::max(arrival.after + 1, m_previous + 1), arrival.latest);
        const double at = predicted(index);
        const double slack = ToleranceMs * 1000.0;
        if (at >= static_cast<double>(earliest) - slack && at <= static_cast<double>(arrival.latest) + slack)
            time = std::clamp(std::llround(at), earliest, arrival.latest);
    }
    time = std::max(time, m_previous);
    m_previous = time;
    return time;
}

qint64 MessageClock::nextRead(qint64 from, qint64 to)
{
    if (!m_fitted)
        return -1;
    const double first = (static_cast<double>(from - m_origin) / 1000.0 - m_t0) / m_period;
    const double at = predicted(m_base + static_cast<qint64>(std::ceil(first)));
    return at <= static_cast<double>(to) ? std::llround(at) : -1;
}

void MessageClock::restart()
{
    m_window.clear();
    m_setAside = false;
    m_fitted = false;
}

void MessageClock::closeRead()
{
    m_window.push_back(m_open);
    while (m_window.back().latest - m_window.front().latest > WindowMicros)
        m_window.pop_front();
    fit();
}

double MessageClock::predicted(qint64 index) const
{
    return static_cast<double>(m_origin) + (m_t0 + static_cast<double>(index - m_base) * m_period) * 1000.0;
}

void MessageClock::fit()
{
    m_fitted = false;
    if (static_cast<int>(m_window.size()) < MinReads)
        return;
    const qint64 origin = m_window.front().latest;
    const qint64 base = m_window.front().first;
    const auto ms = [origin](qint64 t) { return static_cast<double>(t - origin) / 1000.0; };

    // Columns: t0, period, margin; the margin is maximised. Two rows a read: its first message after its
    // lower bound, its last one before its upper bound, both by the margin.
    glp_prob* lp = glp_create_prob();
    glp_set_obj_dir(lp, GLP_MAX);
    glp_add_cols(lp, 3);
    glp_set_col_bnds(lp, 1, GLP_FR, 0.0, 0.0);
    glp_set_col_bnds(lp, 2, GLP_LO, MinPeriodMs, 0.0);
    glp_set_col_bnds(lp, 3, GLP_FR, 0.0, 0.0);
    glp_set_obj_coef(lp, 3, 1.0);
    const int rows = 2 * static_cast<int>(m_window.size());
    glp_add_rows(lp, rows);
    std::vector<int> ia(1);
    std::vector<int> ja(1);
    std::vector<double> ar(1);
    const auto entry = [&](int row, int col, double value) {
        ia.push_back(row);
        ja.push_back(col);
        ar.push_back(value);
    };
    int row = 0;
    for (const Read& read : m_window) {
        ++row;
        if (read.after == ByteArrival::Unknown)
            glp_set_row_bnds(lp, row, GLP_FR, 0.0, 0.0);
        else
            glp_set_row_bnds(lp, row, GLP_LO, ms(read.after), 0.0);
        entry(row, 1, 1.0);
        entry(row, 2, static_cast<double>(read.first - base));
        entry(row, 3, -1.0);
        ++row;
        glp_set_row_bnds(lp, row, GLP_UP, 0.0, ms(read.latest));
        entry(row, 1, 1.0);
        entry(row, 2, static_cast<double>(read.last - base));
        entry(row, 3, 1.0);
    }
    glp_load_matrix(lp, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
    glp_smcp parameters;
    glp_init_smcp(&parameters);
    parameters.msg_lev = GLP_MSG_OFF;
    const auto solve = [&] { return glp_simplex(lp, &parameters) == 0 && glp_get_status(lp) == GLP_OPT; };
    if (!solve()) {
        glp_delete_prob(lp);
        return;
    }
    const double margin = glp_get_col_prim(lp, 3);
    if (margin < -ToleranceMs) {
        glp_delete_prob(lp);
        if (!m_setAside && static_cast<int>(m_window.size()) > MinReads) {
            // One read off the pace (a message held up on its way) is set aside.
            m_window.pop_back();
            fit();
            m_setAside = true;
            return;
        }
        // Two in a row: the pace changed. Start from the newest.
        m_setAside = false;
        m_window.erase(m_window.begin(), m_window.end() - 1);
        return;
    }
    m_setAside = false;
    // The widest margin alone leans on the few tightest reads. Of the lines that fit every read (or, when
    // jitter leaves none, that miss by at most twice the least miss), the two that put the newest message
    // earliest and latest bracket its time: their mean is the estimate.
    const double allowed = std::min(0.0, 2.0 * margin);
    glp_set_col_bnds(lp, 3, GLP_FX, allowed, allowed);
    glp_set_obj_coef(lp, 3, 0.0);
    glp_set_obj_coef(lp, 1, 1.0);
    glp_set_obj_coef(lp, 2, static_cast<double>(m_window.back().last - base));
    double t0 = 0.0;
    double period = 0.0;
    for (const int direction : {GLP_MIN, GLP_MAX}) {
        glp_set_obj_dir(lp, direction);
        if (!solve()) {
            glp_delete_prob(lp);
            return;
        }
        t0 += glp_get_col_prim(lp, 1) / 2.0;
        period += glp_get_col_prim(lp, 2) / 2.0;
    }
    glp_delete_prob(lp);
    m_origin = origin;
    m_base = base;
    m_t0 = t0;
    m_period = period;
    m_fitted = true;
}
