// Mendelian transmission (the table, the tilted distribution) and the genotype patterns.  (The
// missing-genotype stop: the likelihood's examples.)  gx itself is checked on every small family by the data checks.

#include "genetics/patterns.hpp"
#include "genetics/transmission.hpp"
#include "genetics/x_inheritance.hpp"

#include <gtest/gtest.h>

#include <algorithm>
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

// store_consistent_pairs reads its pairs from a table: for every family of two parents and
// three children (codes -1..2) the same verdict and pairs as gx and pair_explains_children.
TEST(Gx, ConsistentPairsAreGxsForEveryFamilyOfThreeChildren) {
    for (int code = 0; code < 1024; ++code) {
        famdat fam;
        fam.ninfam = 5;
        fam.famgeno = ivector(1, 5);
        for (int i = 1, c = code; i <= 5; ++i, c /= 4) fam.famgeno[i] = c % 4 - 1;
        const int f = fam.famgeno[1], m = fam.famgeno[2];
        ParentPairs gx_pairs;
        gx(fam.famgeno, 5, 0, gx_pairs);
        const bool consistent =
            gx_pairs.unpgeno > 0 && (f == -1 || m == -1 || pair_explains_children(fam.famgeno, 5, f, m));
        ASSERT_EQ(store_consistent_pairs(fam), consistent) << code;
        for (int k = 1; consistent && k <= std::max(fam.npgeno, gx_pairs.unpgeno); ++k)
            EXPECT_TRUE(k <= fam.npgeno && fam.pgenos[k][1] == gx_pairs.upgenos[k][1] &&
                        fam.pgenos[k][2] == gx_pairs.upgenos[k][2])
                << code << " pair " << k;
    }
}

// X: a son takes one of his mother's alleles, a daughter her father's and one of her
// mother's; the pairs are (father's allele, mother's genotype).
TEST(XInheritance, TransmissionAndCompatiblePairs) {
    for (int a = 0; a <= 1; ++a)
        for (int m = 0; m <= 2; ++m) {
            EXPECT_EQ(x_transmission(1, a, m, 0) + x_transmission(1, a, m, 1), 1.0);
            EXPECT_EQ(x_transmission(2, a, m, a) + x_transmission(2, a, m, a + 1), 1.0);
        }
    EXPECT_EQ(x_transmission(2, 1, 1, 2), 0.5);
    EXPECT_EQ(x_transmission(2, 1, 2, 0), 0.0);  // she must carry her father's allele
    EXPECT_EQ(x_transmission(1, 0, 2, 0), 0.0);
    using test_support::Member;
    auto P = [](int g) { Member m; m.geno = g; return m; };
    auto C = [](int g, int sex) { Member m; m.geno = g; m.pheno = 2; m.sex = sex; return m; };
    auto pairs = [](std::vector<Member> members) {
        famdat fam = test_support::make_family(1, 0, members);
        fam.npgeno = -1;
        const bool ok = x_store_consistent_pairs(fam);
        Pairs p;
        for (int k = 1; ok && k <= fam.npgeno; ++k) p.emplace_back(fam.pgenos[k][1], fam.pgenos[k][2]);
        return std::make_pair(ok, p);
    };
    // Untyped parents, a son of allele 1 and a daughter homozygous 0: mother heterozygous,
    // father 0.
    EXPECT_EQ(pairs({P(-1), P(-1), C(1, 1), C(0, 2)}), std::make_pair(true, Pairs{{0, 1}}));
    EXPECT_EQ(pairs({P(-1), P(-1), C(2, 2)}), std::make_pair(true, Pairs{{1, 1}, {1, 2}}));
    EXPECT_EQ(pairs({P(-1), P(1), C(0, 1)}), std::make_pair(true, Pairs{{0, 1}, {1, 1}}));
    // Mendel errors: a daughter without her father's allele, a son his mother cannot have,
    // a male coded 2.
    EXPECT_FALSE(pairs({P(1), P(-1), C(0, 2)}).first);
    EXPECT_FALSE(pairs({P(-1), P(0), C(1, 1)}).first);
    EXPECT_FALSE(pairs({P(-1), P(-1), C(2, 1)}).first);
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
