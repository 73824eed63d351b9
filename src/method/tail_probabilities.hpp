#pragma once
// Tail probabilities for the test statistics, from Boost.Math: the chi-square upper tail for
// the Wald statistic and the two-sided standard normal tail for the non-founders statistic.
// Both are pure functions of their arguments, and so are their -log10 forms, which stay
// finite where the tail itself underflows to 0.

namespace quillon {

// P(X >= x) for X chi-square with df degrees of freedom, integer df >= 1 (Boost.Math's
// gamma_q(df/2, x/2)).  x <= 0 gives 1, x = +inf gives 0, x NaN gives NaN, df < 1 gives NaN
// (no distribution; a Wald test without degrees of freedom has no p-value).  A tail below
// the smallest double is 0.
double chisq_upper_tail(double x, int df);

// P(|Z| >= |z|) for Z standard normal: erfc(|z| / sqrt 2).  NaN gives NaN; +inf and -inf
// give 0.
double normal_two_sided(double z);

// -log10 chisq_upper_tail(x, df) and -log10 normal_two_sided(z), from the statistic: the
// tail's own -log10 where it is at least 1e-290, else its asymptotic expansion in log space
// (accurate to rounding there).  NaN where the tail is NaN, +inf where it is exactly 0
// (an infinite statistic).
double chisq_upper_tail_log10(double x, int df);
double normal_two_sided_log10(double z);
// The same where p is chisq_upper_tail(x, df), already computed.
double chisq_upper_tail_log10(double x, int df, double p);

}  // namespace quillon
