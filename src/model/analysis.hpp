#pragma once
// One marker's whole analysis, without printing: the fit, the information matrix at the
// estimate and the statistics built from it.  The single run prints it as its report; the
// scan writes it as a row.

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "model/fit.hpp"
#include "model/information.hpp"
#include "model/settings.hpp"

namespace quillon {

// The number of members of the largest family, at least 3.
int largest_family(const FamilyTable& families);

// How the maximum is found: the direction-set minimiser (fit_model) or Newton's method with
// the analytic derivatives (fit_model_newton, newton.hpp).
enum class FitMethod { kPowell, kNewton };

struct Analysis {
    FitResult fit;
    InformationResult info;
    NonFoundersStatistic nfs;
    bool fell_back = false;  // kNewton did not converge: the fit is fit_model's
};

// fit_model (or, with kNewton, fit_model_newton, falling back to fit_model when it does not
// converge), then information_step with `table`, which must cover the largest family, then
// the non-founders statistic.  A fatal numerical error (the minimiser's iteration limit, an
// SVD that does not converge, an allocation failure) propagates as NumericalError.
Analysis analyse(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                 FitMethod method = FitMethod::kPowell);

}  // namespace quillon
