#include "quillon/patterns.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quillon {
namespace {

using Pairs = std::vector<std::pair<int, int>>;

// gx on the genotypes father, mother, children... in family order.
Pairs pairs_of(const std::vector<int>& genotypes) {
    const int n = static_cast<int>(genotypes.size());
    IVector g = ivector(1, n);
    for (int i = 1; i <= n; ++i) g[i] = genotypes[static_cast<std::size_t>(i - 1)];
    ParentPairs out;
    gx(g, n, 99, out);
    Pairs p;
    for (int j = 1; j <= out.unpgeno; ++j) p.emplace_back(out.upgenos[j][1], out.upgenos[j][2]);
    return p;
}

TEST(Gx, ListsThePairsThatExplainTheObservedGenotypes) {
    EXPECT_EQ(pairs_of({-1, 0, 0, 1}), (Pairs{{1, 0}}));
    EXPECT_EQ(pairs_of({-1, -1, 0, 2}), (Pairs{{1, 1}}));
    EXPECT_EQ(pairs_of({-1, -1, 0, 1, 2}), (Pairs{{1, 1}}));
    EXPECT_EQ(pairs_of({-1, -1, 1, 1, 1}), (Pairs{{0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}}));
    EXPECT_EQ(pairs_of({-1, 1, 2, 2}), (Pairs{{1, 1}, {2, 1}}));
    EXPECT_EQ(pairs_of({-1, 2, 0}), Pairs{});
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
    GenotypeTable t = allocate_genotype_table();
    IVector BB = ivector(1, maxfamilysize);
    BB.fill(0);
    makeGT(t, BB, 0);
    ASSERT_EQ(t.cntb, 59049);
    for (int j = 1; j <= 10; ++j) {
        EXPECT_EQ(t.GT[1][j], 0);
        EXPECT_EQ(t.GT[59049][j], 2);
        EXPECT_EQ(t.GT[4][j], j == 9 ? 1 : 0);
    }
    // n = 4, father 1, mother 2: rows 46..54 end in 1, 2 and every pair of children.
    const int n = 4, f = 1, m = 2;
    const long k1 = f * t.powrdx[n - 1] + m * t.powrdx[n - 2] + 1;
    const long k2 = f * t.powrdx[n - 1] + (m + 1) * t.powrdx[n - 2];
    ASSERT_EQ(k1, 46);
    ASSERT_EQ(k2, 54);
    for (long r = k1; r <= k2; ++r) {
        EXPECT_EQ(t.GT[r][6], 0);
        EXPECT_EQ(t.GT[r][7], 1);
        EXPECT_EQ(t.GT[r][8], 2);
        EXPECT_EQ(t.GT[r][9] * 3 + t.GT[r][10], r - k1);
    }
}

}  // namespace
}  // namespace quillon
