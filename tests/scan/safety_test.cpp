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

// A small study "st" with a covariate file and weights.
void small_study(const TempDir& dir, const char* markers = "12", const char* families = "30") {
    simulate(dir, {"--families", families, "--ncov", "2", "--intercept", "--model", "additive", "--beta", "0.3,0.2",
                   "--markers", markers, "--untyped-father", "0.3", "--covar", "st.covar", "--seed", "7"});
}

// The N-th allocation fails, for N from the first after the command line is read (a run
// that stops at a missing file allocates as much, with a few dozen for its message; CLI11
// ends the process on a failure inside its parser) to the last of a whole scan: reading,
// family tables and fits, on one thread and four.  Every run ends with the message, exit
// status 1 and no result file; none ends with a signal or a result.
TEST(ScanSafety, RunningOutOfMemoryAnywhereEndsTheScanWithoutResults) {
    TempDir dir;
    small_study(dir);
    std::vector<std::string> early = {"scan", "--bfile", "nothing"};
    early.insert(early.end(), kScan.begin() + 2, kScan.end());
    ::setenv("QUILLON_COUNT_ALLOCATIONS", "1", 1);
    const long first = 100 + allocations(test_support::run_program(QUILLON_FAILING_ALLOCATION_BIN, early, dir.path(), ""));
    ::unsetenv("QUILLON_COUNT_ALLOCATIONS");
    // One thread allocates least (more threads add the ring and a scratch per worker, as many
    // as the scheduling makes busy): 90% of its count is inside every run.
    const RunResult whole = failing_scan(dir, 0, 1, true);
    ASSERT_EQ(whole.status, 0) << whole.err;
    for (const std::string& name : outputs(dir)) std::filesystem::remove(dir.file(name));
    const long last = allocations(whole) * 9 / 10;
    for (const unsigned threads : {1u, 4u}) {
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

// --out whose result names are an input under another spelling is refused before anything is
// read or written, and the input keeps its bytes; a symbolic link planted at a result's name
// or at a fixed temporary name is replaced, never written through.
TEST(ScanSafety, OutputsNeverReplaceInputsNorFollowLinks) {
    TempDir dir;
    small_study(dir);
    std::filesystem::create_symlink(dir.file("st.covar"), dir.file("link.log"));
    std::filesystem::create_hard_link(dir.file("st.w"), dir.file("hard.mendel"));
    std::filesystem::copy_file(dir.file("st.fam"), dir.file("fam.tsv"));
    dir.write("ex.mendel", "snp1\n");
    const std::string before[] = {dir.read("st.covar"), dir.read("st.w"), dir.read("fam.tsv")};
    const std::vector<std::vector<std::string>> cases = {
        {"--covar", "./link.log", "--out", "link"}, {"--weights", "hard.mendel", "--out", "./hard"},
        {"--fam", "fam.tsv", "--out", "fam"}, {"--extract", "ex.mendel", "--out", "./ex"}};
    for (const auto& extra : cases) {
        std::vector<std::string> args = {"--bfile", "st", "--status-model", "additive", "--covariate-model", "none"};
        args.insert(args.end(), extra.begin(), extra.end());
        if (extra[0] != "--fam") args.insert(args.end(), {"--fam", "st.fam"});
        const RunResult r = scan(dir, args);
        EXPECT_EQ(r.status, 2) << extra[1];
        EXPECT_NE(r.err.find("over the input"), std::string::npos) << r.err;
    }
    EXPECT_EQ(dir.read("st.covar"), before[0]);
    EXPECT_EQ(dir.read("st.w"), before[1]);
    EXPECT_EQ(dir.read("fam.tsv"), before[2]);
    EXPECT_EQ(dir.read("ex.mendel"), "snp1\n");

    dir.write("target", "keep");
    for (const char* name : {"o.tsv", "o.log", "o.tsv.part", "o.mendel.part", "o.log.part", "o.lock.part"})
        std::filesystem::create_symlink(dir.file("target"), dir.file(name));
    const RunResult r = scan(dir, {"--bfile", "st", "--status-model", "additive", "--covariate-model", "none", "--out", "o"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("target"), "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("o.tsv")));
}

// Two scans with one --out at once: one writes its files, the other is refused by the lock;
// a scan stopped by SIGTERM or SIGINT leaves no file of its outputs; closed standard error
// cannot land in a result; a selection of nothing is an error naming it.
TEST(ScanSafety, ConcurrentInterruptedAndEmptyRuns) {
    TempDir dir;
    small_study(dir, "400", "150");
    const std::string scan_cmd = std::string(QUILLON_BIN) +
                                 " scan --bfile st --covar st.covar --status-model additive --covariate-model additive"
                                 " --quiet --out ";
    const RunResult both = test_support::run_program(
        "/bin/sh", {"-c", "(" + scan_cmd + "x --threads 1 2>e1; echo $? >s1) & (" + scan_cmd + "x --threads 1 2>e2; echo $? >s2) & wait"},
        dir.path(), "");
    const std::string s1 = dir.read("s1"), s2 = dir.read("s2");
    EXPECT_TRUE((s1 == "0\n" && s2 == "1\n") || (s1 == "1\n" && s2 == "0\n")) << s1 << s2;
    EXPECT_NE((dir.read("e1") + dir.read("e2")).find("x.lock"), std::string::npos);
    ASSERT_EQ(scan(dir, {"--bfile", "st", "--covar", "st.covar", "--status-model", "additive", "--covariate-model",
                         "additive", "--threads", "2", "--out", "single"}).status, 0);
    EXPECT_EQ(dir.read("x.tsv"), dir.read("single.tsv"));

    for (const char* signal : {"TERM", "INT"}) {
        const RunResult r = test_support::run_program(
            "/bin/sh", {"-c", scan_cmd + "y --threads 2 & until ls y.tsv.*.part; do sleep 0.01; done >/dev/null 2>&1; kill -" +
                              std::string(signal) + " $!; wait $!"},
            dir.path(), "");
        EXPECT_EQ(r.status, std::string(signal) == "TERM" ? 143 : 130) << r.err;
        EXPECT_NE(r.err.find("no result files were written"), std::string::npos) << r.err;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            EXPECT_FALSE(e.path().filename().string().starts_with("y.")) << e.path();
    }

    // (without ##contig lines htslib warns on standard error while the markers are read)
    const RunResult closed = test_support::run_program(
        "/bin/sh", {"-c", "grep -v '^##contig' st.vcf >bare.vcf; " + std::string(QUILLON_BIN) +
                              " scan --vcf bare.vcf --fam st.fam --status-model additive --covariate-model none"
                              " --quiet --out z 2>&-"},
        dir.path(), "");
    EXPECT_EQ(closed.status, 0);
    EXPECT_TRUE(dir.read("z.tsv").starts_with("CHR\tSNP\t"));

    const RunResult none = scan(dir, {"--bfile", "st", "--status-model", "additive", "--covariate-model", "none",
                                      "--chr", "7", "--out", "n"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no marker selected: --chr matched none of the 400 markers"), std::string::npos) << none.err;
}

}  // namespace
}  // namespace quillon::scantest
