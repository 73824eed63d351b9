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
    EXPECT_EQ(located(single, 4.0), 1u);
    EXPECT_EQ(located(single, 5.0), 1u);
    EXPECT_EQ(located(single, 6.0), 0u);
    EXPECT_EQ(located({}, 6.0), 0u);
}

// Records whose companions all name their original position.
struct Records {
    explicit Records(const std::vector<double>& keys)
        : n(static_cast<int>(keys.size())), ra(vector(1, n)), dk(ivector(1, n)), cens(imatrix(1, n, 1, 2)),
          timme(matrix(1, n, 1, 2)) {
        for (int i = 1; i <= n; ++i) {
            ra[i] = keys[static_cast<std::size_t>(i - 1)];
            dk[i] = cens[i][1] = i;
            cens[i][2] = -i;
            timme[i][1] = 10.0 * i;
            timme[i][2] = ra[i];
        }
    }
    void sort(unsigned long count) { hpsortjh(count, ra, dk, cens, timme); }
    int n;
    DVector ra;
    IVector dk;
    IMatrix cens;
    DMatrix timme;
};

TEST(Hpsortjh, CompanionsTravelWithTheirKeys) {
    Records r({3.0, 1.0, 2.0});
    const int* row_of_key1 = r.cens[2].begin_ptr();
    r.sort(3);
    const int origin[] = {2, 3, 1};
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(r.ra[i], i);
        EXPECT_EQ(r.dk[i], origin[i - 1]);
        EXPECT_EQ(r.cens[i][1], origin[i - 1]);
        EXPECT_EQ(r.cens[i][2], -origin[i - 1]);
        EXPECT_EQ(r.timme[i][1], 10.0 * origin[i - 1]);
    }
    EXPECT_EQ(r.cens[1].begin_ptr(), row_of_key1);  // moved by handle, not copied

    Records few({2.0, 1.0});
    few.sort(1);  // fewer than two records: nothing moves
    few.sort(0);
    EXPECT_EQ(few.ra[1], 2.0);
    EXPECT_EQ(few.dk[1], 1);
}

TEST(Hpsortjh, ManyRecordsWithTiesStayWhole) {
    std::vector<double> keys;
    for (int i = 0; i < 101; ++i) keys.push_back((i * 37) % 23 - 11.0);
    Records r(keys);
    r.sort(101);
    std::vector<int> seen(102, 0);
    for (int i = 1; i <= 101; ++i) {
        if (i > 1) {
            EXPECT_LE(r.ra[i - 1], r.ra[i]);
        }
        const int origin = r.dk[i];
        ASSERT_TRUE(origin >= 1 && origin <= 101);
        ++seen[static_cast<std::size_t>(origin)];
        EXPECT_EQ(r.cens[i][2], -origin);
        EXPECT_EQ(r.timme[i][2], r.ra[i]);
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), 101);
}

}  // namespace
}  // namespace quillon
