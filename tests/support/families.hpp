#pragma once
// Family records for tests and benchmarks, as the input stage leaves them: every per-family
// array allocated at its exact size, weight 0 for phenotype 0; families drawn from the
// model, and the fitted state at a parameter vector.  TestRng is a fixed-seed
// generator whose draws do not depend on the standard library's distributions, so a seed
// gives the same families everywhere.

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "genetics/family.hpp"
#include "model/fit.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "genetics/patterns.hpp"
#include "model/settings.hpp"
#include "genetics/transmission.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon::test_support {

struct Member {
    int geno = 0;             // genotype code, -1 untyped
    int pheno = 1;            // 0 missing, 1, 2
    double weight = 1.0;      // wweights.dat value
    std::vector<double> cov;  // ncov values; missing entries are 0.0
    int sex = 0;              // 1 male, 2 female; 0: the parents' by role, a child's unknown
};

// npgeno and pgenos from the observed genotypes, as the data checks leave them.
inline void set_parent_pairs(famdat& fam) {
    ParentPairs pairs;
    gx(fam.famgeno, fam.ninfam, fam.famid, pairs);
    store_pairs(pairs, fam);
}

// Members in order father, mother, children; the parent pairs are set.
inline famdat make_family(long famid, long ncov, const std::vector<Member>& members) {
    famdat fam;
    const int n = static_cast<int>(members.size());
    fam.famid = famid;
    fam.ninfam = n;
    fam.famgeno = ivector(1, n);
    fam.phenodat = ivector(1, n);
    fam.sex = ivector(1, n);
    fam.fcovdat = flmatrix(1, n, 1, ncov);
    fam.weight = vector(1, n);
    fam.pgenos = imatrix(1, parentpairs, 1, 2);
    fam.pgenos.fill(0);
    for (int j = 1; j <= n; ++j) {
        const Member& mj = members[static_cast<std::size_t>(j - 1)];
        fam.famgeno[j] = mj.geno;
        fam.phenodat[j] = mj.pheno;
        fam.sex[j] = mj.sex != 0 ? mj.sex : (j <= 2 ? j : 0);
        fam.weight[j] = mj.pheno == 0 ? 0.0 : mj.weight;
        for (long i = 1; i <= ncov; ++i)
            fam.fcovdat[j][i] = static_cast<std::size_t>(i) <= mj.cov.size() ? mj.cov[static_cast<std::size_t>(i - 1)] : 0.0;
    }
    set_parent_pairs(fam);
    return fam;
}

// Genotypes only: phenotype 1, weight 1, covariates 0.
inline famdat make_family(long famid, long ncov, std::initializer_list<int> genos) {
    std::vector<Member> members;
    for (int g : genos) members.push_back(Member{g, 1, 1.0, {}});
    return make_family(famid, ncov, members);
}

inline FamilyTable make_table(std::vector<famdat> families) {
    FamilyTable t;
    t.nfam = static_cast<long>(families.size());
    t.fam = IndexVector<famdat>(1, t.nfam);
    for (long i = 1; i <= t.nfam; ++i) t.fam[i] = std::move(families[static_cast<std::size_t>(i - 1)]);
    return t;
}

inline FamilyTable make_table(famdat family) {
    std::vector<famdat> one;
    one.push_back(std::move(family));
    return make_table(std::move(one));
}

inline Settings make_settings(long ncov, int smodeltype, int cmodeltype) {
    Settings s{.ncov = ncov, .smodeltype = smodeltype, .cmodeltype = ncov == 0 ? kNone : cmodeltype};
    derive_model_codings(s);
    return s;
}

inline Settings newton_settings(Settings s) {
    s.fit = FitMethod::kNewton;
    return s;
}

inline DVector make_vector(const std::vector<double>& values) {
    DVector v = vector(1, static_cast<int>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) v[static_cast<long>(i) + 1] = values[i];
    return v;
}

class TestRng {
public:
    explicit TestRng(std::uint64_t seed) : engine_(seed) {}
    // Uniform on [0, 1) with 53 random bits.
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    // Uniform integer in lo..hi.
    int between(int lo, int hi) { return lo + static_cast<int>(uniform() * (hi - lo + 1)); }
    // Standard normal (Box-Muller).
    double normal() {
        const double u1 = 1.0 - uniform();  // in (0, 1]
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * uniform());
    }
    // A draw from the probabilities p[0..2].
    int genotype(const double p[3]) {
        const double u = uniform();
        return u < p[0] ? 0 : (u < p[0] + p[1] ? 1 : 2);
    }

