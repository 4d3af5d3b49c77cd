#pragma once

#include "analysis/readings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <limits>
#include <vector>

// The straightness of a guideway from the angle readings of a carriage moved along it in steps of its
// base length: the height profile and its deviation from three reference lines. Positions are in mm,
// heights and deviations in µm, slopes in µm per mm.
class Straightness {
public:
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    static constexpr double MaxBaseLength = 1e6; // mm: longer than any carriage, keeps every figure finite

    enum class Reference { EndPoints, LeastSquares, MinimumZone };
    static constexpr std::array<Reference, 3> References{Reference::EndPoints, Reference::LeastSquares,
                                                         Reference::MinimumZone};

    enum class Status {
        NoReadings,    // no line in the range: nothing to evaluate
        BadBaseLength, // not a number in (0, MaxBaseLength]
        Unreadable,    // lines without a usable reading, listed in refused(); nothing computed
        Done,
    };

    struct Input {
        qint32 first = 1; // lines first .. last, limited to the table's lines
        qint32 last = std::numeric_limits<qint32>::max();
        int axis = 1;                       // 1: X, 2: Y (anything else reads X)
        AngleUnit unit = AngleUnit::Arcsec; // the unit shown, which record-less lines are read in
        double baseLength = 0;              // mm
        // Readings taken walking the carriage back, the last station's first. The mirror keeps facing the
        // instrument, so each station reads the same angle either way: only the order is reversed, and
        // both walks give the same profile.
        bool reverse = false;
    };

    // A point of the profile. Station 0 is where the carriage starts: height 0, no reading.
    struct Station {
        qint32 line = 0;      // the table line read; 0 for station 0
        double reading = NaN; // arcsec
        double position = 0;  // mm
        double height = 0;    // µm
    };

    // The reference line height = slope * position + intercept, and the extremes of the stations'
    // distances from it (height minus line).
    struct Line {
        double slope = NaN;
        double intercept = NaN;
        double below = NaN;
        double above = NaN;
        [[nodiscard]] double at(double position) const { return slope * position + intercept; }
        // Peak to valley of the distances: the straightness deviation.
        [[nodiscard]] double deviation() const { return above - below; }
    };

    // A profile point for the reference lines: position (mm) and height (µm).
    struct Point {
        double x;
        double h;
    };
    // What the reference lines are computed in, reused by callers that evaluate many profiles: points is
    // the profile, left to right; the rest is scratch space.
    struct Workspace {
        std::vector<Point> points;
        std::vector<Point> lower, upper;
        std::vector<double> slopes;
    };
    // The three reference lines of ws.points (at least two), in the order of References.
    [[nodiscard]] static std::array<Line, 3> referenceLines(Workspace& ws);

    // Reads lines input.first .. input.last and evaluates them. A line that holds a placeholder, no number
    // or an angle of 90 degrees or more refuses the whole evaluation: skipping a station would shift every
    // later height.
    [[nodiscard]] static Straightness evaluate(const TableLines& lines, const Input& input);
    // Evaluates readings (arcsec, station 1 first) taken in steps of baseLength mm; the input's lines are
    // numbered 1 .. n, as a table of these readings would be.
    [[nodiscard]] static Straightness fromReadings(const std::vector<double>& readings, double baseLength);

    // The input as evaluated: first and last limited to the table (last < first: no lines).
    [[nodiscard]] const Input& input() const { return m_input; }
    [[nodiscard]] Status status() const { return m_status; }
    [[nodiscard]] bool done() const { return m_status == Status::Done; }
    // Why nothing was evaluated, for the operator; empty when done.
    [[nodiscard]] QString message() const;
    // The lines that could not be used, in line order.
    [[nodiscard]] const std::vector<qint32>& refused() const { return m_refused; }

    // Station 0, then one per reading in walking order; empty unless done.
    [[nodiscard]] const std::vector<Station>& stations() const { return m_stations; }
    [[nodiscard]] const Line& line(Reference reference) const { return m_lines[index(reference)]; }
    [[nodiscard]] double deviation(Reference reference) const { return line(reference).deviation(); }
    [[nodiscard]] double distance(size_t station, Reference reference) const
    {
        const Station& s = m_stations[station];
        return s.height - line(reference).at(s.position);
    }

    [[nodiscard]] static QString name(Reference reference);
    // The station table for a CSV file: a header row, then one row per station (station, line, position,
    // reading in `unit`, height, distance from `reference`), numbers in their shortest text with a full stop.
    [[nodiscard]] QList<QStringList> stationRows(Reference reference, AngleUnit unit) const;
    [[nodiscard]] static QStringList stationHeader(AngleUnit unit);
    [[nodiscard]] QStringList stationRow(size_t station, Reference reference, AngleUnit unit) const;
    // The input as texts, a row per item (axis, base length, direction, lines, stations): name and value.
    [[nodiscard]] QList<QStringList> inputRows() const;
    // The figures as texts: a header row, then per reference line its name, deviation and slope.
    [[nodiscard]] QList<QStringList> figureRows() const;

private:
    static size_t index(Reference reference) { return static_cast<size_t>(reference); }
    // Heights from the angles (arcsec) of stations 1 .. n; lines[i] is the table line of angles[i].
    void build(const std::vector<double>& angles, const std::vector<qint32>& lines);

    Input m_input;
    Status m_status = Status::NoReadings;
    std::vector<qint32> m_refused;
    std::vector<Station> m_stations;
    std::array<Line, 3> m_lines{};
};
