#pragma once

#include <QtGlobal>

// The units angles are shown in. The settings store keeps the unit as its number (0 .. 4).
enum class AngleUnit : qint16 {
    Arcsec = 0,
    Degree = 1,
    DegMinSec = 2,
    Mrad = 3,
    MicroPerMetre = 4,
};

namespace AngleUnits {

// The unit a stored number names. A number that names none passes unchanged: no unit button is checked,
// the angles show no text, nothing converts into it, and it is stored back as it was read.
[[nodiscard]] constexpr AngleUnit fromCode(qint16 code)
{
    return static_cast<AngleUnit>(code);
}
[[nodiscard]] constexpr qint16 code(AngleUnit unit)
{
    return static_cast<qint16>(unit);
}
[[nodiscard]] constexpr bool isKnown(AngleUnit unit)
{
    return code(unit) >= code(AngleUnit::Arcsec) && code(unit) <= code(AngleUnit::MicroPerMetre);
}

} // namespace AngleUnits
