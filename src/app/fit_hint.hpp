#pragma once
// What to say after a fit that ran out of iterations.  Covariates on a large scale (a birth
// year, an income) are its usual cause: their coefficients are tiny and the objective is
// steep along them, so the minimiser crawls.

#include <string>

#include "genetics/family.hpp"
#include "model/covariate_scale.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

// True for the minimiser's iteration-limit errors (the direction-set loop and the line
// minimisation); false for every other numerical error.
bool is_iteration_limit(const NumericalError& error);

// Over every member of every family (widest_covariate), the covariate column on the largest
// scale: one line (ending in a newline) naming the column, its mean and SD and advising
// centring and scaling it; "" when every column is modest, or without covariates.
std::string covariate_scale_hint(const FamilyTable& families, long ncov);

}  // namespace quillon
