#include "analysis/straightness.h"

#include "analysis/csvexport.h"
#include "state/anglemanager.h"
#include "state/numbers.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {
const double RadPerArcsec = 4.0 * std::atan(1.0) / 648000.0;
const double RightAngle = 324000.0; // arcsec
const qsizetype LinesNamed = 5;     // in a message; the rest are counted

using Point = Straightness::Point;
using Line = Straightness::Line;

// Positive when o -> a -> b turns counter-clockwise.
double cross(const Point& o, const Point& a, const Point& b)
{
    return (a.x - o.x) * (b.h - o.h) - (a.h - o.h) * (b.x - o.x);
}

double slope(const Point& a, const Point& b)
{
    return (b.h - a.h) / (b.x - a.x);
}

Line fitted(const std::vector<Point>& points, double slope, double intercept)
{
    Line line{slope, intercept, 0, 0};
    double below = std::numeric_limits<double>::infinity();
    double above = -below;
    for (const Point& p : points) {
        const double d = p.h - line.at(p.x);
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
double minimumZoneSlope(Straightness::Workspace& ws)
{
    std::vector<Point>& lower = ws.lower;
    std::vector<Point>& upper = ws.upper;
    lower.clear();
    upper.clear();
    // The stations already run left to right: the hull needs no sort.
    for (const Point& p : ws.points) {
        while (lower.size() >= 2 && cross(lower[lower.size() - 2], lower.back(), p) <= 0)
            lower.pop_back();
        lower.push_back(p);
        while (upper.size() >= 2 && cross(upper[upper.size() - 2], upper.back(), p) >= 0)
            upper.pop_back();
        upper.push_back(p);
    }
    std::vector<double>& slopes = ws.slopes;
    slopes.clear();
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

// Three decimals; a computed figure's sign below them is rounding left over, not a direction.
QString thousandths(double value)
{
    QString text = Numbers::fixedText(value, 3);
    if (text.startsWith(QLatin1Char('-')) &&
        std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c >= '1' && c <= '9'; }))
        text.remove(0, 1);
    return text;
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
    std::vector<double> angles;
    std::vector<qint32> read;
    angles.reserve(static_cast<size_t>(count));
    read.reserve(static_cast<size_t>(count));
    for (qint32 i = 1; i <= count; ++i) {
        const qint32 line = in.reverse ? in.last - i + 1 : in.first + i - 1;
        const auto angle = Readings::angle(lines, line, in.axis, in.unit);
        angles.push_back(angle ? *angle : NaN);
        read.push_back(line);
    }
    result.build(angles, read);
    if (in.reverse)
        std::reverse(result.m_refused.begin(), result.m_refused.end());
    return result;
}

Straightness Straightness::fromReadings(const std::vector<double>& readings, double baseLength)
{
    Straightness result;
    Input& in = result.m_input;
    in.baseLength = baseLength;
    in.last = static_cast<qint32>(std::min<size_t>(readings.size(), std::numeric_limits<qint32>::max()));
    if (!(baseLength > 0 && baseLength <= MaxBaseLength)) {
        result.m_status = Status::BadBaseLength;
        return result;
    }
    if (readings.empty())
        return result;
    std::vector<qint32> lines(static_cast<size_t>(in.last));
    for (size_t i = 0; i < lines.size(); ++i)
        lines[i] = static_cast<qint32>(i + 1);
    result.build(std::vector<double>(readings.begin(), readings.begin() + in.last), lines);
    return result;
}

void Straightness::build(const std::vector<double>& angles, const std::vector<qint32>& lines)
{
    m_stations.reserve(angles.size() + 1);
    m_stations.push_back(Station{});
    const double base = m_input.baseLength;
    const double stepUm = base * 1000.0;
    // Heights summed with compensation (Neumaier): each stays within an ulp of the exact sum of the steps,
    // so rounding does not pile up over tens of thousands of stations.
    double sum = 0;
    double lost = 0;
    for (size_t k = 0; k < angles.size(); ++k) {
        const double angle = angles[k];
        // Past a right angle the tangent turns back: no slope of a surface.
        if (!(std::abs(angle) < RightAngle)) {
            m_refused.push_back(lines[k]);
            continue;
        }
        const double step = stepUm * std::tan(angle * RadPerArcsec);
        const double next = sum + step;
        lost += std::abs(sum) >= std::abs(step) ? (sum - next) + step : (step - next) + sum;
        sum = next;
        m_stations.push_back(Station{lines[k], angle, static_cast<double>(k + 1) * base, sum + lost});
    }
    if (!m_refused.empty()) {
        m_stations.clear();
        m_status = Status::Unreadable;
        return;
    }
    m_status = Status::Done;
    Workspace ws;
    ws.points.reserve(m_stations.size());
    for (const Station& st : m_stations)
        ws.points.push_back(Point{st.position, st.height});
    m_lines = referenceLines(ws);
}

std::array<Straightness::Line, 3> Straightness::referenceLines(Workspace& ws)
{
    const std::vector<Point>& points = ws.points;
    std::array<Line, 3> lines{};
    const Point& first = points.front();
    const Point& last = points.back();
    const double endSlope = (last.h - first.h) / (last.x - first.x);
    lines[index(Reference::EndPoints)] = fitted(points, endSlope, first.h - endSlope * first.x);

    // Sums about the means, which keeps them exact for a profile far from zero.
    const double n = static_cast<double>(points.size());
    double meanX = 0;
    double meanH = 0;
    for (const Point& p : points) {
        meanX += p.x;
        meanH += p.h;
    }
    meanX /= n;
    meanH /= n;
    double sxx = 0;
    double sxh = 0;
    for (const Point& p : points) {
        sxx += (p.x - meanX) * (p.x - meanX);
        sxh += (p.x - meanX) * (p.h - meanH);
    }
    const double squaresSlope = sxh / sxx;
    lines[index(Reference::LeastSquares)] = fitted(points, squaresSlope, meanH - squaresSlope * meanX);

    // The zone's middle line: the figure is the true peak to valley of the stations about it.
    const double zoneSlope = minimumZoneSlope(ws);
    const Line through = fitted(points, zoneSlope, 0);
    Line zone = fitted(points, zoneSlope, (through.below + through.above) / 2);
    // Rounding can leave the zone found a hair wider than another line's: that line is then the zone.
    for (const Reference other : {Reference::EndPoints, Reference::LeastSquares}) {
        if (lines[index(other)].deviation() < zone.deviation())
            zone = lines[index(other)];
    }
    lines[index(Reference::MinimumZone)] = zone;
    return lines;
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
            thousandths(s.height),
            thousandths(distance(i, reference))};
}

QList<QStringList> Straightness::stationRows(Reference reference, AngleUnit unit) const
{
    QList<QStringList> rows;
    rows.reserve(static_cast<qsizetype>(m_stations.size()) + 1);
    rows << stationHeader(unit);
    const QString point = QLocale().decimalPoint();
    for (size_t i = 0; i < m_stations.size(); ++i) {
        const Station& s = m_stations[i];
        QString reading;
        if (unit == AngleUnit::DegMinSec && std::isfinite(s.reading))
            reading =
                AngleManager::formatDegMinSec(s.reading, 3).trimmed().replace(point, QStringLiteral("."));
        else
            reading = Numbers::dotText(AngleManager::inUnit(s.reading, unit));
        // A position is a whole multiple of the base length, which has three decimals.
        rows << QStringList{QString::number(i),
                            s.line > 0 ? QString::number(s.line) : QString(),
                            Numbers::dotText(s.position, 3),
                            reading,
                            Numbers::dotText(s.height),
                            Numbers::dotText(distance(i, reference))};
    }
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
        rows << QStringList{name(reference), thousandths(l.deviation()), thousandths(l.slope * 1000)};
    }
    return rows;
}
