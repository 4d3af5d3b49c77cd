#pragma once

#include "analysis/plateclassic.h"
#include "analysis/plategeometry.h"

#include <QString>

#include <memory>
#include <vector>

// The least-squares evaluation of all of a plate's lines together. Unknowns: the height of every point
// and an angle offset per line (the instrument is set up anew for each line). Reading i of a line of base
// length L, from station i - 1 (point p) to station i (point q), gives one equation
//     h[q] - h[p] = L * (reading + offset) * pi / 648000,
// the small-angle form the classic evaluation sums too, weighted equally in arcsec. A line with an odd
// number of readings ties its middle point to the mean of the two stations beside it. A plane added to
// the heights (with the offsets following its slope along each line) fits the readings equally well: its
// three parameters are fixed by holding three points that span the plate at height 0. With the base
// lengths scaling only the readings' side, the system is factored once and solved for any
// number of sets of readings.
//
// A grid's rows and columns alone cannot tell a twist either (h = t * x * y changes every row's and
// column's readings by a constant, which their offsets take up): a fourth corner is held too, and the
// heights are given without a twist of their own (their least-squares twist is 0).
class PlateLeastSquares {
public:
    struct Solution {
        std::vector<double> heights; // per point, µm, the three fixed points at 0
        std::vector<double> offsets; // per line, arcsec
    };

    explicit PlateLeastSquares(const PlateGeometry& geometry);
    ~PlateLeastSquares();
    PlateLeastSquares(const PlateLeastSquares&) = delete;
    PlateLeastSquares& operator=(const PlateLeastSquares&) = delete;

    // Why the lines cannot be solved (no geometry, lines that do not tie every point); empty when they can.
    [[nodiscard]] const QString& problem() const { return m_problem; }
    [[nodiscard]] bool valid() const { return m_problem.isEmpty(); }
    // Readings plus ties less the unknowns the three fixed points leave.
    [[nodiscard]] int degreesOfFreedom() const { return m_dof; }
    [[nodiscard]] const std::vector<int>& fixedPoints() const { return m_fixed; }

    // The readings must fit the geometry. lineScale (empty: all 1) multiplies each line's base length.
    [[nodiscard]] Solution solve(const std::vector<std::vector<double>>& readings,
                                 const std::vector<double>& lineScale = {}) const;
    // Each reading less what the solution makes of it, arcsec, per line.
    [[nodiscard]] std::vector<std::vector<double>> residuals(const std::vector<std::vector<double>>& readings,
                                                             const Solution& solution) const;

private:
    struct Solver;
    void prepareTwist();

    PlateGeometry m_geometry;
    QString m_problem;
    int m_dof = 0;
    std::vector<int> m_fixed;
    std::vector<int> m_column; // per point: its column, -1 when held at 0
    int m_rows = 0;
    // Grid: the twist's weight per point in its least-squares fit, and its shape.
    std::vector<double> m_twistWeight;
    std::vector<double> m_twistShape;
    std::unique_ptr<Solver> m_solver;
};
