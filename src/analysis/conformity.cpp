#include "analysis/conformity.h"

#include <cmath>

namespace Conformity {

Verdict decide(double deviation, double expandedUncertainty, double tolerance)
{
    if (!(tolerance > 0) || !std::isfinite(tolerance) || !std::isfinite(deviation) ||
        !(expandedUncertainty >= 0) || !std::isfinite(expandedUncertainty))
        return Verdict::None;
    if (deviation + expandedUncertainty <= tolerance)
        return Verdict::Conforms;
    if (deviation - expandedUncertainty > tolerance)
        return Verdict::DoesNotConform;
    return Verdict::NoDecision;
}

QString text(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Conforms:
        return QStringLiteral("conforms");
    case Verdict::DoesNotConform:
        return QStringLiteral("does not conform");
    case Verdict::NoDecision:
        return QStringLiteral("no decision (within the uncertainty)");
    case Verdict::None:
        break;
    }
    return {};
}

} // namespace Conformity
