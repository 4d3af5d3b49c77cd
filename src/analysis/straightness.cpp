#include "analysis/straightness.h"

#include "analysis/csvexport.h"
#include "state/numbers.h"

#include <algorithm>
#include <cmath>

namespace {
const double RadPerArcsec = 4.0 * std::atan(1.0) / 648000.0;
const double RightAngle = 324000.0; // arcsec
const qsizetype LinesNamed = 5;     // in a message; the rest are counted

struct Point {
    double x;
    double h;
};

// Positive when o -> a -> b turns counter-clockwise.
double cross(const Point& o, const Point& a, const Point& b)
{
    return (a.x - o.x) * (b.h - o.h) - (a.h - o.h) * (b.x - o.x);
}

double slope(const Point& a, const Point& b)
{
    return (b.h - a.h) / (b.x - a.x);
}

QString micrometres(double value)
{
    return Numbers::fixedText(value, 3);
}
} // namespace

Straightness Straightness::evaluate(const TableLines& lines, const Input& input)
{
    Straightness result;
    Input& in = result.m_input;
    in = input;
    in.axis = input.axis == 2 ? 2 : 1;
    in.first = std::max(input.first, 1);
    in.last = std::min(input.last, lines.count());
    if (!(in.baseLength > 0 && in.baseLength <= MaxBaseLength)) {
        result.m_status = Status::BadBaseLength;
        return result;
    }
    if (in.last < in.first)
        return result; // no readings

    const qint32 count = in.last - in.first + 1;
    std::vector<Station>& stations = result.m_stations;
    stations.reserve(static_cast<size_t>(count) + 1);
    stations.push_back(Station{});
    const double stepUm = in.baseLength * 1000.0;
    // Heights summed with compensation (Neumaier): each stays within an ulp of the exact sum of the steps,
    // so rounding does not pile up over tens of thousands of stations.
    double sum = 0;
    double lost = 0;
    for (qint32 i = 1; i <= count; ++i) {
        const qint32 line = in.reverse ? in.last - i + 1 : in.first + i - 1;
        const auto angle = Readings::angle(lines, line, in.axis, in.unit);
        // Past a right angle the tangent turns back: no slope of a surface.
        if (!angle || !(std::abs(*angle) < RightAngle)) {
            result.m_refused.push_back(line);
            continue;
        }
        const double step = stepUm * std::tan(*angle * RadPerArcsec);
        const double next = sum + step;
        lost += std::abs(sum) >= std::abs(step) ? (sum - next) + step : (step - next) + sum;
        sum = next;
        stations.push_back(Station{line, *angle, i * in.baseLength, sum + lost});
    }
    if (!result.m_refused.empty()) {
        if (in.reverse)
            std::reverse(result.m_refused.begin(), result.m_refused.end());
        result.m_stations.clear();
        result.m_status = Status::Unreadable;
        return result;
    }
    result.m_status = Status::Done;
    result.computeLines();
    return result;
}

Straightness::Line Straightness::fitted(double slope, double intercept) const
{
    Line line{slope, intercept, 0, 0};
    double below = std::numeric_limits<double>::infinity();
    double above = -below;
    for (const Station& s : m_stations) {
        const double d = s.height - line.at(s.position);
        below = std::min(below, d);
        above = std::max(above, d);
    }
    line.below = below;
    line.above = above;
    return line;
}

// The slope of the narrowest pair of parallel lines enclosing every point, measured vertically. The width
// max(h - kx) - min(h - kx) is convex and piecewise linear in the slope k, bending only where k is the
// slope of an edge of the convex hull; so the narrowest is at one of those slopes. Taken in rising order,
// the highest point for each slope walks left along the upper hull and the lowest right along the lower,
// which makes the search linear after the sort.
double Straightness::minimumZoneSlope() const
{
    std::vector<Point> lower;
    std::vector<Point> upper;
    // The stations already run left to right: the hull needs no sort.
    for (const Station& s : m_stations) {
        const Point p{s.position, s.height};
        while (lower.size() >= 2 && cross(lower[lower.size() - 2], lower.back(), p) <= 0)
            lower.pop_back();
        lower.push_back(p);
        while (upper.size() >= 2 && cross(upper[upper.size() - 2], upper.back(), p) >= 0)
            upper.pop_back();
        upper.push_back(p);
    }
    std::vector<double> slopes;
    slopes.reserve(lower.size() + upper.size());
    for (size_t i = 1; i < lower.size(); ++i)
        slopes.push_back(slope(lower[i - 1], lower[i]));
    for (size_t i = 1; i < upper.size(); ++i)
        slopes.push_back(slope(upper[i - 1], upper[i]));
    std::sort(slopes.begin(), slopes.end());

    const auto offset = [](const Point& p, double k) { return p.h - k * p.x; };
    size_t top = upper.size() - 1;
    size_t bottom = 0;
    double best = slopes.front();
    double narrowest = std::numeric_limits<double>::infinity();
    for (const double k : slopes) {
        while (top > 0 && offset(upper[top - 1], k) >= offset(upper[top], k))
            --top;
        while (bottom + 1 < lower.size() && offset(lower[bottom + 1], k) <= offset(lower[bottom], k))
            ++bottom;
        const double width = offset(upper[top], k) - offset(lower[bottom], k);
        if (width < narrowest) {
            narrowest = width;
            best = k;
        }
    }
    return best;
}

