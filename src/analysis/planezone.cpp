#include "analysis/planezone.h"

#include <glpk.h>

#include <algorithm>
#include <cmath>

// Columns: the plane's slopes over scaled, centred positions, its height at the centre, and the zone's
// width. Two rows a point: the lower plane passes below it, the upper one (the lower plus the width) above.
struct PlaneZone::Programme {
    glp_prob* lp = nullptr;
    glp_smcp parameters{};
    ~Programme()
    {
        if (lp)
            glp_delete_prob(lp);
    }
};

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

PlaneZone::~PlaneZone() = default;

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

PlaneZone::Plane PlaneZone::minimumZone(const std::vector<double>& heights)
{
    const Plane squares = leastSquares(heights);
    if (!m_valid || !std::isfinite(squares.width()))
        return squares;
    const int n = static_cast<int>(m_x.size());
    if (!m_programme) {
        m_programme = std::make_unique<Programme>();
        glp_init_smcp(&m_programme->parameters);
        m_programme->parameters.msg_lev = GLP_MSG_OFF;
        // The last optimal basis stays dual feasible when only the heights move: the dual simplex starts
        // from it.
        m_programme->parameters.meth = GLP_DUALP;
        glp_prob* lp = glp_create_prob();
        m_programme->lp = lp;
        glp_set_obj_dir(lp, GLP_MIN);
        glp_add_cols(lp, 4);
        for (int col = 1; col <= 3; ++col)
            glp_set_col_bnds(lp, col, GLP_FR, 0.0, 0.0);
        glp_set_col_bnds(lp, 4, GLP_LO, 0.0, 0.0);
        glp_set_obj_coef(lp, 4, 1.0);
        glp_add_rows(lp, 2 * n);
        std::vector<int> ia(1), ja(1);
        std::vector<double> ar(1);
        ia.reserve(static_cast<size_t>(7 * n + 1));
        ja.reserve(ia.capacity());
        ar.reserve(ia.capacity());
        for (int i = 0; i < n; ++i) {
            const double u = (m_x[static_cast<size_t>(i)] - m_meanX) / m_scale;
            const double v = (m_y[static_cast<size_t>(i)] - m_meanY) / m_scale;
            for (const int row : {2 * i + 1, 2 * i + 2}) {
                for (const auto& [col, value] : {std::pair{1, u}, std::pair{2, v}, std::pair{3, 1.0}}) {
                    ia.push_back(row);
                    ja.push_back(col);
                    ar.push_back(value);
                }
            }
            ia.push_back(2 * i + 2);
            ja.push_back(4);
            ar.push_back(1.0);
        }
        glp_load_matrix(lp, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
    }
    glp_prob* lp = m_programme->lp;
    for (int i = 0; i < n; ++i) {
        const double z = heights[static_cast<size_t>(i)];
        glp_set_row_bnds(lp, 2 * i + 1, GLP_UP, z, z);
        glp_set_row_bnds(lp, 2 * i + 2, GLP_LO, z, z);
    }
    if (glp_simplex(lp, &m_programme->parameters) != 0 || glp_get_status(lp) != GLP_OPT) {
        // A basis gone bad is not carried into the next heights.
        glp_std_basis(lp);
        return squares;
    }
    const double a = glp_get_col_prim(lp, 1) / m_scale;
    const double b = glp_get_col_prim(lp, 2) / m_scale;
    // The zone's middle plane: the figure is the true peak to valley of the points about it.
    const Plane through = fitted(heights, a, b, 0);
    const Plane zone = fitted(heights, a, b, (through.below + through.above) / 2);
    return zone.width() <= squares.width() ? zone : squares;
}
