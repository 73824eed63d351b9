// The dialogue and the input stage, run through the built program in temporary folders;
// standard output, standard error and the exit status are compared exactly.
#include <gtest/gtest.h>

#include <algorithm>
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

// With no wpedigree.dat the run ends right after the dialogue, so both streams are known:
// complaints and re-asked questions, one-line answers, an unreadable answer and the end of
// the input (every later question takes its default), no covariates (no covariate
// question), integers beyond a long (a model type refused, a covariate count that ends the
// run) and a negative count.
TEST(InputE2E, DialogueStreamsAreExact) {
    TempDir dir;
    dir.write("wcovars.dat", "");
    dir.write("wweights.dat", "");
    const std::string defaults = P1 + echo(2) + P2 + echo(2) + P3 + echo(0);
    const struct {
        std::string answers, err, out;
    } cases[] = {
        {"1\n0\n5\n3\n4\n2\n", P1 + echo(1) + P2 + P2 + P2 + echo(3) + P3 + P3 + echo(2),
         "\nPlease enter a model type 1, 2, or 3\nPlease enter a model type 1, 2, or 3"
         "\nPlease enter a model type 0, 1, 2, or 3" + kNoPedigree},
        {"2 3 1\n", P1 + echo(2) + P2 + echo(3) + P3 + echo(1), kNoPedigree},
        {"x 3 3\n", defaults, kNoPedigree},
        {"", defaults, kNoPedigree},
        {"0 1", P1 + echo(0) + P2 + echo(1), kNoPedigree},
        {"1 99999999999999999999999999 -99999999999999999999 2 0", P1 + echo(1) + P2 + P2 + P2 + echo(2) + P3 + echo(0),
         "\nPlease enter a model type 1, 2, or 3\nPlease enter a model type 1, 2, or 3" + kNoPedigree},
        {"-3 99999999999999999999999\n", P1 + P1 + echo(9223372036854775807L),
         "\nPlease enter a number of covariates of 0 or more\nERROR: 9223372036854775807 covariates: the number of "
         "covariates must be 0 to 1073741822.\n"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(dir, c.answers);
        EXPECT_EQ(r.err, c.err) << c.answers;
        EXPECT_EQ(r.out, c.out) << c.answers;
        EXPECT_EQ(r.status, 1) << c.answers;
    }
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

// Counts and numbers at and beyond every limit: the 10000th and 10001st family, a million
// covariates answered, integers beyond a long, negative zero, weights that are not finite.
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
    EXPECT_EQ(r.err, P1 + echo(0) + P2 + echo(1));
    EXPECT_EQ(r.out, "\nERROR: wpedigree.dat holds more than 10000 families; at most 10000 are allowed.\n");
    EXPECT_EQ(r.status, 1);

    dir.write("wpedigree.dat", trio(1));
    dir.write("wcovars.dat", "1 2\n1 2\n1 2\n");
    dir.write("wweights.dat", "1 1 1");
    r = run(dir, "1000000 1 0", kLimit);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', 1) + 1), "\nERROR: wcovars.dat line 1 holds 2 covariates; 1000000 are needed.\n");

    dir.write("wpedigree.dat", "1 1 0 0 1 9223372036854775807 0 -9223372036854775808 1\n1 2 0 0 2 1 0 1 1\n"
                               "1 3 1 2 1 1 0 1 1\n9223372036854775808 1 0 0 1 1 0 1 1\n");
    dir.write("wweights.dat", "1 1 1 1");
    r = run(dir, "0 1", kLimit);
    EXPECT_EQ(r.out, "\nERROR:  Family 1: This family has an impermissible penotype.\n"
                     "Each individual must have a phenotype of 0(missing) or 1 or 2\n"
                     "\nERROR: Family 1: An individual has an allele other than 0, 1 or 2 (wpedigree.dat line 1).\n"
                     "\nERROR: wpedigree.dat line 4: field 1 is an integer out of range. The line is not used.\n");
    EXPECT_EQ(r.status, 1);

    // -0, 0 and +0 are one family; -0 is an ordinary 0 in every field and every answer.
    dir.write("wpedigree.dat", trio(1) + "-0 1 -0 -0 1 -0 0 1 2\n0 2 0 0 2 +1 -0 1 1\n+0 3 1 2 1 2 0 1 2\n");
    dir.write("wweights.dat", "1 1 1 -0.0 -0 +0");
    r = run(dir, "-0 -0 +3", kLimit);
    EXPECT_EQ(r.err, P1 + echo(0) + P2 + P2 + echo(3));
    EXPECT_TRUE(r.out.starts_with("\nPlease enter a model type 1, 2, or 3\n")) << r.out;
    EXPECT_NE(r.out.find("Number of Families: 2\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 0);

    dir.write("wpedigree.dat", trio(1) + trio(2));
    dir.write("wweights.dat", "nan -nan\nNaN(123) inf -Infinity 1e309 1.7976931348623157e308");
    r = run(dir, "0 1", kLimit);
    std::string expected;
    for (int line = 1; line <= 6; ++line)
        expected += "\nERROR: wweights.dat line " + std::string(line <= 2 ? "1" : "2") + ": the weight of the individual on line " +
                    std::to_string(line) + " of wpedigree.dat is not a finite number.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.status, 1);
}

// 100000 lines, each with one error of its own kind, in 10000 families: every one is
// reported, in file order, and the run ends with status 1 within seconds.
TEST(HostileInput, EveryLineWrongIsReportedQuickly) {
    // Member m of every family: the rest of its pedigree line after the parent fields, its
    // covariate line, its weight and its message, with # the family and @ the line number.
    const struct {
        const char *rest, *covariate, *weight, *message;
    } members[] = {
        {"1 3 0 1 2", "1", "1",
         "\nERROR:  Family #: This family has an impermissible penotype.\n"
         "Each individual must have a phenotype of 0(missing) or 1 or 2\n"},
        {"2 1 0 0 2", "1", "1", "\nERROR: Family #: An individual has only one of two alleles known.\n"},
        {"1 1 0 0 0", "1", "1", "\nERROR:  Family #: This child  has an unknown  genotype.\n"},
        {"1 1 0 5 1", "1", "1", "\nERROR: Family #: An individual has an allele other than 0, 1 or 2 (wpedigree.dat line @).\n"},
        {"1 1 0", "1", "1", "\nERROR: wpedigree.dat line @ holds 7 fields; nine integers are needed. The line is not used.\n"},
        {"1 1 0 1 1", "nan", "1", "\nERROR: wcovars.dat line @: covariate 1 is not a finite number.\n"},
        {"1 1 0 1 1", "1", "x", "\nERROR: wweights.dat line @: the weight of the individual on line @ of wpedigree.dat is not a number.\n"},
        {"1 1 0 1 1", ",", "1", "\nERROR: wcovars.dat line @ holds 0 covariates; 1 are needed.\n"},
        {"1 1 0 1 1", "1", "inf",
         "\nERROR: wweights.dat line @: the weight of the individual on line @ of wpedigree.dat is not a finite number.\n"},
        {"1 1.5 0 1 1", "1", "1", "\nERROR: wpedigree.dat line @: field 6 is not an integer. The line is not used.\n"},
    };
    std::string ped, cov, wts, expected;
    for (long f = 1; f <= 10000; ++f)
        for (long m = 1; m <= 10; ++m) {
            const auto& member = members[m - 1];
            const std::string id = std::to_string(f), line = std::to_string((f - 1) * 10 + m);
            ped += id + " " + std::to_string(m) + (m <= 2 ? " 0 0 " : " 1 2 ") + member.rest + "\n";
            cov += std::string(member.covariate) + "\n";
            wts += std::string(member.weight) + "\n";
            for (const char* c = member.message; *c != '\0'; ++c) expected += *c == '#' ? id : *c == '@' ? line : std::string(1, *c);
        }
    TempDir dir;
    dir.write("wpedigree.dat", ped);
    dir.write("wcovars.dat", cov);
    dir.write("wweights.dat", wts);
    const RunResult r = run(dir, "1 1 0", kLimit);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out == expected) << "the first difference is at byte "
                                    << std::mismatch(r.out.begin(), r.out.end(), expected.begin(), expected.end()).first -
                                           r.out.begin();
}

}  // namespace
}  // namespace quillon::e2e
