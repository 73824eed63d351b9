#pragma once
// Imputed-like genotype probabilities of simulated families.
//
// Each person's two haplotypes are observed with noise: the observation of an allele a (1 for
// ALT) is o = a + sigma z, z standard normal, and the imputation posterior of the haplotype is
// h = P(a = 1 | o) with the ALT frequency p as its prior.  sigma is tuned so that h has the
// target squared correlation r2 with the allele (for a posterior mean, Var(h) / (p (1 - p))).
// GP is the product of the two haplotype posteriors: ((1 - h1)(1 - h2), h1 (1 - h2) +
// (1 - h1) h2, h1 h2), DS = h1 + h2.  A child's inherited haplotype carries the observation
// its parent has of it, error included, with probability `shared` (imputation errors are
// shared along haplotypes), else a fresh one.

#include <array>
#include <cstdint>
#include <vector>

namespace quillon {

// The squared correlation of the haplotype posterior with the allele, at noise sigma and ALT
// frequency p in (0, 1) (numerical integration over the noise).
double haplotype_r2(double sigma, double p);

// The noise sigma at which haplotype_r2 is r2 (bisection), for r2 in (0, 1).
double noise_for_r2(double r2, double p);

// The posterior P(a = 1 | o) of one haplotype.
double haplotype_posterior(double o, double sigma, double p);

// One family's probabilities: truth[j] is member j's true genotype (0 father, 1 mother, then
// the children; copies of ALT, Mendelian); gp[j] receives the member's GP.  Draws, per member
// in order, five uniforms of ran2 on `idum`: the phase of a parent's heterozygote (for a
// child, which consistent pair of parental haplotypes it inherited), two for a Box-Muller
// pair (the noise of the two haplotypes), and whether each inherited haplotype shares the
// parent's observation (paternal, then maternal).
void impute_family(const std::vector<std::int8_t>& truth, double p, double sigma, double shared, long* idum,
                   std::vector<std::array<double, 3>>& gp);

}  // namespace quillon
