// Member relative risks for every covariate model, expected codings and the prevalence map.

#include "model/model.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "test_families.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(Mkfindiv, ExamplesForEveryCovariateModelAndWeights) {
    // Covariates (1, 2), theta = (0.1, 0.2, 0.3, 0.4, eta1, eta2).  None: b1.x = 0.5 and
    // b2.x = 1.1.  The others: beta = (0.1, 0.2), beta.x = 0.5, b_g = cch[g] beta.
    const double e5 = std::exp(0.5);
    const double want[4][2] = {{e5, std::exp(1.1)}, {1.0, e5}, {e5, e5}, {e5, std::exp(1.0)}};
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel) {
        famdat fam = make_family(1, 2, {{0, 0, 2.5, {1.0, 2.0}}, {0, 2, 0.7, {1.0, 2.0}}, {0, 1, 1.3, {1.0, 2.0}}});
        mkfindiv(make_settings(2, kAdditive, cmodel), make_vector({0.1, 0.2, 0.3, 0.4, 0.0, 0.0}), fam);
        const double nu1 = fam.findiv[3][2], nu2 = fam.findiv[3][3];
        EXPECT_DOUBLE_EQ(nu1, want[cmodel][0]) << cmodel;
        EXPECT_DOUBLE_EQ(nu2, want[cmodel][1]) << cmodel;
        EXPECT_TRUE((cmodel != kRecessive || nu1 == 1.0) && (cmodel != kDominant || nu1 == nu2)) << cmodel;  // exactly
        // A missing phenotype loses its weight; the others keep theirs.
        EXPECT_TRUE(fam.findiv[1][4] == 0.0 && fam.findiv[2][4] == 0.7 && fam.findiv[3][4] == 1.3);
    }
    // Summed from 0.0 in ascending index: 1 + 1e16 rounds to 1e16, so x = (1, 1e16, -1e16)
    // with beta = (1, 1, 1) gives exactly 0 and nu = 1; any other order gives 1 and nu = e.
    famdat big = make_family(2, 3, std::vector<Member>(3, Member{0, 1, 1.0, {1.0, 1e16, -1e16}}));
    mkfindiv(make_settings(3, kAdditive, kDominant), make_vector({1.0, 1.0, 1.0, 0.0, 0.0}), big);
    EXPECT_EQ(big.findiv[3][2], 1.0);
    // No covariates: both risks exactly 1.
    famdat plain = make_family(3, 0, {1, 1, 2});
    mkfindiv(make_settings(0, kDominant, kNone), make_vector({0.4, -1.2}), plain);
    EXPECT_TRUE(plain.findiv[3][2] == 1.0 && plain.findiv[3][3] == 1.0);
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
    EXPECT_EQ(std::vector<double>(g, g + 3), (std::vector<double>{0.25, 0.5, 0.25}));
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
