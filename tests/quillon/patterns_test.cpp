#include "genetics/patterns.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "test_families.hpp"

namespace quillon {
namespace {

using Pairs = std::vector<std::pair<int, int>>;

// gx on the genotypes father, mother, children... in family order.
Pairs pairs_of(std::initializer_list<int> genotypes) {
    const famdat fam = test_support::make_family(99, 0, genotypes);
    Pairs p;
    for (int k = 1; k <= fam.npgeno; ++k) p.emplace_back(fam.pgenos[k][1], fam.pgenos[k][2]);
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
    const GenotypeTable t = test_support::built_genotype_table();
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
