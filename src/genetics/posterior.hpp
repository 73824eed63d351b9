#pragma once
// Posterior probabilities of a family's compatible parental genotype pairs.
//
// Row i of ffpgiout: father, mother (as doubles 0.0, 1.0, 2.0) and
//   P(pair i | children) = gamma_f gamma_m prod_j phgz(f, m, g_j, nu1j, nu2j) / total,
// total being the sum of the numerators over the listed pairs.

#include "genetics/family.hpp"
#include "genetics/transmission.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// xfamgeno[3..ninfam]: the children's genotypes (entries 1 and 2 are not read).
// xpgenos[i][1], xpgenos[i][2]: pair i, i = 1..xnpgeno (an IMatrix or ParentPairs::upgenos).
// Reads gammma[0..2], fam.ninfam and the children's relative risks.  Writes rows
// 1..xnpgeno of ffpgiout (columns 1..3); later rows keep what they held.  With no pair
// nothing is written.
template <class Genotypes, class Pairs>
void fpi(const double gammma[3], const famdat& fam, ChildRisks risks, const Genotypes& xfamgeno, const Pairs& xpgenos,
         int xnpgeno, DMatrix& ffpgiout);

// ---- template definition ----
template <class Genotypes, class Pairs>
void fpi(const double gammma[3], const famdat& fam, ChildRisks risks, const Genotypes& xfamgeno, const Pairs& xpgenos,
         int xnpgeno, DMatrix& ffpgiout) {
    double total = 0.0;
    for (int i = 1; i <= xnpgeno; ++i) {
        const int f = xpgenos[i][1];
        const int m = xpgenos[i][2];
        // An untyped parent would reach phg through phgz below; raising here instead also
        // covers a family without children, where gammma would be indexed by it.
        if (f == -1 || m == -1) missing_genotype();
        // prod_j phgz over the children in ascending order, then times (gamma_f gamma_m)
        double prod = 1.0;
        for (int j = 3; j <= fam.ninfam; ++j) prod = prod * phgz(f, m, xfamgeno[j], risks.nu1(j), risks.nu2(j));
        prod = prod * (gammma[f] * gammma[m]);
        ffpgiout[i][1] = static_cast<double>(f);
        ffpgiout[i][2] = static_cast<double>(m);
        ffpgiout[i][3] = prod;
        total = total + prod;
    }
    for (int i = 1; i <= xnpgeno; ++i) ffpgiout[i][3] = ffpgiout[i][3] / total;
}

}  // namespace quillon
