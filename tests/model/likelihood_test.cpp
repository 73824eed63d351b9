// The model quantities (relative risks, the prevalence map), the negative log-likelihood
// (worked examples, identities over families and data, the fast evaluator against the
// literal one) and the score vector against finite differences.

#include "model/likelihood.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "model/repeated_values.hpp"
#include "model/oracles.hpp"
#include "support/families.hpp"
#include "support/finite_differences.hpp"

namespace quillon {
namespace {

using namespace test_support;

// Both evaluators on one table; they must agree to the last bit.
double both(const Settings& s, const FamilyTable& t, const DVector& theta) {
    const double reference = loglik(s, t, theta);
    EXPECT_EQ(Likelihood(s, t)(theta), reference);
    return reference;
}

TEST(Loglik, SingleFamilyExamples) {
    const Settings s = make_settings(0, kAdditive, kNone);
    const DVector theta = make_vector({0.0, 0.0});  // gamma = (0.25, 0.5, 0.25)
    FamilyTable a = make_table(make_family(1, 0, {1, 1, 1}));  // (0.5 * 0.5) * 0.5
    EXPECT_EQ(both(s, a, theta), -std::log(0.125));
    FamilyTable b = make_table(make_family(1, 0, {-1, 0, 1}));  // pairs (1, 0), (2, 0): 0.5*0.25*0.5 + 0.25*0.25*1
    EXPECT_EQ(both(s, b, theta), -std::log(0.125));
    // Typed parents pass the checks whatever the children; an impossible child gives log 0.
    FamilyTable misfit = make_table(make_family(1, 0, {2, 2, 0}));
    EXPECT_EQ(both(s, misfit, theta), std::numeric_limits<double>::infinity());
    // A typed father with an untyped mother gives the pair (f, -1), which the checks
    // refuse; should it get through, both evaluators raise as phg does.
    FamilyTable untyped = make_table(make_family(1, 0, {1, -1, 1}));
    EXPECT_THROW(Likelihood(s, untyped)(theta), MissingGenotypeError);
    EXPECT_THROW(loglik(s, untyped, theta), MissingGenotypeError);
}

TEST(Loglik, WhatEntersAndWhatDoesNot) {
    TestRng rng(47);
    const Settings s = make_settings(3, kAdditive, kAdditive);
    FamilyTable t = random_table(rng, 8, 3, 3, 7);
    const DVector theta = random_theta(rng, s, 0.5);
    const double before = both(s, t, theta);
    // Phenotypes, weights and the parents' covariates do not enter.
    for (long i = 1; i <= t.nfam; ++i)
        for (int j = 1; j <= t[i].ninfam; ++j) {
            t[i].phenodat[j] = (t[i].phenodat[j] + 1) % 3;
            t[i].weight[j] = 9.0 + j;
            if (j <= 2) t[i].fcovdat[j][2] = 100.0 * rng.normal();
        }
    EXPECT_EQ(both(s, t, theta), before);
    // The children's covariates do, unless every coefficient is 0.
    auto shift_children = [&t](double by) {
        for (long i = 1; i <= t.nfam; ++i)
            for (int j = 3; j <= t[i].ninfam; ++j) t[i].fcovdat[j][2] += by;
    };
    shift_children(0.5);
    EXPECT_NE(both(s, t, theta), before);
    const DVector flat = make_vector({0.0, 0.0, 0.0, theta[4], theta[5]});
    const double at_zero = both(s, t, flat);
    shift_children(-3.0);
    EXPECT_EQ(both(s, t, flat), at_zero);
}

TEST(Likelihood, FastEvaluatorEqualsReferenceExactly) {
    TestRng rng(20240612);
    for (long ncov = 0; ncov <= 3; ++ncov)
        for (int cmodel = kNone; cmodel <= (ncov == 0 ? kNone : kAdditive); ++cmodel) {
            const Settings s = make_settings(ncov, kDominant, cmodel);
            FamilyTable t = random_table(rng, 40, ncov, 3, 7);
            const Likelihood fast(s, t);
            for (int trial = 0; trial < 25; ++trial) {
                const DVector theta = random_theta(rng, s, trial < 20 ? 0.7 : 4.0);
                EXPECT_EQ(fast(theta), loglik(s, t, theta)) << "ncov " << ncov << " cmodeltype " << cmodel;
            }
        }
    // Recessive has b1 = 0, yet 0.0 * inf is not a number: no shortcut to nu1 = 1 then.
    const Settings s = make_settings(3, kAdditive, kRecessive);
    FamilyTable t = random_table(rng, 5, 3, 3, 7);
    t[2].fcovdat[t[2].ninfam][3] = std::numeric_limits<double>::infinity();
    const DVector theta = random_theta(rng, s, 0.5);
    EXPECT_TRUE(std::isnan(Likelihood(s, t)(theta)));
    EXPECT_TRUE(std::isnan(loglik(s, t, theta)));
}

TEST(Prevalences, ArctangentMapWithLiteralConstants) {
    double g[3];
    prevalences_from(0.0, 0.0, g);  // 1.570795 is exactly half of 3.14159 in binary too
    EXPECT_EQ(std::vector<double>(g, g + 3), (std::vector<double>{0.25, 0.5, 0.25}));
    prevalences_from(0.17, 0.175, g);  // reference values given to 5 decimals
    EXPECT_NEAR(g[1], 0.55360, 5e-6);
    EXPECT_NEAR(g[2], 0.24782, 5e-6);
    EXPECT_NEAR(g[0], 0.19858, 5e-6);
}

TEST(Mkuih, EveryEntryIsTheDerivativeItClaims) {
    // Step 1e-5: truncation about 1e-10 times the third derivative, rounding about
    // 1e-16 * 10 / 1e-5 = 1e-10; 1e-7 leaves room and still catches any wrong term.  The
    // prior is differentiated with step 1e-7: rounding 1e-9, truncation 1e-14 / gamma^3.
    const double h = 1e-5, tol = 1e-7;
    TestRng rng(99);
    for (int smodel = kRecessive; smodel <= kAdditive; ++smodel)
        for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel)
            for (int trial = 0; trial < 6; ++trial) {
                SCOPED_TRACE("smodel " + std::to_string(smodel) + " cmodel " + std::to_string(cmodel));
                const Settings s = make_settings(3, smodel, cmodel);
                famdat fam = random_family(rng, trial, 3, 3, 8);
                DVector theta = random_theta(rng, s, 0.6);
                // A full assignment: one of the family's compatible pairs and its children.
                const int pair = rng.between(1, fam.npgeno);
                IVector g = ivector(1, fam.ninfam);
                for (int j = 1; j <= fam.ninfam; ++j) g[j] = j <= 2 ? fam.pgenos[pair][j] : fam.famgeno[j];
                const double g1 = 0.1 + 0.5 * rng.uniform(), g2 = (1.0 - g1) * (0.1 + 0.8 * rng.uniform());
                const double gammma[3] = {(1.0 - g1) - g2, g1, g2};
                double nu[2 * maxchildren];
                const ChildRisks risks{nu};
                mkfindiv(s, theta, fam, nu);
                DVector uih = vector(1, static_cast<int>(s.npars) + 1);
                mkuih(s, gammma, fam, risks, g, uih);

                // sum_j c_j log phgz(f, m, g_j, nu1j e^(alpha cchu1[1]), nu2j e^(alpha cchu1[2]))
                // with the relative risks at theta; c_j the weight (status entry) or 1.
                auto log_children = [&](double alpha, bool weighted) {
                    mkfindiv(s, theta, fam, nu);
                    double sum = 0.0;
                    for (int j = 3; j <= fam.ninfam; ++j) {
                        const double nu1 = risks.nu1(j) * std::exp(alpha * s.cchu1[1]);
                        const double nu2 = risks.nu2(j) * std::exp(alpha * s.cchu1[2]);
                        sum += (weighted ? fam.weight[j] : 1.0) * std::log(phgz(g[1], g[2], g[j], nu1, nu2));
                    }
                    return sum;
                };
                EXPECT_NEAR(uih[1], central([&](double a) { return log_children(a, true); }, 0.0, h), tol);
                for (long k = 1; k <= s.npars - 2; ++k)
                    EXPECT_NEAR(uih[k + 1], central([&](const DVector&) { return log_children(0.0, false); }, theta, k, h), tol)
                        << "coefficient " << k;
                // The prevalence entries: derivatives of log(gamma_f gamma_m) in gamma1, gamma2.
                auto log_prior = [&](double x1, double x2) {
                    const double gam[3] = {1.0 - x1 - x2, x1, x2};
                    return std::log(gam[g[1]] * gam[g[2]]);
                };
                EXPECT_NEAR(uih[s.npars], central([&](double v) { return log_prior(v, g2); }, g1, 1e-7), 1e-6);
                EXPECT_NEAR(uih[s.npars + 1], central([&](double v) { return log_prior(g1, v); }, g2, 1e-7), 1e-6);
            }
}

// The logs of repeated family likelihoods, each taken once, are the plain loop's doubles, and a
// NaN likelihood (the bits of an empty slot's key among them) still makes the sum NaN.
TEST(RepeatedValues, SumOfLogsIsThePlainLoopAndKeepsNaN) {
    std::vector<double> v;
    for (int i = 0; i < 500; ++i) v.push_back(i % 7 == 0 ? 0.25 : 1.0 / (3.0 + (i * 37) % 101));
    double plain = 0.0;
    for (double x : v) plain = plain + std::log(x);
    EXPECT_EQ(sum_of_logs(v.data(), v.size()), plain);
    v[3] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(sum_of_logs(v.data(), v.size())));
}

}  // namespace
}  // namespace quillon
