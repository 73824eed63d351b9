#pragma once
// exp and log of arguments that repeat, each computed once: the very doubles of one call per
// argument, since both functions are deterministic.  An intercept-only model gives every
// child the same linear predictor, and families of the same parental pair and child genotypes
// the same likelihood, so the nested models' evaluations call each for a handful of distinct
// arguments.

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace quillon {

// exp(a) for a run of equal arguments (a NaN is never equal: it is recomputed).
class RepeatedExp {
public:
    double operator()(double a) {
        if (!(a == arg_)) {  // -0.0 == 0.0, and exp gives 1.0 for both
            arg_ = a;
            value_ = std::exp(a);
        }
        return value_;
    }

private:
    double arg_ = std::numeric_limits<double>::quiet_NaN();
    double value_ = 0.0;
};

// The sum from 0.0 of log(v[i]) in ascending i, each distinct v[i] looked up in a small table
// of the last logs taken, keyed by the argument's bits.
inline double sum_of_logs(const double* v, std::size_t count) {
    constexpr std::size_t kSlots = 64;
    std::array<std::uint64_t, kSlots> key;
    std::array<double, kSlots> value;
    // An empty slot's key is the bits of a NaN and its value a NaN: a family likelihood that
    // is that NaN finds the NaN that log gives it.
    key.fill(std::bit_cast<std::uint64_t>(std::numeric_limits<double>::quiet_NaN()));
    value.fill(std::numeric_limits<double>::quiet_NaN());
    double total = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto bits = std::bit_cast<std::uint64_t>(v[i]);
        const std::size_t slot = (bits ^ (bits >> 17) ^ (bits >> 31)) & (kSlots - 1);
        if (key[slot] != bits) {
            key[slot] = bits;
            value[slot] = std::log(v[i]);
        }
        total = total + value[slot];
    }
    return total;
}

}  // namespace quillon
