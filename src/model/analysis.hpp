#pragma once
// One marker's whole analysis, without printing: the fit, the information matrix at the
// estimate and the statistics built from it.  The per-marker tests (method/) turn it into
// their values.

#include <optional>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "model/fit.hpp"
#include "model/gradient.hpp"
#include "model/information.hpp"
#include "model/newton.hpp"
#include "model/settings.hpp"

namespace quillon {

// The number of members of the largest family, at least 3.
int largest_family(const FamilyTable& families);

struct Analysis {
    FitResult fit;
    InformationResult info;
    NonFoundersStatistic nfs;
    // Set when Newton's method was asked for and did not converge (why it stopped): the fit
    // is then fit_model's.
    std::optional<NewtonStatus> fell_back;
};

// fit_model (or, with s.fit kNewton, fit_model_newton, falling back to fit_model when it does
// not converge), then information_step with `table`, which must cover the largest family,
// then the non-founders statistic.  A fatal numerical error (the minimiser's iteration limit,
// an SVD that does not converge, an allocation failure) propagates as NumericalError.
Analysis analyse(const Settings& s, const FamilyTable& families, const GenotypeTable& table);
// The same with `s`'s objective already laid out on the families (Newton's fit uses it).
Analysis analyse(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                 const LikelihoodDerivatives& objective);

}  // namespace quillon
