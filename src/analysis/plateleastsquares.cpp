#include "analysis/plateleastsquares.h"

#include <Eigen/Dense>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>

#include <algorithm>
#include <cmath>

namespace {
const double UmPerArcsecMm = 1000.0 * 4.0 * std::atan(1.0) / 648000.0;
using Matrix = Eigen::SparseMatrix<double>;
} // namespace

// The normal equations of the readings bordered by the ties as exact constraints (Lagrange multipliers):
//     [A'A  C'] [x]   [A'b]
//     [C    0 ] [y] = [0  ]
// factored once by sparse LU; without ties (a grid, a Union Jack of even steps) the normal equations alone
// by sparse Cholesky. The readings' system is well conditioned enough for the normal equations (its
// condition grows with the square of the stations along a line); a sparse QR of A is far slower on a large
// grid.
struct PlateLeastSquares::Solver {
    Matrix a;
    Matrix transposed;
    Eigen::SparseLU<Matrix, Eigen::COLAMDOrdering<int>> lu;
    Eigen::SimplicialLDLT<Matrix> ldlt;
    bool bordered = false;
};

PlateLeastSquares::PlateLeastSquares(const PlateGeometry& geometry) : m_geometry(geometry)
{
    if (!geometry.valid()) {
        m_problem = geometry.problem().isEmpty() ? QStringLiteral("No lines.") : geometry.problem();
        return;
    }
    const auto& points = geometry.points();
    const auto& lines = geometry.lines();
    // Three points held at 0: the first station, the one farthest from it, and the one farthest from the
    // line through both.
    const auto at = [&](int p) { return points[static_cast<size_t>(p)]; };
    int first = -1;
    for (size_t p = 0; p < points.size() && first < 0; ++p) {
        if (points[p].stations > 0)
            first = static_cast<int>(p);
    }
    int second = first;
    int third = first;
    double far = 0;
    double area = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t p = 0; p < points.size(); ++p) {
            if (points[p].stations == 0)
                continue;
            const double dx = points[p].x - at(first).x;
            const double dy = points[p].y - at(first).y;
            if (pass == 0 && std::hypot(dx, dy) > far) {
                far = std::hypot(dx, dy);
                second = static_cast<int>(p);
            } else if (pass == 1) {
                const double cross =
                    std::abs((at(second).x - at(first).x) * dy - (at(second).y - at(first).y) * dx);
                if (cross > area) {
                    area = cross;
                    third = static_cast<int>(p);
                }
            }
        }
    }
    if (!(area > 1e-9 * far * far)) {
        m_problem = QStringLiteral("The stations lie on one line: no plate to evaluate.");
        return;
    }
    m_fixed = {first, second, third};
    if (geometry.kind() == PlateGeometry::Kind::Grid) {
        // Rows and columns alone cannot tell a twist: a fourth corner holds it until solve() takes it out.
        const PlateGeometry::Line& south = lines.front();
        const PlateGeometry::Line& north = lines[static_cast<size_t>(geometry.rows() - 1)];
        m_fixed = {south.points.front(), south.points.back(), north.points.front(), north.points.back()};
        prepareTwist();
    }
    m_column.assign(points.size(), -1);
    int columns = 0;
    for (size_t p = 0; p < points.size(); ++p) {
        if (std::find(m_fixed.begin(), m_fixed.end(), static_cast<int>(p)) == m_fixed.end())
            m_column[p] = columns++;
    }
    const int offsetColumn = columns;
    columns += static_cast<int>(lines.size());

    std::vector<Eigen::Triplet<double>> entries;
    std::vector<Eigen::Triplet<double>> tieEntries;
    int row = 0;
    const auto put = [&](std::vector<Eigen::Triplet<double>>& to, int p, double value) {
        const int col = m_column[static_cast<size_t>(p)];
        if (col >= 0)
            to.emplace_back(row, col, value);
    };
    for (size_t l = 0; l < lines.size(); ++l) {
        const PlateGeometry::Line& line = lines[l];
        const double perUm = 1 / (UmPerArcsecMm * line.base);
        for (int i = 1; i <= line.readings; ++i) {
            put(entries, line.points[static_cast<size_t>(i)], perUm);
            put(entries, line.points[static_cast<size_t>(i - 1)], -perUm);
            entries.emplace_back(row, offsetColumn + static_cast<int>(l), -1.0);
            ++row;
        }
    }
    m_rows = row;
    // The ties, scaled like the readings, below the normal equations.
    row = columns;
    for (const PlateGeometry::Line& line : lines) {
        if (line.middlePoint < 0)
            continue;
        const double perUm = 1 / (UmPerArcsecMm * line.base);
        const size_t a = static_cast<size_t>(line.readings - 1) / 2;
        put(tieEntries, line.middlePoint, perUm);
        put(tieEntries, line.points[a], -perUm / 2);
        put(tieEntries, line.points[a + 1], -perUm / 2);
        ++row;
    }
    const int ties = row - columns;
    m_dof = m_rows + ties - columns;
    m_solver = std::make_unique<Solver>();
    Matrix& a = m_solver->a;
    a.resize(m_rows, columns);
    a.setFromTriplets(entries.begin(), entries.end());
    m_solver->transposed = a.transpose();
    const Matrix normal = m_solver->transposed * a;
    std::vector<Eigen::Triplet<double>> bordered;
    bordered.reserve(static_cast<size_t>(normal.nonZeros()) + 2 * tieEntries.size());
    for (int k = 0; k < normal.outerSize(); ++k) {
        for (Matrix::InnerIterator it(normal, k); it; ++it)
            bordered.emplace_back(static_cast<int>(it.row()), static_cast<int>(it.col()), it.value());
    }
    for (const Eigen::Triplet<double>& t : tieEntries) {
        bordered.push_back(t);
        bordered.emplace_back(t.col(), t.row(), t.value());
    }
    Matrix system(columns + ties, columns + ties);
    system.setFromTriplets(bordered.begin(), bordered.end());
    system.makeCompressed();
    m_solver->bordered = ties > 0;
    if (ties > 0)
        m_solver->lu.compute(system);
    else
        m_solver->ldlt.compute(system);
    const bool factored =
        ties > 0 ? m_solver->lu.info() == Eigen::Success
                 : m_solver->ldlt.info() == Eigen::Success &&
                       m_solver->ldlt.vectorD().minCoeff() > 1e-12 * m_solver->ldlt.vectorD().maxCoeff();
    if (!factored || m_dof < 0) {
        m_problem = QStringLiteral("The lines do not tie every station to the others.");
        m_solver.reset();
    }
}

