// Index-range arrays and their allocation failures.  (The report of a fatal numerical error:
// the end-to-end data folder fit_hint_birth_year.)
#include "toolkit/nrarray.hpp"
#include "toolkit/nrerror.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>

namespace quillon {
namespace {

TEST(IndexArrays, AnyLowerBoundReachesFirstAndLastElementOfTheBlock) {
    for (int nl : {-3, 0, 1, 5}) {
        DVector v = vector(nl, nl + 4);
        v[nl] = 1.0, v[nl + 4] = 2.0;
        EXPECT_EQ(v.size(), 5);
        EXPECT_EQ(v.begin_ptr()[0], 1.0);
        EXPECT_EQ(v.begin_ptr()[4], 2.0);
    }
    EXPECT_EQ(ivector(1, 0).size(), 0);  // an empty range is a valid allocation
}

TEST(IndexArrays, RowExchangeKeepsRowsWholeAndReleaseIgnoresTheUpperBound) {
    DMatrix m = matrix(0, 2, -1, 1);
    for (int i = 0; i <= 2; ++i)
        for (int j = -1; j <= 1; ++j) m[i][j] = 10.0 * i + j;
    const double* row0 = m[0].begin_ptr();
    std::swap(m[0], m[2]);
    for (int j = -1; j <= 1; ++j) {
        EXPECT_EQ(m[0][j], 20.0 + j);
        EXPECT_EQ(m[2][j], 0.0 + j);
    }
    EXPECT_EQ(m[2].begin_ptr(), row0);  // the handle moved, not the elements
    free_matrix(m, 0, 2, -1, 1);
    EXPECT_FALSE(m.allocated());
    DVector v = vector(1, 10);
    free_vector(v, 1, 99);
    EXPECT_FALSE(v.allocated());
}

// Extreme bounds once overflowed the range length; they must fail with the texts.
TEST(IndexArrays, ImpossibleAllocationsEndWithTheAllocationTexts) {
    auto failure_text = [](auto allocate) -> std::string {
        try {
            allocate();
        } catch (const NumericalError& e) {
            return e.what();
        }
        return "";
    };
    EXPECT_EQ(failure_text([] { vector(INT_MIN, INT_MAX); }), "allocation failure in vector()");
    EXPECT_EQ(failure_text([] { lvector(1L, LONG_MAX); }), "allocation failure in vector()");
    EXPECT_EQ(failure_text([] { ivector(5, 2); }), "allocation failure in vector()");  // negative length
    // The row handles first, then each row.
    EXPECT_EQ(failure_text([] { matrix(INT_MIN, INT_MAX, 1, 1); }), "allocation failure 1 in matrix()");
    EXPECT_EQ(failure_text([] { flmatrix(1L, 2L, 1L, LONG_MAX / 2); }), "allocation failure 2 in matrix()");
}

}  // namespace
}  // namespace quillon
