#pragma once

#include <QString>

// The decision of a measured deviation against its tolerance with its expanded uncertainty U, guarded so
// that neither a good part is refused nor a bad one passed on the strength of a measurement too uncertain
// to tell.
namespace Conformity {

enum class Verdict { None, Conforms, DoesNotConform, NoDecision };

// No tolerance (NaN or not positive) or no figure: None.
[[nodiscard]] Verdict decide(double deviation, double expandedUncertainty, double tolerance);
// "conforms", "does not conform", "no decision (within the uncertainty)"; empty for None.
[[nodiscard]] QString text(Verdict verdict);

} // namespace Conformity
