#pragma once

#include <QString>
#include <QStringList>

#include <limits>
#include <map>
#include <utility>
#include <vector>

// Where the stations of a surface plate's lines lie. Plan coordinates in mm: origin at the south-west
// corner of the measured rectangle, x to the east, y to the north. A line of n readings has stations
// 0 .. n, station 0 at its start, one base length apart. Each station is one of the plate's points; lines
// that meet share it (corners, the centre, the middles of the edges).
class PlateGeometry {
public:
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    static constexpr double MaxBaseLength = 1e5; // mm
    static constexpr int MaxReadings = 10000;    // per line
    static constexpr int MaxGridLines = 200;     // rows, and columns, of a grid
    // A diagonal of n steps of its own base length must reach the corners this closely (relative).
    static constexpr double DiagonalFit = 0.01;

    enum class Kind { UnionJack, Grid };
    // The Union Jack's lines, in the order they are measured and stored.
    enum UnionJackLine { NW_SE, NE_SW, NE_NW, NE_SE, SE_SW, NW_SW, E_W, N_S, UnionJackLines };

    struct Line {
        QString name;  // as its file is named: "NW-SE", "row-3"
        QString title; // for the operator: "NW \u2192 SE"
        int readings = 0;
        double base = 0;         // mm, the reflector's base length for this line
        double x0 = 0, y0 = 0;   // station 0, mm
        double x1 = 0, y1 = 0;   // station n, mm
        std::vector<int> points; // the point of each station, stations 0 .. n
        // With an odd number of readings the line's middle lies between stations (n - 1) / 2 and
        // (n + 1) / 2: the point there (a Union Jack's shared middle), else -1.
        int middlePoint = -1;
        [[nodiscard]] double x(int station) const { return x0 + (x1 - x0) * station / readings; }
        [[nodiscard]] double y(int station) const { return y0 + (y1 - y0) * station / readings; }
    };

    struct Point {
        double x = 0;
        double y = 0;
        int stations = 0; // stations of all lines that lie on it; 0: only the middle of odd lines
        int lines = 0;    // lines that meet here, through a station or their middle
    };

    PlateGeometry() = default;
    // A Union Jack of nx steps along the east-west lines (north and south edges, E-W centre line), ny along
    // the north-south ones and nd along each diagonal. The rectangle is nx * base by ny * base; a diagonal
    // base length of 0 or NaN is the rectangle's diagonal over nd. plateLength / plateWidth (mm, east-west
    // and north-south) are the plate's own size, for its grade; 0: the rectangle's.
    [[nodiscard]] static PlateGeometry unionJack(int nx, int ny, int nd, double base, double diagonalBase,
                                                 double plateLength = 0, double plateWidth = 0);
    // The same for a plate of the given size: as many whole steps as fit, nd the nearest to the diagonal
    // over its base length (or over base when that is not given).
    [[nodiscard]] static PlateGeometry unionJackForPlate(double plateLength, double plateWidth, double base,
                                                         double diagonalBase);
    // rows x cols stations: a line along every row (west to east, row 1 the southern one, steps of
    // rowBase) and every column (south to north, column 1 the western one, steps of colBase).
    [[nodiscard]] static PlateGeometry grid(int rows, int cols, double rowBase, double colBase);

    // Why these lines cannot be evaluated, for the operator; empty when they can.
    [[nodiscard]] const QString& problem() const { return m_problem; }
    [[nodiscard]] bool valid() const { return m_problem.isEmpty() && !m_lines.empty(); }
    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] const std::vector<Line>& lines() const { return m_lines; }
    [[nodiscard]] const std::vector<Point>& points() const { return m_points; }
    [[nodiscard]] int readingCount() const;
    // Grid: stations per row and per column.
    [[nodiscard]] int rows() const { return m_rows; }
    [[nodiscard]] int cols() const { return m_cols; }
    // The measured rectangle, mm.
    [[nodiscard]] double length() const { return m_length; }
    [[nodiscard]] double width() const { return m_width; }
    // The plate's own size, mm, east-west and north-south; where not given (0, NaN), the rectangle's.
    void setPlateSize(double plateLength, double plateWidth);
    [[nodiscard]] double plateLength() const { return m_plateLength; }
    [[nodiscard]] double plateWidth() const { return m_plateWidth; }
    // The plate's diagonal, mm, which its grade's tolerance follows.
    [[nodiscard]] double plateDiagonal() const;
    [[nodiscard]] int lineIndex(const QString& name) const;
    // "NW-SE" .. "N-S" in measuring order.
    [[nodiscard]] static QStringList unionJackNames();

private:
    void addLine(const QString& name, const QString& title, int readings, double base, double x0, double y0,
                 double x1, double y1);
    [[nodiscard]] int pointAt(double x, double y, bool create);
    void tieMiddles();

    Kind m_kind = Kind::UnionJack;
    QString m_problem;
    std::vector<Line> m_lines;
    std::vector<Point> m_points;
    std::map<std::pair<long long, long long>, int> m_where; // points by position in µm
    int m_rows = 0;
    int m_cols = 0;
    double m_length = 0;
    double m_width = 0;
    double m_plateLength = 0;
    double m_plateWidth = 0;
};
