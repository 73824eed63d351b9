#pragma once
// One record per nuclear family, and the family table.
//
// Roles by position: member 1 is the father, member 2 the mother, members 3..ninfam the
// children.  Genotype codes count copies of allele 2 (0, 1, 2); -1 is missing.

#include <array>
#include <utility>
#include <vector>

#include "toolkit/nrarray.hpp"

namespace quillon {

inline constexpr int maxfamilysize = 10;
inline constexpr int maxchildren = maxfamilysize - 2;  // children of one family
inline constexpr int parentpairs = 9;                  // parental genotype pairs (f, m), f, m in 0..2
inline constexpr long maxNumberOfFamilies = 10000;

struct famdat {
    long famid = 0;    // field 1 of the family's lines
    int ninfam = 0;    // members (3..maxfamilysize once the checks have passed)
    int npgeno = 0;    // compatible parental genotype pairs (1..9), set before the fit
    IVector famgeno;   // 1..ninfam: genotype code of each member
    // Compatible pairs 1..npgeno, father in column 1, mother in 2; the rows beyond npgeno are
    // zero.  The single run gives every record rows 1..parentpairs; the scan gives a record
    // one row until a family in it needs more (room_for_pairs).
    IMatrix pgenos;
    IVector phenodat;  // 1..ninfam: phenotype 0 (missing), 1 or 2
    IVector sex;       // 1..ninfam: 1 male, 2 female, 0 unknown (or a placeholder member)
    DMatrix fcovdat;   // 1..ninfam x 1..ncov: covariate rows
    DVector weight;    // 1..ninfam: statistic weight, 0 for a member of phenotype 0
    // Genotype likelihoods P(data | genotype 0, 1, 2) of each member, at [1..ninfam] (entry 0
    // unused), when the genotypes are uncertain (imputed or sequenced); empty for hard calls.
    std::vector<std::array<double, 3>> glik;
    // The family's stratum (0-based) when the parents' genotype prior is stratified; 0 otherwise.
    int stratum = 0;
    // With glik: each member's expected ALT dosage at [1..ninfam], NaN without data (or
    // empty: no dosages known).
    std::vector<double> dosage;
};

// Room in fam.pgenos for n pairs: a record without rows for them takes rows 1..parentpairs,
// zeroed, in their place.
inline void room_for_pairs(famdat& fam, int n) {
    if (fam.pgenos.allocated() && fam.pgenos.row_hi() >= n) return;
    IMatrix rows = imatrix(1, parentpairs, 1, 2);
    rows.fill(0);
    fam.pgenos = std::move(rows);
}

// The relative risks nu1, nu2 of genotypes 1 and 2 against genotype 0 of one family's
// children, at a fitted parameter vector: member j's (j = 3..ninfam) at nu[2 (j - 3)] and
// nu[2 (j - 3) + 1].
struct ChildRisks {
    const double* nu = nullptr;
    double nu1(int j) const { return nu[2 * (j - 3)]; }
    double nu2(int j) const { return nu[2 * (j - 3) + 1]; }
};

// The families in file order, numbered 1..nfam.
struct FamilyTable {
    long nfam = 0;
    IndexVector<famdat> fam;  // 1..nfam

    famdat& operator[](long i) { return fam[i]; }
    const famdat& operator[](long i) const { return fam[i]; }
};

}  // namespace quillon
