#pragma once
// Per-member model quantities and the parameter layout.
//
// theta (ppars) holds npars doubles: slots 1..coefficients(s) the covariate coefficients, then
// the prevalence parameters eta1, eta2 of each stratum in turn (one stratum: slots npars-1
// and npars).
//   covariate model None:            theta[1..ncov] = b1, theta[ncov+1..2ncov] = b2
//   Recessive / Dominant / Additive: theta[1..ncov] = beta, b_g = cch[g] * beta, so
//     Recessive b1 = 0, b2 = beta;  Dominant b1 = b2 = beta;  Additive b1 = beta, b2 = 2 beta
// nu1(x) = exp(b1 . x), nu2(x) = exp(b2 . x): relative risks of genotypes 1 and 2 against
// genotype 0 for a member with covariate row x.

#include <vector>

#include "genetics/family.hpp"
#include "model/flat_vector.hpp"
#include "model/settings.hpp"
#include "genetics/transmission.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// The expanded coefficient vector: pars[1..ncov] = b1 and pars[ncov+1..2ncov] = b2 built from
// theta = ppars[1..npars] for the covariate model of `s`.  `pars` must cover 1..2*ncov.
// (Additive: b2[i] = ppars[i] + ppars[i], formed as that sum.)
void expand_coefficients(const Settings& s, const DVector& ppars, DVector& pars);

// The relative risks of the children of `fam` at theta = ppars, written to
// risks[0 .. 2 (ninfam - 2) - 1] in the ChildRisks layout.  Reads ncov, npars, cmodeltype and
// the family's ninfam and fcovdat.  Each linear predictor is summed from 0.0 in ascending
// covariate index, pars[i] * x[i].
void mkfindiv(const Settings& s, const DVector& ppars, const famdat& fam, double* risks);

// mkfindiv of every family in table order, each family's children after the previous
// family's: FitResult::risks.
FlatVector<double> relative_risks(const Settings& s, const DVector& ppars, const FamilyTable& families);

// Expected coding of the genotype of a child of parents g[1], g[2] whose relative risks are
// nu1z, nu2z:  ((c[0] pp0 + c[1] pp1) + c[2] pp2) with ppk = phgz(g[1], g[2], k, nu1z, nu2z).
// mkmuijg uses the covariate-model coding cch, mkmuu1ijg the status-model coding cchu1.
// `g` is any 1-based genotype sequence (IVector, int array, a row of upgenos); only entries
// 1 and 2 are read.
template <class Genotypes>
double mkmuijg(const Settings& s, const Genotypes& g, double nu1z, double nu2z);
template <class Genotypes>
double mkmuu1ijg(const Settings& s, const Genotypes& g, double nu1z, double nu2z);

// ---- template definitions ----
// The expected coding ((c[0] pp[0] + c[1] pp[1]) + c[2] pp[2]) of a child whose tilted
// genotype probabilities pp[g] = phgz(f, m, g, nu1z, nu2z) are already known.
inline double expected_coding(const int (&c)[4], const double (&pp)[3]) {
    return (static_cast<double>(c[0]) * pp[0] + static_cast<double>(c[1]) * pp[1]) + static_cast<double>(c[2]) * pp[2];
}

namespace detail {
inline double expected_coding(const int (&c)[4], int f, int m, double nu1z, double nu2z) {
    const double pp[3] = {phgz(f, m, 0, nu1z, nu2z), phgz(f, m, 1, nu1z, nu2z), phgz(f, m, 2, nu1z, nu2z)};
    return quillon::expected_coding(c, pp);
}
}  // namespace detail

template <class Genotypes>
double mkmuijg(const Settings& s, const Genotypes& g, double nu1z, double nu2z) {
    return detail::expected_coding(s.cch, g[1], g[2], nu1z, nu2z);
}

template <class Genotypes>
double mkmuu1ijg(const Settings& s, const Genotypes& g, double nu1z, double nu2z) {
    return detail::expected_coding(s.cchu1, g[1], g[2], nu1z, nu2z);
}

}  // namespace quillon
