// Whole runs compared byte for byte with reviewed expected results, and the scripted-run
// options against the dialogue run.
//
// Every folder of tests/e2e/data is one run:
//   args             optional: the command-line arguments, separated by white space
//   stdin            optional: standard input (the dialogue's answers); empty when absent
//   expected.out     standard output, exactly
//   expected.err     standard error, exactly
//   expected.status  the exit status and a newline
//   truth            optional: the simulator's true values (not part of the run)
// Every other file of the folder (the input files) is copied into a fresh folder, and the
// program runs there.  tools/make-e2e-data BUILD_DIR --accept records the expected files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/run_program.hpp"

namespace quillon::e2e {
namespace {

namespace fs = std::filesystem;

const char* const kInputs[] = {"wpedigree.dat", "wcovars.dat", "wweights.dat"};
const char* const kControlFiles[] = {"args", "stdin", "expected.out", "expected.err", "expected.status", "truth"};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> study_names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(QUILLON_E2E_DATA))
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A copy of a study's input files in a fresh folder.
void copy_inputs(const std::string& study, const TempDir& dir) {
    const fs::path from = fs::path(QUILLON_E2E_DATA) / study;
    for (const char* name : kInputs)
        if (fs::exists(from / name)) dir.write(name, slurp(from / name));
}

// The white-space separated words of a folder's args file; none when it is absent.
std::vector<std::string> read_args(const fs::path& file) {
    std::vector<std::string> args;
    std::ifstream in(file);
    for (std::string word; in >> word;) args.push_back(word);
    return args;
}

class Study : public ::testing::TestWithParam<std::string> {};

TEST_P(Study, OutputErrorsAndStatusMatchTheReviewedOnesExactly) {
    const fs::path from = fs::path(QUILLON_E2E_DATA) / GetParam();
    for (const char* name : {"expected.out", "expected.err", "expected.status"})
        ASSERT_TRUE(fs::exists(from / name)) << from / name << " is missing";
    TempDir dir;
    for (const auto& entry : fs::directory_iterator(from)) {
        const std::string name = entry.path().filename().string();
        if (std::find(std::begin(kControlFiles), std::end(kControlFiles), name) == std::end(kControlFiles))
            dir.write(name, slurp(entry.path()));
    }
    const RunResult r = run_program(QUILLON_BIN, read_args(from / "args"), dir.path(), slurp(from / "stdin"));
    EXPECT_EQ(r.out, slurp(from / "expected.out"));
    EXPECT_EQ(r.err, slurp(from / "expected.err"));
    EXPECT_EQ(std::to_string(r.status) + "\n", slurp(from / "expected.status"));
}

INSTANTIATE_TEST_SUITE_P(Data, Study, ::testing::ValuesIn(study_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;  // test names take letters, digits and _
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

const std::string kStudy = "none_additive";  // answers 2 3 0

std::string expected_report() { return slurp(fs::path(QUILLON_E2E_DATA) / kStudy / "expected.out"); }

TEST(ScriptedRun, OptionsGiveTheDialogueReportAndNothingOnStandardError) {
    TempDir dir;
    copy_inputs(kStudy, dir);
    const RunResult r = run_program(
        QUILLON_BIN, {"--covariates", "2", "--status-model", "Additive", "--covariate-model=none"}, dir.path(), "");
    EXPECT_EQ(r.out, expected_report());
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);

    // --dir reads the files from another folder; the numbers are the dialogue's.
    TempDir elsewhere;
    const RunResult d = run_program(QUILLON_BIN, {"--dir", dir.path(), "--covariates", "2", "--status-model", "3",
                                                  "--covariate-model", "0"},
                                    elsewhere.path(), "");
    EXPECT_EQ(d.out, expected_report());
    EXPECT_EQ(d.status, 0);
}

TEST(ScriptedRun, AMissingOptionIsAskedAsUsual) {
    TempDir dir;
    copy_inputs(kStudy, dir);
    const RunResult r = run_program(QUILLON_BIN, {"--covariates", "2", "--covariate-model", "none"}, dir.path(), "3\n");
    EXPECT_EQ(r.out, expected_report());
    EXPECT_EQ(r.err,
              "\nEnter a model_type number for effect of genotype on status\n"
              "           Recessive(1), Dominant(2), or Additive(3)-->            3\n");
}

TEST(ScriptedRun, PvaluesFollowTheReport) {
    TempDir dir;
    copy_inputs("nocov_trios", dir);
    const RunResult r = run_program(QUILLON_BIN, {"--covariates", "0", "--status-model", "additive", "--pvalues"},
                                    dir.path(), "");
    const std::string report = slurp(fs::path(QUILLON_E2E_DATA) / "nocov_trios" / "expected.out");
    ASSERT_EQ(r.out.substr(0, report.size()), report);
    // Non-Founders Statistic=-0.4436: 2 (1 - Phi(0.4436...)) = 0.6573 (normal table).
    EXPECT_EQ(r.out.substr(report.size()), "Non-Founders Statistic p-value (two-sided normal): 0.6573\n");

    TempDir cov;
    copy_inputs(kStudy, cov);
    const RunResult w = run_program(QUILLON_BIN, {"--pvalues"}, cov.path(), "2 3 0\n");
    // WaldStatNus=11.8623 on 4 df: exp(-x/2)(1 + x/2) = 0.01841; NFS -0.9575: 0.3383.
    EXPECT_EQ(w.out.substr(expected_report().size()),
              "Wald p-value (chi-square, df=4): 0.01841\n"
              "Non-Founders Statistic p-value (two-sided normal): 0.3383\n");
}

TEST(ScriptedRun, UsageErrorsEndWithStatusTwoBeforeAnyFileIsRead) {
    TempDir empty;  // no input files: a usage error must come first
    const RunResult unknown = run_program(QUILLON_BIN, {"--covariates", "2", "--bogus"}, empty.path(), "");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1);
    EXPECT_NE(unknown.err.find("--bogus"), std::string::npos);

    const RunResult stray = run_program(QUILLON_BIN, {"extra"}, empty.path(), "");
    EXPECT_EQ(stray.status, 2);
    EXPECT_NE(stray.err.find("extra"), std::string::npos);

    const RunResult model = run_program(QUILLON_BIN, {"--covariates", "0", "--covariate-model", "additive"},
                                        empty.path(), "");
    EXPECT_EQ(model.status, 2);
    EXPECT_EQ(model.out, "");

    // The covariate model from the command line, the count from the dialogue: 0 is refused
    // once it is known, still before any file is read.
    const RunResult answered = run_program(QUILLON_BIN, {"--covariate-model", "dominant", "--status-model", "1"},
                                           empty.path(), "0\n");
    EXPECT_EQ(answered.status, 2);
    EXPECT_EQ(answered.out, "");
    EXPECT_EQ(answered.err.substr(answered.err.rfind("quillon:")),
              "quillon: --covariate-model Dominant needs covariates, but the number of covariates is 0\n");
}

TEST(ScriptedRun, HelpAndVersion) {
    TempDir empty;
    const RunResult help = run_program(QUILLON_BIN, {"--help"}, empty.path(), "");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--status-model"), std::string::npos);
    EXPECT_EQ(help.err, "");
    const RunResult version = run_program(QUILLON_BIN, {"--version"}, empty.path(), "");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quillon ", 0), 0U);
}

TEST(Report, AnOutputThatCannotBeWrittenFailsTheRun) {
    TempDir dir;
    copy_inputs(kStudy, dir);
    const std::string cmd = "cd '" + dir.path() + "' && printf '2 3 0\\n' | '" + QUILLON_BIN +
                            "' >/dev/full 2>/dev/null";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
}

TEST(Report, AParameterCountTooLargeToHoldIsRefusedBeforeTheFit) {
    TempDir dir;
    dir.write("wpedigree.dat", "1 1 0 0 1 1 0 1 2\n1 2 0 0 2 1 0 1 1\n1 3 1 2 1 2 0 1 2\n");
    std::string line;
    for (int i = 0; i < 8000; ++i) line += "0.5 ";
    dir.write("wcovars.dat", line + "\n" + line + "\n" + line + "\n");
    dir.write("wweights.dat", "1 1 1\n");
    const RunResult r = run_program(QUILLON_BIN, {"--covariates", "8000", "--status-model", "3", "--covariate-model", "0"},
                                    dir.path(), "");
    EXPECT_EQ(r.out,
              "\nERROR: 8000 covariates give 16002 parameters; their information matrices would need 11.4 GiB, "
              "more than the 8 GiB this program holds.\n");
    EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace quillon::e2e
