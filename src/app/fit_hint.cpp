#include "app/fit_hint.hpp"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace quillon {

bool is_iteration_limit(const NumericalError& error) { return error.kind() == NumericalKind::kIterationLimit; }

std::string covariate_scale_hint(const FamilyTable& families, long ncov) {
    long widest = 0;
    double widest_rms = kModestCovariateScale, widest_mean = 0.0, widest_sd = 0.0;
    for (long k = 1; k <= ncov; ++k) {
        double n = 0.0, sum = 0.0;
        for (long i = 1; i <= families.nfam; ++i)
            for (long m = 1; m <= families[i].ninfam; ++m) {
                sum += families[i].fcovdat[m][k];
                n += 1.0;
            }
        if (n == 0.0) return "";
        const double mean = sum / n;
        double squares = 0.0;
        for (long i = 1; i <= families.nfam; ++i)
            for (long m = 1; m <= families[i].ninfam; ++m) {
                const double d = families[i].fcovdat[m][k] - mean;
                squares += d * d;
            }
        const double sd = std::sqrt(squares / n);
        const double rms = std::sqrt(mean * mean + sd * sd);
        if (rms > widest_rms) {
            widest = k;
            widest_rms = rms;
            widest_mean = mean;
            widest_sd = sd;
        }
    }
    if (widest == 0) return "";
    char line[320];
    std::snprintf(line, sizeof line,
                  "quillon: covariate %ld (column %ld of wcovars.dat) has mean %.6g and standard deviation %.6g: "
                  "centre and scale it, (value - mean) / SD, and run again.\n",
                  widest, widest, widest_mean, widest_sd);
    return line;
}

}  // namespace quillon
