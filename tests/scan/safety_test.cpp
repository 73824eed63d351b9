// The scan under hostile conditions: memory running out at any point, outputs that would
// overwrite inputs, planted symbolic links, concurrent runs, closed standard streams.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "scan/scan_support.hpp"

namespace quillon::scantest {
namespace {

const std::vector<std::string> kScan = {"--bfile", "st", "--covar", "st.covar", "--status-model", "additive",
                                        "--covariate-model", "additive", "--out", "c"};

RunResult failing_scan(const TempDir& dir, long fail_at, unsigned threads, bool count = false) {
    std::vector<std::string> args = kScan;
    args.insert(args.begin(), "scan");
    args.insert(args.end(), {"--quiet", "--threads", std::to_string(threads)});
    ::setenv("QUILLON_FAIL_ALLOCATION", std::to_string(fail_at).c_str(), 1);
    if (count) ::setenv("QUILLON_COUNT_ALLOCATIONS", "1", 1);
    const RunResult r = test_support::run_program(QUILLON_FAILING_ALLOCATION_BIN, args, dir.path(), "");
    ::unsetenv("QUILLON_FAIL_ALLOCATION");
    ::unsetenv("QUILLON_COUNT_ALLOCATIONS");
    return r;
}

long allocations(const RunResult& r) {
    const std::size_t at = r.err.rfind("allocations: ");
    return at == std::string::npos ? -1 : std::atol(r.err.c_str() + at + 13);
}

std::vector<std::string> outputs(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().starts_with("c.")) names.push_back(e.path().filename().string());
    return names;
}

// The N-th allocation fails, for N from the first after the command line is read (a run
// that stops at a missing file allocates as much, with a few dozen for its message; CLI11
// ends the process on a failure inside its parser) to the last of a whole scan: reading,
// family tables and fits, on one thread and four.  Every run ends with the message, exit
// status 1 and no result file; none ends with a signal or a result.
TEST(ScanSafety, RunningOutOfMemoryAnywhereEndsTheScanWithoutResults) {
    TempDir dir;
    simulate(dir, {"--families", "30", "--ncov", "2", "--intercept", "--model", "additive", "--beta", "0.3,0.2",
                   "--markers", "12", "--untyped-father", "0.3", "--covar", "st.covar", "--seed", "7"});
    for (const unsigned threads : {1u, 4u}) {
        const RunResult whole = failing_scan(dir, 0, threads, true);
        ASSERT_EQ(whole.status, 0) << whole.err;
        for (const std::string& name : outputs(dir)) std::filesystem::remove(dir.file(name));
        std::vector<std::string> early = {"scan", "--bfile", "nothing"};
        early.insert(early.end(), kScan.begin() + 2, kScan.end());
        ::setenv("QUILLON_COUNT_ALLOCATIONS", "1", 1);
        const long first = 100 + allocations(test_support::run_program(QUILLON_FAILING_ALLOCATION_BIN, early, dir.path(), ""));
        ::unsetenv("QUILLON_COUNT_ALLOCATIONS");
        const long last = allocations(whole) * 9 / 10;  // (with threads the count varies a little)
        ASSERT_GT(first, 0);
        ASSERT_GT(last, first + 1000);
        for (long n = first; n < last; n += (last - first) / 60) {
            const RunResult r = failing_scan(dir, n, threads);
            EXPECT_EQ(r.status, 1) << "allocation " << n << " of " << last << ", threads " << threads << ": " << r.err;
            EXPECT_NE(r.err.find("out of memory"), std::string::npos) << n << ": " << r.err;
            EXPECT_EQ(outputs(dir), std::vector<std::string>{}) << n;
        }
    }
}

}  // namespace
}  // namespace quillon::scantest
