// The likelihood over uncertain genotypes: its value against a sum over every genotype
// configuration, its derivatives against central differences.

#include "model/probability_likelihood.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/prevalence.hpp"
#include "support/families.hpp"
#include "support/finite_differences.hpp"

namespace quillon {
namespace {

using namespace test_support;
using Lik = std::array<double, 3>;

// Every member's vector: the given ones, or (1,1,1) for an untyped member.
void set_likelihoods(famdat& fam, const std::vector<Lik>& v) {
    fam.glik.assign(static_cast<std::size_t>(fam.ninfam) + 1, Lik{1, 1, 1});
    for (std::size_t j = 0; j < v.size(); ++j) fam.glik[j + 1] = v[j];
}

// Random vectors: a third hard calls, a sixth untyped, the rest uncertain.
FamilyTable uncertain_table(TestRng& rng, int nfam, long ncov) {
    FamilyTable t = random_table(rng, nfam, ncov, 3, 6);
    for (long i = 1; i <= t.nfam; ++i) {
        famdat& fam = t[i];
        fam.glik.assign(static_cast<std::size_t>(fam.ninfam) + 1, Lik{1, 1, 1});
        for (int j = 1; j <= fam.ninfam; ++j) {
            const double u = rng.uniform();
            Lik& l = fam.glik[static_cast<std::size_t>(j)];
            if (u < 0.33 && fam.famgeno[j] >= 0) {
                l = {0, 0, 0};
                l[static_cast<std::size_t>(fam.famgeno[j])] = 1;
            } else if (u < 0.83) {
                for (double& x : l) x = 0.02 + rng.uniform();
            }
        }
    }
    return t;
}

TEST(ProbabilityLikelihood, IsTheSumOverEveryGenotypeConfiguration) {
    const Settings s = make_settings(2, kAdditive, kNone);
    // Uncertain parents and children; an untyped father with a hard-called child; an untyped
    // child beside an uncertain one; a hard call that leaves one parental pair impossible.
    std::vector<famdat> fams;
    fams.push_back(make_family(1, 2, {Member{1, 2, 1, {1, 0.3}}, Member{0, 1, 1, {1, -1}}, Member{1, 2, 1, {1, 0.7}}}));
    set_likelihoods(fams.back(), {{0.2, 0.7, 0.1}, {0.9, 0.1, 0.05}, {0.3, 0.3, 0.4}});
    fams.push_back(make_family(2, 2, {Member{-1, 2, 1, {1, 0}}, Member{1, 1, 1, {1, 0}},
                                      Member{2, 2, 1, {1, 1.5}}, Member{0, 2, 1, {1, -0.4}}, Member{1, 2, 1, {1, 0.2}}}));
    set_likelihoods(fams.back(), {{1, 1, 1}, {0.1, 0.8, 0.1}, {0, 0, 1}, {1, 1, 1}, {0.5, 0.25, 0.02}});
    fams.push_back(make_family(3, 2, {Member{0, 2, 1, {1, 2}}, Member{1, 1, 1, {1, 0}}, Member{1, 2, 1, {1, -2}}}));
    set_likelihoods(fams.back(), {{1, 0, 0}, {0.6, 0.3, 0.1}, {0, 1, 0}});
    const FamilyTable table = make_table(std::move(fams));
    const DVector theta = make_vector({0.4, -0.3, 0.8, 0.25, -0.6, 0.35});

    double gamma[3];
    prevalences_from(theta[5], theta[6], gamma);
    double expected = 0.0;
    for (long i = 1; i <= table.nfam; ++i) {
        const famdat& fam = table[i];
        double nu[2 * maxchildren];
        mkfindiv(s, theta, fam, nu);
        const int nc = fam.ninfam - 2;
        double sum = 0.0;
        int configurations = 9;
        for (int c = 0; c < nc; ++c) configurations *= 3;
        for (int code = 0; code < configurations; ++code) {  // base-3 digits: f, m, children
            int rest = code;
            const int f = rest % 3, m = (rest /= 3) % 3;
            double term = gamma[f] * fam.glik[1][f] * gamma[m] * fam.glik[2][m];
            for (int j = 3; j <= fam.ninfam; ++j) {
                const int g = (rest /= 3) % 3;
                term *= fam.glik[j][g] * phgz(f, m, g, nu[2 * (j - 3)], nu[2 * (j - 3) + 1]);
            }
            sum += term;
        }
        expected += std::log(sum);
    }
    EXPECT_NEAR(ProbabilityLikelihood(s, table).value(theta), -expected, 1e-12 * std::fabs(expected));
}

TEST(ProbabilityLikelihood, DerivativesAreCentralDifferences) {
    const double h = 1e-5;
    TestRng rng(77);
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        const Settings s = make_settings(2, kAdditive, cmodel);
        const FamilyTable families = uncertain_table(rng, 30, 2);
        const ProbabilityLikelihood objective(s, families);
        const auto n = static_cast<std::size_t>(s.npars);
        DVector theta = random_theta(rng, s, 0.5);
        Derivatives at;
        objective.evaluate(theta, at, true);
        EXPECT_EQ(at.value, objective.value(theta));  // the line search compares the two
        EXPECT_NEAR(at.parents[0] + at.parents[1] + at.parents[2], 2.0 * families.nfam, 1e-9);
        expect_derivatives(objective, theta, at, h);
        // The outer product of the family scores is positive semi-definite with the diagonal
        // at least each score's square sum: its trace bounds the gradient's squared length / nfam.
        double trace = 0.0, g2 = 0.0;
        for (std::size_t k = 0; k < n; ++k) trace += at.outer[k * n + k], g2 += at.gradient[k] * at.gradient[k];
        EXPECT_GE(trace * static_cast<double>(families.nfam), g2 * (1 - 1e-12));
    }
}

}  // namespace
}  // namespace quillon
