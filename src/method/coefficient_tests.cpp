#include "method/coefficient_tests.hpp"

#include <cmath>

namespace quillon {

std::optional<double> wald_from_covariance(const DMatrix& cov, const DVector& c, const std::vector<long>& which) {
    const std::size_t k = which.size();
    if (k == 0) return std::nullopt;
    // V = L L'; W = |L^-1 c|^2.
    std::vector<double> L(k * k, 0.0), y(k, 0.0);
    for (std::size_t j = 0; j < k; ++j)
        for (std::size_t i = j; i < k; ++i) {
            double sum = cov[which[i]][which[j]];
            for (std::size_t p = 0; p < j; ++p) sum -= L[i * k + p] * L[j * k + p];
            if (i == j) {
                if (!(sum > 0.0) || !std::isfinite(sum)) return std::nullopt;
                L[j * k + j] = std::sqrt(sum);
            } else {
                L[i * k + j] = sum / L[j * k + j];
            }
        }
    double w = 0.0;
    for (std::size_t i = 0; i < k; ++i) {
        double sum = c[which[i]];
        for (std::size_t p = 0; p < i; ++p) sum -= L[i * k + p] * y[p];
        y[i] = sum / L[i * k + i];
        w += y[i] * y[i];
    }
    return w;
}

std::optional<double> likelihood_ratio(double nested_fret, double full_fret) {
    const double diff = nested_fret - full_fret;
    if (!std::isfinite(diff)) return std::nullopt;
    if (diff >= 0.0) return 2.0 * diff;
    if (-diff < 1e-8 * std::fabs(full_fret)) return 0.0;
    return std::nullopt;
}

}  // namespace quillon
