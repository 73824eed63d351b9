#pragma once
// The restricted fits of the score tests and the score and information there.
//
// A score test needs the model fitted only under its hypothesis: with every coefficient at 0
// (the joint null) the children's relative risks are 1 and only the prevalences are free;
// with the interaction coefficients at 0 (the interaction null) the intercept's coefficient
// (or its two under the covariate model None) and the prevalences are free.  At the
// restricted estimate theta0 the test weighs the score of the tested coefficients by the
// coefficient block of the inverse of the whole information matrix (coefficients and
// prevalences), so the prevalences' uncertainty is accounted for.
//
// This is the general construction, for any families: the restricted maximum by Newton's
// method (its first step the EM update of the prevalences, exact when both parents are
// typed), the score from the likelihood's derivatives, and the information by the
// enumeration the standard errors use (information.hpp).  trio_scores.hpp has the closed
// forms for families whose parents are all typed.

#include <optional>
#include <vector>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// Every family has both parents typed (so exactly one parental pair).
bool parents_all_typed(const FamilyTable& families);

// The coefficients (1-based slots of theta) that belong to covariate column 1: slot 1, and
// slot ncov + 1 under the covariate model None.
bool first_covariate_slot(const Settings& s, long slot);

// The restricted estimate theta0 (1..npars) of `s`'s model: every coefficient 0, or with
// `intercept_free` the first covariate's coefficients at their restricted maximum.  Nothing
// when that maximum is not reached (a pair with an untyped parent, Newton's method not
// converging, an estimate at infinity).
std::optional<DVector> restricted_estimate(const Settings& s, const FamilyTable& families, bool intercept_free);

// The score and the information at theta (1..npars).
struct ScoreInformation {
    std::vector<double> score;        // 0..npars-1: d log-likelihood / d theta (the prevalences' in eta)
    std::vector<double> information;  // npars x npars row-major: the enumerated information at theta,
                                      // its prevalence rows and columns in (gamma1, gamma2)
};

// Nothing where the derivatives are not usable (a pair with an untyped parent).  `table`
// must cover the largest family.
std::optional<ScoreInformation> score_information(const Settings& s, const FamilyTable& families,
                                                  const GenotypeTable& table, const DVector& theta);

// w' A^-1 w for symmetric positive-definite A (n x n, row-major), by a Cholesky factorisation
// of A scaled to unit diagonal; `scratch` holds at least n * n + 2 n doubles.  Nothing when A
// is not positive definite to working precision (a pivot below 1e-11 after scaling).
std::optional<double> inverse_quadratic(const double* A, const double* w, std::size_t n, double* scratch);

}  // namespace quillon
