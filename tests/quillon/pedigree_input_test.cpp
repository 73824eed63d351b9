#include "quillon/pedigree_input.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "e2e/run_program.hpp"
#include "quillon/line_reader.hpp"
#include "quillon/program_exit.hpp"

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
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* out = open_memstream(&buf, &len);
    Read r;
    try {
        r.t = read_families(s, d.path(), out);
    } catch (const ProgramExit& e) {
        r.status = e.status();
    }
    std::fclose(out);
    r.out.assign(buf, len);
    std::free(buf);
    return r;
}

// A trio that passes every check: father genotype 1, mother 0, child 1.
std::string trio(int famid) {
    const std::string f = std::to_string(famid);
    return f + " 1 0 0 1 2 0 1 2\n" + f + " 2 0 0 2 1 0 1 1\n" + f + " 3 1 2 1 2 0 1 2\n";
}

TEST(LineReader, EveryLineEndLongLinesAndNulBytes) {
    const std::string big(3'000'000, 'a');
    const std::string text = "a\r\nb\rc\n\n" + big + "\nx" + std::string(1, '\0') + "y\r";
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    LineReader r(f);
    std::string line;
    for (const std::string& e : {std::string("a"), std::string("b"), std::string("c"), std::string(), big,
                                 std::string("x\0y", 3)}) {
        ASSERT_TRUE(r.next(line));
        EXPECT_EQ(line, e);
    }
    EXPECT_EQ(r.line_number(), 6);
    EXPECT_FALSE(r.next(line));
    std::fclose(f);
}

// Lines are assembled across chunks: with chunks of 1 to 5 bytes every line end, and the
// "\n" of every "\r\n", falls on a chunk boundary somewhere, and the lines must not change.
TEST(LineReader, ChunkBoundariesChangeNothing) {
    const std::string text = std::string("1 2\r\n\r\n\r\r\nab\rc\n\n\0x\r\n", 20) + "last";
    const auto lines = [&](std::size_t chunk) {
        std::FILE* f = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), f);
        std::rewind(f);
        LineReader r(f, chunk);
        std::string all, line;
        while (r.next(line)) all += std::to_string(r.line_number()) + ":" + line + "|";
        std::fclose(f);
        return all;
    };
    const std::string expected = "1:1 2|2:|3:|4:|5:ab|6:c|7:|8:" + std::string(1, '\0') + "x|9:last|";
    for (std::size_t chunk = 1; chunk <= 5; ++chunk) EXPECT_EQ(lines(chunk), expected) << "chunk " << chunk;
    EXPECT_EQ(lines(LineReader::kDefaultChunk), expected);
}

TEST(NumberParsing, WholeFieldsOnly) {
    long l = 0;
    double d = 0.0;
    EXPECT_EQ(parse_long("+17", l), NumberParse::kOk);
    EXPECT_EQ(l, 17);
    for (const char* bad : {"1.0", "0x1", "+-1", "-", "7a"}) EXPECT_EQ(parse_long(bad, l), NumberParse::kNotANumber) << bad;
    EXPECT_EQ(parse_long("99999999999999999999", l), NumberParse::kOutOfRange);
    EXPECT_EQ(parse_finite_double("-0", d), NumberParse::kOk);
    EXPECT_TRUE(std::signbit(d));
    EXPECT_EQ(parse_finite_double("1e-400", d), NumberParse::kOk);  // underflow rounds to 0
    EXPECT_EQ(d, 0.0);
    for (const char* bad : {"nan", "-Infinity", "1e999"}) EXPECT_EQ(parse_finite_double(bad, d), NumberParse::kNotFinite) << bad;
    for (const char* bad : {"1,5", "0x1p3", "1e", "one"}) EXPECT_EQ(parse_finite_double(bad, d), NumberParse::kNotANumber) << bad;
}

