#include "report/pvalues.hpp"

#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

namespace quillon {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A positive number mant * 2^exp2 with mant in [0.5, 1) and an exponent that cannot
// overflow: exp(-h) for h in the tens of thousands is far below the smallest double, yet
// the sum that multiplies it can be just as far above the largest one.
struct Scaled {
    double mant;
    long exp2;
};

Scaled normalised(double value, long exp2) {
    int e = 0;
    const double mant = std::frexp(value, &e);
    return {mant, exp2 + e};
}

// exp(-h) for h >= 0 as a Scaled number.
// exp(-h) = exp(-r) * exp(-704)^q with h = 704 q + r; exp(-704) (about 5.4e-306) is still a
// normal double.  q*704 is a multiple of 64 no larger than h (up to the rounding of h/704,
// which can leave r slightly negative), and h itself is a multiple of its own unit in the
// last place, which divides 64 for every h below 2^58 (the cut-off in chisq_upper_tail keeps
// h below 2^32), so r = h - q*704 is computed exactly and the identity holds.  Each chunk
// costs one rounding.
Scaled exp_neg(double h) {
    constexpr double kChunk = 704.0;
    const double q = std::floor(h / kChunk);
    const double r = h - q * kChunk;
    Scaled result = normalised(std::exp(-r), 0);
    const Scaled chunk = normalised(std::exp(-kChunk), 0);
    for (double i = 0.0; i < q; i += 1.0) {
        // mant * chunk.mant lies in [0.25, 1): no underflow before renormalising.
        result = normalised(result.mant * chunk.mant, result.exp2 + chunk.exp2);
    }
    return result;
}

// Sum of the terms a_first, a_first * h/(c+1), a_first * h/(c+1) * h/(c+2), ... (count terms
// in all; c = 0 for even df, c = 1/2 for odd df), in increasing order of the term index, as
// S * 2^scale.  The terms are Poisson-like: they grow while the step factor h/(c+j) exceeds
// 1 and shrink after, so they are rescaled by 2^-600 whenever a term passes 2^600.
struct ScaledSum {
    double sum;
    long scale;
};

ScaledSum term_sum(double a_first, double h, double c, long count) {
    constexpr double kBig = 0x1p600;
    constexpr double kRescale = 0x1p-600;
    double a = a_first;
    double sum = a_first;
    long scale = 0;
    for (long j = 1; j < count; ++j) {
        const double denom = static_cast<double>(j) + c;
        a = a * h / denom;  // a_j = a_{j-1} * h / (j + c)
        if (a > kBig) {
            // Powers of two: the rescaling is exact, and nothing underflows (the sum holds the
            // previous term, which is above 2^600 / h).
            a *= kRescale;
            sum *= kRescale;
            scale += 600;
        }
        // Past the peak (h < j + c) every later term is smaller than this one.  Once a term is
        // below 2^-60 of the sum it is less than half an ulp of it, so adding it and all the
        // terms after it leaves the sum unchanged bit for bit: stopping is exact.
        if (h < denom && a * 0x1p60 < sum) break;
        sum += a;
    }
    return {sum, scale};
}

// exp(-h) * (S * 2^scale) as a double, with the exponent sum kept in a long; underflows to 0.
double combine(const Scaled& e, const ScaledSum& s) {
    const Scaled p = normalised(e.mant * s.sum, e.exp2 + s.scale);
    // mant in [0.5, 1): any exponent below -1100 is far under the smallest subnormal.
    if (p.exp2 < -1100) return 0.0;
    return std::ldexp(p.mant, static_cast<int>(p.exp2));
}

}  // namespace