PlateLeastSquares::~PlateLeastSquares() = default;

// The twist of the heights, h = t * (x - mean x) * (y - mean y), as fitted by least squares together with a
// plane: t is a fixed weighted sum of the heights.
void PlateLeastSquares::prepareTwist()
{
    const auto& points = m_geometry.points();
    double meanX = 0, meanY = 0, n = 0;
    for (const PlateGeometry::Point& p : points) {
        meanX += p.x;
        meanY += p.y;
        ++n;
    }
    meanX /= n;
    meanY /= n;
    Eigen::Matrix4d gram = Eigen::Matrix4d::Zero();
    const auto basis = [&](const PlateGeometry::Point& p) {
        const double u = p.x - meanX;
        const double v = p.y - meanY;
        return Eigen::Vector4d(1, u, v, u * v);
    };
    for (const PlateGeometry::Point& p : points)
        gram += basis(p) * basis(p).transpose();
    const Eigen::Vector4d pick = gram.inverse().row(3).transpose();
    for (const PlateGeometry::Point& p : points) {
        m_twistWeight.push_back(pick.dot(basis(p)));
        m_twistShape.push_back(basis(p)[3]);
    }
}

PlateLeastSquares::Solution PlateLeastSquares::solve(const std::vector<std::vector<double>>& readings,
                                                     const std::vector<double>& lineScale) const
{
    Solution solution;
    if (!m_solver)
        return solution;
    const auto& lines = m_geometry.lines();
    Eigen::VectorXd b(m_solver->a.rows());
    // A base length longer by a factor scales the line's steps, as a reading (and the offset) larger by it.
    Eigen::Index row = 0;
    for (size_t l = 0; l < lines.size(); ++l) {
        const double scale = lineScale.empty() ? 1.0 : lineScale[l];
        for (const double r : readings[l])
            b[row++] = r * scale;
    }
    Eigen::VectorXd x;
    if (m_solver->bordered) {
        Eigen::VectorXd right = Eigen::VectorXd::Zero(m_solver->lu.rows());
        right.head(m_solver->a.cols()) = m_solver->transposed * b;
        x = m_solver->lu.solve(right).head(m_solver->a.cols());
    } else {
        x = m_solver->ldlt.solve(m_solver->transposed * b);
    }
    solution.heights.assign(m_column.size(), 0.0);
    for (size_t p = 0; p < m_column.size(); ++p) {
        if (m_column[p] >= 0)
            solution.heights[p] = x[m_column[p]];
    }
    double twist = 0;
    for (size_t p = 0; p < m_twistWeight.size(); ++p)
        twist += m_twistWeight[p] * solution.heights[p];
    for (size_t p = 0; p < m_twistShape.size(); ++p)
        solution.heights[p] -= twist * m_twistShape[p];
    const Eigen::Index offsetColumn = x.size() - static_cast<Eigen::Index>(lines.size());
    solution.offsets.resize(lines.size());
    for (size_t l = 0; l < lines.size(); ++l) {
        const PlateGeometry::Line& line = lines[l];
        const double scale = lineScale.empty() ? 1.0 : lineScale[l];
        double offset = x[offsetColumn + static_cast<Eigen::Index>(l)];
        if (!m_twistShape.empty()) {
            // The twist taken out tilts each line by a step of its own, which its offset takes up.
            const size_t p = static_cast<size_t>(line.points[0]);
            const size_t q = static_cast<size_t>(line.points[1]);
            offset -= twist * (m_twistShape[q] - m_twistShape[p]) / (UmPerArcsecMm * line.base);
        }
        solution.offsets[l] = offset / scale;
    }
    return solution;
}

std::vector<std::vector<double>>
PlateLeastSquares::residuals(const std::vector<std::vector<double>>& readings, const Solution& solution) const
{
    std::vector<std::vector<double>> result;
    if (!m_solver || solution.heights.size() != m_column.size())
        return result;
    const auto& lines = m_geometry.lines();
    result.resize(lines.size());
    for (size_t l = 0; l < lines.size(); ++l) {
        const PlateGeometry::Line& line = lines[l];
        const double perUm = 1 / (UmPerArcsecMm * line.base);
        for (int i = 1; i <= line.readings; ++i) {
            const double step =
                solution.heights[static_cast<size_t>(line.points[static_cast<size_t>(i)])] -
                solution.heights[static_cast<size_t>(line.points[static_cast<size_t>(i - 1)])];
            result[l].push_back(readings[l][static_cast<size_t>(i - 1)] -
                                (step * perUm - solution.offsets[l]));
        }
    }
    return result;
}
