// The input stage: the reader of the three files with its regressions, and the
// genotype-pattern checks.  The messages of whole runs on bad input are data folders of the
// end-to-end tests.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input/pedigree_input.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/program.hpp"
#include "genetics/transmission.hpp"
#include "input/data_checks.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {
namespace {

using test_support::TempDir;
using test_support::trio;

struct Read {
    FamilyTable t;
    std::string out;
    int status = 0;  // 0: read_families returned
};

Read read(const TempDir& d, long ncov) {
    test_support::TempFile out;
    Read r;
    try {
        r.t = read_families(Settings{.ncov = ncov}, d.path(), out.get());
    } catch (const ProgramExit& e) {
        r.status = e.status();
    }
    r.out = out.text();
    return r;
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
    EXPECT_EQ(f.weight[1], 0.5);
    EXPECT_EQ(r.t[3].weight[3], 9.0);
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

// A wpedigree.dat that is a pipe was read by the counting pass and found empty by the
// reading pass, and the run blamed the file for changing while it was read.  It is now
// refused before anything is read, with the reason.
TEST(ReadFamiliesRegression, PedigreePipeWasReportedAsChangedWhileRead) {
    TempDir d;
    const std::string ped = d.file("wpedigree.dat");
    ASSERT_EQ(::mkfifo(ped.c_str(), 0600), 0);
    // Held open for reading and writing, the pipe never blocks the reader's open and no
    // writer ever meets a closed pipe.
    const int fd = ::open(ped.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const std::string text = trio(1);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    d.write("wweights.dat", "1 1 1");
    const Read r = read(d, 0);
    ::close(fd);
    EXPECT_EQ(r.out, "\nERROR: Cannot read " + ped + " twice: " + std::strerror(ESPIPE) +
                       ". It must be a file, not a pipe.\n");
    EXPECT_EQ(r.status, 1);
}

// A wcovars.dat or wweights.dat that opened but could not be read (here a folder) was
// first reported as ending before the first individual's numbers, and only then as
// unreadable.  The read error is now the only message.
TEST(ReadFamiliesRegression, ReadErrorWasReportedAsAnEarlyEnd) {
    for (const char* name : {"wcovars.dat", "wweights.dat"}) {
        SCOPED_TRACE(name);
        TempDir d;
        d.write("wpedigree.dat", trio(1));
        d.write("wcovars.dat", "1\n1\n1\n");
        d.write("wweights.dat", "1 1 1");
        std::filesystem::remove(d.file(name));
        std::filesystem::create_directory(d.file(name));
        const Read r = read(d, 1);
        EXPECT_EQ(r.out, "\nERROR: Cannot read " + d.file(name) + ": " + std::strerror(EISDIR) + "\n");
        EXPECT_EQ(r.status, 1);
    }
}

// Every family of two parents (each typed 0, 1, 2 or untyped) and two typed children, in one
// table.  Independently of gx: the genotypes must admit a parental pair under which each
// child has a non-zero probability (phg), or they get the genotype-pattern message; a typed
// father with an untyped mother gets the mother/father message instead, whatever the
// children.  All pattern messages come before all mother/father messages.
TEST(FamilyChecks, EveryPatternOfTwoParentsAndTwoChildren) {
    const long n = 4 * 4 * 3 * 3;
    FamilyTable t;
    t.nfam = n;
    t.fam = IndexVector<famdat>(1, n);
    FamilyNotes notes{lvector(1, n), lvector(1, n), ivector(1, n)};
    const std::string rule_rest =
        " If only one parent has known genotype, it must be the mother.\n"
        " Change the data, (interchange the lines for mother and father in\n"
        " the wpedigree.dat, wcovars.dat, and wweights.dat file)  for mother\n"
        " to that of father's (and remember to assign 'father' to  sex=2=female\n"
        " and 'mother' to sex=1).\n"
        " Then rerun.\n";
    std::string patterns, rules;
    long k = 0;
    for (int fg = -1; fg <= 2; ++fg)
        for (int mg = -1; mg <= 2; ++mg)
            for (int c1 = 0; c1 <= 2; ++c1)
                for (int c2 = 0; c2 <= 2; ++c2) {
                    famdat& fam = t[++k];
                    fam.famid = k;
                    fam.ninfam = 4;
                    fam.famgeno = ivector(1, 4);
                    fam.famgeno[1] = fg, fam.famgeno[2] = mg, fam.famgeno[3] = c1, fam.famgeno[4] = c2;
                    notes.size[k] = 4, notes.first_line[k] = 4 * k - 3, notes.allele_fault[k] = 0;
                    bool possible = false;
                    for (int f = 0; f <= 2; ++f)
                        for (int m = 0; m <= 2; ++m)
                            possible = possible || ((fg < 0 || fg == f) && (mg < 0 || mg == m) && phg(f, m, c1) > 0.0 &&
                                                    phg(f, m, c2) > 0.0);
                    const std::string id = std::to_string(k);
                    if (fg >= 0 && mg < 0)
                        rules += "\nERROR: Family " + id + ": Mother's genotype is unknown.  Father's is known.\n" + rule_rest;
                    else if (!possible)
                        patterns += "\nERROR: Family " + id + ": Family genotypes are inconsistant.\n";
                }
    test_support::TempFile out;
    EXPECT_FALSE(check_families(t, notes, "ped", out.get()));
    EXPECT_EQ(out.text(), patterns + rules);
}

}  // namespace
}  // namespace quillon
