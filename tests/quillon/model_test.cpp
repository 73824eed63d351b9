// Member relative risks for every covariate model, expected codings and the prevalence map.

#include "quillon/model.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "test_families.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(Mkfindiv, RelativeRisksForEveryCovariateModel) {
    TestRng rng(7);
    for (int trial = 0; trial < 20; ++trial) {
        famdat fam = random_family(rng, trial, 3, 5, 5);
        DVector theta = vector(1, 8);
        for (int i = 1; i <= 8; ++i) theta[i] = rng.normal();
        auto exp_dot = [&](int j, int offset) {  // exp(sum_i theta[offset + i] x_ji), same order
            double sum = 0.0;
            for (int i = 1; i <= 3; ++i) sum += theta[offset + i] * fam.fcovdat[j][i];
            return std::exp(sum);
        };
        mkfindiv(make_settings(3, kAdditive, kNone), theta, fam);  // b1 = theta[1..3], b2 = theta[4..6]
        for (int j = 1; j <= 5; ++j) {
            EXPECT_EQ(fam.findiv[j][2], exp_dot(j, 0));
            EXPECT_EQ(fam.findiv[j][3], exp_dot(j, 3));
        }
        mkfindiv(make_settings(3, kAdditive, kRecessive), theta, fam);  // b1 = 0, b2 = beta
        for (int j = 1; j <= 5; ++j) {
            EXPECT_EQ(fam.findiv[j][2], 1.0);
            EXPECT_EQ(fam.findiv[j][3], exp_dot(j, 0));
        }
        mkfindiv(make_settings(3, kAdditive, kDominant), theta, fam);  // b1 = b2 = beta
        for (int j = 1; j <= 5; ++j) EXPECT_EQ(fam.findiv[j][3], fam.findiv[j][2]);
        mkfindiv(make_settings(3, kRecessive, kAdditive), theta, fam);  // b2 = 2 beta: nu2 = nu1^2
        for (int j = 1; j <= 5; ++j)
            EXPECT_NEAR(fam.findiv[j][3] / (fam.findiv[j][2] * fam.findiv[j][2]), 1.0, 1e-14);  // two exp roundings
    }
}

TEST(Mkfindiv, ExamplesAndWeights) {
    // None, theta = (0.1, 0.2, 0.3, 0.4, eta1, eta2), covariates (1, 2): exp(0.5), exp(1.1).
    famdat fam = make_family(1, 2, {{0, 0, 2.5, {1.0, 2.0}}, {0, 2, 0.7, {1.0, 2.0}}, {0, 1, 1.3, {1.0, 2.0}}});
    mkfindiv(make_settings(2, kAdditive, kNone), make_vector({0.1, 0.2, 0.3, 0.4, 0.0, 0.0}), fam);
    EXPECT_DOUBLE_EQ(fam.findiv[3][2], std::exp(0.5));
    EXPECT_DOUBLE_EQ(fam.findiv[3][3], std::exp(1.1));
    // A missing phenotype loses its weight; the others keep theirs.
    EXPECT_EQ(fam.findiv[1][4], 0.0);
    EXPECT_EQ(fam.findiv[2][4], 0.7);
    EXPECT_EQ(fam.findiv[3][4], 1.3);
    // No covariates: both risks exactly 1.
    famdat plain = make_family(2, 0, {1, 1, 2});
    mkfindiv(make_settings(0, kDominant, kNone), make_vector({0.4, -1.2}), plain);
    EXPECT_EQ(plain.findiv[3][2], 1.0);
    EXPECT_EQ(plain.findiv[3][3], 1.0);
}

TEST(Mkmuijg, ExpectedCodings) {
    const int p11[3] = {0, 1, 1}, p00[3] = {0, 0, 0}, p22[3] = {0, 2, 2}, p01[3] = {0, 0, 1};
    // cmodeltype chooses the coding of mkmuijg, smodeltype that of mkmuu1ijg.
    const Settings add_rec = make_settings(1, kRecessive, kAdditive);
    const Settings dom_add = make_settings(1, kAdditive, kDominant);
    EXPECT_EQ(mkmuijg(add_rec, p11, 1.0, 1.0), 1.0);
    EXPECT_EQ(mkmuu1ijg(add_rec, p11, 1.0, 1.0), 0.25);
    EXPECT_EQ(mkmuijg(dom_add, p11, 1.0, 1.0), 0.75);
    EXPECT_EQ(mkmuijg(add_rec, p00, 3.0, 0.2), 0.0);
    EXPECT_EQ(mkmuijg(add_rec, p22, 3.0, 0.2), 2.0);
    EXPECT_EQ(mkmuu1ijg(dom_add, p22, 3.0, 0.2), 2.0);
    EXPECT_EQ(mkmuijg(add_rec, p01, 2.0, 5.0), 1.0 / 1.5);  // the child is 1 with probability 1 / 1.5
}

TEST(Prevalences, ArctangentMapWithLiteralConstants) {
    double g[3];
    prevalences_from(0.0, 0.0, g);  // 1.570795 is exactly half of 3.14159 in binary too
    EXPECT_EQ(g[0], 0.25);
    EXPECT_EQ(g[1], 0.5);
    EXPECT_EQ(g[2], 0.25);
    prevalences_from(0.17, 0.175, g);  // reference values given to 5 decimals
    EXPECT_NEAR(g[1], 0.55360, 5e-6);
    EXPECT_NEAR(g[2], 0.24782, 5e-6);
    EXPECT_NEAR(g[0], 0.19858, 5e-6);
    // Not clamped: since 1.570795 < pi/2 the limits lie just outside [0, 1].
    prevalences_from(-1e300, 0.0, g);
    EXPECT_NEAR(g[1], -4.2233e-7, 1e-11);
    prevalences_from(1e300, 0.0, g);
    EXPECT_NEAR(g[1], 1.00000042, 1e-8);
}

}  // namespace
}  // namespace quillon
