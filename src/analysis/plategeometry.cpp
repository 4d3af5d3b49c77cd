#include "analysis/plategeometry.h"

#include "state/numbers.h"

#include <cmath>

namespace {
bool goodBase(double base)
{
    return base > 0 && base <= PlateGeometry::MaxBaseLength;
}

// A line of one reading tells nothing of the surface once its own offset is free.
bool goodSteps(int n)
{
    return n >= 2 && n <= PlateGeometry::MaxReadings;
}

QString mm(double value)
{
    return Numbers::dotText(value, 3);
}
} // namespace

PlateGeometry PlateGeometry::unionJack(int nx, int ny, int nd, double base, double diagonalBase,
                                       double plateLength, double plateWidth)
{
    PlateGeometry g;
    g.m_kind = Kind::UnionJack;
    if (!goodBase(base) || !(std::isnan(diagonalBase) || diagonalBase == 0 || goodBase(diagonalBase))) {
        g.m_problem = QStringLiteral("A base length must be a number of millimetres above 0 and at most %1.")
                          .arg(MaxBaseLength, 0, 'f', 0);
        return g;
    }
    if (!goodSteps(nx) || !goodSteps(ny) || !goodSteps(nd)) {
        g.m_problem = QStringLiteral("Every line needs 2 to %1 readings.").arg(MaxReadings);
        return g;
    }
    const double lx = nx * base;
    const double ly = ny * base;
    const double diagonal = std::hypot(lx, ly);
    if (std::isnan(diagonalBase) || diagonalBase == 0)
        diagonalBase = diagonal / nd;
    if (std::abs(nd * diagonalBase - diagonal) > DiagonalFit * diagonal) {
        g.m_problem =
            QStringLiteral("The diagonals, %1 steps of %2 mm, do not reach the corners of the %3 mm "
                           "by %4 mm rectangle, %5 mm apart.")
                .arg(nd)
                .arg(mm(diagonalBase), mm(lx), mm(ly), mm(diagonal));
        return g;
    }
    g.m_length = lx;
    g.m_width = ly;
    g.setPlateSize(plateLength, plateWidth);
    const QString arrow = QStringLiteral(" \u2192 ");
    const auto add = [&](const char* from, const char* to, int n, double b, double x0, double y0, double x1,
                         double y1) {
        const QString a = QLatin1String(from);
        const QString z = QLatin1String(to);
        g.addLine(a + QLatin1Char('-') + z, a + arrow + z, n, b, x0, y0, x1, y1);
    };
    add("NW", "SE", nd, diagonalBase, 0, ly, lx, 0);
    add("NE", "SW", nd, diagonalBase, lx, ly, 0, 0);
    add("NE", "NW", nx, base, lx, ly, 0, ly);
    add("NE", "SE", ny, base, lx, ly, lx, 0);
    add("SE", "SW", nx, base, lx, 0, 0, 0);
    add("NW", "SW", ny, base, 0, ly, 0, 0);
    add("E", "W", nx, base, lx, ly / 2, 0, ly / 2);
    add("N", "S", ny, base, lx / 2, ly, lx / 2, 0);
    g.tieMiddles();
    return g;
}

PlateGeometry PlateGeometry::unionJackForPlate(double plateLength, double plateWidth, double base,
                                               double diagonalBase)
{
    if (!goodBase(base) || !(plateLength >= 2 * base && plateLength <= MaxReadings * base) ||
        !(plateWidth >= 2 * base && plateWidth <= MaxReadings * base)) {
        PlateGeometry g;
        g.m_problem = QStringLiteral("The plate must be at least two base lengths long and wide.");
        return g;
    }
    const int nx = static_cast<int>(std::floor(plateLength / base + 1e-9));
    const int ny = static_cast<int>(std::floor(plateWidth / base + 1e-9));
    const double diagonal = std::hypot(nx * base, ny * base);
    const double step = goodBase(diagonalBase) ? diagonalBase : base;
    const int nd = std::max(2, static_cast<int>(std::lround(diagonal / step)));
    return unionJack(nx, ny, nd, base, diagonalBase, plateLength, plateWidth);
}

