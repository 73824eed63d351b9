#include "input/dialogue.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/run_program.hpp"

namespace quillon {
namespace {

// The settings after a dialogue on `input` (what it writes is compared end to end).
Settings talk(const std::string& input) {
    const e2e::TempFile in, out, err;
    std::fwrite(input.data(), 1, input.size(), in.get());
    std::rewind(in.get());
    Settings s;
    run_dialogue(s, {}, in.get(), out.get(), err.get());
    return s;
}

// The settings each answer leaves.  An unreadable token (a lone sign is one, and so is what
// follows the digits of "4x") leaves its question's default, and the later ones take theirs
// too; the largest count the score vectors can index is accepted.
TEST(Dialogue, AnswersSetTheCodingsAndParameterCount) {
    struct Case {
        std::string input;
        long ncov;
        int smodeltype, cmodeltype;
        long npars;
        std::array<int, 3> cchu1, cch;
    };
    const std::vector<Case> cases = {
        {"3 1 0", 3, 1, 0, 8, {0, 0, 1}, {0, 1, 1}},  // None keeps cch and 2*ncov + 2
        {"3\n2\n7 3\n", 3, 2, 3, 5, {0, 1, 1}, {0, 1, 2}},
        {"-4 1 0 5 3 1", 1, 3, 1, 3, {0, 1, 2}, {0, 0, 1}},
        {"-", 2, 2, 0, 6, {0, 1, 1}, {0, 1, 1}},
        {"4x 3 3", 4, 2, 0, 10, {0, 1, 1}, {0, 1, 1}},
        {"0 1", 0, 1, 0, 2, {0, 0, 1}, {0, 1, 1}},
        {std::to_string(kMaxCovariates) + " 1 0", kMaxCovariates, 1, 0, 2 * kMaxCovariates + 2, {0, 0, 1}, {0, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input: " + c.input);
        const Settings s = talk(c.input);
        EXPECT_EQ(s.ncov, c.ncov);
        EXPECT_EQ(s.smodeltype, c.smodeltype);
        EXPECT_EQ(s.cmodeltype, c.cmodeltype);
        EXPECT_EQ(s.npars, c.npars);
        EXPECT_EQ((std::array<int, 3>{s.cchu1[0], s.cchu1[1], s.cchu1[2]}), c.cchu1);
        EXPECT_EQ((std::array<int, 3>{s.cch[0], s.cch[1], s.cch[2]}), c.cch);
    }
}

}  // namespace
}  // namespace quillon
