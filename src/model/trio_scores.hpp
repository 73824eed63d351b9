#pragma once
// The score tests in closed form for families whose parents are all typed.
//
// With both parents typed the likelihood is the product of the parents' prevalence terms
// and, per child, the tilted transmission T_p(g | x) of its parents' pair p.  The
// prevalences' restricted estimates are the parents' genotype shares whatever the
// coefficients, and the information has no coefficient-prevalence block (each child's
// coefficient score has mean 0 under its pair), so the coefficient block of the inverse
// information is the inverse of the coefficient block.  With coding vectors a_h of the
// covariate model (a_h = cch[h], or (1{h=1}, 1{h=2}) under None) and q_p the tilted
// transmission of pair p at the intercept's coefficients beta (0 under the joint null):
//   U_(r,k) = sum_p sum_g (a_g[r] - E_qp a[r]) Sx_(p,g)[k]      Sx_(p,g) = sum of x over the
//   J_(r,k)(s,l) = sum_p Cov_qp(a)[r][s] Sxx_p[k][l]              children of pair p, genotype g;
//                                                               Sxx_p = sum of x x' over pair p's.
// A pair of homozygous parents transmits one genotype: its children carry no information and
// are not tallied.  The interaction null fits beta by Newton's method on the tallies of
// covariate column 1, which must be 1 for every child (the intercept).
//
// The tallies are the one pass over the children per marker; nothing is allocated for up to
// 16 covariates.

#include <optional>

#include "genetics/family.hpp"
#include "model/settings.hpp"

namespace quillon {

struct ScoreStatistics {
    std::optional<double> joint;  // every coefficient 0
    std::optional<double> gxe;    // every coefficient but the intercept's 0 (asked for and defined)
};

// Nothing unless every family has both parents typed; then nothing for a statistic whose
// information is singular or whose restricted maximum is at infinity.
std::optional<ScoreStatistics> trio_score_statistics(const Settings& s, const FamilyTable& families, bool gxe);

}  // namespace quillon
