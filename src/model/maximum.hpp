#pragma once
// The likelihood's maxima for likelihood-ratio tests, and the family-clustered covariance of
// the estimates.
//
// A likelihood ratio compares maxima: the direction-set fit can stop short of its maximum by
// more than a ratio's rounding, so every fit entering a ratio is taken to Newton's maximum
// from its estimate.  The estimates a test reports are not changed by this.

#include <optional>
#include <vector>

#include "genetics/family.hpp"
#include "model/fit.hpp"
#include "model/gradient.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// Newton's maximum from `fit`'s estimate, or nothing when Newton's method does not converge.
std::optional<FitResult> polished(const Settings& s, const FamilyTable& families, const FitResult& fit);
// The same with `s`'s objective already laid out.
std::optional<FitResult> polished(const Settings& s, const LikelihoodDerivatives& objective, const FitResult& fit);

// The Newton maximum of `s`'s model on the families: with s.fit kNewton Newton's fit, and
// where that does not converge (or s.fit is kPowell) fit_model's estimate polished.  Nothing
// when no maximum is reached; NumericalError propagates from fit_model.
std::optional<FitResult> newton_maximum(const Settings& s, const FamilyTable& families);
// The same for a model nested in `wider`'s (the first s.ncov of its covariate columns) on the
// families laid out in `wider`.
std::optional<FitResult> newton_maximum(const Settings& s, const FamilyTable& families,
                                        const LikelihoodDerivatives& wider);

// The nested models of `s`, which reads the covariate columns 1..ncov of each child: no
// covariates (every relative risk 1, the prevalences alone fitted), and the first column
// alone (an intercept, which the study puts first) under the same covariate model.
Settings settings_without_covariates(const Settings& s);
Settings settings_first_covariate(const Settings& s);

// A^-1 B A^-1 (1..npars square) with A^-1 = `subJI`, the pseudo-inverse of the information
// at `fit`'s estimate, and B = sum over families of s_F s_F', s_F the family's score at that
// estimate (LikelihoodDerivatives' outer product) taken from (eta1, eta2) to the
// prevalences (gamma1, gamma2) in which the information is written.  Nothing where the
// derivatives are not usable (a pair with an untyped parent).
std::optional<DMatrix> sandwich_covariance(const Settings& s, const FamilyTable& families, const FitResult& fit,
                                           const DMatrix& subJI);

// The sandwich A^-1 B A^-1 of sandwich_covariance from the outer product `outer` (n x n,
// row-major, in theta's parameters) at theta[1..n]: m coefficients, then each of `strata`
// strata's eta1, eta2 and, when n = m + 3 strata, a share parameter eta3 (X's fathers' frequency).
DMatrix sandwich(const std::vector<double>& outer, const DVector& theta, int n, int m, const DMatrix& subJI,
                 int strata = 1);

// K = d theta / d(coefficients, gamma1, gamma2[, q]) at theta[1..n] (m coefficients first):
// the identity on the coefficients, the inverse of d(gamma1, gamma2) / d(eta1, eta2) on the
// prevalences (each stratum's block alike).  A matrix M of second derivatives in theta at a
// maximum is K' M K in gamma.
DMatrix prevalence_chart(const DVector& theta, int n, int m, int strata = 1);

}  // namespace quillon
