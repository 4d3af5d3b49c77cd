#include "state/anglemanager.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

const QString NoValueText = QStringLiteral("..........");
const QString OutOfRangeText = QStringLiteral("............");

// Fixed-point text with all integer digits and exactly `decimals` decimals, halves rounded away from
// zero. The rounding works on the value as printed with 15 significant digits, so that 0.0005 (binary
// 0.000499999...) still goes up to 0.001. A result that is all zeros carries no minus sign.
QString formatFixed(double value, int decimals)
{
    if (!std::isfinite(value))
        return OutOfRangeText;

    // "d.dddddddddddddde+XX": 15 significant digits, independent of the C and Qt locales.
    const QString scientific = QString::number(std::fabs(value), 'e', 14);
    const qsizetype ePos = scientific.indexOf(QLatin1Char('e'));
    QString digits = scientific.left(ePos);
    digits.remove(1, 1); // the point after the first digit
    const int exponent = scientific.mid(ePos + 1).toInt();

    int intDigits = exponent + 1; // digits before the decimal point, may be <= 0
    const int keep = intDigits + decimals;
    if (keep < 0) {
        digits.clear();
    } else if (keep < digits.size()) {
        const bool up = digits.at(keep) >= QLatin1Char('5');
        digits.truncate(keep);
        if (up) {
            int i = keep - 1;
            while (i >= 0 && digits.at(i) == QLatin1Char('9')) {
                digits[i] = QLatin1Char('0');
                --i;
            }
            if (i >= 0) {
                digits[i] = QChar(digits.at(i).unicode() + 1);
            } else {
                digits.prepend(QLatin1Char('1'));
                ++intDigits;
            }
        }
    }

    // Place the kept digits around the decimal point, padding with zeros on both sides.
    QString intPart;
    QString fracPart;
    if (intDigits > 0) {
        intPart = digits.left(intDigits);
        intPart += QString(qMax(0, intDigits - int(digits.size())), QLatin1Char('0'));
        fracPart = digits.mid(intDigits);
    } else {
        intPart = QStringLiteral("0");
        fracPart = QString(-intDigits, QLatin1Char('0')) + digits;
    }
    fracPart = fracPart.left(decimals);
    fracPart += QString(decimals - int(fracPart.size()), QLatin1Char('0'));

    bool allZero = true;
    for (const QChar c : digits)
        allZero = allZero && c == QLatin1Char('0');

    QString text;
    if (value < 0 && !allZero)
        text = QStringLiteral("-");
    text += intPart;
    if (decimals > 0)
        text += QLocale().decimalPoint() + fracPart;
    return text;
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

double AngleManager::inUnit(double arcsec, qint16 unit)
{
    const double mradPerArcsec = 4.0 * std::atan(1.0) / 18.0 / 36.0;
    switch (unit) {
    case UnitArcsec:
        return arcsec;
    case UnitDegree:
    case UnitDegMinSec:
        return arcsec / 3600.0;
    case UnitMrad:
        return arcsec * mradPerArcsec;
    case UnitMicroPerMetre:
        return arcsec * (mradPerArcsec * 1000.0);
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

QString AngleManager::formatAngle(double v) const
{
    // Not-a-number and -infinity have no text either; they share the out-of-range placeholder.
    if (!(v <= 20000.0) || !std::isfinite(v))
        return OutOfRangeText;
    switch (angleUnit) {
    case UnitArcsec:
        return formatFixed(v, 3);
    case UnitDegree:
        return formatFixed(v / 3600.0, 6);
    case UnitDegMinSec:
        return formatDegMinSec(v);
    case UnitMrad:
        return formatFixed(v * mradPerArcsec, 4);
    case UnitMicroPerMetre:
        return formatFixed(v * uradPerArcsec, 1);
    default:
        return {};
    }
}

QString AngleManager::formatDegMinSec(double v) const
{
    if (!std::isfinite(v))
        return OutOfRangeText;
    double t = v * 100.0;
    const bool negative = t < 0;
    if (negative)
        t = -t;

    // Whole hundredths in 64 bits; a magnitude beyond that has no meaningful hundredths to show.
    const double rounded = std::nearbyint(t); // halves to even
    if (!(rounded < 9223372036854775808.0))
        return OutOfRangeText;
    const qint64 h = static_cast<qint64>(rounded);
    const qint64 r1 = h % 360000;
    // (h - r1) is a whole number of degrees, so this equals rounding (t - r1) / 360000.
    const qint64 degrees = (h - r1) / 360000;
    const qint64 r2 = r1 % 6000;
    const qint64 minutes = (r1 - r2) / 6000;

    QString text = negative && h != 0 ? QStringLiteral("-") : QStringLiteral(" ");
    text += QString::number(degrees);
    text += QLatin1Char(':') + QStringLiteral("%1").arg(minutes, 2, 10, QLatin1Char('0'));
    text += QLatin1Char(':') + QStringLiteral("%1").arg(r2 / 100, 2, 10, QLatin1Char('0'));
    text += QLocale().decimalPoint() + QStringLiteral("%1").arg(r2 % 100, 2, 10, QLatin1Char('0'));
    return text;
}
