#include "qc/hwe.hpp"

#include <algorithm>

namespace quillon {

namespace {

constexpr double kTieTolerance = 1e-9;

// P(h) up to one factor, walked from a starting count two heterozygotes at a time with
//   P(h + 2) / P(h) = 4 a b / ((h + 1) (h + 2)),  a, b the homozygote counts at h.
// Every ratio is one division of integers held exactly, so a ratio of 1 keeps the value.
class HetWalk {
public:
    HetWalk(long n, long rare, long h) : n_(n), rare_(rare), h_(h) {}
    long het() const { return h_; }
    double value() const { return value_; }
    bool can_rise() const { return h_ + 2 <= rare_; }
    bool can_fall() const { return h_ >= 2; }
    void rise() {
        const long a = (rare_ - h_) / 2, b = n_ - h_ - a;
        value_ *= static_cast<double>(4 * a * b) / static_cast<double>((h_ + 1) * (h_ + 2));
        h_ += 2;
    }
    void fall() {
        const long a = (rare_ - h_) / 2, b = n_ - h_ - a;
        value_ *= static_cast<double>(h_ * (h_ - 1)) / static_cast<double>(4 * (a + 1) * (b + 1));
        h_ -= 2;
    }

private:
    long n_, rare_, h_;
    double value_ = 1.0;
};

}  // namespace

double hwe_exact_p(GenotypeCounts c) {
    const long n = c.hom_a1 + c.het + c.hom_a2;
    if (n == 0) return 1.0;
    const long rare = std::min(2 * c.hom_a1 + c.het, 2 * c.hom_a2 + c.het);
    // Start near the mode, r (2n - r) / 2n, with the parity of r: the values stay near 1.
    long start = rare * (2 * n - rare) / (2 * n);
    if ((start - rare) % 2 != 0) ++start;

    HetWalk to_observed(n, rare, start);
    while (to_observed.het() < c.het) to_observed.rise();
    while (to_observed.het() > c.het) to_observed.fall();
    const double bound = to_observed.value() * (1.0 + kTieTolerance);

    double total = 1.0, tail = 1.0 <= bound ? 1.0 : 0.0;
    for (HetWalk up(n, rare, start); up.can_rise();) {
        up.rise();
        if (up.value() == 0.0) break;
        total += up.value();
        if (up.value() <= bound) tail += up.value();
    }
    for (HetWalk down(n, rare, start); down.can_fall();) {
        down.fall();
        if (down.value() == 0.0) break;
        total += down.value();
        if (down.value() <= bound) tail += down.value();
    }
    return std::min(1.0, tail / total);
}

}  // namespace quillon
