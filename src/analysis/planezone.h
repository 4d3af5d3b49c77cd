#pragma once

#include <limits>
#include <optional>
#include <vector>

// Reference planes of heights over plan positions: the least-squares plane and the minimum zone (the two
// closest parallel planes enclosing every point, measured along the height). Positions in mm, heights in
// µm. The positions are fixed when made, so that many sets of heights over them cost little: the Monte
// Carlo of a plate evaluates thousands.
class PlaneZone {
public:
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

    // height = a * x + b * y + c, and the extremes of the points' distances from it.
    struct Plane {
        double a = NaN; // µm per mm
        double b = NaN;
        double c = NaN;
        double below = NaN;
        double above = NaN;
        [[nodiscard]] double at(double x, double y) const { return a * x + b * y + c; }
        // Peak to valley of the distances: the flatness about this plane.
        [[nodiscard]] double width() const { return above - below; }
    };

    PlaneZone(std::vector<double> x, std::vector<double> y);

    // Fewer than three points, or all of them on a line: no plane (NaN figures).
    [[nodiscard]] bool valid() const { return m_valid; }
    [[nodiscard]] Plane leastSquares(const std::vector<double>& heights) const;
    // Solved exactly as linear programmes over the points that matter. Never wider than the least-squares
    // plane.
    [[nodiscard]] Plane minimumZone(const std::vector<double>& heights) const;
    // The distances of the heights from the plane.
    [[nodiscard]] Plane fitted(const std::vector<double>& heights, double a, double b, double c) const;

private:
    // The points the first programme takes from each side of the least-squares plane.
    static constexpr size_t StartPoints = 8;
    [[nodiscard]] std::optional<Plane> zoneOf(const std::vector<double>& heights,
                                              const std::vector<size_t>& set) const;

    std::vector<double> m_x;
    std::vector<double> m_y;
    bool m_valid = false;
    double m_meanX = 0;
    double m_meanY = 0;
    double m_scale = 1;
    // The least-squares plane's normal equations over centred positions, inverted once.
    double m_inverse[2][2] = {{0, 0}, {0, 0}};
};
