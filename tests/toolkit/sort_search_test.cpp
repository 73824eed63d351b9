#include "toolkit/sort_search.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace quillon {
namespace {

unsigned long located(const std::vector<double>& values, double x) {
    DVector xx = vector(1, static_cast<int>(values.size()) + 1);
    for (std::size_t i = 0; i < values.size(); ++i) xx[static_cast<long>(i) + 1] = values[i];
    unsigned long j = 999;
    locate(xx, values.size(), x, &j);
    return j;
}

TEST(Locate, AscendingDescendingSingleAndEmptyTables) {
    const std::vector<double> up = {1, 2, 3}, down = {3, 2, 1}, single = {5};
    const double xs[] = {0.5, 1.0, 1.5, 2.0, 3.0, 4.0};
    const unsigned long up_j[] = {0, 0, 1, 1, 2, 3};    // xx[j] < x <= xx[j+1]
    const unsigned long down_j[] = {3, 3, 2, 2, 1, 0};  // xx[j] >= x > xx[j+1]
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(located(up, xs[k]), up_j[k]) << xs[k];
        EXPECT_EQ(located(down, xs[k]), down_j[k]) << xs[k];
    }
    EXPECT_EQ(located(single, 5.0), 1u);
    EXPECT_EQ(located(single, 6.0), 0u);
    EXPECT_EQ(located({}, 6.0), 0u);
}

// Sorts the first `count` of `keys` with companions that name each key's original position i
// (dk = i, cens row (i, -i), timme row (10 i, key)); checks that every companion stayed beside
// its key, rows moved by handle; returns the keys' original positions in their new order.
std::vector<int> sorted_origins(const std::vector<double>& keys, unsigned long count) {
    const int n = static_cast<int>(keys.size());
    DVector ra = vector(1, n);
    IVector dk = ivector(1, n);
    IMatrix cens = imatrix(1, n, 1, 2);
    DMatrix timme = matrix(1, n, 1, 2);
    std::vector<const int*> rows(static_cast<std::size_t>(n) + 1);
    for (int i = 1; i <= n; ++i) {
        ra[i] = timme[i][2] = keys[static_cast<std::size_t>(i - 1)];
        dk[i] = cens[i][1] = i;
        cens[i][2] = -i;
        timme[i][1] = 10.0 * i;
        rows[static_cast<std::size_t>(i)] = cens[i].begin_ptr();
    }
    hpsortjh(count, ra, dk, cens, timme);
    std::vector<int> origin;
    for (int i = 1; i <= n; ++i) {
        const int o = dk[i];
        EXPECT_TRUE(ra[i] == keys[static_cast<std::size_t>(o - 1)] && cens[i][1] == o && cens[i][2] == -o &&
                    timme[i][1] == 10.0 * o && timme[i][2] == ra[i] && cens[i].begin_ptr() == rows[static_cast<std::size_t>(o)])
            << "record " << i;
        origin.push_back(o);
    }
    return origin;
}

TEST(Hpsortjh, CompanionsTravelWithTheirKeys) {
    EXPECT_EQ(sorted_origins({3.0, 1.0, 2.0}, 3), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(sorted_origins({2.0, 1.0}, 1), (std::vector<int>{1, 2}));  // fewer than two: nothing moves
    EXPECT_EQ(sorted_origins({2.0, 1.0}, 0), (std::vector<int>{1, 2}));
    std::vector<double> keys;  // many records with ties: ascending, and each record once
    for (int i = 0; i < 101; ++i) keys.push_back((i * 37) % 23 - 11.0);
    std::vector<int> origin = sorted_origins(keys, 101);
    for (std::size_t i = 1; i < origin.size(); ++i) EXPECT_LE(keys[origin[i - 1] - 1], keys[origin[i] - 1]);
    std::sort(origin.begin(), origin.end());
    for (int i = 1; i <= 101; ++i) EXPECT_EQ(origin[static_cast<std::size_t>(i - 1)], i);
}

}  // namespace
}  // namespace quillon
