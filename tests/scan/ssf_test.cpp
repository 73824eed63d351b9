// The summary statistics' chromosome codes.

#include <gtest/gtest.h>

#include "scan/ssf_writer.hpp"

namespace quillon {
namespace {

TEST(SummaryStatistics, ChromosomeCodes) {
    const std::pair<const char*, int> cases[] = {{"1", 1},   {"chr22", 22}, {"07", 7},   {"X", 23},  {"23", 23},
                                                 {"XY", 23}, {"25", 23},    {"PAR1", 23}, {"Y", 24}, {"chrM", 25},
                                                 {"26", 25}, {"0", 0},      {"27", 0},    {"GL000192.1", 0}};
    for (const auto& [name, code] : cases) EXPECT_EQ(ssf_chromosome(name), code) << name;
}

}  // namespace
}  // namespace quillon
