#pragma once

#include "analysis/plategeometry.h"

#include <QStringList>

#include <limits>
#include <vector>

// A plate's readings: per line, in the geometry's order, the readings in arcsec, station 1 first.
struct PlateReadings {
    std::vector<std::vector<double>> lines;
    // Empty, or shaped like lines: each stored reading's standard uncertainty from the scatter of the
    // readings it was averaged from, arcsec.
    std::vector<std::vector<double>> scatter;

    // Why the readings do not fit the geometry (count per line, a reading not finite or at a right angle
    // or more), for the operator; empty when they do.
    [[nodiscard]] QString problem(const PlateGeometry& geometry) const;
};

// The classic evaluation of a Union Jack. Each line's readings are summed as displacements from its first
// reading, in length units with its own base length; the diagonals are levelled to cross at 0 with
// equal ends, which fixes the corners; the edges are tilted onto their corners, the centre lines onto the
// middles of the edges, and what a centre line then misses at its own middle is its closure error, by
// which it is shifted. Heights in µm above the lowest station.
class PlateClassic {
public:
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

    struct Station {
        double reading = NaN;      // arcsec; none at station 0
        double displacement = NaN; // from the line's first reading, arcsec
        double sum = 0;            // running sum of the displacements, arcsec
        double cumulative = 0;     // the sum in µm: sum * (pi / 648000) * base length
        double correction = 0;     // µm: the line's linear correction, and a centre line's shift
        double corrected = 0;      // cumulative + correction
        double height = 0;         // µm above the plate's lowest station
    };

    // Nothing for a grid or readings that do not fit (done() false).
    [[nodiscard]] static PlateClassic evaluate(const PlateGeometry& geometry, const PlateReadings& readings);

    [[nodiscard]] bool done() const { return m_done; }
    // Per line in the geometry's order, stations 0 .. n.
    [[nodiscard]] const std::vector<std::vector<Station>>& lines() const { return m_lines; }
    [[nodiscard]] double closureEastWest() const { return m_closureEW; }   // µm
    [[nodiscard]] double closureNorthSouth() const { return m_closureNS; } // µm
    [[nodiscard]] double flatness() const { return m_flatness; }           // µm, highest - lowest

    // A line's table as the plate programs give it: a header row, then one row per station, numbers in
    // their shortest text with a full stop.
    [[nodiscard]] static QStringList tableHeader();
    [[nodiscard]] QList<QStringList> tableRows(int line) const;

private:
    bool m_done = false;
    std::vector<std::vector<Station>> m_lines;
    double m_closureEW = NaN;
    double m_closureNS = NaN;
    double m_flatness = NaN;
};
