#pragma once
// Per-family score contributions at the fitted model.
//
// For one family and one full genotype assignment (the assumed parents f = xgeno[1],
// m = xgeno[2] and the children xgeno[3..ninfam]), uih[1..npars+1] receives the derivatives
// of the log of the assignment's probability:
//   1               status score  sum_j w_j (cchu1[g_j] - E cchu1(G_j)): the score, at zero,
//                   of a main effect of genotype on status that the model does not contain
//   2..ncov+1       covariate model None: d/d b1[i] = sum_j x_ji (1{g_j = 1} - phgz(f,m,1,.))
//                   otherwise:            d/d beta[i] = sum_j x_ji (cch[g_j] - E cch(G_j))
//   ncov+2..2ncov+1 covariate model None only: d/d b2[i] = sum_j x_ji (1{g_j = 2} - phgz(f,m,2,.))
//   npars           d log(gamma_f gamma_m) / d gamma1 = -N0 / gamma0' + N1 / gamma1
//   npars+1         d log(gamma_f gamma_m) / d gamma2 = -N0 / gamma0' + N2 / gamma2
// with Nk the number of the two parents of genotype k (utilg), gamma0' = (1 - gamma1) - gamma2,
// w_j = findiv[j][4] and the expectations over phgz(f, m, ., nu1j, nu2j).  The last two are on
// the probability scale of gamma1, gamma2, not of the arctangent parameters.

#include "genetics/family.hpp"
#include "model/model.hpp"
#include "genetics/patterns.hpp"
#include "model/settings.hpp"
#include "genetics/transmission.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// xgeno[1], xgeno[2]: the assumed parents; xgeno[3..ninfam] the children (all 0..2).
// Reads gammma[1], gammma[2], fam.findiv columns 2, 3, 4 (set by mkfindiv at the fitted
// parameters) and fam.fcovdat; overwrites uih[1..npars+1] and writes nothing else.
template <class Genotypes>
void mkuih(const Settings& s, const double gammma[3], const famdat& fam, const Genotypes& xgeno, DVector& uih);

// ---- template definition ----
template <class Genotypes>
void mkuih(const Settings& s, const double gammma[3], const famdat& fam, const Genotypes& xgeno, DVector& uih) {
    const long ncov = s.ncov;
    const long npars = s.npars;
    for (long k = 1; k <= npars + 1; ++k) uih[k] = 0.0;
    const int f = xgeno[1];
    const int m = xgeno[2];
    // An untyped assumed parent would reach phg through phgz below; stopping here instead
    // also covers a family without children, where utilg would be indexed by it.
    if (f == -1 || m == -1) missing_genotype_stop();

    for (int j = 3; j <= fam.ninfam; ++j) {
        const double nu1 = fam.findiv[j][2];
        const double nu2 = fam.findiv[j][3];
        const int g = xgeno[j];
        const double muu1 = mkmuu1ijg(s, xgeno, nu1, nu2);
        uih[1] = uih[1] + (static_cast<double>(s.cchu1[g]) - muu1) * fam.findiv[j][4];
        if (s.cmodeltype == kNone) {
            // d log phgz(f, m, g, .) / d b_k[i] = x_i (1{g = k} - phgz(f, m, k, .))
            double a1 = g == 1 ? 1.0 : 0.0;
            double a2 = g == 2 ? 1.0 : 0.0;
            a1 = a1 - phgz(f, m, 1, nu1, nu2);
            a2 = a2 - phgz(f, m, 2, nu1, nu2);
            for (long i = 1; i <= ncov; ++i) {
                const double x = fam.fcovdat[j][i];
                uih[i + 1] += x * a1;
                uih[i + ncov + 1] += x * a2;
            }
        } else {
            // beta acts on genotype k through cch[k]: x_i (cch[g] - E cch(G))
            const double mu = mkmuijg(s, xgeno, nu1, nu2);
            const double a1 = static_cast<double>(s.cch[g]) - mu;
            for (long i = 1; i <= ncov; ++i) uih[i + 1] += fam.fcovdat[j][i] * a1;
        }
    }

    // d/d gamma1, d/d gamma2 of N0 log gamma0 + N1 log gamma1 + N2 log gamma2 with
    // gamma0 = 1 - gamma1 - gamma2.  Assigned, independent of the children.
    const int r = 3 * f + m + 1;
    const double n0 = static_cast<double>(utilg[r][1]);
    const double n1 = static_cast<double>(utilg[r][2]);
    const double n2 = static_cast<double>(utilg[r][3]);
    const double gamma0 = (1.0 - gammma[1]) - gammma[2];
    uih[npars] = (-n0) / gamma0 + n1 / gammma[1];
    uih[npars + 1] = (-n0) / gamma0 + n2 / gammma[2];
}

}  // namespace quillon
