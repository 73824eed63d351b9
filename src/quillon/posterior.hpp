#pragma once
// Posterior probabilities of a family's compatible parental genotype pairs.
//
// Row i of ffpgiout: father, mother (as doubles) and
//   P(pair i | children) = gamma_f gamma_m prod_j phgz(f, m, g_j, nu1j, nu2j) / total.

#include "quillon/family.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// xfamgeno[3..ninfam]: the children's genotypes.  xpgenos[i][1], xpgenos[i][2]: pair i,
// i = 1..xnpgeno (an IMatrix or ParentPairs::upgenos).
template <class Genotypes, class Pairs>
void fpi(const double gammma[3], const famdat& fam, const Genotypes& xfamgeno, const Pairs& xpgenos, int xnpgeno,
         DMatrix& ffpgiout);

}  // namespace quillon