TEST(ReadFamilies, FamiliesAreRunsOfLinesAndGenotypesFollowTheRoleRules) {
    TempDir d;
    // Ids 7,7,7,3,3,3,3,7,7,7; CR LF on one line, blank lines at the end.
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
    EXPECT_EQ(f.findiv[2][3], 0.0);
    EXPECT_EQ(f.fcovdat[1].size(), 0);  // no covariates: rows without columns
}

TEST(ReadFamilies, CovariatesAreSplitAtSpaceCommaAndTab) {
    TempDir d;
    d.write("wpedigree.dat", trio(1));
    d.write("wcovars.dat", "1 0.5,2.5\t7\n\n,,1 ,\t-2,3e0,4, 99 surplus\r\n-0 0 0 0\ngarbage line\n");
    d.write("wweights.dat", "1\n1\n1\n");
    const Read r = read(d, 4);
    ASSERT_EQ(r.status, 0) << r.out;
    const double expected[3][4] = {{1, 0.5, 2.5, 7}, {1, -2, 3, 4}, {0, 0, 0, 0}};
    for (int m = 1; m <= 3; ++m)
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(r.t[1].fcovdat[m][i], expected[m - 1][i - 1]);
}

TEST(ReadFamilies, OpenFailuresFamilyCountAndSizeLimits) {
    TempDir d;
    d.write("wpedigree.dat", "\n  \r\n");
    const std::string P = d.file("wpedigree.dat"), reason = std::strerror(ENOENT);
    Read r = read(d, 2);
    EXPECT_EQ(r.out, "\nERROR: Cannot open " + d.file("wcovars.dat") + ": " + reason + "\n\nERROR: Cannot open " +
                         d.file("wweights.dat") + ": " + reason + "\n");
    EXPECT_EQ(r.status, 1);

    d.write("wweights.dat", "");
    EXPECT_EQ(read(d, 0).out, "\nERROR: " + P + " holds no families.\n");

    std::string ped;
    for (int i = 1; i <= 10001; ++i) ped += std::to_string(i) + " 1 0 0 1 1 0 1 1\n";
    d.write("wpedigree.dat", ped);
    EXPECT_EQ(read(d, 0).out, "\nERROR: " + P + " holds more than 10000 families; at most 10000 are allowed.\n");

    ped = trio(1);
    for (int i = 1; i <= 11; ++i) ped += "3 " + std::to_string(i) + " 0 0 1 1 0 1 1\n";
    d.write("wpedigree.dat", ped);
    d.write("wweights.dat", "1 1 1 1 1 1 1 1 1 1 1 1 1 1");
    EXPECT_EQ(read(d, 0).out, "\nERROR: Family 3 (" + P +
                                  " line 4) has 11 members; a family must have 3 to 10: a father, a mother and 1 to 8 "
                                  "children.\n");
}

