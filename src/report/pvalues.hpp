#pragma once
// The p-value lines of the single run's report.

#include <string>

#include "method/result.hpp"

namespace quillon {

// The two lines that --pvalues appends after the report's closing line, from the result's
// WALD_DF, WALD_P and NFS_P:
//   "Wald p-value (chi-square, df=<WALD_DF>): <p>\n"           (only when have_covariates)
//   "Non-Founders Statistic p-value (two-sided normal): <p>\n"
// Each p is printed with "%.4g"; a p-value that is not a number prints as "nan" (never
// "-nan"), and the non-founders one as "NA" where the statistic is not defined.
std::string pvalue_lines(const Schema& schema, const MarkerResult& r, bool have_covariates);

}  // namespace quillon
