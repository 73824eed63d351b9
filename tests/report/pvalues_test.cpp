#include "report/pvalues.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <string>

#include "method/tail_probabilities.hpp"

namespace quillon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ChisqUpperTail, MatchesHighPrecisionReferenceValues) {
    // Upper tails computed with mpmath 1.3 at 40 significant digits
    // (gammainc(df/2, x/2, inf, regularized=True)), rounded to 17 digits: both parities, the
    // far tail, values near 1, df up to 2000, and x/2 beyond 704, where exp(-x/2) is carried
    // in pieces.  Over a grid of 2000 such points the closed forms stayed within 4e-15
    // relative; 1e-14 leaves room for a different libm.
    const struct { int df; double x, q; } rows[] = {
        {1, 0.5, 4.7950012218695346e-1},      {1, 200.0, 2.0884875837625448e-45},
        {1, 1400.0, 2.1010145162642175e-306}, {2, 0.001, 9.9950012497916927e-1},
        {3, 1e-06, 9.9999999973403856e-1},    {3, 60.0, 5.8782307279069123e-13},
        {4, 7.0, 1.3588822540043325e-1},      {7, 40.0, 1.2587903873713088e-6},
        {99, 99.0, 4.810969124082639e-1},     {101, 300.0, 1.2933098959947686e-21},
        {1000, 1500.0, 1.0454640385979657e-22}, {1001, 3000.0, 2.8490773263022868e-198},
        {2000, 2100.0, 5.8671111377318077e-2},
    };
    for (const auto& r : rows) EXPECT_NEAR(chisq_upper_tail(r.x, r.df), r.q, 1e-14 * r.q) << r.df << " " << r.x;
    // Printed critical values (7 significant digits) at p = 0.05, 0.01, 0.001.  The density is
    // below 0.05 at all of them, so rounding x by half a unit of its last digit moves p by less
    // than 0.05 times that half unit.
    const struct { int df; double x, half_unit, p; } table[] = {
        {1, 3.841459, 5e-7, 0.05}, {1, 10.82757, 5e-6, 0.001}, {2, 5.991465, 5e-7, 0.05},
        {2, 9.210340, 5e-7, 0.01}, {10, 18.30704, 5e-6, 0.05}, {100, 124.3421, 5e-5, 0.05},
    };
    for (const auto& r : table) EXPECT_NEAR(chisq_upper_tail(r.x, r.df), r.p, 0.05 * r.half_unit) << r.df;
}

TEST(ChisqUpperTail, BoundaryAndNonFiniteArguments) {
    for (const int df : {1, 2, 7}) {
        EXPECT_EQ(chisq_upper_tail(0.0, df), 1.0);
        EXPECT_EQ(chisq_upper_tail(-kInf, df), 1.0);
        EXPECT_EQ(chisq_upper_tail(kInf, df), 0.0);
        EXPECT_EQ(chisq_upper_tail(1e5, df), 0.0);  // below the smallest double
        EXPECT_TRUE(std::isnan(chisq_upper_tail(kNaN, df)));
    }
    EXPECT_TRUE(std::isnan(chisq_upper_tail(3.0, 0)));  // no distribution without degrees of freedom
}

TEST(NormalTwoSided, ReferenceValuesAndBoundaries) {
    // mpmath erfc(z / sqrt 2) at 40 digits.  Rounding t = z / sqrt 2 moves erfc(t) by about
    // 2 t^2 = z^2 units of 1.1e-16 relative: 1e-14 (1 + z^2) allows for it.
    const struct { double z, p; } rows[] = {
        {0.5, 6.1707507745197379e-1}, {1.959964, 4.9999998192884804e-2},
        {10.0, 1.5239706048321052e-23}, {37.5, 9.2107060191639097e-308},
    };
    for (const auto& r : rows) {
        EXPECT_NEAR(normal_two_sided(r.z), r.p, 1e-14 * (1.0 + r.z * r.z) * r.p) << "z=" << r.z;
        EXPECT_EQ(normal_two_sided(-r.z), normal_two_sided(r.z)) << "z=" << r.z;
    }
    EXPECT_EQ(normal_two_sided(-0.0), 1.0);
    EXPECT_EQ(normal_two_sided(-kInf), 0.0);
    EXPECT_EQ(normal_two_sided(40.0), 0.0);  // below the smallest double
    EXPECT_TRUE(std::isnan(normal_two_sided(kNaN)));
}

