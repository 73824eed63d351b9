#pragma once
// Reference code for the model tests, written literally as the method states it: the
// objective the fast Likelihood must equal bit for bit, and the whole score vector of a
// completed family, whose entries the finite-difference test checks and whose outer
// products the literal enumeration sums.

#include <cmath>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "genetics/transmission.hpp"
#include "model/model.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon::test_support {

// -log-likelihood at ppars: per family mkfindiv, then
//   log( sum_{pairs (f,m)} gamma_f gamma_m prod_children phgz(f, m, g_c, nu1_c, nu2_c) ).
inline double loglik(const Settings& s, const FamilyTable& families, const DVector& ppars) {
    const long npars = s.npars;
    double loglkk = 0.0;
    const double pparg1 = (std::atan(ppars[npars - 1]) + 1.570795) / 3.14159;
    const double pparg2 = ((std::atan(ppars[npars]) + 1.570795) * (1.0 - pparg1)) / 3.14159;
    double tmpp[3];
    for (long i1 = 1; i1 <= families.nfam; ++i1) {
        const famdat& fam = families[i1];
        double nu[2 * maxchildren];
        mkfindiv(s, ppars, fam, nu);
        const ChildRisks risks{nu};
        double tmps = 0.0;
        for (int i2 = 1; i2 <= fam.npgeno; ++i2) {
            const int f = fam.pgenos[i2][1];
            const int m = fam.pgenos[i2][2];
            double tmpm = 1.0;
            for (int i3 = 3; i3 <= fam.ninfam; ++i3)
                tmpm = tmpm * phgz(f, m, fam.famgeno[i3], risks.nu1(i3), risks.nu2(i3));
            tmpp[0] = (1.0 - pparg1) - pparg2;
            tmpp[1] = pparg1;
            tmpp[2] = pparg2;
            tmps = tmps + (tmpp[f] * tmpp[m]) * tmpm;
        }
        loglkk = loglkk + std::log(tmps);
    }
    return -loglkk;
}

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
// w_j = fam.weight[j] and the expectations over phgz(f, m, ., nu1j, nu2j) (`risks`).  The last
// two are on the probability scale of gamma1, gamma2, not of the arctangent parameters.
template <class Genotypes>
void mkuih(const Settings& s, const double gammma[3], const famdat& fam, ChildRisks risks, const Genotypes& xgeno,
           DVector& uih) {
    const long ncov = s.ncov;
    const long npars = s.npars;
    for (long k = 1; k <= npars + 1; ++k) uih[k] = 0.0;
    const int f = xgeno[1];
    const int m = xgeno[2];
    // An untyped assumed parent would reach phg through phgz below; raising here instead
    // also covers a family without children, where utilg would be indexed by it.
    if (f == -1 || m == -1) missing_genotype();

    for (int j = 3; j <= fam.ninfam; ++j) {
        const double nu1 = risks.nu1(j);
        const double nu2 = risks.nu2(j);
        const int g = xgeno[j];
        const double muu1 = mkmuu1ijg(s, xgeno, nu1, nu2);
        uih[1] = uih[1] + (static_cast<double>(s.cchu1[g]) - muu1) * fam.weight[j];
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

}  // namespace quillon::test_support
