// Posterior of the compatible parental pairs.

#include "genetics/posterior.hpp"

#include <gtest/gtest.h>

#include "model/model.hpp"
#include "genetics/patterns.hpp"
#include "test_families.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(Fpi, Examples) {
    const Settings s = make_settings(0, kAdditive, kNone);
    const double gamma_a[3] = {0.25, 0.5, 0.25}, gamma_b[3] = {0.5, 0.3, 0.2};
    DMatrix out = matrix(1, 27, 1, 3);
    out.fill(-7.0);
    // A single pair has posterior 1; later rows keep what they held.
    famdat typed = make_family(1, 0, {2, 1, 1, 2});
    mkfindiv(s, make_vector({0.0, 0.0}), typed);
    fpi(gamma_a, typed, typed.famgeno, typed.pgenos, typed.npgeno, out);
    EXPECT_TRUE(out[1][1] == 2.0 && out[1][2] == 1.0 && out[1][3] == 1.0 && out[2][3] == -7.0);
    // Pairs (1, 0), (2, 0), one child 1, risks 1: 0.0625 and 0.0625 under gamma_a, 0.075 and
    // 0.1 under gamma_b.  The parents' entries of the genotype vector are not read.
    famdat fam = make_family(2, 0, {-1, 0, 1});
    mkfindiv(s, make_vector({0.0, 0.0}), fam);
    fpi(gamma_a, fam, fam.famgeno, fam.pgenos, fam.npgeno, out);
    EXPECT_TRUE(out[2][1] == 2.0 && out[2][2] == 0.0 && out[1][3] == 0.5 && out[2][3] == 0.5);
    fam.famgeno[1] = 2;
    fam.famgeno[2] = -1;
    fpi(gamma_b, fam, fam.famgeno, fam.pgenos, fam.npgeno, out);
    EXPECT_DOUBLE_EQ(out[1][3], 0.075 / 0.175);
    EXPECT_DOUBLE_EQ(out[2][3], 0.1 / 0.175);
}

TEST(Fpi, PosteriorsSumToOne) {
    TestRng rng(5);
    const Settings s = make_settings(2, kAdditive, kNone);
    DMatrix out = matrix(1, 27, 1, 3);
    for (int trial = 0; trial < 100; ++trial) {
        famdat fam = random_family(rng, trial, 2, 3, 9);
        mkfindiv(s, random_theta(rng, s, 1.0), fam);
        const double g1 = 0.05 + 0.6 * rng.uniform();
        const double g2 = (1.0 - g1) * (0.05 + 0.9 * rng.uniform());
        const double gammma[3] = {(1.0 - g1) - g2, g1, g2};
        // The pairs gx lists for the children alone, as the information step passes them.
        fam.famgeno[1] = fam.famgeno[2] = -1;
        ParentPairs pairs;
        gx(fam.famgeno, fam.ninfam, fam.famid, pairs);
        fpi(gammma, fam, fam.famgeno, pairs.upgenos, pairs.unpgeno, out);
        double sum = 0.0;
        for (int i = 1; i <= pairs.unpgeno; ++i) sum += out[i][3];
        EXPECT_NEAR(sum, 1.0, 1e-14);  // at most nine quotients of one total, an ulp or two each
    }
}

}  // namespace
}  // namespace quillon