PlateGeometry PlateGeometry::grid(int rows, int cols, double rowBase, double colBase)
{
    PlateGeometry g;
    g.m_kind = Kind::Grid;
    if (!goodBase(rowBase) || !goodBase(colBase)) {
        g.m_problem = QStringLiteral("A base length must be a number of millimetres above 0 and at most %1.")
                          .arg(MaxBaseLength, 0, 'f', 0);
        return g;
    }
    if (rows < 2 || cols < 2 || rows > MaxGridLines || cols > MaxGridLines) {
        g.m_problem = QStringLiteral("A grid has 2 to %1 rows and columns of stations.").arg(MaxGridLines);
        return g;
    }
    g.m_rows = rows;
    g.m_cols = cols;
    g.m_length = (cols - 1) * rowBase;
    g.m_width = (rows - 1) * colBase;
    g.m_plateLength = g.m_length;
    g.m_plateWidth = g.m_width;
    for (int i = 1; i <= rows; ++i) {
        const double y = (i - 1) * colBase;
        g.addLine(QStringLiteral("row-%1").arg(i), QStringLiteral("Row %1, W \u2192 E").arg(i), cols - 1,
                  rowBase, 0, y, g.m_length, y);
    }
    for (int j = 1; j <= cols; ++j) {
        const double x = (j - 1) * rowBase;
        g.addLine(QStringLiteral("col-%1").arg(j), QStringLiteral("Column %1, S \u2192 N").arg(j), rows - 1,
                  colBase, x, 0, x, g.m_width);
    }
    return g;
}

void PlateGeometry::addLine(const QString& name, const QString& title, int readings, double base, double x0,
                            double y0, double x1, double y1)
{
    Line line{name, title, readings, base, x0, y0, x1, y1, {}, -1};
    line.points.reserve(static_cast<size_t>(readings) + 1);
    for (int j = 0; j <= readings; ++j) {
        const int p = pointAt(line.x(j), line.y(j), true);
        ++m_points[static_cast<size_t>(p)].stations;
        ++m_points[static_cast<size_t>(p)].lines;
        line.points.push_back(p);
    }
    m_lines.push_back(std::move(line));
}

int PlateGeometry::pointAt(double x, double y, bool create)
{
    // Positions to a micrometre: stations reached along different lines meet although their sums round
    // differently.
    const std::pair<long long, long long> key{std::llround(x * 1000), std::llround(y * 1000)};
    const auto found = m_where.find(key);
    if (found != m_where.end())
        return found->second;
    if (!create)
        return -1;
    m_points.push_back(Point{x, y, 0, 0});
    const int index = static_cast<int>(m_points.size()) - 1;
    m_where.emplace(key, index);
    return index;
}

// A line of an odd number of readings has no station in its middle; the centre and the edges' middles are
// still shared there, as the mean of the two stations beside it.
void PlateGeometry::tieMiddles()
{
    for (Line& line : m_lines) {
        if (line.readings % 2 == 0)
            continue;
        const int a = (line.readings - 1) / 2;
        const double x = (line.x(a) + line.x(a + 1)) / 2;
        const double y = (line.y(a) + line.y(a + 1)) / 2;
        line.middlePoint = pointAt(x, y, true);
        ++m_points[static_cast<size_t>(line.middlePoint)].lines;
    }
}

int PlateGeometry::readingCount() const
{
    int n = 0;
    for (const Line& line : m_lines)
        n += line.readings;
    return n;
}

void PlateGeometry::setPlateSize(double plateLength, double plateWidth)
{
    const auto given = [](double mm) { return std::isfinite(mm) && mm > 0; };
    m_plateLength = given(plateLength) ? plateLength : m_length;
    m_plateWidth = given(plateWidth) ? plateWidth : m_width;
}

double PlateGeometry::plateDiagonal() const
{
    return std::hypot(m_plateLength, m_plateWidth);
}

int PlateGeometry::lineIndex(const QString& name) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

QStringList PlateGeometry::unionJackNames()
{
    return {QStringLiteral("NW-SE"), QStringLiteral("NE-SW"), QStringLiteral("NE-NW"),
            QStringLiteral("NE-SE"), QStringLiteral("SE-SW"), QStringLiteral("NW-SW"),
            QStringLiteral("E-W"),   QStringLiteral("N-S")};
}
