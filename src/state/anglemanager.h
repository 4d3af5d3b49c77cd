#pragma once

#include "state/angleunit.h"
#include "state/linkstate.h"

#include <QString>
#include <QtGlobal>

// Turns the link's angles into display texts in the chosen unit; holds the zero offsets.
class AngleManager {
public:
    explicit AngleManager(const LinkState& link);

    void initAngleConstants();
    void setAngleZero();
    void resetAngleZero();

    [[nodiscard]] QString angleXText() const;
    [[nodiscard]] QString angleYText() const;
    // The shown angles in arcseconds (zero offsets applied); NaN where the texts show no value.
    [[nodiscard]] double shownX() const;
    [[nodiscard]] double shownY() const;
    [[nodiscard]] QString formatAngle(double v) const;
    // " D:MM:SS.ss" (a minus sign in place of the blank), seconds with the given decimals.
    [[nodiscard]] static QString formatDegMinSec(double v, int decimals = 2);
    // An angle in arcseconds as a number in the unit (degrees for deg-min-sec); NaN for an unknown unit.
    [[nodiscard]] static double inUnit(double arcsec, AngleUnit unit);
    // The other way: a number in the unit (degrees for deg-min-sec) in arcseconds.
    [[nodiscard]] static double fromUnit(double value, AngleUnit unit);

    // Written directly by the unit option buttons and start-up.
    AngleUnit angleUnit = AngleUnit::Arcsec;
    double zeroX = 0.0;
    double zeroY = 0.0;
    double pi = 0.0;
    double mradPerArcsec = 0.0;
    double uradPerArcsec = 0.0;

private:
    // The link holds a value for the axis (bit 1 X, bit 2 Y).
    [[nodiscard]] bool valid(int axisBit) const;
    const LinkState& m_link;
};
