#include "analysis/plateclassic.h"

#include "state/numbers.h"

#include <algorithm>
#include <cmath>

namespace {
const double UmPerArcsecMm = 1000.0 * 4.0 * std::atan(1.0) / 648000.0;
const double RightAngle = 324000.0; // arcsec

using Station = PlateClassic::Station;
using Line = std::vector<Station>;

// The value at the line's middle station: station n / 2, or the mean of the two beside the middle.
template <typename Get> double middle(const Line& line, Get get)
{
    const size_t n = line.size() - 1;
    return n % 2 == 0 ? get(line[n / 2]) : (get(line[(n - 1) / 2]) + get(line[(n + 1) / 2])) / 2;
}

double correctedAt(const Line& line)
{
    return middle(line, [](const Station& s) { return s.corrected; });
}

// Adds a + b * j to station j.
void correct(Line& line, double slope, double start)
{
    for (size_t j = 0; j < line.size(); ++j) {
        line[j].correction = start + slope * static_cast<double>(j);
        line[j].corrected = line[j].cumulative + line[j].correction;
    }
}

// Tilts and lifts the line so that its ends take the given heights.
void ontoEnds(Line& line, double first, double last)
{
    const double n = static_cast<double>(line.size() - 1);
    const double start = first - line.front().cumulative;
    correct(line, (last - line.back().cumulative - start) / n, start);
}
} // namespace

QString PlateReadings::problem(const PlateGeometry& geometry) const
{
    if (!geometry.valid())
        return geometry.problem();
    const auto& geometryLines = geometry.lines();
    if (lines.size() != geometryLines.size())
        return QStringLiteral("%1 lines of readings for %2 lines.")
            .arg(lines.size())
            .arg(geometryLines.size());
    for (size_t l = 0; l < lines.size(); ++l) {
        const PlateGeometry::Line& line = geometryLines[l];
        if (lines[l].size() != static_cast<size_t>(line.readings))
            return QStringLiteral("%1: %2 readings, %3 expected.")
                .arg(line.title)
                .arg(lines[l].size())
                .arg(line.readings);
        for (size_t i = 0; i < lines[l].size(); ++i) {
            if (!(std::abs(lines[l][i]) < RightAngle))
                return QStringLiteral("%1: reading %2 is no angle of a surface.").arg(line.title).arg(i + 1);
        }
        if (!scatter.empty() && (scatter.size() != lines.size() || scatter[l].size() != lines[l].size()))
            return QStringLiteral("%1: the scatter does not match the readings.").arg(line.title);
    }
    return {};
}

PlateClassic PlateClassic::evaluate(const PlateGeometry& geometry, const PlateReadings& readings)
{
    PlateClassic result;
    if (geometry.kind() != PlateGeometry::Kind::UnionJack || !readings.problem(geometry).isEmpty())
        return result;
    std::vector<Line>& lines = result.m_lines;
    lines.resize(geometry.lines().size());
    for (size_t l = 0; l < lines.size(); ++l) {
        const std::vector<double>& r = readings.lines[l];
        const double scale = UmPerArcsecMm * geometry.lines()[l].base;
        Line& line = lines[l];
        line.resize(r.size() + 1);
        for (size_t j = 1; j < line.size(); ++j) {
            Station& s = line[j];
            s.reading = r[j - 1];
            s.displacement = r[j - 1] - r[0];
            s.sum = line[j - 1].sum + s.displacement;
            s.cumulative = s.sum * scale;
        }
        for (Station& s : line)
            s.corrected = s.cumulative;
    }
    using G = PlateGeometry;
    // Diagonals: both ends equal, the middle at 0.
    for (const int d : {G::NW_SE, G::NE_SW}) {
        Line& line = lines[static_cast<size_t>(d)];
        const double total = line.back().cumulative;
        const double n = static_cast<double>(line.size() - 1);
        correct(line, -total / n, total / 2 - middle(line, [](const Station& s) { return s.cumulative; }));
    }
    const double nw = lines[G::NW_SE].front().corrected;
    const double se = lines[G::NW_SE].back().corrected;
    const double ne = lines[G::NE_SW].front().corrected;
    const double sw = lines[G::NE_SW].back().corrected;
    ontoEnds(lines[G::NE_NW], ne, nw);
    ontoEnds(lines[G::NE_SE], ne, se);
    ontoEnds(lines[G::SE_SW], se, sw);
    ontoEnds(lines[G::NW_SW], nw, sw);
    // Centre lines: onto the edges' middles; what they then miss at the centre is their closure error.
    ontoEnds(lines[G::E_W], correctedAt(lines[G::NE_SE]), correctedAt(lines[G::NW_SW]));
    ontoEnds(lines[G::N_S], correctedAt(lines[G::NE_NW]), correctedAt(lines[G::SE_SW]));
    for (const int c : {G::E_W, G::N_S}) {
        Line& line = lines[static_cast<size_t>(c)];
        const double closure = correctedAt(line);
        (c == G::E_W ? result.m_closureEW : result.m_closureNS) = closure;
        for (Station& s : line) {
            s.correction -= closure;
            s.corrected -= closure;
        }
    }
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (const Line& line : lines) {
        for (const Station& s : line) {
            lowest = std::min(lowest, s.corrected);
            highest = std::max(highest, s.corrected);
        }
    }
    for (Line& line : lines) {
        for (Station& s : line)
            s.height = s.corrected - lowest;
    }
    result.m_flatness = highest - lowest;
    result.m_done = true;
    return result;
}

QStringList PlateClassic::tableHeader()
{
    return {QStringLiteral("Station"),
            QStringLiteral("Reading [\u2033]"),
            QStringLiteral("Displacement [\u2033]"),
            QStringLiteral("Running sum [\u2033]"),
            QStringLiteral("Cumulative [\u00b5m]"),
            QStringLiteral("Correction [\u00b5m]"),
            QStringLiteral("Corrected [\u00b5m]"),
            QStringLiteral("Height [\u00b5m]")};
}

QList<QStringList> PlateClassic::tableRows(int line) const
{
    QList<QStringList> rows;
    if (!m_done || line < 0 || static_cast<size_t>(line) >= m_lines.size())
        return rows;
    const Line& stations = m_lines[static_cast<size_t>(line)];
    for (size_t j = 0; j < stations.size(); ++j) {
        const Station& s = stations[j];
        rows << QStringList{QString::number(j),
                            Numbers::dotText(s.reading),
                            Numbers::dotText(s.displacement),
                            Numbers::dotText(s.sum),
                            Numbers::dotText(s.cumulative),
                            Numbers::dotText(s.correction),
                            Numbers::dotText(s.corrected),
                            Numbers::dotText(s.height)};
    }
    return rows;
}
