// The draws of a simulated study, in the documented order (simulate/simulate.hpp).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "genetics/transmission.hpp"
#include "model/settings.hpp"
#include "genetics/x_inheritance.hpp"
#include "simulate/simulate.hpp"
#include "toolkit/random.hpp"

namespace quillon {

namespace {

// The run's random stream: ran2 and gasdev on one seed.
class RandomStream {
public:
    // ran2 initialises on a seed <= 0.  Reseeding ran2 leaves a deviate that gasdev saved in
    // an earlier run in place, so it is discarded here: the first normal comes from a new pair.
    explicit RandomStream(long seed) : idum_(seed > 0 ? -seed : seed) { gasdev_discard_saved(); }
    double uniform() { return ran2(&idum_); }
    double normal() { return gasdev(&idum_); }

private:
    long idum_;
};

// The value that "%.6f" writes for z, read back.
double rounded_covariate(double z) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", z);
    return std::strtod(text, nullptr);
}

// Alleles of a typed genotype g: "1 1", "2 2", and "1 2" or "2 1" for a heterozygote.
void set_alleles(int g, double u_het, int& a1, int& a2) {
    if (g == 0) {
        a1 = 1;
        a2 = 1;
    } else if (g == 2) {
        a1 = 2;
        a2 = 2;
    } else if (u_het < 0.5) {
        a1 = 1;
        a2 = 2;
    } else {
        a1 = 2;
        a2 = 1;
    }
}

}  // namespace

void expand_coefficients(const SimulateOptions& o, DVector& b1, DVector& b2) {
    b1 = DVector(1, o.ncov);
    b2 = DVector(1, o.ncov);
    for (int i = 1; i <= o.ncov; ++i) {
        const double beta = o.beta.allocated() ? o.beta[i] : 0.0;
        switch (o.cmodeltype) {
            case kRecessive:  // b1 = 0, b2 = beta
                b1[i] = 0.0;
                b2[i] = beta;
                break;
            case kDominant:  // b1 = b2 = beta
                b1[i] = beta;
                b2[i] = beta;
                break;
            case kAdditive:  // b1 = beta, b2 = beta + beta, as the fit doubles it
                b1[i] = beta;
                b2[i] = beta + beta;
                break;
            default:  // None: b1 and b2 as given
                b1[i] = o.b1.allocated() ? o.b1[i] : 0.0;
                b2[i] = o.b2.allocated() ? o.b2[i] : 0.0;
                break;
        }
    }
}

int draw_founder_genotype(double u, double gamma0, double gamma1) {
    if (u < gamma0) return 0;
    if (u < gamma0 + gamma1) return 1;
    return 2;
}

int draw_group(double u, const std::vector<Subpopulation>& groups) {
    double total = 0.0;
    for (const Subpopulation& g : groups) total += g.share * g.risk;
    double cumulative = 0.0;
    for (std::size_t g = 0; g + 1 < groups.size(); ++g) {
        cumulative += groups[g].share * groups[g].risk;
        if (u < cumulative / total) return static_cast<int>(g) + 1;
    }
    return static_cast<int>(groups.size());
}

void group_prevalences(const Subpopulation& group, double p, double& gamma1, double& gamma2) {
    const double q = std::min(std::max(p + group.shift, kSimMinGroupFrequency), 1.0 - kSimMinGroupFrequency);
    gamma1 = 2.0 * q * (1.0 - q);
    gamma2 = q * q;
}

int draw_child_genotype(int fg, int mg, double nu1, double nu2, double u) {
    const double p0 = phgz(fg, mg, 0, nu1, nu2);
    const double p1 = phgz(fg, mg, 1, nu1, nu2);
    const double p2 = phgz(fg, mg, 2, nu1, nu2);
    if (!std::isfinite(p0) || !std::isfinite(p1) || !std::isfinite(p2)) return -1;
    // A genotype of probability 0 has an empty interval: u > 0 rules out an empty first
    // interval, and when p2 = 0 the sum p0 + p1 is 1 to within an ulp, above any u <= 0.99999988.
    if (u < p0) return 0;
    if (u < p0 + p1) return 1;
    return 2;
}

// A father's X allele: 1 with the allele-2 frequency gamma1 / 2 + gamma2.
int draw_x_father(double u, double gamma1, double gamma2) { return u < 1.0 - (0.5 * gamma1 + gamma2) ? 0 : 1; }

// A child's X genotype (a son's allele, a daughter's diploid code) given the father's allele
// and the mother's genotype: P(g) proportional to x_transmission and to the relative risk of
// g, (1, nu1, nu2) for a daughter, 1 and nu2 (xchr_model 2) or nu1 (xchr_model 1) for a son's
// alleles 0 and 1.  -1 when the probabilities are not finite.
int draw_x_child(int sex, int father, int mother, double nu1, double nu2, int xchr_model, double u) {
    const double risk[3] = {1.0, sex == 1 ? (xchr_model == 2 ? nu2 : nu1) : nu1, nu2};
    double p[3] = {0.0, 0.0, 0.0};
    double total = 0.0;
    for (int g = 0; g <= (sex == 1 ? 1 : 2); ++g) total += p[g] = x_transmission(sex, father, mother, g) * risk[g];
    if (!(total > 0.0) || !std::isfinite(total)) return -1;
    double cumulative = 0.0;
    for (int g = 0; g <= 2; ++g) {
        cumulative += p[g] / total;
        if (p[g] > 0.0 && u < cumulative) return g;
    }
    return sex == 1 ? (p[1] > 0.0 ? 1 : 0) : (p[2] > 0.0 ? 2 : p[1] > 0.0 ? 1 : 0);
}

