// Whole runs compared byte for byte with reviewed expected results.
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
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/program.hpp"

namespace quillon::test_support {
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

// --dir reads the files from another folder; the report is the dialogue's.
TEST(ScriptedRun, DirReadsTheFilesFromAnotherFolder) {
    TempDir dir, elsewhere;
    copy_inputs("none_additive", dir);
    const RunResult d = run_program(QUILLON_BIN, {"--dir", dir.path(), "--covariates", "2", "--status-model", "3",
                                                  "--covariate-model", "0"},
                                    elsewhere.path(), "");
    EXPECT_EQ(d.out, slurp(fs::path(QUILLON_E2E_DATA) / "none_additive" / "expected.out"));
    EXPECT_EQ(d.status, 0);
}

}  // namespace
}  // namespace quillon::test_support
