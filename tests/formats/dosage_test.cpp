// Dosages, probabilities and likelihoods of one person: PLINK 2's hard calls at the points
// where its rounding decides, hand values of the prior division and the floor, and the
// malformed values that leave a person untyped.
#include <gtest/gtest.h>

#include <cmath>

#include "formats/dosage.hpp"

namespace quillon {
namespace {

double units(double u) { return u / 16384.0; }

TEST(HardCalls, AgreeWithPlinkTwoAtTiesAndRoundingBoundaries) {
    // The calls plink2 --hard-call-threshold 0.1 made of these dosages (in 1/16384 units).
    EXPECT_EQ(hard_call(units(1637.5), 0.1), 0);  // rounds to 1638: within 1638.4
    EXPECT_EQ(hard_call(units(1638.25), 0.1), 0);
    EXPECT_EQ(hard_call(units(1638.75), 0.1), -1);  // rounds to 1639
    EXPECT_EQ(hard_call(units(1639), 0.1), -1);
    EXPECT_EQ(hard_call(units(14746.5), 0.1), 1);
    EXPECT_EQ(hard_call(units(31130.5), 0.1), 2);
    // The ties of GP (0, 0.9, 0.1), (0.9, 0.1, 0), (0.45, 0.1, 0.45), through the reading.
    const double ties[][3] = {{0, 0.9, 0.1}, {0.9, 0.1, 0}, {0.45, 0.1, 0.45}, {0.5, 0.2, 0.1}, {0.1, 0.85, 0.1}};
    const int calls[] = {1, 0, 1, -1, 1};
    for (int i = 0; i < 5; ++i) {
        GenotypeVector p{};
        ASSERT_EQ(read_gp(ties[i], 3, p), FieldRead::kOk);
        EXPECT_EQ(hard_call(expected_dosage(p), 0.1), calls[i]) << i;
    }
    EXPECT_EQ(hard_call(1.0, 0.0), 1);
    EXPECT_EQ(hard_call(0.99, 0.0), -1);
    EXPECT_EQ(hard_call(2.5, 0.4), -1);
    EXPECT_EQ(hard_call(std::nan(""), 0.4), -1);
}

TEST(Likelihoods, PriorDividedOutAndFloored) {
    // At q = 0.5 the prior is (1/4, 1/2, 1/4): (0.2, 0.5, 0.3) becomes (0.8, 1, 1.2) / 3.
    const GenotypeVector l = divide_prior({0.2, 0.5, 0.3}, 0.5);
    EXPECT_NEAR(l[0], 0.8 / 3, 1e-15);
    EXPECT_NEAR(l[1], 1.0 / 3, 1e-15);
    EXPECT_NEAR(l[2], 1.2 / 3, 1e-15);
    const GenotypeVector f = floor_vector({1.0, 0.0, 0.0}, 0.003);
    EXPECT_DOUBLE_EQ(f[0], 0.998);
    EXPECT_DOUBLE_EQ(f[1], 0.001);
    // A posterior built from a likelihood and the Hardy-Weinberg prior gives the likelihood back.
    const GenotypeVector like{0.05, 0.6, 0.35};
    for (const double q : {0.03, 0.4, 0.92}) {
        const GenotypeVector hw = hardy_weinberg(q);
        const double z = like[0] * hw[0] + like[1] * hw[1] + like[2] * hw[2];
        const GenotypeVector back = divide_prior({like[0] * hw[0] / z, like[1] * hw[1] / z, like[2] * hw[2] / z}, q);
        for (int g = 0; g < 3; ++g) EXPECT_NEAR(back[g], like[g], 1e-14) << q;
    }
}

TEST(Likelihoods, FieldsReadOrRefused) {
    GenotypeVector v{};
    const double pl[] = {10, 0, 30}, gl[] = {-1, 0, -3};
    for (const auto& [values, phred] : {std::pair{pl, true}, std::pair{gl, false}}) {
        ASSERT_EQ(read_likelihoods(values, 3, phred, v), FieldRead::kOk);
        EXPECT_NEAR(v[0], 0.1 / 1.101, 1e-15);
        EXPECT_NEAR(v[2], 0.001 / 1.101, 1e-15);
    }
    const double haploid[] = {0.3, 0.9};
    ASSERT_EQ(read_gp(haploid, 2, v), FieldRead::kOk);
    EXPECT_DOUBLE_EQ(v[0], 0.25);
    EXPECT_EQ(v[1], 0.0);
    EXPECT_EQ(best_guess(v), 2);
    const double nan = std::nan(""), inf = INFINITY;
    const double bad_gp[][3] = {{-0.1, 0.6, 0.5}, {nan, 0.5, 0.5}, {0, 0, 0}, {inf, 0, 0}};
    for (const auto& b : bad_gp) EXPECT_EQ(read_gp(b, 3, v), FieldRead::kMalformed) << b[0];
    const double bad_pl[][3] = {{2147483647, 0, 1}, {-1, 0, 3}, {0.5, 0, 2}};
    for (const auto& b : bad_pl) EXPECT_EQ(read_likelihoods(b, 3, true, v), FieldRead::kMalformed) << b[0];
    const double four[] = {0.25, 0.25, 0.25, 0.25}, missing[] = {nan};
    EXPECT_EQ(read_gp(four, 4, v), FieldRead::kMalformed);
    EXPECT_EQ(read_gp(missing, 1, v), FieldRead::kMissing);
    double d = 0;
    const double ds_bad[] = {2.01};
    EXPECT_EQ(read_ds(ds_bad, 1, d), FieldRead::kMalformed);
    EXPECT_EQ(read_ds(missing, 1, d), FieldRead::kMissing);
}

}  // namespace
}  // namespace quillon