bool simulate_study(const SimulateOptions& o, SimulatedStudy& study, std::string& error) {
    DVector b1;
    DVector b2;
    expand_coefficients(o, b1, b2);
    const double gamma0 = (1.0 - o.gamma1) - o.gamma2;
    const int span = o.max_size - o.min_size + 1;
    RandomStream rng(o.seed);

    study.nfam = o.families;
    study.ncov = o.ncov;
    study.random_weights = o.random_weights;
    study.groups = static_cast<int>(o.groups.size());
    study.fam = IndexVector<SimFamily>(1, o.families);

    for (long k = 1; k <= o.families; ++k) {
        SimFamily& fam = study.fam[k];
        fam.famid = k;
        fam.group = o.groups.empty() ? 0 : draw_group(rng.uniform(), o.groups);
        const Subpopulation* group = fam.group > 0 ? &o.groups[static_cast<std::size_t>(fam.group - 1)] : nullptr;
        fam.ninfam = o.min_size + static_cast<int>(rng.uniform() * span);
        const int n = fam.ninfam;

        // The parents' prevalences and typing rates: the study's, or the family's group's.
        double g1 = o.gamma1;
        double g2 = o.gamma2;
        if (group != nullptr) group_prevalences(*group, 0.5 * o.gamma1 + o.gamma2, g1, g2);
        const double g0 = group != nullptr ? (1.0 - g1) - g2 : gamma0;
        const double untyped_parents = group != nullptr ? group->untyped_parents : o.untyped_parents;
        const double untyped_father = group != nullptr ? group->untyped_father : o.untyped_father;

        const double u_typing = rng.uniform();
        const bool both_untyped = u_typing < untyped_parents;
        const bool father_untyped = both_untyped || u_typing < untyped_parents + untyped_father;
        const double u_father = rng.uniform();
        const int gf = o.chromosome_x ? draw_x_father(u_father, g1, g2) : draw_founder_genotype(u_father, g0, g1);
        const int gm = draw_founder_genotype(rng.uniform(), g0, g1);

        fam.sex = IVector(1, n);
        fam.pheno = IVector(1, n);
        fam.allele1 = IVector(1, n);
        fam.allele2 = IVector(1, n);
        fam.covars = DMatrix(1, n, 1, o.ncov);
        fam.weight = DVector(1, n);

        for (int j = 1; j <= n; ++j) {
            DVector& x = fam.covars[j];
            for (int i = 1; i <= o.ncov; ++i)
                x[i] = (o.intercept && i == 1) ? 1.0
                       : group != nullptr     ? rounded_covariate(group->mean[static_cast<std::size_t>(i - 1)] + rng.normal())
                                              : rounded_covariate(rng.normal());

            const double u_sex = rng.uniform();
            const double u_missing = rng.uniform();
            const double u_pheno = rng.uniform();
            const double u_geno = rng.uniform();
            const double u_het = rng.uniform();
            const double u_weight = rng.uniform();

            const bool child = j >= 3;
            fam.sex[j] = j == 1 ? 1 : (j == 2 ? 2 : (u_sex < 0.5 ? 1 : 2));
            if (u_missing < o.missing_phenotype)
                fam.pheno[j] = 0;
            else
                fam.pheno[j] = child ? 2 : (u_pheno < 0.5 ? 1 : 2);

            int g = j == 1 ? gf : gm;
            if (child) {
                // nu1 = exp(b1.x), nu2 = exp(b2.x), each sum from 0.0 in column order.
                double s1 = 0.0;
                double s2 = 0.0;
                for (int i = 1; i <= o.ncov; ++i) {
                    s1 += b1[i] * x[i];
                    s2 += b2[i] * x[i];
                }
                const double nu1 = std::exp(s1);
                const double nu2 = std::exp(s2);
                g = o.chromosome_x ? draw_x_child(fam.sex[j], gf, gm, nu1, nu2, o.xchr_model, u_geno)
                                   : draw_child_genotype(gf, gm, nu1, nu2, u_geno);
                if (g < 0) {
                    char text[160];
                    std::snprintf(text, sizeof text,
                                  "family %ld member %d: relative risks %g and %g give no genotype distribution; "
                                  "use smaller coefficients",
                                  fam.famid, j, nu1, nu2);
                    error = text;
                    return false;
                }
            }
            const bool typed = child || (j == 1 && !father_untyped) || (j == 2 && !both_untyped);
            if (typed) {
                set_alleles(o.chromosome_x && fam.sex[j] == 1 ? 2 * g : g, u_het, fam.allele1[j], fam.allele2[j]);
            } else {
                fam.allele1[j] = 0;
                fam.allele2[j] = 0;
            }
            fam.weight[j] = o.random_weights ? 0.5 + u_weight : 1.0;
        }
    }
    return true;
}

}  // namespace quillon
