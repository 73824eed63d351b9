#include "simulate/imputation.hpp"

#include <cmath>
#include <numbers>

#include "toolkit/random.hpp"

namespace quillon {

double haplotype_posterior(double o, double sigma, double p) {
    if (p <= 0.0) return 0.0;
    if (p >= 1.0) return 1.0;
    const double t = std::log(p / (1.0 - p)) + (2.0 * o - 1.0) / (2.0 * sigma * sigma);
    return 1.0 / (1.0 + std::exp(-t));
}

double haplotype_r2(double sigma, double p) {
    // Simpson's rule over z in [-8, 8] for E[h^2 | a] with o = a + sigma z.
    constexpr int kSteps = 400;
    constexpr double kLo = -8.0, kHi = 8.0;
    const double step = (kHi - kLo) / kSteps;
    double second = 0.0;
    for (int i = 0; i <= kSteps; ++i) {
        const double z = kLo + step * i;
        const double weight = (i == 0 || i == kSteps ? 1.0 : (i % 2 ? 4.0 : 2.0)) * std::exp(-0.5 * z * z);
        const double h1 = haplotype_posterior(1.0 + sigma * z, sigma, p), h0 = haplotype_posterior(sigma * z, sigma, p);
        second += weight * (p * h1 * h1 + (1.0 - p) * h0 * h0);
    }
    second *= step / 3.0 / std::sqrt(2.0 * std::numbers::pi);
    return (second - p * p) / (p * (1.0 - p));
}

double noise_for_r2(double r2, double p) {
    double lo = std::log(1e-3), hi = std::log(1e3);  // r2 falls as sigma grows
    for (int i = 0; i < 50; ++i) {
        const double mid = 0.5 * (lo + hi);
        (haplotype_r2(std::exp(mid), p) > r2 ? lo : hi) = mid;
    }
    return std::exp(0.5 * (lo + hi));
}

void impute_family(const std::vector<std::int8_t>& truth, double p, double sigma, double shared, long* idum,
                   std::vector<std::array<double, 3>>& gp) {
    const std::size_t n = truth.size();
    gp.assign(n, {0.0, 0.0, 0.0});
    std::vector<std::array<int, 2>> allele(n);
    std::vector<std::array<double, 2>> observed(n);
    for (std::size_t j = 0; j < n; ++j) {
        const double u_pick = ran2(idum), u_radius = ran2(idum), u_angle = ran2(idum);
        const double u_father = ran2(idum), u_mother = ran2(idum);
        const double radius = std::sqrt(-2.0 * std::log(u_radius)), angle = 2.0 * std::numbers::pi * u_angle;
        const double noise[2] = {sigma * radius * std::cos(angle), sigma * radius * std::sin(angle)};
        const int g = truth[j];
        if (j < 2) {
            allele[j] = g == 1 ? (u_pick < 0.5 ? std::array{0, 1} : std::array{1, 0}) : std::array{g / 2, g / 2};
            for (int k = 0; k < 2; ++k) observed[j][k] = allele[j][k] + noise[k];
        } else {
            // The pairs of parental haplotypes (i from the father, k from the mother) that give g.
            int pairs[4][2], count = 0;
            for (int i = 0; i < 2; ++i)
                for (int k = 0; k < 2; ++k)
                    if (allele[0][i] + allele[1][k] == g) pairs[count][0] = i, pairs[count++][1] = k;
            const int chosen = count > 0 ? static_cast<int>(u_pick * count) : 0;
            const int from[2] = {count > 0 ? pairs[chosen][0] : 0, count > 0 ? pairs[chosen][1] : 0};
            const bool share[2] = {count > 0 && u_father < shared, count > 0 && u_mother < shared};
            for (int k = 0; k < 2; ++k) {
                allele[j][k] = count > 0 ? allele[k][from[k]] : (k == 0 ? g / 2 : g - g / 2);
                observed[j][k] = share[k] ? observed[k][from[k]] : allele[j][k] + noise[k];
            }
        }
        const double h1 = haplotype_posterior(observed[j][0], sigma, p);
        const double h2 = haplotype_posterior(observed[j][1], sigma, p);
        gp[j] = {(1.0 - h1) * (1.0 - h2), h1 * (1.0 - h2) + (1.0 - h1) * h2, h1 * h2};
    }
}

}  // namespace quillon
