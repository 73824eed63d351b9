#pragma once
// The printed report of a finished single run, and the warnings before it.

#include <cstdio>
#include <string>

#include "method/result.hpp"
#include "model/settings.hpp"

namespace quillon {

// The warnings printed before the report, each preceded by two newlines, in this order:
// the Newton fit fell back to the direction-set fit; the information matrix is close to
// singular; the non-founders statistic is not defined.  "" when none applies.
std::string warning_text(const MarkerResult& r);

// Writes the report of the likelihood TDT's result (a fit that did not fail) to `out`: the
// counts and models, the prevalences with the standard errors of genotypes 1 and 2, every
// coefficient with its standard error, the objective at the minimum (with the Wald statistic
// when there are covariates) and the non-founders statistic with its denominator, or NA for
// both where it is not defined.  NaN and infinity print as the C library prints them.
void print_report(std::FILE* out, const Settings& s, long nfam, const Schema& schema, const MarkerResult& r);

}  // namespace quillon
