#include "toolkit/linalg.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace quillon {
namespace {

// Entries uniform in [-1, 1) from a fixed seed, independent of library distributions.
DMatrix random_matrix(int m, int n, std::mt19937& gen) {
    DMatrix a = matrix(1, m, 1, n);
    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= n; ++j) a[i][j] = static_cast<double>(gen()) / 2147483648.0 - 1.0;
    return a;
}

DMatrix copy_of(const DMatrix& a, int m, int n) {
    DMatrix c = matrix(1, m, 1, n);
    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= n; ++j) c[i][j] = a[i][j];
    return c;
}

double max_abs_difference(const DMatrix& a, const DMatrix& b, int m, int n) {
    double big = 0.0;
    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= n; ++j) big = std::max(big, std::fabs(a[i][j] - b[i][j]));
    return big;
}

// H1 diag(s) H2 with H = I - 2 u u^T / u^T u for random u: a matrix with singular values s.
DMatrix with_singular_values(const std::vector<double>& s, std::mt19937& gen) {
    const int n = static_cast<int>(s.size());
    DMatrix h[2];
    for (DMatrix& hk : h) {
        const DMatrix u = random_matrix(n, 1, gen);
        double uu = 0.0;
        for (int i = 1; i <= n; ++i) uu += u[i][1] * u[i][1];
        hk = matrix(1, n, 1, n);
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j) hk[i][j] = (i == j ? 1.0 : 0.0) - 2.0 * u[i][1] * u[j][1] / uu;
    }
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) h[0][i][j] *= s[static_cast<std::size_t>(j - 1)];
    DMatrix a = matrix(1, n, 1, n);
    mltmm(h[0], n, n, h[1], n, a);
    return a;
}

TEST(Products, ValuesAndSummationFromTheFirstIndexUp) {
    // Row (1, 1e16, -1e16) against ones: 1 + 1e16 rounds to 1e16, so summing from k = 1
    // gives 0; any other order gives 1.  Column 2 of the second operand checks placement.
    DMatrix row = matrix(1, 1, 1, 3), col = matrix(1, 3, 1, 2), rowt = matrix(1, 3, 1, 1);
    DMatrix colt = matrix(1, 2, 1, 3), out = matrix(1, 1, 1, 2);
    DVector ones = vector(1, 3), r = vector(1, 1);
    const double terms[] = {1.0, 1e16, -1e16};
    for (int k = 1; k <= 3; ++k) {
        row[1][k] = rowt[k][1] = terms[k - 1];
        col[k][1] = colt[1][k] = ones[k] = 1.0;
        col[k][2] = colt[2][k] = k;
    }
    for (int product = 0; product < 3; ++product) {
        if (product == 0) mltmm(row, 1, 3, col, 2, out);
        if (product == 1) mlttmm(rowt, 3, 1, col, 2, out);
        if (product == 2) mltmmt(row, 1, 3, colt, 2, out);
        EXPECT_EQ(out[1][1], 0.0) << product;
        EXPECT_EQ(out[1][2], 1.0 + 2e16 - 3e16) << product;
    }
    mltmv(row, 1, 3, ones, r);
    EXPECT_EQ(r[1], 0.0);
}

// svdcmp on a copy of a (m x n): a = U diag(w) V^T to 1e-12 relative, w >= 0, V orthogonal,
// columns of U with w > 0 orthonormal.  The reduction is backward stable, so the errors are
// a small multiple of n eps |a|, far inside these bounds for n <= 12.  Returns w sorted.
std::vector<double> check_svd(const DMatrix& a, int m, int n) {
    DMatrix u = copy_of(a, m, n), v = matrix(1, n, 1, n);
    DVector w = vector(1, n);
    svdcmp(u, m, n, w, v);
    DMatrix uw = copy_of(u, m, n), back = matrix(1, m, 1, n), vtv = matrix(1, n, 1, n), utu = matrix(1, n, 1, n);
    double scale = 0.0, wmax = 0.0;
    for (int j = 1; j <= n; ++j) {
        EXPECT_GE(w[j], 0.0);
        wmax = std::max(wmax, w[j]);
        for (int i = 1; i <= m; ++i) {
            uw[i][j] *= w[j];
            scale = std::max(scale, std::fabs(a[i][j]));
        }
    }
    mltmmt(uw, m, n, v, n, back);
    EXPECT_LE(max_abs_difference(back, a, m, n), 1e-12 * scale) << m << " x " << n;
    mlttmm(v, n, n, v, n, vtv);
    mlttmm(u, m, n, u, n, utu);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            EXPECT_NEAR(vtv[i][j], i == j ? 1.0 : 0.0, 1e-13);
            if (w[i] > 1e-10 * wmax && w[j] > 1e-10 * wmax) {
                EXPECT_NEAR(utu[i][j], i == j ? 1.0 : 0.0, 1e-13);
            }
        }
    std::vector<double> values(w.begin_ptr(), w.begin_ptr() + n);
    std::sort(values.begin(), values.end());
    return values;
}

