#include "model/covariate_scale.hpp"

#include <cmath>

namespace quillon {

std::optional<CovariateScale> widest_covariate(const std::vector<const double*>& rows, long ncov) {
    if (rows.empty()) return std::nullopt;
    std::optional<CovariateScale> widest;
    double widest_rms = kModestCovariateScale;
    const double n = static_cast<double>(rows.size());
    for (long k = 0; k < ncov; ++k) {
        double sum = 0.0;
        for (const double* row : rows) sum += row[k];
        const double mean = sum / n;
        double squares = 0.0;
        for (const double* row : rows) {
            const double d = row[k] - mean;
            squares += d * d;
        }
        const double sd = std::sqrt(squares / n);
        const double rms = std::sqrt(mean * mean + sd * sd);
        if (rms > widest_rms) {
            widest_rms = rms;
            widest = CovariateScale{k, mean, sd};
        }
    }
    return widest;
}

}  // namespace quillon
