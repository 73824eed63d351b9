#pragma once
// The checks every individual and every family must pass before anything is fitted.
//
// A failed check prints its message on the given stream (standard output in the program)
// and reports the failure to its caller; nothing stops here.  The reader collects the
// failures and ends the run once every line and every family has been examined.

#include <cstdio>

#include "genetics/chromosome.hpp"
#include "genetics/family.hpp"
#include "input/input_tally.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// Genotype code of an individual from its two alleles (each 0 = not typed, 1 or 2): the
// number of copies of allele 2, a1 + a2 - 2, or -1 for missing.  A child's genotype is
// missing when either allele is 0; a founder's only when both are (a founder with one
// allele 0 is a data error, reported by the line checks, and keeps a1 + a2 - 2).
int genotype_code(long a1, long a2, bool is_child);

struct LineCheckResult {
    bool passed = true;         // no message was printed
    bool alleles_valid = true;  // both alleles are 0, 1 or 2, so genotype_code applies
    // Which of the other checks failed.
    bool bad_phenotype = false;
    bool one_allele_known = false;
    bool child_untyped = false;
};

// The checks of one pedigree line, in this order, each printing its message:
//   phenotype not 0, 1 or 2; only one of the two alleles known; a child (by its parent
//   fields, or by standing third or later in its family) with an allele missing; an
//   allele other than 0, 1 or 2 (this message names the file `pedigree_name` and the line
//   as well as the family).
// A line can fail several.  The products of the alleles are never formed, so any long
// value is safe.
LineCheckResult check_pedigree_line(long famid, long phenotype, long a1, long a2, bool is_child,
                                    const char* pedigree_name, long line_number, std::FILE* out);

// What the reader learnt about each family (all indexed 1..nfam) that the records do not
// hold.  A family whose size is outside 3..maxfamilysize has no member arrays.
struct FamilyNotes {
    LVector size;          // number of usable lines in the family's run
    LVector first_line;    // line of wpedigree.dat where the family starts
    IVector allele_fault;  // 1 when a member has an allele other than 0, 1 or 2
};

// The family checks, over the families in file order, loop after loop:
//  1. size: fewer than 3 or more than maxfamilysize members;
//  2. genotype pattern: no parental pair explains the genotypes (gx lists none, or both
//     parents are typed and some typed child cannot be theirs); a family that passes keeps
//     the pairs in its record (store_pairs), for the fit;
//  3. mother/father rule: the father typed and the mother not (the seven-line message).
// Checks 2 and 3 skip the families that failed check 1 or have an invalid allele (their
// genotypes are unknown and have been reported).  Returns true when every check passed.
// The size message names the family's first line in the file `pedigree_name`.  Each failure
// is also counted in `tally` when one is given, at the family's first line.
//
// On chromosome X (`chromosome` kX; the codes those of x_code) check 2 is
// x_store_consistent_pairs; check 3 does not apply (an untyped mother's genotypes
// are summed over as a father's are).
bool check_families(FamilyTable& families, const FamilyNotes& notes, const char* pedigree_name, std::FILE* out,
                    InputTally* tally = nullptr, ChromosomeClass chromosome = ChromosomeClass::kAutosome);

// Member j's genotype read as an X marker, once its code and sex are stored: member 1 is
// taken as male and member 2 as female whatever their sex codes; a male's code becomes his
// allele (0 for alleles 1 1, 1 for 2 2), a male with two different alleles untyped.  A child
// of unknown sex keeps its code (the X analysis leaves it out).  What was found is counted
// in `tally`, when given, at `place`.
void x_code(famdat& f, int j, InputTally* tally, InputPlace place);

}  // namespace quillon
