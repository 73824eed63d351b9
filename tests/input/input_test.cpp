#include "input/pedigree_input.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "e2e/run_program.hpp"
#include "input/line_reader.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {
namespace {

using e2e::TempDir;

struct Read {
    FamilyTable t;
    std::string out;
    int status = 0;  // 0: read_families returned
};

Read read(const TempDir& d, long ncov) {
    Settings s;
    s.ncov = ncov;
    e2e::TempFile out;
    Read r;
    try {
        r.t = read_families(s, d.path(), out.get());
    } catch (const ProgramExit& e) {
        r.status = e.status();
    }
    r.out = out.text();
    return r;
}

// A trio that passes every check: father genotype 1, mother 0, child 1.
std::string trio(int famid) {
    const std::string f = std::to_string(famid);
    return f + " 1 0 0 1 2 0 1 2\n" + f + " 2 0 0 2 1 0 1 1\n" + f + " 3 1 2 1 2 0 1 2\n";
}

// Every line end ("\n", "\r\n", a lone "\r", one at the end of the file) with chunks of 1
// to 5 bytes, so that each of them, and the "\n" of every "\r\n", falls on a chunk
// boundary somewhere: the lines, blank ones and NUL bytes included, must not change.
TEST(LineReader, LineEndsAcrossChunkBoundaries) {
    const std::string text = std::string("1 2\r\n\r\n\r\r\nab\rc\n\n\0x\r\n", 20) + "last\r";
    const auto lines = [&](std::size_t chunk) {
        const e2e::TempFile f;
        std::fwrite(text.data(), 1, text.size(), f.get());
        std::rewind(f.get());
        LineReader r(f.get(), chunk);
        std::string all, line;
        while (r.next(line)) all += std::to_string(r.line_number()) + ":" + line + "|";
        return all;
    };
    const std::string expected = "1:1 2|2:|3:|4:|5:ab|6:c|7:|8:" + std::string(1, '\0') + "x|9:last|";
    for (std::size_t chunk = 1; chunk <= 5; ++chunk) EXPECT_EQ(lines(chunk), expected) << "chunk " << chunk;
    EXPECT_EQ(lines(LineReader::kDefaultChunk), expected);
}

// Only a whole field that is a number is one: strtol and strtod would take a prefix, or
// hexadecimal.
TEST(NumberParsing, WholeFieldsOnly) {
    long l = 0;
    double d = 0.0;
    EXPECT_EQ(parse_long("+17", l), NumberParse::kOk);
    EXPECT_EQ(l, 17);
    for (const char* bad : {"1.0", "0x1", "+-1", "-", "7a", ""}) EXPECT_EQ(parse_long(bad, l), NumberParse::kNotANumber) << bad;
    EXPECT_EQ(parse_finite_double("-0", d), NumberParse::kOk);
    EXPECT_TRUE(std::signbit(d));
    EXPECT_EQ(parse_finite_double("1e-400", d), NumberParse::kOk);  // underflow rounds to 0
    EXPECT_EQ(d, 0.0);
    for (const char* bad : {"1,5", "0x1p3", "1e", "one", "."}) EXPECT_EQ(parse_finite_double(bad, d), NumberParse::kNotANumber) << bad;
}

TEST(ReadFamilies, FamiliesAreRunsOfLinesAndGenotypesFollowTheRoleRules) {
    TempDir d;
    // Ids 7,7,7,3,3,3,3,7,7,7; CR LF on one line, blank lines at the end; no wcovars.dat.
    d.write("wpedigree.dat", "7 1 0 0 1 1 0 0 0\r\n7 2 0 0 2 0 0 1 1\n7 3 1 2 1 2 0 2 1\n" + trio(3) +
                                 "3 4 1 2 1 1 0 1 1\n" + trio(7) + "\n \t\n");
    d.write("wweights.dat", "0.5 1 2\n3\r\n4 5 6 7 8 9 10 surplus\n");
    const Read r = read(d, 0);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(r.t.nfam, 3);
    EXPECT_EQ(r.t[3].famid, 7);
    EXPECT_EQ(r.t[2].ninfam, 4);
    EXPECT_EQ(r.t[3].ninfam, 3);
    const famdat& f = r.t[1];
    EXPECT_EQ(f.famgeno[1], -1);  // founder 0 0
    EXPECT_EQ(f.famgeno[2], 0);   // founder 1 1
    EXPECT_EQ(f.famgeno[3], 1);   // child 2 1
    EXPECT_EQ(f.phenodat[2], 0);
    EXPECT_EQ(f.findiv[1][4], 0.5);
    EXPECT_EQ(r.t[3].findiv[3][4], 9.0);
}

// Space, comma and tab separate every number, the first two included (a tab and a comma
// there must not join them into one token); runs count as one; a blank line is skipped;
// numbers and lines beyond those needed are ignored.
TEST(ReadFamilies, CovariatesAreSplitAtSpaceCommaAndTab) {
    TempDir d;
    d.write("wpedigree.dat", trio(1));
    d.write("wcovars.dat", "1\t0.5,2.5 7\n\n,,1 ,\t-2,3e0,4, 99 surplus\r\n-0,0 0 0\ngarbage line\n");
    d.write("wweights.dat", "1\n1\n1\n");
    const Read r = read(d, 4);
    ASSERT_EQ(r.status, 0) << r.out;
    const double expected[3][4] = {{1, 0.5, 2.5, 7}, {1, -2, 3, 4}, {0, 0, 0, 0}};
    for (int m = 1; m <= 3; ++m)
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(r.t[1].fcovdat[m][i], expected[m - 1][i - 1]);
}

// Files that cannot be opened, end too early or hold too large a family.  A short covariate
// line is reported with its line number; a file that ends too early is reported once, at
// the first individual it lacks.
TEST(ReadFamilies, MissingShortAndOversizedInput) {
    TempDir d;
    d.write("wpedigree.dat", trio(1) + trio(2));
    const std::string P = d.file("wpedigree.dat"), C = d.file("wcovars.dat"), W = d.file("wweights.dat");
    const std::string reason = std::strerror(ENOENT);
    Read r = read(d, 2);
    EXPECT_EQ(r.out, "\nERROR: Cannot open " + C + ": " + reason + "\n\nERROR: Cannot open " + W + ": " + reason + "\n");
    EXPECT_EQ(r.status, 1);

    d.write("wcovars.dat", "1\n1 2\n");
    d.write("wweights.dat", "1\n1\n1\n1\n\n");
    r = read(d, 2);
    EXPECT_EQ(r.out, "\nERROR: " + C + " line 1 holds 1 covariates; 2 are needed.\n"
                     "\nERROR: " + C + " ends before the covariates of the individual on line 3 of " + P + ".\n"
                     "\nERROR: " + W + " ends before the weight of the individual on line 5 of " + P + ".\n");
    EXPECT_EQ(r.status, 1);

    // Eleven members: more than the genotype tables cover, so no member arrays are made.
    std::string ped = trio(1);
    for (int i = 1; i <= 11; ++i) ped += "3 " + std::to_string(i) + " 0 0 1 1 0 1 1\n";
    d.write("wpedigree.dat", ped);
    d.write("wweights.dat", "1 1 1 1 1 1 1 1 1 1 1 1 1 1");
    r = read(d, 0);
    EXPECT_EQ(r.out, "\nERROR: Family 3 (" + P + " line 4) has 11 members; a family must have 3 to 10: a father, a "
                                                 "mother and 1 to 8 children.\n");
    EXPECT_EQ(r.status, 1);
}

// Faults of every stage in one run: the messages come line by line in file order (for each
// line the pedigree, then its covariates, then its weight), then the family sizes, the
// genotype patterns and the mother/father rule.  (Every kind of line fault, one per line,
// is run end to end.)
TEST(ReadFamilies, AllMessagesInTheirOrder) {
    TempDir d;
    d.write("wpedigree.dat",
            "1 1 0 0 1 3 0 1 2\n"         // 1: phenotype 3
            "1 2 0 0 2 1 0 0 0\n"         // 2: mother untyped, father typed, but an invalid
                                          //    allele leaves the family's genotypes unknown
            "1 3 1 2 1 7 0 3 0\n"         // 3: every line check fails
            "\n"                          // 4: blank, skipped
            "2 1 0 0 1 1 0 0 0\n"         // 5
            "2 2 0 0 2 1 0 2 2\n"         // 6
            "2 3 0 0 1 1 0 1 1 x y\n"     // 7: later fields ignored; child 0 of mother 2
            "2 4 0 0 1 1 0 0 0\n"         // 8: fourth, so a child: untyped
            "3 1 0 0 1 1 0 2 2\n"         // 9
            "3 2 0 0 1 1 0 2 2\n"         // 10
            "3 3 1 2 1 1 0 1 1\n"         // 11: child 0 of parents 2 and 2
            "4 1 0 0 1 1 0 1 1\n"         // 12: a family of one
            // 13: phenotype -1, alleles whose product would overflow, bad covariate and weight
            "5 1 0 0 1 -1 0 9000000000000000000 9000000000000000000\n"
            "5 2 0 0 2 1 0 0 0\n"         // 14
            "5 3 1 2 1 1 0 1 1\n"         // 15
            "6 1 0 0 1 1 0 2 0\n"         // 16: founder half-typed, stored as 0
            "6 2 0 0 2 1 0 0 0\n"         // 17
            "6 3 1 2 1 1 0 1 2\n"         // 18
            "7 1 0 0 1 1 0 1 q\n");       // 19: not an integer, so not used, and a bad covariate
    // After a leading blank line, covariate line k + 1 belongs to the k-th individual.
    std::string cov = "\n";
    for (int k = 1; k <= 18; ++k) cov += k == 12 ? "nan\n" : k == 18 ? "x\n" : "1\n";
    d.write("wcovars.dat", cov);
    d.write("wweights.dat", "1 1 1 1 1 1 1 1 1 1 1 -1e999 1 1 1 1 1 1");
    const std::string P = d.file("wpedigree.dat"), C = d.file("wcovars.dat"), W = d.file("wweights.dat");
    const Read r = read(d, 1);
    EXPECT_EQ(r.status, 1);
    const std::string mf_rest =
        " If only one parent has known genotype, it must be the mother.\n"
        " Change the data, (interchange the lines for mother and father in\n"
        " the wpedigree.dat, wcovars.dat, and wweights.dat file)  for mother\n"
        " to that of father's (and remember to assign 'father' to  sex=2=female\n"
        " and 'mother' to sex=1).\n"
        " Then rerun.\n";
    EXPECT_EQ(r.out,
              "\nERROR:  Family 1: This family has an impermissible penotype.\n"
              "Each individual must have a phenotype of 0(missing) or 1 or 2\n"
              "\nERROR:  Family 1: This family has an impermissible penotype.\n"
              "Each individual must have a phenotype of 0(missing) or 1 or 2\n"
              "\nERROR: Family 1: An individual has only one of two alleles known.\n"
              "\nERROR:  Family 1: This child  has an unknown  genotype.\n"
              "\nERROR: Family 1: An individual has an allele other than 0, 1 or 2 (" + P + " line 3).\n"
              "\nERROR:  Family 2: This child  has an unknown  genotype.\n"
              "\nERROR:  Family 5: This family has an impermissible penotype.\n"
              "Each individual must have a phenotype of 0(missing) or 1 or 2\n"
              "\nERROR: Family 5: An individual has an allele other than 0, 1 or 2 (" + P + " line 13).\n"
              "\nERROR: " + C + " line 13: covariate 1 is not a finite number.\n"
              "\nERROR: " + W + " line 1: the weight of the individual on line 13 of " + P + " is not a finite number.\n"
              "\nERROR: Family 6: An individual has only one of two alleles known.\n"
              "\nERROR: " + P + " line 19: field 9 is not an integer. The line is not used.\n"
              "\nERROR: " + C + " line 19: covariate 1 is not a number.\n"
              "\nERROR: Family 4 (" + P + " line 12) has 1 members; a family must have 3 to 10: a father, a mother and 1 to 8 children.\n"
              "\nERROR: Family 2: Family genotypes are inconsistant.\n"
              "\nERROR: Family 3: Family genotypes are inconsistant.\n"
              "\nERROR: Family 6: Mother's genotype is unknown.  Father's is known.\n" + mf_rest);
}

}  // namespace
}  // namespace quillon
