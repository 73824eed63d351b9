// The line checks, the family sizes and the order of the messages of a whole file are
// tested through the reader (pedigree_input_test); here every genotype pattern of a small
// family against the transmission probabilities.
#include "input/data_checks.hpp"

#include <gtest/gtest.h>

#include <string>

#include "e2e/run_program.hpp"
#include "genetics/transmission.hpp"

namespace quillon {
namespace {

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
    e2e::TempFile out;
    EXPECT_FALSE(check_families(t, notes, "ped", out.get()));
    EXPECT_EQ(out.text(), patterns + rules);
}

}  // namespace
}  // namespace quillon
