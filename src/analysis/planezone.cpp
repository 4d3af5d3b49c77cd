#include "analysis/planezone.h"

#include <glpk.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

PlaneZone::PlaneZone(std::vector<double> x, std::vector<double> y) : m_x(std::move(x)), m_y(std::move(y))
{
    const size_t n = std::min(m_x.size(), m_y.size());
    m_x.resize(n);
    m_y.resize(n);
    if (n < 3)
        return;
    for (size_t i = 0; i < n; ++i) {
        m_meanX += m_x[i];
        m_meanY += m_y[i];
    }
    m_meanX /= static_cast<double>(n);
    m_meanY /= static_cast<double>(n);
    double sxx = 0, sxy = 0, syy = 0, extent = 0;
    for (size_t i = 0; i < n; ++i) {
        const double u = m_x[i] - m_meanX;
        const double v = m_y[i] - m_meanY;
        sxx += u * u;
        sxy += u * v;
        syy += v * v;
        extent = std::max({extent, std::abs(u), std::abs(v)});
    }
    const double det = sxx * syy - sxy * sxy;
    // Collinear positions leave a slope free.
    if (!(det > 1e-12 * (sxx + syy) * (sxx + syy)))
        return;
    m_valid = true;
    m_inverse[0][0] = syy / det;
    m_inverse[0][1] = -sxy / det;
    m_inverse[1][0] = -sxy / det;
    m_inverse[1][1] = sxx / det;
    m_scale = extent;
}

PlaneZone::Plane PlaneZone::fitted(const std::vector<double>& heights, double a, double b, double c) const
{
    Plane plane{a, b, c, 0, 0};
    double below = std::numeric_limits<double>::infinity();
    double above = -below;
    for (size_t i = 0; i < m_x.size(); ++i) {
        const double d = heights[i] - plane.at(m_x[i], m_y[i]);
        below = std::min(below, d);
        above = std::max(above, d);
    }
    plane.below = below;
    plane.above = above;
    return plane;
}

PlaneZone::Plane PlaneZone::leastSquares(const std::vector<double>& heights) const
{
    if (!m_valid || heights.size() < m_x.size())
        return {};
    const double n = static_cast<double>(m_x.size());
    double mean = 0;
    for (size_t i = 0; i < m_x.size(); ++i)
        mean += heights[i];
    mean /= n;
    double sxz = 0, syz = 0;
    for (size_t i = 0; i < m_x.size(); ++i) {
        sxz += (m_x[i] - m_meanX) * (heights[i] - mean);
        syz += (m_y[i] - m_meanY) * (heights[i] - mean);
    }
    const double a = m_inverse[0][0] * sxz + m_inverse[0][1] * syz;
    const double b = m_inverse[1][0] * sxz + m_inverse[1][1] * syz;
    return fitted(heights, a, b, mean - a * m_meanX - b * m_meanY);
}

// The narrowest zone of the points in the set, as a linear programme. Columns: the lower plane's slopes
// over scaled, centred positions, its height at the centre, and the zone's width. Two rows a point: the
// lower plane passes below it, the upper one (the lower plus the width) above.
std::optional<PlaneZone::Plane> PlaneZone::zoneOf(const std::vector<double>& heights,
                                                  const std::vector<size_t>& set) const
{
    glp_prob* lp = glp_create_prob();
    glp_set_obj_dir(lp, GLP_MIN);
    glp_add_cols(lp, 4);
    for (int col = 1; col <= 3; ++col)
        glp_set_col_bnds(lp, col, GLP_FR, 0.0, 0.0);
    glp_set_col_bnds(lp, 4, GLP_LO, 0.0, 0.0);
    glp_set_obj_coef(lp, 4, 1.0);
    glp_add_rows(lp, 2 * static_cast<int>(set.size()));
    std::vector<int> ia(1), ja(1);
    std::vector<double> ar(1);
    int row = 0;
    for (const size_t i : set) {
        const double u = (m_x[i] - m_meanX) / m_scale;
        const double v = (m_y[i] - m_meanY) / m_scale;
        for (const bool upper : {false, true}) {
            ++row;
            glp_set_row_bnds(lp, row, upper ? GLP_LO : GLP_UP, heights[i], heights[i]);
            for (const auto& [col, value] : {std::pair{1, u}, std::pair{2, v}, std::pair{3, 1.0}}) {
                ia.push_back(row);
                ja.push_back(col);
                ar.push_back(value);
            }
            if (upper) {
                ia.push_back(row);
                ja.push_back(4);
                ar.push_back(1.0);
            }
        }
    }
    glp_load_matrix(lp, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
    glp_smcp parameters;
    glp_init_smcp(&parameters);
    parameters.msg_lev = GLP_MSG_OFF;
    std::optional<Plane> plane;
    if (glp_simplex(lp, &parameters) == 0 && glp_get_status(lp) == GLP_OPT) {
        const double a = glp_get_col_prim(lp, 1) / m_scale;
        const double b = glp_get_col_prim(lp, 2) / m_scale;
        // The set's points lie from 0 to the width above the lower plane.
        plane = Plane{a, b, glp_get_col_prim(lp, 3) - a * m_meanX - b * m_meanY, 0, glp_get_col_prim(lp, 4)};
    }
    glp_delete_prob(lp);
    return plane;
}

// Only the points that end up on the zone's planes shape it. The programme starts from the highest and
// lowest points about the least-squares plane and takes in the points its zone leaves out until none is:
// the zone of the whole set, from small programmes.
PlaneZone::Plane PlaneZone::minimumZone(const std::vector<double>& heights) const
{
    const Plane squares = leastSquares(heights);
    if (!m_valid || !std::isfinite(squares.width()))
        return squares;
    const size_t n = m_x.size();
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = i;
    const auto distance = [&](size_t i) { return heights[i] - squares.at(m_x[i], m_y[i]); };
    std::sort(order.begin(), order.end(), [&](size_t i, size_t j) { return distance(i) < distance(j); });
    const size_t start = std::min(n, 2 * StartPoints);
    std::vector<size_t> set(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(start / 2));
    set.insert(set.end(), order.end() - static_cast<std::ptrdiff_t>(start - start / 2), order.end());
    std::vector<char> in(n, 0);
    for (const size_t i : set)
        in[i] = 1;
    const double slack = 1e-9 * std::max(1.0, squares.width());
    std::optional<Plane> lower;
    for (;;) {
        lower = zoneOf(heights, set);
        if (!lower)
            return squares;
        // The lower plane of the set's zone and its width: the points outside join.
        const double width = lower->above;
        const size_t before = set.size();
        for (size_t i = 0; i < n; ++i) {
            const double d = heights[i] - lower->at(m_x[i], m_y[i]);
            if (!in[i] && (d < -slack || d > width + slack)) {
                in[i] = 1;
                set.push_back(i);
            }
        }
        if (set.size() == before)
            break;
    }
    // The zone's middle plane: the figure is the true peak to valley of the points about it.
    const Plane through = fitted(heights, lower->a, lower->b, 0);
    const Plane zone = fitted(heights, lower->a, lower->b, (through.below + through.above) / 2);
    return zone.width() <= squares.width() ? zone : squares;
}
