#pragma once

#include "analysis/plateuncertainty.h"

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
};
