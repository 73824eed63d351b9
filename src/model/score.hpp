#pragma once
// The status score of a family completed by assumed parents: the score, at zero, of a main
// effect of genotype on status that the model does not contain,
//   U = sum_j w_j (cchu1[g_j] - E cchu1(G_j)),
// over the children j = 3..ninfam in order, w_j = fam.weight[j] and the expectation over
// phgz(f, m, ., nu1j, nu2j) (mkmuu1ijg).  The other entries of the score vector enter the
// information matrix through its enumeration (information.cpp).

#include "genetics/family.hpp"
#include "genetics/transmission.hpp"
#include "model/model.hpp"
#include "model/settings.hpp"

namespace quillon {

// xgeno[1], xgeno[2]: the assumed parents (0..2; an untyped one raises
// MissingGenotypeError); xgeno[3..ninfam] the children; `risks` the children's relative
// risks at the fitted parameters.  Summed from 0.0.
template <class Genotypes>
double status_score(const Settings& s, const famdat& fam, ChildRisks risks, const Genotypes& xgeno) {
    if (xgeno[1] == -1 || xgeno[2] == -1) missing_genotype();
    double u = 0.0;
    for (int j = 3; j <= fam.ninfam; ++j) {
        const double muu1 = mkmuu1ijg(s, xgeno, risks.nu1(j), risks.nu2(j));
        u = u + (static_cast<double>(s.cchu1[xgeno[j]]) - muu1) * fam.weight[j];
    }
    return u;
}

}  // namespace quillon
