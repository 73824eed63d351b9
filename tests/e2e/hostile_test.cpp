// Hostile input too large for a data folder, made here and run through the built program.
#include <gtest/gtest.h>

#include <string>

#include "support/program.hpp"

namespace quillon::test_support {
namespace {

RunResult run(const TempDir& dir, const std::string& answers, double timeout) {
    return run_program(QUILLON_BIN, {}, dir.path(), answers, timeout);
}

// Hostile input ends with its messages within seconds, never with a crash or a hang.
// The time limit is generous for the sanitizer build; a release build takes well under a
// second on each.
const double kLimit = 20.0;

// Lines of 10 MB: in a field after the ninth (ignored), as a pedigree field, a covariate
// and a weight; files of nothing but NUL bytes.
TEST(HostileInput, LongLinesAndNulBytes) {
    TempDir dir;
    dir.write("wpedigree.dat", trio(1) + "1 4 1 2 1 1 0 1 1 " + std::string(10'000'000, '7') + "\n");
    dir.write("wweights.dat", std::string(5'000'000, ' ') + "1 1 1 1");
    RunResult r = run(dir, "0 1", kLimit);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.out;  // fields after the ninth are ignored, however long

    const std::string digits = "1" + std::string(10'000'000, '0');
    dir.write("wpedigree.dat", digits + " 1 0 0 1 1 0 1 1\n" + trio(1));
    dir.write("wcovars.dat", "1\n" + digits + "\n0." + std::string(10'000'000, '0') + "1\n1\n");
    dir.write("wweights.dat", "1 1 1." + std::string(10'000'000, '0') + " 1\n");
    r = run(dir, "1 1 0", kLimit);
    EXPECT_EQ(r.out, "\nERROR: wpedigree.dat line 1: field 1 is an integer out of range. The line is not used.\n"
                     "\nERROR: wcovars.dat line 2: covariate 1 is not a finite number.\n");
    EXPECT_EQ(r.status, 1);

    const std::string nul(1'000'000, '\0');
    dir.write("wpedigree.dat", nul);
    dir.write("wcovars.dat", nul);
    dir.write("wweights.dat", nul);
    r = run(dir, "1 1 0", kLimit);
    EXPECT_EQ(r.out, "\nERROR: wpedigree.dat line 1: field 1 is not an integer. The line is not used.\n"
                     "\nERROR: wcovars.dat line 1: covariate 1 is not a number.\n"
                     "\nERROR: wweights.dat line 1: the weight of the individual on line 1 of wpedigree.dat is not a "
                     "number.\n"
                     "\nERROR: wpedigree.dat holds no families.\n");
    EXPECT_EQ(r.status, 1);
}

// Counts at and beyond their limits: the 10000th and 10001st family, a million covariates
// answered.  (Integers beyond a long, negative zero and weights that are not finite are data
// folders.)
TEST(HostileInput, HugeCountsAndNumbers) {
    TempDir dir;
    std::string ped;
    for (int f = 1; f <= 10000; ++f) ped += trio(f);
    dir.write("wpedigree.dat", ped);
    dir.write("wweights.dat", "");
    RunResult r = run(dir, "0 1", kLimit);
    EXPECT_EQ(r.out, "\nERROR: wweights.dat ends before the weight of the individual on line 1 of wpedigree.dat.\n");
    dir.write("wpedigree.dat", ped + trio(10001));
    r = run(dir, "0 1", kLimit);
    EXPECT_TRUE(r.err.ends_with("Additive(3)-->            1\n")) << r.err;  // both answers read first
    EXPECT_EQ(r.out, "\nERROR: wpedigree.dat holds more than 10000 families; at most 10000 are allowed.\n");
    EXPECT_EQ(r.status, 1);

    dir.write("wpedigree.dat", trio(1));
    dir.write("wcovars.dat", "1 2\n1 2\n1 2\n");
    dir.write("wweights.dat", "1 1 1");
    r = run(dir, "1000000 1 0", kLimit);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', 1) + 1), "\nERROR: wcovars.dat line 1 holds 2 covariates; 1000000 are needed.\n");

}

}  // namespace
}  // namespace quillon::test_support