double chisq_upper_tail(double x, int df) {
    if (std::isnan(x) || df < 1) return kNaN;
    if (x <= 0.0) return 1.0;
    if (std::isinf(x)) return 0.0;

    const double dfd = static_cast<double>(df);
    if (x > dfd) {
        // Chernoff bound: Q <= (x/df)^(df/2) * exp(-(x - df)/2).  Below exp(-800) the value is
        // 0 in double precision; returning early also bounds the work for enormous x.
        const double log_bound = 0.5 * (dfd * std::log(x / dfd) - (x - dfd));
        if (log_bound < -800.0) return 0.0;
    }

    const double h = x / 2.0;
    double q = 0.0;
    if (df % 2 == 0) {
        // Q = exp(-h) * sum_{k=0}^{m-1} h^k / k!, terms a_0 = 1, a_k = a_{k-1} * h / k.
        const long m = df / 2;
        q = combine(exp_neg(h), term_sum(1.0, h, 0.0, m));
    } else {
        // Q = erfc(sqrt h) + exp(-h) * sum_{k=1}^{m} h^(k-1/2) / Gamma(k+1/2),
        // terms a_1 = sqrt(h) / Gamma(3/2) = sqrt(h) * 2/sqrt(pi), a_k = a_{k-1} * h / (k - 1/2).
        const long m = (df - 1) / 2;
        const double s = std::sqrt(h);
        q = std::erfc(s);
        if (s > 0.0) {
            // s is sqrt(h) rounded; in the far tail erfc magnifies that rounding by about 2h.
            // First-order correction: erfc(sqrt h) = erfc(s) + 2/sqrt(pi) exp(-h) (s - sqrt h),
            // with s - sqrt h = (s^2 - h) / (2s) and s^2 - h exact from one fused multiply-add.
            q += std::exp(-h) * (std::fma(s, s, -h) / s) * std::numbers::inv_sqrtpi;
        }
        if (m > 0) {
            const double a1 = s * (2.0 * std::numbers::inv_sqrtpi);
            q += combine(exp_neg(h), term_sum(a1, h, 0.5, m));
        }
    }
    // A probability: rounding in the last place must not carry it past 1 near x = 0.
    return q > 1.0 ? 1.0 : q;
}

double normal_two_sided(double z) {
    if (std::isnan(z)) return kNaN;
    if (std::isinf(z)) return 0.0;
    // P(|Z| >= |z|) = 2 * (1 - Phi(|z|)) = erfc(|z| / sqrt 2).
    const double a = std::fabs(z);
    const double t = a / std::numbers::sqrt2;
    // t carries the rounding of sqrt 2 and of the quotient, which erfc magnifies by about
    // 2 t^2 in the far tail.  First-order correction, as in the odd chi-square case:
    // erfc(t_exact) = erfc(t) - 2/sqrt(pi) exp(-t^2) (t_exact - t), with
    // t_exact - t = (a - t sqrt 2) / sqrt 2, sqrt 2 = kSqrt2Hi + kSqrt2Lo to twice double
    // precision, and a - t kSqrt2Hi exact from one fused multiply-add.
    constexpr double kSqrt2Hi = std::numbers::sqrt2;
    constexpr double kSqrt2Lo = -9.667293313452913e-17;  // sqrt 2 - kSqrt2Hi
    const double dt = (std::fma(-t, kSqrt2Hi, a) - t * kSqrt2Lo) / kSqrt2Hi;
    return std::erfc(t) - (2.0 * std::numbers::inv_sqrtpi) * std::exp(-t * t) * dt;
}

namespace {
// "%.4g" of a p-value; a NaN of either sign prints "nan".
std::string p_text(double p) {
    if (std::isnan(p)) return "nan";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", p);
    return buf;
}
}  // namespace

std::string pvalue_lines(double waldstat, int wsdf, bool have_covariates, const NonFoundersStatistic& nfs) {
    std::string out;
    char buf[128];
    if (have_covariates) {
        // With wsdf = 0 every coefficient has been left out of the degrees of freedom and
        // there is no chi-square distribution to refer to: chisq_upper_tail gives NaN and
        // the line reads "nan".
        std::snprintf(buf, sizeof buf, "Wald p-value (chi-square, df=%d): %s\n", wsdf,
                      p_text(chisq_upper_tail(waldstat, wsdf)).c_str());
        out += buf;
    }
    std::snprintf(buf, sizeof buf, "Non-Founders Statistic p-value (two-sided normal): %s\n",
                  nfs.defined ? p_text(normal_two_sided(nfs.statistic)).c_str() : "NA");
    out += buf;
    return out;
}

}  // namespace quillon
