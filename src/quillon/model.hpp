#pragma once
// Per-member model quantities and the parameter layout.
//
// theta (ppars) holds npars doubles: slots 1..npars-2 the covariate coefficients, slots
// npars-1 and npars the prevalence parameters eta1, eta2.
//   covariate model None:        theta[1..ncov] = b1, theta[ncov+1..2ncov] = b2
//   Recessive / Dominant / Additive: theta[1..ncov] = beta, b_g = cch[g] * beta
// nu1(x) = exp(b1 . x), nu2(x) = exp(b2 . x): relative risks of genotypes 1 and 2.

#include "quillon/family.hpp"
#include "quillon/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// gamma1 = (atan(eta1) + 1.570795) / 3.14159
// gamma2 = ((atan(eta2) + 1.570795) * (1 - gamma1)) / 3.14159
// gamma0 = (1 - gamma1) - gamma2
void prevalences_from(double eta1, double eta2, double gammma[3]);

// Writes findiv columns 2 and 3 (nu1, nu2) of every member for theta = ppars[1..npars], and
// zeroes column 4 (the weight) of members with a missing phenotype.
void mkfindiv(const Settings& s, const DVector& ppars, famdat& fam);

// Expected covariate-model coding (cch) / status-model coding (cchu1) of a child of parents
// g[1], g[2] with relative risks nu1z, nu2z:  (c0 pp0 + c1 pp1) + c2 pp2.
template <class Genotypes>
double mkmuijg(const Settings& s, const Genotypes& g, double nu1z, double nu2z);
template <class Genotypes>
double mkmuu1ijg(const Settings& s, const Genotypes& g, double nu1z, double nu2z);

}  // namespace quillon
