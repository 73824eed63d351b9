#include "toolkit/minimiser.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace quillon {
namespace {

struct PowellRun {
    PowellRun(int n_, double start) : n(n_), p(vector(1, n_)), xi(matrix(1, n_, 1, n_)) {
        for (int i = 1; i <= n; ++i) {
            p[i] = start;
            for (int j = 1; j <= n; ++j) xi[i][j] = i == j ? 1.0 : 0.0;
        }
    }
    // Runs powell; returns the fatal text, "" when it converged.
    std::string run(const Objective& f, double ftol) {
        try {
            powell(p, xi, n, ftol, &iter, &fret, f);
        } catch (const NumericalError& e) {
            return e.what();
        }
        return "";
    }
    int n;
    DVector p;
    DMatrix xi;
    int iter = 0;
    double fret = 0.0;
};

// Piecewise-linear profile with exact values on two flat floors: a shallow floor 0 on
// [1.4, 2] that a line search from 0 with step 1 finds, and a deeper floor -4 on [2.8, 4.2]
// behind a plateau that covers mnbrak's third point 2.618034.  From 0 the line minimum x lies
// on the shallow floor and the extrapolated point 2x on the deep one.
double two_floors(double x) {
    if (x <= 1.4) return 1.0 - x / 1.4;
    if (x <= 2.0) return 0.0;
    if (x <= 2.5) return 4.0 * (x - 2.0);
    if (x <= 2.7) return 2.0;
    if (x <= 2.8) return 2.0 - 60.0 * (x - 2.7);
    if (x <= 4.2) return -4.0;
    return -4.0 + (x - 4.2);
}

TEST(Powell, QuadraticsInOneToTenDimensionsAndARosenbrockValley) {
    for (int n = 1; n <= 10; ++n) {
        // 1 + sum i d_i^2 + sum d_i d_{i+1}, d = x - c: diagonally dominant, minimum 1 at c.
        auto c = [](int i) { return 0.5 * i - 1.0; };
        const Objective f = [n, c](const DVector& x) {
            double s = 1.0;
            for (int i = 1; i <= n; ++i) s += i * (x[i] - c(i)) * (x[i] - c(i));
            for (int i = 1; i < n; ++i) s += (x[i] - c(i)) * (x[i + 1] - c(i + 1));
            return s;
        };
        PowellRun r(n, 0.0);
        ASSERT_EQ(r.run(f, 1e-10), "");
        // f - 1 ~ ftol = 1e-10 with curvature >= 1/2 puts x within ~1e-5 of c.
        for (int i = 1; i <= n; ++i) EXPECT_NEAR(r.p[i], c(i), 1e-4) << "n = " << n;
        EXPECT_EQ(r.fret, f(r.p));
    }
    const Objective rosenbrock = [](const DVector& x) {
        return 100.0 * (x[2] - x[1] * x[1]) * (x[2] - x[1] * x[1]) + (1.0 - x[1]) * (1.0 - x[1]);
    };
    PowellRun r(2, 0.0);
    r.p[1] = -1.2, r.p[2] = 1.0;
    ASSERT_EQ(r.run(rosenbrock, 1e-12), "");
    EXPECT_NEAR(r.p[1], 1.0, 1e-3);  // f < 1e-8 near (1, 1) means |x - 1| ~ 1e-4
    EXPECT_NEAR(r.p[2], 1.0, 2e-3);
}

TEST(Powell, ConstantAndZeroValuedObjectivesStopAtOnceNanAtTheIterationLimit) {
    for (double level : {3.5, 0.0}) {
        PowellRun r(3, 1.0);
        ASSERT_EQ(r.run([level](const DVector&) { return level; }, 0.0), "");  // 0 <= 0 holds
        EXPECT_EQ(r.iter, 1);
        EXPECT_EQ(r.fret, level);
    }
    PowellRun r(2, 0.0);  // fp = fret = 0 at the minimum of x^2 + y^2
    ASSERT_EQ(r.run([](const DVector& x) { return x[1] * x[1] + x[2] * x[2]; }, 1e-6), "");
    EXPECT_EQ(r.iter, 1);
    EXPECT_EQ(r.fret, 0.0);
    PowellRun nan(2, 1.0);  // a NaN-valued objective never meets the convergence test
    EXPECT_EQ(nan.run([](const DVector&) { return std::nan(""); }, 1e-6), "powell exceeding maximum iterations.");
    EXPECT_EQ(nan.iter, 200);
}

TEST(Powell, EqualDecreasesKeepTheEarlierDirectionAsLargest) {
    // Both coordinate searches from the origin lower f by exactly 1; the extrapolated point
    // is on the deep floor, so the displacement enters the set.  Direction 1 (the earlier of
    // the tie) gives way: column 1 receives column 2, column 2 the displacement.
    PowellRun r(2, 0.0);
    bool replaced = false;
    double col1[2] = {0.0, 0.0};
    const Objective f = [&](const DVector& x) {
        if (!replaced && (r.xi[1][2] != 0.0 || r.xi[2][2] != 1.0)) {
            replaced = true;
            col1[0] = r.xi[1][1], col1[1] = r.xi[2][1];
        }
        return two_floors(x[1]) + two_floors(x[2]);
    };
    ASSERT_EQ(r.run(f, 1e-6), "");
    ASSERT_TRUE(replaced);
    EXPECT_EQ(col1[0], 0.0);
    EXPECT_EQ(col1[1], 1.0);
    EXPECT_EQ(r.fret, -8.0);

    PowellRun one(1, 0.0);  // n = 1: the displacement replaces the only direction
    ASSERT_EQ(one.run([](const DVector& x) { return two_floors(x[1]); }, 1e-6), "");
    EXPECT_EQ(one.fret, -4.0);
    EXPECT_GT(one.xi[1][1], 1.4);
}

// mnbrak from (0, 0.01), then brent on its bracket.  brent stops with the minimum within
// 2 tol1 = 2 (2e-4 |x| + 1e-10) of x; at 0 only that absolute term lets it stop at all, and
// 1 + x^2 is exactly 1 for |x| < 1.05e-8, so no search can place x closer than that.
TEST(MnbrakAndBrent, BracketAndLocateKnownMinimaIncludingZero) {
    const struct { double (*f)(double); double xmin; } cases[] = {
        {[](double x) { return (x + 50.0) * (x + 50.0); }, -50.0},     // downhill is backwards
        {[](double x) { return -x * std::exp(-x / 1000.0); }, 1000.0},  // far
        {[](double x) { return (x - 2.0) * (x - 2.0); }, 2.0},
        {[](double x) { return 1.0 + x * x; }, 0.0},
    };
    for (const auto& c : cases) {
        double ax = 0.0, bx = 0.01, cx = 0.0, fa = 0.0, fb = 0.0, fc = 0.0, xmin = -1.0;
        mnbrak(&ax, &bx, &cx, &fa, &fb, &fc, c.f);
        EXPECT_GT((bx - ax) * (cx - bx), 0.0) << c.xmin;  // b strictly between a and c
        EXPECT_TRUE(fb <= fa && fb <= fc && fa == c.f(ax) && fb == c.f(bx) && fc == c.f(cx)) << c.xmin;
        const double f = brent(ax, bx, cx, c.f, 2e-4, &xmin);
        EXPECT_NEAR(xmin, c.xmin, 4e-4 * std::fabs(c.xmin) + 2e-8);
        EXPECT_EQ(f, c.f(xmin));
    }
}

TEST(Brent, IterationLimitIsFatalAfterOneHundredAndOneEvaluations) {
    double xmin = 0.0;
    // tol = 0 leaves the absolute 1e-10; on a constant only golden sections shrink the
    // bracket, and from 2e12 they cannot get there in 100 iterations.
    int evaluations = 0;
    try {
        brent(-1e12, 0.0, 1e12, [&](double) { return ++evaluations, 1.0; }, 0.0, &xmin);
        ADD_FAILURE() << "no error";
    } catch (const NumericalError& e) {
        EXPECT_STREQ(e.what(), "Too many iterations in brent");
    }
    EXPECT_EQ(evaluations, 101);
}

}  // namespace
}  // namespace quillon
