#pragma once

#include "analysis/plateuncertainty.h"
#include "analysis/straightnessjob.h"

#include <QString>

#include <limits>

// What the Flatness page and its certificate know of a plate job besides its lines.
struct PlateJobData {
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    QString objectId;
    QString objectDescription;
    QString operatorName;
    QString instrumentType;
    QString instrumentSerial;
    double temperature = NaN; // °C; NaN: not stated
    double plateLength = 0;   // mm, east-west; 0: the measured rectangle's
    double plateWidth = 0;    // mm, north-south
    QString remarks;
    double angleUncertaintyA = 0.1;      // arcsec
    double angleUncertaintyB = 0;        // per arcsec of reading
    double baseLengthUncertainty = 0.01; // mm
    double tolerance = NaN;              // µm; NaN: the grade's
    PlateUncertainty::Grade grade = PlateUncertainty::Grade::None;

    // A plate job's fields; a grid's plate is the measured rectangle.
    [[nodiscard]] static PlateJobData fromJob(const StraightnessJob& job)
    {
        const bool unionJack = job.plate && job.plate->kind == PlateGeometry::Kind::UnionJack;
        return {job.objectId,
                job.objectDescription,
                job.operatorName,
                job.instrumentType,
                job.instrumentSerial,
                job.temperature,
                unionJack ? job.plate->plateLength : 0,
                unionJack ? job.plate->plateWidth : 0,
                job.remarks,
                job.angleUncertaintyA,
                job.angleUncertaintyB,
                job.baseLengthUncertainty,
                job.tolerance,
                job.plate ? job.plate->grade : PlateUncertainty::Grade::None};
    }
};
