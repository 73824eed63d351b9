#pragma once
// The printed report of a finished single run, and the warnings before it.

#include <cstdio>
#include <string>
#include <vector>

#include "method/result.hpp"
#include "model/settings.hpp"
#include "model/x_likelihood.hpp"

namespace quillon {

// The warnings printed before the report, each preceded by two newlines, in this order:
// the Newton fit fell back to the direction-set fit; the information matrix is close to
// singular; the non-founders statistic is not defined; on X, sons carry no information.
// "" when none applies.
std::string warning_text(const MarkerResult& r);

// Writes the report of the likelihood TDT's result (a fit that did not fail) to `out`: the
// counts and models, the prevalences with the standard errors of genotypes 1 and 2, every
// coefficient with its standard error, the objective at the minimum (with the Wald statistic
// when there are covariates) and the non-founders statistic with its denominator, or NA for
// both where it is not defined.  NaN and infinity print as the C library prints them.
//
// With `x` (an X marker's result, of the X-linked test's columns) the report states the X
// model, the parameter count of the X model, the mothers' prevalences and the fathers'
// frequency of allele 2 with its standard error (or that it is tied to the mothers').
// With `strata` (their labels; the result's columns PREV0_<label> ...) each stratum's
// prevalences are printed in turn, "Prevalence of genotype g in stratum <label>".
void print_report(std::FILE* out, const Settings& s, long nfam, const Schema& schema, const MarkerResult& r,
                  const XModel* x = nullptr, const std::vector<std::string>& strata = {});

}  // namespace quillon
