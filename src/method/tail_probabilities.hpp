#pragma once
// Tail probabilities for the test statistics, from Boost.Math: the chi-square upper tail for
// the Wald statistic and the two-sided standard normal tail for the non-founders statistic.
// Both are pure functions of their arguments.

namespace quillon {

// P(X >= x) for X chi-square with df degrees of freedom, integer df >= 1 (Boost.Math's
// gamma_q(df/2, x/2)).  x <= 0 gives 1, x = +inf gives 0, x NaN gives NaN, df < 1 gives NaN
// (no distribution; a Wald test without degrees of freedom has no p-value).  A tail below
// the smallest double is 0.
double chisq_upper_tail(double x, int df);

// P(|Z| >= |z|) for Z standard normal: erfc(|z| / sqrt 2).  NaN gives NaN; +inf and -inf
// give 0.
double normal_two_sided(double z);

}  // namespace quillon
