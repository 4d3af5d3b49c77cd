#pragma once

#include "analysis/plategeometry.h"
#include "analysis/plateuncertainty.h"
#include "analysis/straightness.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <limits>
#include <optional>
#include <vector>

// A surface plate measured line by line: the lines follow from the plate, each is walked like a forward
// run and stored into a table of its own. Lengths in mm.
struct PlatePlan {
    PlateGeometry::Kind kind = PlateGeometry::Kind::UnionJack;
    // Union Jack: the plate's size; the steps of the east-west and north-south lines, 0: as many as fit.
    double plateLength = 1000;
    double plateWidth = 630;
    int stepsX = 0;
    int stepsY = 0;
    double diagonalBase = 0; // 0: the diagonals' steps reach the corners of the measured rectangle
    // Grid: stations per row and per column; rows are stepped by the job's base length, columns by colBase.
    int rows = 5;
    int cols = 5;
    double colBase = 100;
    PlateUncertainty::Grade grade = PlateUncertainty::Grade::None; // judged by when the job has no tolerance
    // The table of each line, in the geometry's order; 0: not yet.
    std::vector<int> lineTables;

    // The lines, with base the job's base length (edges and centre lines, or rows).
    [[nodiscard]] PlateGeometry geometry(double base) const;
};

// A guided straightness run's job: what is measured, with which instrument, and how the stations are
// walked and stored. Saved and reopened as a JSON file; lengths in mm, angles in arcsec, heights in µm.
struct StraightnessJob {
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    enum class Runs { Forward, ForwardBackward };
    static constexpr int MaxReadings = 32766; // the lines of a table

    quint32 id = 0; // the tables' records name the job by it; 0: not started
    QString objectId;
    QString objectDescription;
    QString operatorName;
    QString instrumentType;
    QString instrumentSerial;
    // The instrument's standard uncertainty of an angle reading: a + b * |reading|, arcsec.
    double angleUncertaintyA = 0.1;
    double angleUncertaintyB = 0.0;
    double temperature = 20.0;           // °C; NaN: not stated
    int axis = 1;                        // 1: X, 2: Y
    double baseLength = 100.0;           // mm
    double baseLengthUncertainty = 0.01; // mm, standard uncertainty
    int readings = 10;                   // stations 1 .. readings after station 0
    double lineLength = 0; // mm; when set, readings follow from it: round(lineLength / baseLength)
    Runs runs = Runs::ForwardBackward;
    double tolerance = NaN;                                                   // µm; NaN: no verdict
    Straightness::Reference reference = Straightness::Reference::MinimumZone; // judged against tolerance
    double settleSeconds = 2.0;
    double settleBand = 0.3; // arcsec: max - min of the readings within settleSeconds
    QString remarks;
    // The tables the runs filled (1 .. 10); 0: not yet.
    int forwardTable = 0;
    int backwardTable = 0;
    // Set: the job measures a surface plate, whose lines replace the runs.
    std::optional<PlatePlan> plate;

    // Readings per run: from the line length when set, else readings.
    [[nodiscard]] int readingCount() const;
    // The job's lines, passes or runs as they are walked: a straightness job's forward run and backward
    // run, or a plate's lines.
    struct Pass {
        int table = 0;
        int readings = 0;
        bool backward = false; // stations n .. 1
        double base = 0;       // mm
        QString title;         // "NE \u2192 NW"; empty for a straightness run
    };
    [[nodiscard]] std::vector<Pass> passes() const;
    // The table of pass i (0-based); 0: none yet.
    [[nodiscard]] int passTable(int i) const;
    void setPassTable(int i, int table);
    // Every table the job filled or will fill, in pass order.
    [[nodiscard]] std::vector<int> tables() const;
    // Why the job cannot be run, for the operator; empty when it can.
    [[nodiscard]] QString problem() const;
    [[nodiscard]] QByteArray toJson() const;
    // Missing members keep their defaults; a wrong type or value gives the error text and nothing.
    [[nodiscard]] static std::optional<StraightnessJob> fromJson(const QByteArray& json, QString* error);
    [[nodiscard]] bool save(const QString& path, QString* error) const;
    [[nodiscard]] static std::optional<StraightnessJob> load(const QString& path, QString* error);
    // The last job's fields, the defaults of the next (its id and tables cleared), from the settings
    // store; and into it.
    [[nodiscard]] static StraightnessJob last();
    void rememberAsLast() const;
};

// The jobs run in this session by id: a table's records name its job, and the pages find it here.
class JobBook : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Added, or replacing the job of the same id.
    void put(const StraightnessJob& job);
    [[nodiscard]] const StraightnessJob* find(quint32 id) const;
    [[nodiscard]] const std::vector<StraightnessJob>& jobs() const { return m_jobs; }

signals:
    void changed(quint32 id);

private:
    std::vector<StraightnessJob> m_jobs;
};
