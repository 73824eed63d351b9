// Replays the formats fuzz target's seed corpus (fuzz/corpus-formats) with its checks, so
// every seed, and every finding added there, runs with the ordinary tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "../../fuzz/formats_case.hpp"

namespace quillon {
namespace {

TEST(FormatsFuzzCorpus, EverySeedPassesTheChecks) {
    const auto corpus = std::filesystem::path(__FILE__).parent_path() / "../../fuzz/corpus-formats";
    fuzz::FormatsCase fuzz_case;
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fuzz_case.run(input);  // a breach aborts, naming the check
        ++seeds;
    }
    EXPECT_GE(seeds, 9);
}

}  // namespace
}  // namespace quillon