void Straightness::computeLines()
{
    const Station& first = m_stations.front();
    const Station& last = m_stations.back();
    const double endSlope = (last.height - first.height) / (last.position - first.position);
    m_lines[index(Reference::EndPoints)] = fitted(endSlope, first.height - endSlope * first.position);

    // Sums about the means, which keeps them exact for a profile far from zero.
    const double n = static_cast<double>(m_stations.size());
    double meanX = 0;
    double meanH = 0;
    for (const Station& s : m_stations) {
        meanX += s.position;
        meanH += s.height;
    }
    meanX /= n;
    meanH /= n;
    double sxx = 0;
    double sxh = 0;
    for (const Station& s : m_stations) {
        sxx += (s.position - meanX) * (s.position - meanX);
        sxh += (s.position - meanX) * (s.height - meanH);
    }
    const double squaresSlope = sxh / sxx;
    m_lines[index(Reference::LeastSquares)] = fitted(squaresSlope, meanH - squaresSlope * meanX);

    // The zone's middle line: the figure is the true peak to valley of the stations about it.
    const double zoneSlope = minimumZoneSlope();
    const Line through = fitted(zoneSlope, 0);
    Line zone = fitted(zoneSlope, (through.below + through.above) / 2);
    // Rounding can leave the zone found a hair wider than another line's: that line is then the zone.
    for (const Reference other : {Reference::EndPoints, Reference::LeastSquares}) {
        if (line(other).deviation() < zone.deviation())
            zone = line(other);
    }
    m_lines[index(Reference::MinimumZone)] = zone;
}

QString Straightness::message() const
{
    switch (m_status) {
    case Status::NoReadings:
        return QStringLiteral("No readings to evaluate.");
    case Status::BadBaseLength:
        return QStringLiteral("The base length must be a number of millimetres above 0 and at most %1.")
            .arg(MaxBaseLength, 0, 'f', 0);
    case Status::Unreadable: {
        QStringList named;
        for (size_t i = 0; i < m_refused.size() && named.size() < LinesNamed; ++i)
            named << QString::number(m_refused[i]);
        QString which = named.join(QStringLiteral(", "));
        const qsizetype more = static_cast<qsizetype>(m_refused.size()) - named.size();
        if (more > 0)
            which += QStringLiteral(" and %1 more").arg(more);
        const bool one = m_refused.size() == 1;
        return QStringLiteral("%1 %2 %3 no usable reading (a placeholder, not a number, or 90 degrees or "
                              "more); every station is needed for the profile.")
            .arg(one ? QStringLiteral("Line") : QStringLiteral("Lines"), which,
                 one ? QStringLiteral("has") : QStringLiteral("have"));
    }
    case Status::Done:
        break;
    }
    return {};
}

QString Straightness::name(Reference reference)
{
    switch (reference) {
    case Reference::EndPoints:
        return QStringLiteral("End points");
    case Reference::LeastSquares:
        return QStringLiteral("Least squares");
    case Reference::MinimumZone:
        break;
    }
    return QStringLiteral("Minimum zone");
}

QStringList Straightness::stationHeader(AngleUnit unit)
{
    return {QStringLiteral("Station"),          QStringLiteral("Line"),
            QStringLiteral("Position [mm]"),    QStringLiteral("Reading [%1]").arg(CsvExport::unitName(unit)),
            QStringLiteral("Height [\u00b5m]"), QStringLiteral("Distance [\u00b5m]")};
}

QStringList Straightness::stationRow(size_t i, Reference reference, AngleUnit unit) const
{
    const Station& s = m_stations[i];
    return {QString::number(i),
            s.line > 0 ? QString::number(s.line) : QString(),
            Numbers::fixedText(s.position, 3),
            Readings::angleFigure(s.reading, unit),
            micrometres(s.height),
            micrometres(distance(i, reference))};
}

QList<QStringList> Straightness::stationRows(Reference reference, AngleUnit unit) const
{
    QList<QStringList> rows;
    rows.reserve(static_cast<qsizetype>(m_stations.size()) + 1);
    rows << stationHeader(unit);
    for (size_t i = 0; i < m_stations.size(); ++i)
        rows << stationRow(i, reference, unit);
    return rows;
}

QList<QStringList> Straightness::inputRows() const
{
    const Input& in = m_input;
    const QString lines = in.last < in.first    ? QStringLiteral("none")
                          : in.last == in.first ? QString::number(in.first)
                                                : QStringLiteral("%1 .. %2").arg(in.first).arg(in.last);
    return {{QStringLiteral("Axis"), in.axis == 2 ? QStringLiteral("Y") : QStringLiteral("X")},
            {QStringLiteral("Base length [mm]"), Numbers::fixedText(in.baseLength, 3)},
            {QStringLiteral("Direction"),
             in.reverse ? QStringLiteral("last station first") : QStringLiteral("first station first")},
            {QStringLiteral("Lines"), lines},
            // n readings give the heights of n + 1 stations, the first at 0.
            {QStringLiteral("Readings"), QString::number(m_stations.empty() ? 0 : m_stations.size() - 1)},
            {QStringLiteral("Stations"), QString::number(m_stations.size())}};
}

QList<QStringList> Straightness::figureRows() const
{
    QList<QStringList> rows{{QStringLiteral("Reference line"), QStringLiteral("Deviation [\u00b5m]"),
                             QStringLiteral("Slope [\u00b5m/m]")}};
    for (const Reference reference : References) {
        const Line& l = line(reference);
        rows << QStringList{name(reference), micrometres(l.deviation()),
                            Numbers::fixedText(l.slope * 1000, 3)};
    }
    return rows;
}