private:
    std::mt19937_64 engine_;
};

// A family of `size` members drawn from the model at theta: parents from its prevalences,
// each child from phgz at the child's relative risks; covariate column 1 an intercept and
// the others N(0, 1); every member affected with weight 1; npgeno and pgenos set.
inline famdat draw_family(TestRng& rng, long famid, const Settings& s, const DVector& theta, int size) {
    std::vector<Member> members(static_cast<std::size_t>(size), Member{0, 2, 1.0, {}});
    for (Member& mj : members)
        for (long c = 1; c <= s.ncov; ++c) mj.cov.push_back(c == 1 ? 1.0 : rng.normal());
    famdat fam = make_family(famid, s.ncov, members);
    double gamma[3];
    prevalences_from(theta[s.npars - 1], theta[s.npars], gamma);
    fam.famgeno[1] = rng.genotype(gamma);
    fam.famgeno[2] = rng.genotype(gamma);
    double nu[2 * maxchildren];
    mkfindiv(s, theta, fam, nu);
    const ChildRisks risks{nu};
    for (int j = 3; j <= size; ++j) {
        double p[3];
        for (int g = 0; g <= 2; ++g) p[g] = phgz(fam.famgeno[1], fam.famgeno[2], g, risks.nu1(j), risks.nu2(j));
        fam.famgeno[j] = rng.genotype(p);
    }
    set_parent_pairs(fam);
    return fam;
}

// The state the information step finds after a fit that ended at theta: gammma and the
// children's relative risks belong to theta.
inline FitResult state_at(const Settings& s, const FamilyTable& families, const DVector& theta) {
    FitResult fit;
    fit.ogpars = vector(1, static_cast<int>(s.npars));
    for (long i = 1; i <= s.npars; ++i) fit.ogpars[i] = theta[i];
    set_prevalences(s, fit);
    fit.risks = relative_risks(s, fit.ogpars, families);
    return fit;
}

// A random family that passes the data checks: Mendelian genotypes from random parents,
// parents masked at random, covariate column 1 an intercept and the others N(0, 1),
// phenotypes 0..2, weights in [0.5, 1.5).  Its npgeno and pgenos are set.
inline famdat random_family(TestRng& rng, long famid, long ncov, int min_size, int max_size) {
    const double gamma[3] = {0.3, 0.45, 0.25};
    std::vector<Member> members(static_cast<std::size_t>(rng.between(min_size, max_size)));
    for (std::size_t j = 0; j < members.size(); ++j) {
        Member& mj = members[j];
        const int f = members[0].geno, m = members[1].geno;
        const double mendel[3] = {phg(f, m, 0), phg(f, m, 1), phg(f, m, 2)};
        mj.geno = rng.genotype(j < 2 ? gamma : mendel);
        mj.pheno = rng.between(0, 2);
        mj.weight = 0.5 + rng.uniform();
        for (long i = 1; i <= ncov; ++i) mj.cov.push_back(i == 1 ? 1.0 : rng.normal());
    }
    famdat fam = make_family(famid, ncov, members);
    // Parents untyped the way valid data allow: never a typed father with an untyped mother.
    if (rng.uniform() < 0.4 && (fam.famgeno[1] = -1, rng.uniform() < 0.4)) fam.famgeno[2] = -1;
    set_parent_pairs(fam);
    return fam;
}

inline FamilyTable random_table(TestRng& rng, int nfam, long ncov, int min_size, int max_size) {
    std::vector<famdat> v;
    for (int i = 1; i <= nfam; ++i) v.push_back(random_family(rng, i, ncov, min_size, max_size));
    return make_table(std::move(v));
}

// Every parameter drawn from N(0, scale^2).
inline DVector random_theta(TestRng& rng, const Settings& s, double scale) {
    DVector theta = vector(1, static_cast<int>(s.npars));
    for (long i = 1; i <= s.npars; ++i) theta[i] = scale * rng.normal();
    return theta;
}

}  // namespace quillon::test_support
