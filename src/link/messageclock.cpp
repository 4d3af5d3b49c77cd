#include "link/messageclock.h"

#include <glpk.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>
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
    // Reads at expected arrivals only sharpen a fit that no jitter blurs; else they vary evenly. Every other
    // read varies anyway: reads at one phase of the fit's own line alone could not show it is late.
    m_planNext = !m_planNext;
    if (!m_fitted || m_jittered || !m_planNext)
        return -1;
    const double first = (static_cast<double>(from - m_origin) / 1000.0 - m_t0) / m_period;
    const double at = predicted(m_base + static_cast<qint64>(std::ceil(first)));
    return at <= static_cast<double>(to) ? std::llround(at) : -1;
}

void MessageClock::restart()
{
    m_window.clear();
    m_setAside = false;
    m_jittered = false;
    m_margin = 0.0;
    m_fitted = false;
}

void MessageClock::closeRead()
{
    // A read that a sharp fit misses by more than jitter (a message held up on its way) is left out, or it
    // would pull the fit by half its miss; a second one in a row joins, and the fit shows what changed.
    if (m_fitted && !m_jittered && !m_setAside && m_window.size() >= SettledReads &&
        !agrees(m_open, -JitterMs)) {
        m_setAside = true;
        return;
    }
    m_window.push_back(m_open);
    while (m_window.back().latest - m_window.front().latest > WindowMicros)
        m_window.pop_front();
    // A fit that misses some reads anyway gains little from one more that agrees with it, and solving costs
    // CPU: it stands for a while. A sharp fit is solved again with every read, which the reads placed at its
    // expected arrivals sharpen further.
    if (m_fitted && m_margin < 0.0 && m_open.latest - m_fittedAt < RefitMicros && agrees(m_open, m_margin))
        return;
    fit();
}

bool MessageClock::agrees(const Read& read, double missMs) const
{
    const double slack = std::min(0.0, missMs) * 1000.0;
    return (read.after == ByteArrival::Unknown ||
            predicted(read.first) - static_cast<double>(read.after) >= slack) &&
           static_cast<double>(read.latest) - predicted(read.last) >= slack;
}

double MessageClock::predicted(qint64 index) const
{
    return static_cast<double>(m_origin) + (m_t0 + static_cast<double>(index - m_base) * m_period) * 1000.0;
}

