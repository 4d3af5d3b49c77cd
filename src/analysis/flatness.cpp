#include "analysis/flatness.h"

#include "analysis/plateleastsquares.h"
#include "state/numbers.h"

#include <algorithm>
#include <cmath>

namespace {
const double UmPerArcsecMm = 1000.0 * 4.0 * std::atan(1.0) / 648000.0;

QString text(double value)
{
    return std::isfinite(value) ? Numbers::dotText(value) : QString();
}
} // namespace

PlateStations::PlateStations(const PlateGeometry& geometry)
{
    const auto& all = geometry.points();
    for (size_t p = 0; p < all.size(); ++p) {
        if (all[p].stations == 0)
            continue;
        points.push_back(static_cast<int>(p));
        x.push_back(all[p].x);
        y.push_back(all[p].y);
    }
}

std::vector<double> PlateStations::heights(const std::vector<double>& all) const
{
    std::vector<double> h;
    h.reserve(points.size());
    for (const int p : points)
        h.push_back(all[static_cast<size_t>(p)]);
    return h;
}

Flatness Flatness::evaluate(const PlateGeometry& geometry, const PlateReadings& readings)
{
    Flatness result;
    result.m_geometry = geometry;
    result.m_readings = readings;
    result.m_problem = readings.problem(geometry);
    if (!result.m_problem.isEmpty())
        return result;
    const PlateLeastSquares squares(geometry);
    if (!squares.valid()) {
        result.m_problem = squares.problem();
        return result;
    }
    result.m_classic = PlateClassic::evaluate(geometry, readings);
    const PlateLeastSquares::Solution solution = squares.solve(readings.lines);
    result.m_offsets = solution.offsets;
    result.m_residuals = squares.residuals(readings.lines, solution);
    result.m_dof = squares.degreesOfFreedom();
    double squaresSum = 0;
    for (const auto& line : result.m_residuals) {
        for (const double r : line)
            squaresSum += r * r;
    }
    if (result.m_dof > 0)
        result.m_readingSd = std::sqrt(squaresSum / result.m_dof);

    // Heights above the least-squares plane of the stations, the lowest station at 0.
    const PlateStations stations(geometry);
    PlaneZone zone(stations.x, stations.y);
    const PlaneZone::Plane tilt = zone.leastSquares(stations.heights(solution.heights));
    const auto& points = geometry.points();
    result.m_heights.resize(points.size());
    for (size_t p = 0; p < points.size(); ++p)
        result.m_heights[p] = solution.heights[p] - tilt.at(points[p].x, points[p].y) - tilt.below;
    const std::vector<double> heights = stations.heights(result.m_heights);
    result.m_plane = zone.leastSquares(heights);
    result.m_zone = zone.minimumZone(heights);
    result.computeClosures();
    return result;
}

void Flatness::computeClosures()
{
    const auto& lines = m_geometry.lines();
    const auto& points = m_geometry.points();
    for (size_t l = 0; l < lines.size(); ++l) {
        const PlateGeometry::Line& line = lines[l];
        const double um = UmPerArcsecMm * line.base;
        std::vector<double> walked(1, 0.0);
        for (const double r : m_residuals[l])
            walked.push_back(walked.back() + um * r);
        for (int j = 1; j <= line.readings; ++j) {
            const int p = line.points[static_cast<size_t>(j)];
            if (points[static_cast<size_t>(p)].lines > 1)
                m_closures.push_back({p, static_cast<int>(l), j, walked[static_cast<size_t>(j)]});
        }
        if (line.middlePoint >= 0) {
            const size_t a = static_cast<size_t>(line.readings - 1) / 2;
            m_closures.push_back(
                {line.middlePoint, static_cast<int>(l), -1, (walked[a] + walked[a + 1]) / 2});
        }
    }
}

double Flatness::height(int line, int station) const
{
    const auto& lines = m_geometry.lines();
    if (!done() || line < 0 || static_cast<size_t>(line) >= lines.size() || station < 0 ||
        station > lines[static_cast<size_t>(line)].readings)
        return NaN;
    return m_heights[static_cast<size_t>(
        lines[static_cast<size_t>(line)].points[static_cast<size_t>(station)])];
}

double Flatness::figure(Figure figure) const
{
    if (!done())
        return NaN;
    switch (figure) {
    case Figure::Classic:
        return m_classic.done() ? m_classic.flatness() : NaN;
    case Figure::LeastSquaresPlane:
        return m_plane.width();
    case Figure::MinimumZone:
        break;
    }
    return m_zone.width();
}

QString Flatness::name(Figure figure)
{
    switch (figure) {
    case Figure::Classic:
        return QStringLiteral("Classic");
    case Figure::LeastSquaresPlane:
        return QStringLiteral("Least-squares plane");
    case Figure::MinimumZone:
        break;
    }
    return QStringLiteral("Minimum zone");
}

QList<QStringList> Flatness::stationRows() const
{
    QList<QStringList> rows{{QStringLiteral("line"), QStringLiteral("station"), QStringLiteral("x_mm"),
                             QStringLiteral("y_mm"), QStringLiteral("classic_um"),
                             QStringLiteral("least_squares_um")}};
    if (!done())
        return rows;
    const auto& lines = m_geometry.lines();
    for (size_t l = 0; l < lines.size(); ++l) {
        const PlateGeometry::Line& line = lines[l];
        for (int j = 0; j <= line.readings; ++j) {
            const double classic =
                m_classic.done() ? m_classic.lines()[l][static_cast<size_t>(j)].height : NaN;
            rows << QStringList{line.name,       QString::number(j), text(line.x(j)),
                                text(line.y(j)), text(classic),      text(height(static_cast<int>(l), j))};
        }
    }
    return rows;
}

QList<QStringList> Flatness::figureRows() const
{
    const bool classic = done() && m_classic.done();
    return {{QStringLiteral("figure"), QStringLiteral("value_um")},
            {QStringLiteral("flatness_classic"), text(figure(Figure::Classic))},
            {QStringLiteral("flatness_least_squares_plane"), text(figure(Figure::LeastSquaresPlane))},
            {QStringLiteral("flatness_minimum_zone"), text(figure(Figure::MinimumZone))},
            {QStringLiteral("closure_E-W"), classic ? text(m_classic.closureEastWest()) : QString()},
            {QStringLiteral("closure_N-S"), classic ? text(m_classic.closureNorthSouth()) : QString()},
            {QStringLiteral("reading_sd_arcsec"), text(m_readingSd)}};
}
