// Mendelian transmission (the table, the tilted distribution) and the genotype patterns.  (The
// missing-genotype stop: the likelihood's examples.)  gx itself is checked on every small family by the data checks.

#include "genetics/patterns.hpp"
#include "genetics/transmission.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "support/families.hpp"

namespace quillon {
namespace {

TEST(Phg, TableValues) {
    EXPECT_EQ(phg(1, 1, 1), 0.5);
    EXPECT_EQ(phg(0, 2, 1), 1.0);
    EXPECT_EQ(phg(2, 2, 0), 0.0);
    EXPECT_EQ(phg(1, 2, 2), 0.5);
    for (int f = 0; f <= 2; ++f)
        for (int m = 0; m <= 2; ++m) {
            // A distribution symmetric in the parents whose mean is half the parents' allele
            // count (all entries are exact binary fractions).
            EXPECT_EQ(phg(f, m, 0) + phg(f, m, 1) + phg(f, m, 2), 1.0);
            EXPECT_EQ(phg(f, m, 1) + 2.0 * phg(f, m, 2), 0.5 * (f + m));
            for (int c = 0; c <= 2; ++c) EXPECT_EQ(phg(f, m, c), phg(m, f, c));
        }
}

TEST(Phgz, SumsToOne) {
    test_support::TestRng rng(20240611);
    for (int trial = 0; trial < 200; ++trial) {
        const double nu1 = std::exp(4.0 * rng.normal()), nu2 = std::exp(4.0 * rng.normal());
        for (int f = 0; f <= 2; ++f)
            for (int m = 0; m <= 2; ++m)
                // Two roundings in the shared denominator, one per quotient, two in the sum:
                // about 5 units of 1.1e-16.
                EXPECT_NEAR(phgz(f, m, 0, nu1, nu2) + phgz(f, m, 1, nu1, nu2) + phgz(f, m, 2, nu1, nu2), 1.0, 1e-15);
    }
}

using Pairs = std::vector<std::pair<int, int>>;

// gx on the genotypes father, mother, children... in family order.
Pairs pairs_of(std::initializer_list<int> genotypes) {
    const famdat fam = test_support::make_family(99, 0, genotypes);
    Pairs p;
    for (int k = 1; k <= fam.npgeno; ++k) p.emplace_back(fam.pgenos[k][1], fam.pgenos[k][2]);
    return p;
}

// A typed father's pair is listed unchecked; the data checks refuse "father 2, mother 2,
// child 0" through pair_explains_children.
TEST(Gx, TypedFatherPairIsTakenAsGivenAndCheckedSeparately) {
    EXPECT_EQ(pairs_of({2, 2, 0}), (Pairs{{2, 2}}));
    EXPECT_EQ(pairs_of({1, -1, 2}), (Pairs{{1, -1}}));
    IVector g = ivector(1, 4);
    g[1] = 2, g[2] = 2, g[3] = 0, g[4] = 2;
    EXPECT_FALSE(pair_explains_children(g, 4, 2, 2));
    g[3] = -1;  // an untyped child is no evidence either way
    EXPECT_TRUE(pair_explains_children(g, 4, 2, 2));
}

TEST(MakeGT, RowsSpellTheirIndexInBaseThreeMostSignificantFirst) {
    const GenotypeTable t = build_genotype_table();
    ASSERT_EQ(t.cntb, 59049);
    for (long r = 1; r <= t.cntb; ++r) {
        long index = 0;
        for (int j = 1; j <= 10; ++j) index = 3 * index + t.GT[r][j];
        ASSERT_EQ(index, r - 1);
    }
    // The block of n = 4, father 1, mother 2: rows 46..54.
    const int n = 4, f = 1, m = 2;
    EXPECT_EQ(f * t.powrdx[n - 1] + m * t.powrdx[n - 2] + 1, 46);
    EXPECT_EQ(f * t.powrdx[n - 1] + (m + 1) * t.powrdx[n - 2], 54);
}

}  // namespace
}  // namespace quillon
