// The summary statistics' chromosome codes, and -log10 p where p is below the smallest double.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "scan/ssf_writer.hpp"

namespace quillon {
namespace {

TEST(SummaryStatistics, ChromosomeCodes) {
    const std::pair<const char*, int> cases[] = {{"1", 1},   {"chr22", 22}, {"07", 7},   {"X", 23},  {"23", 23},
                                                 {"XY", 23}, {"25", 23},    {"PAR1", 23}, {"Y", 24}, {"chrM", 25},
                                                 {"26", 25}, {"0", 0},      {"27", 0},    {"GL000192.1", 0}};
    for (const auto& [name, code] : cases) EXPECT_EQ(ssf_chromosome(name), code) << name;
}

// -log10 of 2 Q(z) from the Mills ratio's continued fraction Q(z) = phi(z) / (z + 1/(z + 2/(z + ...))).
double reference_log10(double z) {
    double tail = z;
    for (int k = 400; k >= 1; --k) tail = z + k / tail;
    return -(std::log(2.0) - z * z / 2 - 0.5 * std::log(2 * std::numbers::pi) - std::log(tail)) / std::log(10.0);
}

TEST(SummaryStatistics, MinusLog10PBeyondTheSmallestDouble) {
    for (const double z : {8.0, 30.0, -37.0, 38.5, 40.0, 100.0, 1e4})
        EXPECT_NEAR(normal_two_sided_log10(z), reference_log10(std::fabs(z)), 1e-10 * reference_log10(std::fabs(z))) << z;
}

}  // namespace
}  // namespace quillon