// The finite cases run end to end on real reports; these are the ones a report rarely gives.
TEST(Log10Tails, StayFiniteAndExactWherePUnderflows) {
    // Independent log-space tails: for even df the chi-square tail is e^(-x/2) times a finite
    // sum, sum_{k<df/2} (x/2)^k / k!; the normal two-sided tail is
    // 2/sqrt(pi) e^(-t^2) integral_0^inf e^(-2tu - u^2) du, t = z/sqrt 2 (Simpson's rule).
    const auto even = [](double x, int df) {
        double term = 1.0, sum = 1.0;
        for (int k = 1; k < df / 2; ++k) sum += term *= 0.5 * x / k;
        return (0.5 * x - std::log(sum)) / std::log(10.0);
    };
    for (const auto& [x, df] : {std::pair{1500.0, 2}, {1600.0, 4}, {2000.0, 10}, {800.0, 6}, {30.0, 2}}) {
        EXPECT_NEAR(chisq_upper_tail_log10(x, df), even(x, df), 1e-9 * even(x, df)) << x << " " << df;
        EXPECT_TRUE(x < 1400.0 || chisq_upper_tail(x, df) < 1e-320);
    }
    for (const double z : {38.5, 60.0, 3.0, -41.0}) {
        const double t = std::fabs(z) / std::sqrt(2.0), h = 2e-3 / t;
        double integral = 0.0;
        for (int i = 0; i <= 20000; ++i)
            integral += (i == 0 || i == 20000 ? 1 : i % 2 ? 4 : 2) * std::exp(-2 * t * i * h - i * h * i * h);
        integral *= h / 3;
        const double expected = -(std::log(2 / std::sqrt(std::numbers::pi) * integral) - t * t) / std::log(10.0);
        EXPECT_NEAR(normal_two_sided_log10(z), expected, 1e-9 * expected) << z;
    }
    EXPECT_LT(normal_two_sided(38.5), 1e-320);
    EXPECT_EQ(chisq_upper_tail_log10(kInf, 3), kInf);
    EXPECT_TRUE(std::isnan(chisq_upper_tail_log10(2.0, 0)) && std::isnan(normal_two_sided_log10(kNaN)));
}

TEST(PvalueLines, FarTailsZeroStatisticsAndNanPrintAsTheyShould) {
    const Schema schema = {{"WALD_DF", ColumnKind::kDegreesOfFreedom}, {"WALD_P", ColumnKind::kPValue},
                           {"NFS_P", ColumnKind::kPValue}};
    const auto lines = [&](double df, double wald_p, bool have_covariates, double nfs_p, bool nfs_defined = true) {
        MarkerResult r;
        r.values = {df, wald_p, nfs_p};
        r.conditions.nfs_undefined = !nfs_defined;
        return pvalue_lines(schema, r, have_covariates);
    };
    const std::string nfs = "Non-Founders Statistic p-value (two-sided normal): ";
    EXPECT_EQ(lines(2, chisq_upper_tail(100.0, 2), true, normal_two_sided(0.0)),
              "Wald p-value (chi-square, df=2): 1.929e-22\n" + nfs + "1\n");
    EXPECT_EQ(lines(2, 1.0, false, normal_two_sided(50.0)), nfs + "0\n");
    // A NaN of either sign (0/0 gives the negative one on x86) prints "nan", as does the
    // p-value of no degrees of freedom; an undefined statistic's prints "NA".
    EXPECT_EQ(lines(3, -kNaN, true, kNaN), "Wald p-value (chi-square, df=3): nan\n" + nfs + "nan\n");
    EXPECT_EQ(lines(0, chisq_upper_tail(2.5, 0), true, -kNaN, false),
              "Wald p-value (chi-square, df=0): nan\n" + nfs + "NA\n");
}

}  // namespace
}  // namespace quillon
