#include "quillon/dialogue.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "quillon/program_exit.hpp"

namespace quillon {
namespace {

const std::string P1 = "\nEnter the number of covariates(Including the \n           Intercept if there is one)-->";
const std::string P2 =
    "\nEnter a model_type number for effect of genotype on status\n"
    "           Recessive(1), Dominant(2), or Additive(3)-->";
const std::string P3 =
    "\nEnter a model_type number for effect of genotype on covariates.\n"
    "For further explanation of this, see the documentation.\n"
    "           None(0), Recessive(1), Dominant(2), or Additive(3)-->";
const std::string C2 = "\nPlease enter a model type 1, 2, or 3";
const std::string C3 = "\nPlease enter a model type 0, 1, 2, or 3";
std::string echo(long v) { return "            " + std::to_string(v) + "\n"; }

struct Talk {
    Settings s;
    std::string out, err;
    int exit_status = -1;  // -1: the dialogue returned
};

Talk talk(const std::string& input, const DialoguePresets& presets = {}) {
    std::FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    char *out_buf = nullptr, *err_buf = nullptr;
    std::size_t out_len = 0, err_len = 0;
    std::FILE* out = open_memstream(&out_buf, &out_len);
    std::FILE* err = open_memstream(&err_buf, &err_len);
    Talk t;
    try {
        run_dialogue(t.s, presets, in, out, err);
    } catch (const ProgramExit& e) {
        t.exit_status = e.status();
    }
    std::fclose(out);
    std::fclose(err);
    t.out.assign(out_buf, out_len);
    t.err.assign(err_buf, err_len);
    std::free(out_buf);
    std::free(err_buf);
    std::fclose(in);
    return t;
}

// The streams of the ordinary cases are compared by the end-to-end tests; here the
// settings they leave.
TEST(Dialogue, AnswersSetTheCodingsAndParameterCount) {
    Talk t = talk("-4 3 0 5 1 3");
    EXPECT_EQ(t.err, P1 + P1 + echo(3) + P2 + P2 + P2 + echo(1) + P3 + echo(3));
    EXPECT_EQ(t.out, "\nPlease enter a number of covariates of 0 or more" + C2 + C2);
    EXPECT_EQ(t.s.npars, 5);
    EXPECT_EQ(t.s.cchu1[1], 0);
    EXPECT_EQ(t.s.cchu1[2], 1);
    EXPECT_EQ(t.s.cch[2], 2);
    t = talk("3\n2\n7 0\n");
    EXPECT_EQ(t.out, C3);
    EXPECT_EQ(t.s.npars, 8);  // 2*3 + 2 under covariate model None, which keeps cch 0, 1, 1
    EXPECT_EQ(t.s.cch[2], 1);
}

// An unreadable token stays unread, so it and every later question take the default; the
// end of the input does the same.
TEST(Dialogue, UnreadableAnswerOrEndOfInputGivesTheDefaults) {
    for (const std::string input : {"x\n", "", "-", "4x 3 3"}) {
        SCOPED_TRACE("input: " + input);
        const Talk t = talk(input);
        const long ncov = input == "4x 3 3" ? 4 : 2;
        EXPECT_EQ(t.err, P1 + echo(ncov) + P2 + echo(2) + P3 + echo(0));
        EXPECT_EQ(t.out, "");
        EXPECT_EQ(t.s.npars, 2 * ncov + 2);
    }
}

TEST(Dialogue, PresetsReplaceTheirQuestions) {
    Talk t = talk("1\n", DialoguePresets{3, std::nullopt, 3});
    EXPECT_EQ(t.err, P2 + echo(1));
    EXPECT_EQ(t.s.npars, 5);
    t = talk("", DialoguePresets{0, 2, 3});  // no covariates: the covariate model is None
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.s.npars, 2);
}

// Integers beyond a long saturate: a model type is refused with its complaint, a covariate
// count too large to index ends the run with a message.
TEST(Dialogue, HugeIntegersAreRefusedCleanly) {
    Talk t = talk("1 99999999999999999999999999 -99999999999999999999 2 0");
    EXPECT_EQ(t.out, C2 + C2);
    EXPECT_EQ(t.s.smodeltype, 2);

    t = talk("99999999999999999999999999 1 1\n");
    EXPECT_EQ(t.exit_status, 1);
    EXPECT_EQ(t.err, P1 + echo(LONG_MAX));
    EXPECT_EQ(t.out, "\nERROR: " + std::to_string(LONG_MAX) + " covariates: the number of covariates must be 0 to " +
                         std::to_string(kMaxCovariates) + ".\n");

    t = talk(std::to_string(kMaxCovariates) + " 1 0");
    EXPECT_EQ(t.exit_status, -1);
    EXPECT_EQ(t.s.npars, 2 * kMaxCovariates + 2);
}

}  // namespace
}  // namespace quillon
