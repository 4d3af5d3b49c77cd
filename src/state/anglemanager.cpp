#include "state/anglemanager.h"

#include "state/numbers.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString NoValueText = QStringLiteral("..........");
const QString OutOfRangeText = QStringLiteral("............");
const double MradPerArcsec = 4.0 * std::atan(1.0) / 18.0 / 36.0;

// A value that grows past any number in its unit shows the out-of-range placeholder.
QString fixed(double value, int decimals)
{
    const QString text = Numbers::fixedText(value, decimals);
    return text.isEmpty() ? OutOfRangeText : text;
}

} // namespace

AngleManager::AngleManager(const LinkState& link) : m_link(link)
{
    // Formatting before start-up's call must not print mrad or µ/m as zero.
    initAngleConstants();
}

void AngleManager::initAngleConstants()
{
    pi = 4.0 * std::atan(1.0);
    mradPerArcsec = pi / 18.0 / 36.0;
    uradPerArcsec = mradPerArcsec * 1000.0;
}

void AngleManager::setAngleZero()
{
    zeroX = m_link.angleX;
    zeroY = m_link.angleY;
}

void AngleManager::resetAngleZero()
{
    zeroX = 0.0;
    zeroY = 0.0;
}

bool AngleManager::valid(int axisBit) const
{
    return m_link.conStatus != 0 && (m_link.angleStatus & axisBit) != 0;
}

QString AngleManager::angleXText() const
{
    return valid(1) ? formatAngle(m_link.angleX - zeroX) : NoValueText;
}

QString AngleManager::angleYText() const
{
    return valid(2) ? formatAngle(m_link.angleY - zeroY) : NoValueText;
}

double AngleManager::shownX() const
{
    return valid(1) ? m_link.angleX - zeroX : std::numeric_limits<double>::quiet_NaN();
}

double AngleManager::shownY() const
{
    return valid(2) ? m_link.angleY - zeroY : std::numeric_limits<double>::quiet_NaN();
}

double AngleManager::inUnit(double arcsec, AngleUnit unit)
{
    switch (unit) {
    case AngleUnit::Arcsec:
        return arcsec;
    case AngleUnit::Degree:
    case AngleUnit::DegMinSec:
        return arcsec / 3600.0;
    case AngleUnit::Mrad:
        return arcsec * MradPerArcsec;
    case AngleUnit::MicroPerMetre:
        return arcsec * (MradPerArcsec * 1000.0);
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

double AngleManager::fromUnit(double value, AngleUnit unit)
{
    return value / inUnit(1.0, unit);
}

QString AngleManager::formatAngle(double v) const
{
    // Not-a-number and -infinity have no text either; they share the out-of-range placeholder.
    if (!(v <= 20000.0) || !std::isfinite(v))
        return OutOfRangeText;
    switch (angleUnit) {
    case AngleUnit::Arcsec:
        return fixed(v, 3);
    case AngleUnit::Degree:
        return fixed(v / 3600.0, 6);
    case AngleUnit::DegMinSec:
        return formatDegMinSec(v);
    case AngleUnit::Mrad:
        return fixed(v * mradPerArcsec, 4);
    case AngleUnit::MicroPerMetre:
        return fixed(v * uradPerArcsec, 1);
    default:
        return {};
    }
}

QString AngleManager::formatDegMinSec(double v, int decimals)
{
    if (!std::isfinite(v))
        return OutOfRangeText;
    decimals = std::clamp(decimals, 0, 6);
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    double t = v * static_cast<double>(scale);
    const bool negative = t < 0;
    if (negative)
        t = -t;

    // Whole fractions of a second in 64 bits; a magnitude past that has no meaningful fraction to show.
    const double rounded = std::nearbyint(t); // halves to even
    if (!(rounded < 9223372036854775808.0))
        return OutOfRangeText;
    const qint64 h = static_cast<qint64>(rounded);
    const qint64 perMinute = 60 * scale;
    const qint64 perDegree = 60 * perMinute;
    const qint64 r1 = h % perDegree;
    // (h - r1) is a whole number of degrees, so this equals rounding (t - r1) / perDegree.
    const qint64 degrees = (h - r1) / perDegree;
    const qint64 r2 = r1 % perMinute;
    const qint64 minutes = (r1 - r2) / perMinute;

    QString text = negative ? QStringLiteral("-") : QStringLiteral(" ");
    text += QString::number(degrees);
    text += QLatin1Char(':') + QStringLiteral("%1").arg(minutes, 2, 10, QLatin1Char('0'));
    text += QLatin1Char(':') + QStringLiteral("%1").arg(r2 / scale, 2, 10, QLatin1Char('0'));
    if (decimals > 0)
        text +=
            QLocale().decimalPoint() + QStringLiteral("%1").arg(r2 % scale, decimals, 10, QLatin1Char('0'));
    return text;
}
