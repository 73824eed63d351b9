#pragma once
// Tests of sets of coefficients from their covariance, and the likelihood ratio of nested
// maxima.

#include <optional>
#include <vector>

#include "toolkit/nrarray.hpp"

namespace quillon {

// W = c' V^-1 c over the coefficients `which` (indices into c and V, 1-based), V the block of
// `cov` for them: the Wald statistic of the hypothesis that they are all 0.  Solved by a
// Cholesky factorisation of V; nothing when V is not positive definite (or `which` empty).
std::optional<double> wald_from_covariance(const DMatrix& cov, const DVector& c, const std::vector<long>& which);

// 2 (f0 - f1) for the -log-likelihoods f0 of the nested and f1 of the full maximum.  A
// negative difference within rounding (|f0 - f1| < 1e-8 |f1|) is 0; a larger one means a fit
// missed its maximum: nothing.
std::optional<double> likelihood_ratio(double nested_fret, double full_fret);

}  // namespace quillon
