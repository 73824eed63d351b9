#pragma once
// Per-family score contributions at the fitted model.
//
// uih[1..npars+1]:  1  status score  sum_j w_j (cchu1[g_j] - E cchu1(G_j))
//                   2..npars-1  coefficient scores
//                   npars, npars+1  d log(gamma_f gamma_m) / d gamma1, d gamma2

#include "quillon/family.hpp"
#include "quillon/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// xgeno[1], xgeno[2]: the assumed parents; xgeno[3..ninfam] the children (all 0..2).
// Reads fam.findiv columns 2, 3, 4 and fam.fcovdat; overwrites uih[1..npars+1].
template <class Genotypes>
void mkuih(const Settings& s, const double gammma[3], const famdat& fam, const Genotypes& xgeno, DVector& uih);

}  // namespace quillon