TEST(Svdcmp, RandomRankDeficientAndRepeatedSingularValues) {
    std::mt19937 gen(20240517);
    for (int m = 1; m <= 12; ++m)
        for (int n = 1; n <= m; ++n) check_svd(random_matrix(m, n, gen), m, n);
    for (int m = 1; m <= 4; ++m) check_svd(random_matrix(m, m + 3, gen), m, m + 3);  // wide
    for (std::vector<double> s : {std::vector<double>{2, 2, 2, 1}, {3, 3, 3, 3, 3}, {5, 1, 0, 0, 0, 0}, {1, 0, 1, 0}}) {
        const int n = static_cast<int>(s.size());
        const std::vector<double> got = check_svd(with_singular_values(s, gen), n, n);
        std::sort(s.begin(), s.end());
        for (std::size_t i = 0; i < s.size(); ++i) EXPECT_NEAR(got[i], s[i], 1e-13);
    }
}

TEST(Svdcmp, NegativeRawValuesMadePositiveAndLeftUnsortedAndNanIsFatal) {
    // The reflections of diag(1, 2) produce -1 and -2: they come back positive with V's
    // columns negated, in the order of the reduction (not sorted into 2, 1).
    DMatrix a = matrix(1, 2, 1, 2), v = matrix(1, 2, 1, 2);
    DVector w = vector(1, 2);
    a[1][1] = 1.0, a[1][2] = 0.0, a[2][1] = 0.0, a[2][2] = 2.0;
    svdcmp(a, 2, 2, w, v);
    EXPECT_EQ(w[1], 1.0);
    EXPECT_EQ(w[2], 2.0);
    EXPECT_EQ(v[1][1], -1.0);
    EXPECT_EQ(v[2][2], -1.0);
    EXPECT_EQ(a[1][1], -1.0);
    // anorm NaN: nothing is ever negligible, so the split search must stop at the first row
    // rather than read w[0], and the iteration limit ends the run.
    a[1][1] = std::nan(""), a[1][2] = 1.0, a[2][1] = 2.0, a[2][2] = 3.0;
    try {
        svdcmp(a, 2, 2, w, v);
        ADD_FAILURE() << "no error";
    } catch (const NumericalError& e) {
        EXPECT_STREQ(e.what(), "no convergence in 30 svdcmp iterations");
    }
}

// The Moore-Penrose conditions A X A = A, X A X = X, A X and X A symmetric, relative to the
// sizes of the products.
void expect_moore_penrose(const DMatrix& a, const DMatrix& x, int n) {
    DMatrix ax = matrix(1, n, 1, n), xa = matrix(1, n, 1, n), axa = matrix(1, n, 1, n), xax = matrix(1, n, 1, n);
    mltmm(a, n, n, x, n, ax);
    mltmm(x, n, n, a, n, xa);
    mltmm(ax, n, n, a, n, axa);
    mltmm(xa, n, n, x, n, xax);
    double na = 0.0, nx = 0.0;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            na = std::max(na, std::fabs(a[i][j]));
            nx = std::max(nx, std::fabs(x[i][j]));
            EXPECT_NEAR(ax[i][j], ax[j][i], 1e-12 * n * na * nx);
            EXPECT_NEAR(xa[i][j], xa[j][i], 1e-12 * n * na * nx);
        }
    EXPECT_LE(max_abs_difference(axa, a, n, n), 1e-12 * n * na * na * nx);
    EXPECT_LE(max_abs_difference(xax, x, n, n), 1e-12 * n * na * nx * nx);
}

TEST(Inversse, MoorePenroseOnRandomAndRankDeficientMatrices) {
    std::mt19937 gen(4242);
    for (int n = 1; n <= 10; ++n) {
        const DMatrix a = random_matrix(n, n, gen), before = copy_of(a, n, n);
        DMatrix ai = matrix(1, n, 1, n);
        EXPECT_FALSE(inversse(a, n, ai));
        EXPECT_EQ(max_abs_difference(a, before, n, n), 0.0);  // a is not changed
        expect_moore_penrose(a, ai, n);
    }
    // Rank 3 of 6: the zero singular values come out near eps and are dropped.
    const DMatrix s = with_singular_values({4, 0, 2, 0, 1, 0}, gen);
    DMatrix si = matrix(1, 6, 1, 6);
    EXPECT_TRUE(inversse(s, 6, si));
    expect_moore_penrose(s, si, 6);
}

TEST(Inversse, NearSingularBelowTheThresholdAndOneByOneCases) {
    DMatrix a = matrix(1, 2, 1, 2), ai = matrix(1, 2, 1, 2), one = matrix(1, 1, 1, 1), onei = matrix(1, 1, 1, 1);
    a[1][1] = 1.0, a[1][2] = 0.0, a[2][1] = 0.0, a[2][2] = 1e-13;  // ratio below 1e-12
    testing::internal::CaptureStdout();
    EXPECT_TRUE(inversse(a, 2, ai));
    EXPECT_NEAR(ai[1][1], 1.0, 1e-15);
    EXPECT_EQ(ai[2][2], 0.0);

    a[2][2] = 1e-12;  // ratio not below the threshold: nothing dropped
    EXPECT_FALSE(inversse(a, 2, ai));
    EXPECT_NEAR(ai[1][1], 1.0, 1e-15);
    EXPECT_NEAR(ai[2][2] / 1e12, 1.0, 1e-15);
    one[1][1] = 4.0;
    inversse(one, 1, onei);
    EXPECT_EQ(onei[1][1], 0.25);
    one[1][1] = 0.0;  // 0/0 is not below the threshold: zero inverse
    EXPECT_FALSE(inversse(one, 1, onei));
    EXPECT_EQ(onei[1][1], 0.0);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // silent
}

}  // namespace
}  // namespace quillon