// Every kind of fault in one run: the messages come line by line in file order (for each
// line the pedigree, then its covariates, then its weight), then the family sizes, the
// genotype patterns and the mother/father rule.
TEST(ReadFamilies, AllMessagesInTheirOrder) {
    TempDir d;
    d.write("wpedigree.dat",
            "1 1 0 0 1 3 0 1 2\n"                     // 1: phenotype 3
            "1 2 0 0 2 1 0 0 0\n"                     // 2: mother untyped, father typed
            "1 3 1 2 1 1 0 0 2\n"                     // 3: child half-typed
            "\n"                                      // 4: blank, skipped
            "2 1 0 0 1 1 0\n"                         // 5: seven fields
            "2 1 0 0 1 1 0 0 0\n"                     // 6
            "2 2 0 0 2 1 0 2 2\n"                     // 7
            "2 3 0 0 1 1 0 1 1 x y\n"                 // 8: later fields ignored; child 0 of mother 2
            "2 4 0 0 1 1 0 0 0\n"                     // 9: fourth, so a child: untyped
            "3 1 0 0 1 1 0 2 2\n"                     // 10
            "3 2 0 0 1 1 0 2 2\n"                     // 11
            "3 3 1 2 1 1 0 1 1\n"                     // 12: child 0 of parents 2 and 2
            "4 1 0 0 1 1 0 1 1\n"                     // 13: a family of one
            "5 1 0 0 1 -1 0 9 1\n"                    // 14: phenotype -1, allele 9, bad covariate and weight
            "5 2 0 0 2 1 0 0 0\n"                     // 15
            "5 3 1 2 1 1 0 1 1\n"                     // 16
            "6 1 0 0 1 1 0 2 0\n"                     // 17: founder half-typed, stored as 0
            "6 2 0 0 2 1 0 0 0\n"                     // 18
            "6 3 1 2 1 1 0 1 2\n"                     // 19
            "99999999999999999999 1 0 0 1 1 0 1 1\n"  // 20: out of range
            "7 1 0 0 1 1 0 1 q\n");                   // 21: not an integer, bad covariate
    // After a leading blank line, covariate line k + 1 belongs to the k-th individual.
    std::string cov = "\n";
    for (int k = 1; k <= 20; ++k) cov += k == 13 ? "nan\n" : k == 20 ? "x\n" : "1\n";
    d.write("wcovars.dat", cov);
    d.write("wweights.dat", "1 1 1 1 1 1 1 1 1 1 1 1 -1e999 1 1 1 1 1 1 1");
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
              "\nERROR: Family 1: An individual has only one of two alleles known.\n"
              "\nERROR:  Family 1: This child  has an unknown  genotype.\n"
              "\nERROR: " + P + " line 5 holds 7 fields; nine integers are needed. The line is not used.\n"
              "\nERROR:  Family 2: This child  has an unknown  genotype.\n"
              "\nERROR:  Family 5: This family has an impermissible penotype.\n"
              "Each individual must have a phenotype of 0(missing) or 1 or 2\n"
              "\nERROR: Family 5: An individual has an allele other than 0, 1 or 2 (" + P + " line 14).\n"
              "\nERROR: " + C + " line 14: covariate 1 is not a finite number.\n"
              "\nERROR: " + W + " line 1: the weight of the individual on line 14 of " + P + " is not a finite number.\n"
              "\nERROR: Family 6: An individual has only one of two alleles known.\n"
              "\nERROR: " + P + " line 20: field 1 is an integer out of range. The line is not used.\n"
              "\nERROR: " + P + " line 21: field 9 is not an integer. The line is not used.\n"
              "\nERROR: " + C + " line 21: covariate 1 is not a number.\n"
              "\nERROR: Family 4 (" + P + " line 13) has 1 members; a family must have 3 to 10: a father, a mother and 1 to 8 children.\n"
              "\nERROR: Family 2: Family genotypes are inconsistant.\n"
              "\nERROR: Family 3: Family genotypes are inconsistant.\n"
              "\nERROR: Family 1: Mother's genotype is unknown.  Father's is known.\n" + mf_rest +
              "\nERROR: Family 6: Mother's genotype is unknown.  Father's is known.\n" + mf_rest);
}

TEST(ReadFamilies, ShortCovariateAndWeightFilesAreReportedOnce) {
    TempDir d;
    d.write("wpedigree.dat", trio(1) + trio(2));
    d.write("wcovars.dat", "1\n1 2\n");
    d.write("wweights.dat", "1\n1\n1\n1\n\n");
    const std::string P = d.file("wpedigree.dat"), C = d.file("wcovars.dat"), W = d.file("wweights.dat");
    Read r = read(d, 2);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\nERROR: " + C + " line 1 holds 1 covariates; 2 are needed.\n"
                     "\nERROR: " + C + " ends before the covariates of the individual on line 3 of " + P + ".\n"
                     "\nERROR: " + W + " ends before the weight of the individual on line 5 of " + P + ".\n");

    // An absurd count costs only its messages: no row is sized before its line is checked.
    r = read(d, 1000000);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', 1) + 1), "\nERROR: " + C + " line 1 holds 1 covariates; 1000000 are needed.\n");
}

}  // namespace
}  // namespace quillon
