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

}  // namespace quillon
