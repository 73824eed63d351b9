// The dialogue and the input stage, run through the built program in temporary folders;
// standard output, standard error and the exit status are compared exactly.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "e2e/run_program.hpp"

namespace quillon::e2e {
namespace {

const std::string P1 = "\nEnter the number of covariates(Including the \n           Intercept if there is one)-->";
const std::string P2 =
    "\nEnter a model_type number for effect of genotype on status\n"
    "           Recessive(1), Dominant(2), or Additive(3)-->";
const std::string P3 =
    "\nEnter a model_type number for effect of genotype on covariates.\n"
    "For further explanation of this, see the documentation.\n"
    "           None(0), Recessive(1), Dominant(2), or Additive(3)-->";
std::string echo(long v) { return "            " + std::to_string(v) + "\n"; }
const std::string kNoPedigree = "\nERROR: Cannot open wpedigree.dat: " + std::string(std::strerror(ENOENT)) + "\n";

std::string trio(int famid) {
    const std::string f = std::to_string(famid);
    return f + " 1 0 0 1 2 0 1 2\n" + f + " 2 0 0 2 1 0 1 1\n" + f + " 3 1 2 1 2 0 1 2\n";
}

RunResult run(const TempDir& dir, const std::string& answers, double timeout = 60.0) {
    return run_program(QUILLON_BIN, {}, dir.path(), answers, timeout);
}

// With no wpedigree.dat the run ends right after the dialogue, so both streams are known.
TEST(InputE2E, DialogueStreamsAreExact) {
    TempDir dir;
    dir.write("wcovars.dat", "");
    dir.write("wweights.dat", "");
    RunResult r = run(dir, "1\n0\n5\n3\n4\n2\n");
    EXPECT_EQ(r.err, P1 + echo(1) + P2 + P2 + P2 + echo(3) + P3 + P3 + echo(2));
    EXPECT_EQ(r.out, "\nPlease enter a model type 1, 2, or 3\nPlease enter a model type 1, 2, or 3"
                     "\nPlease enter a model type 0, 1, 2, or 3" + kNoPedigree);
    EXPECT_EQ(r.status, 1);

    r = run(dir, "x 3 3\n");  // every question takes its default
    EXPECT_EQ(r.err, P1 + echo(2) + P2 + echo(2) + P3 + echo(0));
    EXPECT_EQ(r.out, kNoPedigree);

    r = run(dir, "0 1");  // no covariates: no covariate question, and wcovars.dat is not needed
    EXPECT_EQ(r.err, P1 + echo(0) + P2 + echo(1));
    EXPECT_EQ(r.out, kNoPedigree);

    r = run(dir, "-3 99999999999999999999999\n");
    EXPECT_EQ(r.err, P1 + P1 + echo(9223372036854775807L));
    EXPECT_EQ(r.out, "\nPlease enter a number of covariates of 0 or more\nERROR: 9223372036854775807 covariates: the number "
                     "of covariates must be 0 to 1073741822.\n");
    EXPECT_EQ(r.status, 1);
}

// Valid data reach the analysis stage (what it prints is not tested here).
TEST(InputE2E, ValidDataPassTheChecks) {
    TempDir dir;
    dir.write("wpedigree.dat", trio(1) + "2 1 0 0 1 -0 0 1 1\r\n2 2 0 0 2 +1 0 2 2\r\n2 3 1 2 1 1 0 1 2\r\n\r\n");
    dir.write("wweights.dat", "1 1 1\n-0 1 1\n");
    RunResult r = run(dir, "0 3\n");
    EXPECT_EQ(r.err, P1 + echo(0) + P2 + echo(3));
    EXPECT_EQ(r.status, 0) << r.out;

    dir.write("wcovars.dat", "1,-0\n1\t1e-400\n1 2\n\n1 -0.0\n1 1\n1 1\n");
    r = run(dir, "2 3 1\n");
    EXPECT_EQ(r.status, 0) << r.out;
}

// Hostile input ends with its messages within seconds, never with a crash or a hang.
TEST(InputE2E, HostileInputIsReportedQuickly) {
    TempDir dir;
    const double limit = 20.0;

    dir.write("wpedigree.dat", trio(1) + "1 4 1 2 1 1 0 1 1 " + std::string(10'000'000, '7') + "\n");
    dir.write("wweights.dat", std::string(5'000'000, ' ') + "1 1 1 1");
    RunResult r = run(dir, "0 1", limit);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.out;  // fields after the ninth are ignored, however long

    dir.write("wpedigree.dat", std::string("1 1 0 0 1 1\0 0 1 1\n", 19) + trio(2) + std::string(3, '\0'));
    r = run(dir, "0 1", limit);
    EXPECT_EQ(r.out, "\nERROR: wpedigree.dat line 1: field 6 is not an integer. The line is not used.\n"
                     "\nERROR: wpedigree.dat line 5: field 1 is not an integer. The line is not used.\n"
                     "\nERROR: wweights.dat ends before the weight of the individual on line 5 of wpedigree.dat.\n");
    EXPECT_EQ(r.status, 1);

    std::string bad;
    for (int i = 0; i < 100000; ++i) bad += "1 1 0 0 1 1 0 1 nan\n";
    dir.write("wpedigree.dat", bad);
    r = run(dir, "0 1", limit);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    const std::string last = "\nERROR: wpedigree.dat holds no families.\n";
    ASSERT_GT(r.out.size(), last.size());
    EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);

    dir.write("wpedigree.dat", trio(1));
    dir.write("wcovars.dat", "1 2\n1 2\n1 2\n");
    dir.write("wweights.dat", "1 1 1");
    r = run(dir, "1000000 1 0", limit);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', 1) + 1), "\nERROR: wcovars.dat line 1 holds 2 covariates; 1000000 are needed.\n");

    dir.write("wpedigree.dat", "1 1 0 0 1 9223372036854775807 0 -9223372036854775808 1\n1 2 0 0 2 1 0 1 1\n"
                               "1 3 1 2 1 1 0 1 1\n");
    r = run(dir, "0 1", limit);
    EXPECT_EQ(r.out, "\nERROR:  Family 1: This family has an impermissible penotype.\n"
                     "Each individual must have a phenotype of 0(missing) or 1 or 2\n"
                     "\nERROR: Family 1: An individual has an allele other than 0, 1 or 2 (wpedigree.dat line 1).\n");
    EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace quillon::e2e
