// The negative log-likelihood: worked examples, identities over families and data, and the
// fast evaluator against the reference.

#include "model/likelihood.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "toolkit/program_exit.hpp"
#include "test_families.hpp"

namespace quillon {
namespace {

using namespace test_support;

// Both evaluators on one table; they must agree to the last bit.
double both(const Settings& s, FamilyTable& t, const DVector& theta) {
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
    // refuse; should it get through, both evaluators stop as phg does.
    FamilyTable untyped = make_table(make_family(1, 0, {1, -1, 1}));
    testing::internal::CaptureStdout();
    EXPECT_THROW(Likelihood(s, untyped)(theta), ProgramExit);
    EXPECT_THROW(loglik(s, untyped, theta), ProgramExit);
    testing::internal::GetCapturedStdout();
}

TEST(Loglik, AdditiveOverFamilies) {
    TestRng rng(31);
    const Settings s = make_settings(3, kAdditive, kNone);
    FamilyTable all = random_table(rng, 12, 3, 3, 7);
    const DVector theta = random_theta(rng, s, 0.5);
    // Exact: -(a + b + ...) and (-a) + (-b) + ... in the same order round alike.
    double sum_of_singles = 0.0;
    for (long i = 1; i <= all.nfam; ++i) {
        FamilyTable single = make_table(std::move(all[i]));
        sum_of_singles += both(s, single, theta);
        all[i] = std::move(single[1]);
    }
    EXPECT_EQ(both(s, all, theta), sum_of_singles);
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
            t[i].findiv[j][4] = 9.0 + j;
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

}  // namespace
}  // namespace quillon
