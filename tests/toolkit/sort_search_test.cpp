#include "toolkit/sort_search.hpp"

#include <gtest/gtest.h>

#include <tuple>

namespace quillon {
namespace {

TEST(Locate, BracketsInAscendingAndDescendingTables) {
    DVector up = vector(1, 3), down = vector(1, 3);
    for (int i = 1; i <= 3; ++i) up[i] = i, down[i] = 4 - i;
    unsigned long j = 99;
    // xx[j] < x <= xx[j+1] ascending, xx[j] >= x > xx[j+1] descending; 0 and n outside.
    for (const auto& [x, want_up, want_down] :
         {std::tuple{0.5, 0UL, 3UL}, {1.5, 1UL, 2UL}, {2.0, 1UL, 2UL}, {3.0, 2UL, 1UL}, {4.0, 3UL, 0UL}}) {
        locate(up, 3, x, &j);
        EXPECT_EQ(j, want_up) << x;
        locate(down, 3, x, &j);
        EXPECT_EQ(j, want_down) << x;
    }
}

// 101 keys with ties, each record's companions naming its original position i: dk = i,
// cens row (i, -i) moved by handle, timme row (10 i, key).
TEST(Hpsortjh, SortsAscendingAndCompanionsTravelWithTheirKeys) {
    const int n = 101;
    DVector ra = vector(1, n);
    IVector dk = ivector(1, n);
    IMatrix cens = imatrix(1, n, 1, 2);
    DMatrix timme = matrix(1, n, 1, 2);
    auto key = [](int i) { return static_cast<double>((i * 37) % 23) - 11.0; };
    for (int i = 1; i <= n; ++i) ra[i] = timme[i][2] = key(i), dk[i] = cens[i][1] = i, cens[i][2] = -i, timme[i][1] = 10.0 * i;
    hpsortjh(n, ra, dk, cens, timme);
    int seen[n + 1] = {};
    for (int i = 1; i <= n; ++i) {
        const int o = dk[i];
        EXPECT_TRUE(ra[i] == key(o) && cens[i][1] == o && cens[i][2] == -o && timme[i][1] == 10.0 * o && timme[i][2] == ra[i]);
        EXPECT_TRUE(i == 1 || ra[i - 1] <= ra[i]) << i;
        EXPECT_EQ(++seen[o], 1) << o;
    }
}

}  // namespace
}  // namespace quillon
