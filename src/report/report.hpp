#pragma once
// The printed report of a finished analysis.

#include <cstdio>

#include "model/fit.hpp"
#include "model/information.hpp"
#include "model/settings.hpp"

namespace quillon {

// Writes the report to `out`: the counts and models, the prevalences with the standard
// errors of genotypes 1 and 2, every coefficient with its standard error, the objective at
// the minimum (with the Wald statistic when there are covariates) and the non-founders
// statistic  U / sqrt(JJ[1][1] - JbvgT subJI Jbvg)  with its denominator, or NA for both
// where the statistic is not defined.  NaN and infinity print as the C library prints them.
void print_report(std::FILE* out, const Settings& s, long nfam, const FitResult& fit, const InformationResult& info,
                  const NonFoundersStatistic& nfs);

// The warning printed before the report when the non-founders statistic is not defined,
// preceded by its two newlines.
extern const char* const kNfsUndefinedWarning;

}  // namespace quillon