std::optional<MessageClock::Line> MessageClock::solve(Goal goal, double margin, std::vector<char>& used) const
{
    const qint64 origin = m_window.front().latest;
    const qint64 base = m_window.front().first;
    const auto ms = [origin](qint64 t) { return static_cast<double>(t - origin) / 1000.0; };
    const auto misses = [&](const Read& read, const Line& line) {
        constexpr double Slack = 1e-6;
        const double first = line.t0 + static_cast<double>(read.first - base) * line.period - line.margin;
        const double last = line.t0 + static_cast<double>(read.last - base) * line.period + line.margin;
        return (read.after != ByteArrival::Unknown && first < ms(read.after) - Slack) ||
               last > ms(read.latest) + Slack;
    };
    glp_smcp parameters;
    glp_init_smcp(&parameters);
    parameters.msg_lev = GLP_MSG_OFF;
    // The dual simplex starts from a basis that is optimal but infeasible: a few times faster here.
    parameters.meth = GLP_DUALP;
    // Columns: t0, period, margin. Two rows a read: its first message after its lower bound, its last one
    // before its upper bound, both by the margin.
    for (;;) {
        glp_prob* lp = glp_create_prob();
        glp_add_cols(lp, 3);
        glp_set_col_bnds(lp, 1, GLP_FR, 0.0, 0.0);
        glp_set_col_bnds(lp, 2, GLP_LO, MinPeriodMs, 0.0);
        if (goal == Goal::WidestMargin) {
            glp_set_col_bnds(lp, 3, GLP_FR, 0.0, 0.0);
            glp_set_obj_coef(lp, 3, 1.0);
            glp_set_obj_dir(lp, GLP_MAX);
        } else {
            glp_set_col_bnds(lp, 3, GLP_FX, margin, margin);
            glp_set_obj_coef(lp, 1, 1.0);
            glp_set_obj_coef(lp, 2, static_cast<double>(m_window.back().last - base));
            glp_set_obj_dir(lp, goal == Goal::NewestEarliest ? GLP_MIN : GLP_MAX);
        }
        std::vector<int> ia(1);
        std::vector<int> ja(1);
        std::vector<double> ar(1);
        int row = 0;
        const auto addRow = [&](int type, double bound, qint64 index, double marginSign) {
            row = glp_add_rows(lp, 1);
            glp_set_row_bnds(lp, row, type, bound, bound);
            for (const auto& [col, value] :
                 {std::pair{1, 1.0}, std::pair{2, static_cast<double>(index - base)},
                  std::pair{3, marginSign}}) {
                ia.push_back(row);
                ja.push_back(col);
                ar.push_back(value);
            }
        };
        for (size_t i = 0; i < m_window.size(); ++i) {
            if (!used[i])
                continue;
            const Read& read = m_window[i];
            if (read.after != ByteArrival::Unknown)
                addRow(GLP_LO, ms(read.after), read.first, -1.0);
            addRow(GLP_UP, ms(read.latest), read.last, 1.0);
        }
        glp_load_matrix(lp, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
        const bool solved = glp_simplex(lp, &parameters) == 0 && glp_get_status(lp) == GLP_OPT;
        const Line line{glp_get_col_prim(lp, 1), glp_get_col_prim(lp, 2), glp_get_col_prim(lp, 3)};
        glp_delete_prob(lp);
        if (!solved)
            return std::nullopt;
        // Solved over some reads only: a read the line misses joins, and the program is solved again.
        bool joined = false;
        for (size_t i = 0; i < m_window.size(); ++i) {
            if (!used[i] && misses(m_window[i], line)) {
                used[i] = 1;
                joined = true;
            }
        }
        if (!joined)
            return line;
    }
}

void MessageClock::fit()
{
    const bool hadFit = m_fitted;
    m_fitted = false;
    const int reads = static_cast<int>(m_window.size());
    if (reads < MinReads)
        return;
    // Few reads bind the fit: those nearest to the last fit's line, the newest and the oldest. The others
    // join only if the solution misses them.
    std::vector<char> used(m_window.size(), hadFit && reads > 2 * TightReads ? 0 : 1);
    if (!used[0]) {
        std::vector<std::pair<double, size_t>> lower;
        std::vector<std::pair<double, size_t>> upper;
        for (size_t i = 0; i < m_window.size(); ++i) {
            const Read& read = m_window[i];
            if (read.after != ByteArrival::Unknown)
                lower.emplace_back(predicted(read.first) - static_cast<double>(read.after), i);
            upper.emplace_back(static_cast<double>(read.latest) - predicted(read.last), i);
        }
        for (auto* slacks : {&lower, &upper}) {
            const auto tight = slacks->begin() + std::min<std::ptrdiff_t>(
                                                     TightReads, static_cast<std::ptrdiff_t>(slacks->size()));
            std::nth_element(slacks->begin(), tight, slacks->end());
            for (auto it = slacks->begin(); it != tight; ++it)
                used[it->second] = 1;
        }
        used.front() = used.back() = 1;
    }

    // Of the lines that fit every read, the two that put the newest message earliest and latest bracket its
    // time: their mean is the estimate (the widest margin alone would lean on the few tightest reads).
    // A fit that missed some reads last time goes straight to the widest margin.
    std::optional<Line> earliest = m_margin < 0.0 ? std::nullopt : solve(Goal::NewestEarliest, 0.0, used);
    std::optional<Line> latest = earliest ? solve(Goal::NewestLatest, 0.0, used) : std::nullopt;
    if (!latest) {
        // No line fits every read (jitter, a held-up message, a new pace): the one that misses least.
        const std::optional<Line> widest = solve(Goal::WidestMargin, 0.0, used);
        if (!widest)
            return;
        if (widest->margin < -ToleranceMs) {
            if (!m_setAside && reads > MinReads) {
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
        // Missed by a little: the bracket of the lines that miss by at most twice as much. Missed by more
        // (jitter): the widest margin.
        m_jittered = widest->margin < -JitterMs;
        const double allowed = std::min(0.0, 2.0 * widest->margin);
        if (m_jittered)
            earliest = latest = widest;
        else if (!(earliest = solve(Goal::NewestEarliest, allowed, used)) ||
                 !(latest = solve(Goal::NewestLatest, allowed, used)))
            return;
    }
    m_setAside = false;
    m_origin = m_window.front().latest;
    m_base = m_window.front().first;
    m_t0 = (earliest->t0 + latest->t0) / 2.0;
    m_period = (earliest->period + latest->period) / 2.0;
    m_margin = earliest->margin;
    m_fittedAt = m_window.back().latest;
    m_fitted = true;
}
