#pragma once

#include "analysis/planezone.h"
#include "analysis/plateclassic.h"
#include "analysis/plategeometry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <limits>
#include <vector>

// A plate's flatness from its lines: the classic evaluation (Union Jack), the least-squares evaluation of
// all lines together, and the flatness of the least-squares heights about their least-squares plane and
// within their minimum zone. Heights in µm, positions in mm, angles in arcsec.
class Flatness {
public:
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

    enum class Figure { Classic, LeastSquaresPlane, MinimumZone };
    static constexpr std::array<Figure, 3> Figures{Figure::Classic, Figure::LeastSquaresPlane,
                                                   Figure::MinimumZone};

    // How far a line's own readings, with its fitted offset and walked from its start, miss the
    // least-squares height of a point it shares with other lines.
    struct Closure {
        int point = 0;
        int line = 0;
        int station = 0; // -1: the middle of a line of an odd number of readings
        double um = 0;
    };

    [[nodiscard]] static Flatness evaluate(const PlateGeometry& geometry, const PlateReadings& readings);

    [[nodiscard]] bool done() const { return m_problem.isEmpty(); }
    // Why nothing was evaluated, for the operator.
    [[nodiscard]] const QString& problem() const { return m_problem; }
    [[nodiscard]] const PlateGeometry& geometry() const { return m_geometry; }
    [[nodiscard]] const PlateReadings& readings() const { return m_readings; }
    // Union Jack only.
    [[nodiscard]] const PlateClassic& classic() const { return m_classic; }

    // Least squares: each point's height above the least-squares plane, less the lowest station's.
    [[nodiscard]] const std::vector<double>& heights() const { return m_heights; }
    [[nodiscard]] double height(int line, int station) const;
    [[nodiscard]] const std::vector<double>& offsets() const { return m_offsets; }
    [[nodiscard]] const std::vector<std::vector<double>>& residuals() const { return m_residuals; }
    [[nodiscard]] const std::vector<Closure>& closures() const { return m_closures; }
    // The standard deviation of a reading from the residuals (NaN without a degree of freedom).
    [[nodiscard]] double readingSd() const { return m_readingSd; }
    [[nodiscard]] int degreesOfFreedom() const { return m_dof; }
    // Over the stations' points, on heights().
    [[nodiscard]] const PlaneZone::Plane& leastSquaresPlane() const { return m_plane; }
    [[nodiscard]] const PlaneZone::Plane& minimumZone() const { return m_zone; }
    // µm; the classic figure is NaN for a grid.
    [[nodiscard]] double figure(Figure figure) const;
    [[nodiscard]] static QString name(Figure figure);

    // line,station,x_mm,y_mm,classic_um,least_squares_um: a header row, then every station of every line.
    [[nodiscard]] QList<QStringList> stationRows() const;
    // figure,value_um: a header row, then the three flatness figures, the classic closure errors and the
    // reading's standard deviation (arcsec); empty values where there is none.
    [[nodiscard]] QList<QStringList> figureRows() const;

private:
    void computeClosures();

    QString m_problem;
    PlateGeometry m_geometry;
    PlateReadings m_readings;
    PlateClassic m_classic;
    std::vector<double> m_heights;
    std::vector<double> m_offsets;
    std::vector<std::vector<double>> m_residuals;
    std::vector<Closure> m_closures;
    double m_readingSd = NaN;
    int m_dof = 0;
    PlaneZone::Plane m_plane;
    PlaneZone::Plane m_zone;
};

// The stations' points of a plate (points some line has a station on) and their positions: what the
// flatness figures are taken over.
struct PlateStations {
    explicit PlateStations(const PlateGeometry& geometry);
    std::vector<int> points;
    std::vector<double> x;
    std::vector<double> y;
    // The heights of these points out of all points' heights.
    [[nodiscard]] std::vector<double> heights(const std::vector<double>& all) const;
};
