#pragma once
// Per-member model quantities and the parameter layout.
//
// theta (ppars) holds npars doubles: slots 1..npars-2 the covariate coefficients, slots
// npars-1 and npars the prevalence parameters eta1, eta2.
//   covariate model None:            theta[1..ncov] = b1, theta[ncov+1..2ncov] = b2
//   Recessive / Dominant / Additive: theta[1..ncov] = beta, b_g = cch[g] * beta, so
//     Recessive b1 = 0, b2 = beta;  Dominant b1 = b2 = beta;  Additive b1 = beta, b2 = 2 beta
// nu1(x) = exp(b1 . x), nu2(x) = exp(b2 . x): relative risks of genotypes 1 and 2 against
// genotype 0 for a member with covariate row x.

#include <vector>

#include "genetics/family.hpp"
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
std::vector<double> relative_risks(const Settings& s, const DVector& ppars, const FamilyTable& families);

// How the children's relative risks follow from the expanded coefficients.  Both shortcuts
// give the very doubles of the general sums:
//  - Dominant: b2 = b1 term by term, so the second sum repeats the first operation for
//    operation and nu2 = nu1;
//  - Recessive with finite covariates: b1 = 0, every product 0.0 * x is a zero and the sum
//    from 0.0 stays +0.0, so nu1 = exp(0.0) = 1.0.
enum class RiskForm { kGeneral, kEqualRisks, kUnitNu1 };

// The form for `s`'s covariate model, given whether every child's covariates are finite.
RiskForm risk_form(const Settings& s, bool finite_covariates);

// nu1, nu2 of `count` children whose covariate rows (ncov each) follow one another from
// `cov`, into nu1[0..], nu2[0..], at the expanded coefficients `pars` (expand_coefficients),
// summed as mkfindiv sums them: nu1 = exp(sum_k b1[k] x[k]), nu2 = exp(sum_k b2[k] x[k]) from
// 0.0 in ascending k.
void children_risks(RiskForm form, long ncov, const DVector& pars, const double* cov, long count, double* nu1,
                    double* nu2);

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
