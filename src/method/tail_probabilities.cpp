#include "method/tail_probabilities.hpp"

#include <boost/math/policies/policy.hpp>
#include <boost/math/special_functions/erf.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cmath>
#include <limits>
#include <numbers>

namespace quillon {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Boost.Math returns instead of throwing: an underflowing tail is 0.
using Quiet = boost::math::policies::policy<boost::math::policies::domain_error<boost::math::policies::ignore_error>,
                                            boost::math::policies::pole_error<boost::math::policies::ignore_error>,
                                            boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
                                            boost::math::policies::underflow_error<boost::math::policies::ignore_error>,
                                            boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;

}  // namespace

// Q(df/2, x/2), the regularised upper incomplete gamma function.
double chisq_upper_tail(double x, int df) {
    if (std::isnan(x) || df < 1) return kNaN;
    if (x <= 0.0) return 1.0;
    if (std::isinf(x)) return 0.0;
    return boost::math::gamma_q(0.5 * df, 0.5 * x, Quiet());
}

// erfc(|z| / sqrt 2).
double normal_two_sided(double z) {
    if (std::isnan(z)) return kNaN;
    if (std::isinf(z)) return 0.0;
    return boost::math::erfc(std::fabs(z) / std::numbers::sqrt2, Quiet());
}

// Q(a, y) = y^(a-1) e^-y / Gamma(a) * S with S ~ sum_k (a-1)(a-2)...(a-k) / y^k, an
// asymptotic series whose terms shrink while k < y (and end for whole a).  Used only where Q
// is below 1e-290, so y is far above a and the first terms settle S to rounding.
double chisq_upper_tail_log10(double x, int df) { return chisq_upper_tail_log10(x, df, chisq_upper_tail(x, df)); }

double chisq_upper_tail_log10(double x, int df, double p) {
    if (std::isnan(p) || p >= 1e-290) return -std::log10(p);
    if (std::isinf(x)) return std::numeric_limits<double>::infinity();
    const double a = 0.5 * df, y = 0.5 * x;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 200; ++k) {
        term *= (a - k) / y;
        sum += term;
        if (std::fabs(term) < 1e-17 * std::fabs(sum)) break;
    }
    const double ln = (a - 1.0) * std::log(y) - y - boost::math::lgamma(a, Quiet()) + std::log(sum);
    return -ln / std::numbers::ln10;
}

// erfc(t) ~ e^(-t^2) / (t sqrt(pi)) * sum_k (-1)^k (2k-1)!! / (2 t^2)^k, t = |z| / sqrt 2,
// used where the tail is below 1e-290 (t above 25), where its terms fall fast.
double normal_two_sided_log10(double z) {
    const double p = normal_two_sided(z);
    if (std::isnan(p) || p >= 1e-290) return -std::log10(p);
    if (std::isinf(z)) return std::numeric_limits<double>::infinity();
    const double t = std::fabs(z) / std::numbers::sqrt2;
    const double r = 1.0 / (2.0 * t * t);
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 30; ++k) {
        term *= -(2.0 * k - 1.0) * r;
        sum += term;
        if (std::fabs(term) < 1e-17 * sum) break;
    }
    const double ln = -t * t - std::log(t) - 0.5 * std::log(std::numbers::pi) + std::log(sum);
    return -ln / std::numbers::ln10;
}

}  // namespace quillon
