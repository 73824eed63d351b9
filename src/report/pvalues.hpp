#pragma once
// Tail probabilities for the two test statistics of the report, from Boost.Math: the
// chi-square upper tail for the Wald statistic and the two-sided standard normal tail for
// the non-founders statistic.  Both are pure functions of their arguments.

#include <string>

#include "model/information.hpp"

namespace quillon {

// P(X >= x) for X chi-square with df degrees of freedom, integer df >= 1 (Boost.Math's
// gamma_q(df/2, x/2)).  x <= 0 gives 1, x = +inf gives 0, x NaN gives NaN, df < 1 gives NaN
// (no distribution; a Wald test without degrees of freedom has no p-value).  A tail below
// the smallest double is 0.
double chisq_upper_tail(double x, int df);

// P(|Z| >= |z|) for Z standard normal: erfc(|z| / sqrt 2).  NaN gives NaN; +inf and -inf
// give 0.
double normal_two_sided(double z);

// The two lines that --pvalues appends after the report's closing line:
//   "Wald p-value (chi-square, df=<wsdf>): <p>\n"              (only when have_covariates)
//   "Non-Founders Statistic p-value (two-sided normal): <p>\n"
// Each p is printed with "%.4g"; a p-value that is not a number prints as "nan" (never
// "-nan").  waldstat and wsdf are the report's Wald statistic and degrees of freedom; nfs is
// the non-founders statistic at full precision (scoreUb / NFSdenominator), not its rounded
// printed value; its p-value prints as "NA" where the statistic is not defined.
std::string pvalue_lines(double waldstat, int wsdf, bool have_covariates, const NonFoundersStatistic& nfs);

}  // namespace quillon
