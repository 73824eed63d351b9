#include "formats/dosage.hpp"

#include <algorithm>
#include <cmath>

namespace quillon {

int hard_call(double dosage, double threshold) {
    if (!(dosage >= 0.0 && dosage <= 2.0)) return -1;
    const double units = std::floor(dosage * kDosageUnits + 0.5);
    const double reach = threshold * kDosageUnits;
    for (int h = 0; h <= 2; ++h)
        if (std::fabs(units - h * kDosageUnits) <= reach) return h;
    return -1;
}

namespace {

// Every value NaN: missing; some NaN among numbers: malformed.
FieldRead missing_or_malformed(const double* values, int n) {
    int nans = 0;
    for (int i = 0; i < n; ++i) nans += std::isnan(values[i]) ? 1 : 0;
    return nans == n && n > 0 ? FieldRead::kMissing : FieldRead::kMalformed;
}

FieldRead normalise(GenotypeVector& p) {
    const double sum = p[0] + p[1] + p[2];
    if (!(sum > 0.0) || !std::isfinite(sum)) return FieldRead::kMalformed;
    for (double& x : p) x /= sum;
    return FieldRead::kOk;
}

}  // namespace

FieldRead read_gp(const double* values, int n, GenotypeVector& p) {
    if (n == 0) return FieldRead::kMissing;
    if (n != 2 && n != 3) return missing_or_malformed(values, n) == FieldRead::kMissing ? FieldRead::kMissing
                                                                                          : FieldRead::kMalformed;
    for (int i = 0; i < n; ++i)
        if (!(values[i] >= 0.0) || !std::isfinite(values[i])) return missing_or_malformed(values, n);
    p = n == 3 ? GenotypeVector{values[0], values[1], values[2]} : GenotypeVector{values[0], 0.0, values[1]};
    return normalise(p);
}

double expected_dosage(const GenotypeVector& p) { return p[1] + 2.0 * p[2]; }

FieldRead read_ds(const double* values, int n, double& dosage) {
    if (n == 0 || (n == 1 && std::isnan(values[0]))) return FieldRead::kMissing;
    if (n != 1 || !(values[0] >= 0.0 && values[0] <= 2.0)) return FieldRead::kMalformed;
    dosage = values[0];
    return FieldRead::kOk;
}

FieldRead read_likelihoods(const double* values, int n, bool phred, GenotypeVector& l) {
    if (n == 0) return FieldRead::kMissing;
    if (n != 2 && n != 3) return missing_or_malformed(values, n) == FieldRead::kMissing ? FieldRead::kMissing
                                                                                          : FieldRead::kMalformed;
    GenotypeVector log10l{};  // log10 likelihoods
    for (int i = 0; i < n; ++i) {
        const double v = values[i];
        if (std::isnan(v)) return missing_or_malformed(values, n);
        if (phred) {
            if (!(v >= 0.0 && v <= 2147483646.0) || v != std::floor(v)) return FieldRead::kMalformed;
            log10l[static_cast<std::size_t>(i)] = -v / 10.0;
        } else {
            if (v == INFINITY) return FieldRead::kMalformed;
            log10l[static_cast<std::size_t>(i)] = v;
        }
    }
    if (n == 2) log10l = {log10l[0], -INFINITY, log10l[1]};
    const double top = std::max({log10l[0], log10l[1], log10l[2]});
    if (top == -INFINITY) return FieldRead::kMalformed;  // every genotype impossible
    for (std::size_t g = 0; g < 3; ++g) l[g] = std::pow(10.0, log10l[g] - top);
    return normalise(l);
}

GenotypeVector hardy_weinberg(double q) { return {(1.0 - q) * (1.0 - q), 2.0 * q * (1.0 - q), q * q}; }

GenotypeVector divide_prior(const GenotypeVector& p, double q) {
    const double clamped = std::clamp(q, 1e-6, 1.0 - 1e-6);
    const GenotypeVector prior = hardy_weinberg(clamped);
    GenotypeVector l{p[0] / prior[0], p[1] / prior[1], p[2] / prior[2]};
    const double sum = l[0] + l[1] + l[2];
    for (double& x : l) x /= sum;
    return l;
}

GenotypeVector floor_vector(const GenotypeVector& l, double e) {
    return {(1.0 - e) * l[0] + e / 3.0, (1.0 - e) * l[1] + e / 3.0, (1.0 - e) * l[2] + e / 3.0};
}

int best_guess(const GenotypeVector& p) {
    int g = 0;
    for (int h = 1; h <= 2; ++h)
        if (p[static_cast<std::size_t>(h)] > p[static_cast<std::size_t>(g)]) g = h;
    return g;
}

}  // namespace quillon
