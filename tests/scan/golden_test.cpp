// `quillon scan` on every folder of tests/scan/data, with --threads 1 and 2, compared byte for
// byte with reviewed results: quillon.tsv, quillon.log and quillon.mendel with expected.tsv,
// .log and .mendel (a missing one: the run must leave no such file, nor its .part), standard
// output with expected.out, standard error with expected.err (both empty when absent) and the
// exit status with expected.status (0 when absent).  The log's Elapsed line is compared as
// "Elapsed: - s", and the two-thread run's log as the one-thread run's.  The args file holds
// the words after `quillon`, without --threads; a `simulate` file, quillon-simulate's options
// for the inputs, which it writes before the run.  tools/make-scan-data BUILD_DIR --accept
// records the expected files.

#include <string>

#include "support/data_folder.hpp"

namespace quillon::test_support {
namespace {

void replace(std::string& text, const std::string& from, const std::string& to) {
    if (const std::size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
}

std::string normalised_log(std::string log, const std::string& threads) {
    replace(log, " --threads " + threads + " --quiet\n", " --threads 1 --quiet\n");
    replace(log, "\nThreads: " + threads + "\n", "\nThreads: 1\n");
    if (const std::size_t at = log.find("\nElapsed: "); at != std::string::npos)
        log.replace(at, log.find('\n', at + 1) - at, "\nElapsed: - s");
    return log;
}

class ScanRun : public ::testing::TestWithParam<std::string> {};

TEST_P(ScanRun, FilesOutputAndStatusMatchTheReviewedOnesWithOneAndTwoThreads) {
    const fs::path from = fs::path(QUILLON_SCAN_DATA) / GetParam();
    for (const std::string threads : {"1", "2"}) {
        SCOPED_TRACE("--threads " + threads);
        TempDir dir;
        copy_inputs(from, dir);
        const std::vector<std::string> simulate = read_args(from / "simulate");
        ASSERT_TRUE(simulate.empty() || run_program(QUILLON_SIMULATE_BIN, simulate, dir.path(), "").status == 0);
        std::vector<std::string> args = read_args(from / "args");
        args.insert(args.end(), {"--threads", threads, "--quiet"});
        const RunResult r = run_program(QUILLON_BIN, args, dir.path(), "");
        const std::string status = slurp(from / "expected.status");
        EXPECT_EQ(std::to_string(r.status) + "\n", status.empty() ? "0\n" : status);
        EXPECT_EQ(r.out, slurp(from / "expected.out"));
        EXPECT_EQ(r.err, slurp(from / "expected.err"));
        for (const std::string ext : {"tsv", "log", "mendel"}) {
            const fs::path expected = from / ("expected." + ext), made = dir.file("quillon." + ext);
            if (!fs::exists(expected)) {
                EXPECT_FALSE(fs::exists(made) || fs::exists(made.string() + ".part")) << made;
                continue;
            }
            const std::string text = slurp(made);
            EXPECT_EQ(ext == "log" ? normalised_log(text, threads) : text, slurp(expected)) << made;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ScanData, ScanRun, ::testing::ValuesIn(folder_names(QUILLON_SCAN_DATA)), test_name);

}  // namespace
}  // namespace quillon::test_support
