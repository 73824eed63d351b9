#pragma once
// The score tests of one marker: the joint test of every genotype coefficient and, with the
// intercept, the test of the interaction coefficients (every coefficient but the
// intercept's), each U_b' [J^-1]_bb U_b at the restricted estimate (model/null_fit.hpp):
// chi-square with as many degrees of freedom as coefficients tested.
//
// Families whose parents are all typed take the closed forms (model/trio_scores.hpp), the
// others the general construction.  On complete trios with the intercept alone the joint
// statistic is the transmission/disequilibrium test's chi-square.

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "model/settings.hpp"
#include "model/trio_scores.hpp"

namespace quillon {

// The closed forms where every family has both parents typed, the general construction otherwise.
// `gxe`: also the interaction test (covariate column 1 the intercept).  A numerical error
// leaves a statistic out, except running out of memory, which propagates.
ScoreStatistics score_statistics(const Settings& s, const FamilyTable& families, const GenotypeTable& table, bool gxe);

// The general construction for any families.
ScoreStatistics general_score_statistics(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                                         bool gxe);

}  // namespace quillon
