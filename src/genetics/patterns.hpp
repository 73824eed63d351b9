#pragma once
// Family genotype patterns: the parental genotype pairs a family's observed genotypes
// allow (gx), and the table GT of every genotype combination of maxfamilysize members.
//
// Parental pair index k = 3*father + mother + 1 (1..9), father's genotype varying slowest.

#include <array>
#include <cstddef>

#include "genetics/family.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

inline constexpr int rdx = 3;  // genotype values 0, 1, 2

// gpgenos[k] = {father, mother} of pair k.
inline constexpr int gpgenos[10][2] = {{0, 0}, {0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1},
                                       {1, 2}, {2, 0}, {2, 1}, {2, 2}};
// parentgh[h][k] = 1 when pair k can have a child of genotype h.
inline constexpr int parentgh[3][10] = {{0, 1, 1, 0, 1, 1, 0, 0, 0, 0},
                                        {0, 0, 1, 1, 1, 1, 1, 1, 1, 0},
                                        {0, 0, 0, 0, 0, 1, 1, 0, 1, 1}};
// parentg[m][k] = 1 when pair k has mother's genotype m.
inline constexpr int parentg[3][10] = {{0, 1, 0, 0, 1, 0, 0, 1, 0, 0},
                                       {0, 0, 1, 0, 0, 1, 0, 0, 1, 0},
                                       {0, 0, 0, 1, 0, 0, 1, 0, 0, 1}};
// utilg[k][g + 1] = number of the two parents of pair k whose genotype is g.
inline constexpr int utilg[10][4] = {{0, 0, 0, 0}, {0, 2, 0, 0}, {0, 1, 1, 0}, {0, 1, 0, 1}, {0, 1, 1, 0},
                                     {0, 0, 2, 0}, {0, 0, 1, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {0, 0, 0, 2}};

// The result of gx: pairs 1..unpgeno, upgenos[j][1] the father's genotype, upgenos[j][2]
// the mother's (row 0 and column 0 unused, column 3 unused), in increasing pair index.
struct ParentPairs {
    int unpgeno = 0;
    int upgenos[10][3] = {};
};

// Lists the parental pairs that agree with the genotypes ufamg[1..nninfam].
//  - A typed father (ufamg[1] != -1): the single pair (ufamg[1], ufamg[2]), unchecked
//    against the children (with an untyped mother that pair carries -1).
//  - Otherwise every pair that can produce each distinct typed child genotype and, when the
//    mother is typed, has her genotype.
// famid is not used in the computation.  `ufamg` is any 1-based genotype sequence.
template <class Genotypes>
void gx(const Genotypes& ufamg, int nninfam, long famid, ParentPairs& out);

// Stores the pairs in the family's record: npgeno and pgenos[1..npgeno] (pgenos allocated
// 1..parentpairs x 1..2 when it is not).
void store_pairs(const ParentPairs& pairs, famdat& fam);

// True when every typed child's genotype can be born to the pair (f, m).
bool pair_explains_children(const IVector& famgeno, int ninfam, int f, int m);

// A set of genotypes (the typed children's): bit h for genotype h, nothing for -1.
constexpr int child_bit(int g) { return g < 0 ? 0 : 1 << g; }

// Parental pairs {father, mother} in gx's order: pair[0..n-1].
struct PairList {
    int n = 0;
    int pair[parentpairs][2] = {};
};

namespace detail {
// Per pair k (1..9), the set of child genotypes it can have (parentgh).
inline constexpr std::array<int, parentpairs + 1> kPairChildren = [] {
    std::array<int, parentpairs + 1> set{};
    for (int k = 1; k <= parentpairs; ++k)
        for (int h = 0; h < rdx; ++h)
            if (parentgh[h][k] == 1) set[static_cast<std::size_t>(k)] |= child_bit(h);
    return set;
}();

// consistent_pairs' answers by the father's and the mother's codes + 1 and the children's
// set: a typed father's pair alone (with an untyped mother, her -1), none when the mother
// is typed too and their pair cannot have every child; for an untyped father the pairs, in
// increasing index, that can have every child and have the mother's genotype when she is
// typed.
using PairTable = std::array<std::array<std::array<PairList, 1 << rdx>, rdx + 1>, rdx + 1>;
inline constexpr PairTable kConsistentPairs = [] {
    PairTable table{};
    for (int father = -1; father < rdx; ++father)
        for (int mother = -1; mother < rdx; ++mother)
            for (int children = 0; children < (1 << rdx); ++children) {
                PairList& list = table[static_cast<std::size_t>(father + 1)][static_cast<std::size_t>(mother + 1)]
                                      [static_cast<std::size_t>(children)];
                if (father != -1) {
                    const auto k = static_cast<std::size_t>(3 * father + mother + 1);
                    if (mother != -1 && (children & ~kPairChildren[k]) != 0) continue;
                    list.pair[list.n][0] = father;
                    list.pair[list.n++][1] = mother;
                    continue;
                }
                for (int k = 1; k <= parentpairs; ++k)
                    if ((children & ~kPairChildren[static_cast<std::size_t>(k)]) == 0 &&
                        (mother == -1 || gpgenos[k][1] == mother)) {
                        list.pair[list.n][0] = gpgenos[k][0];
                        list.pair[list.n++][1] = gpgenos[k][1];
                    }
            }
    return table;
}();
}  // namespace detail

// The pairs gx lists for the codes `father` and `mother` (-1 untyped) and the children's
// genotype set `children` (child_bit), read from a table, when they are consistent: some
// pair explains them and, with both parents typed, that pair explains every child (gx takes
// a typed father's pair without looking at the children).  Null otherwise.
inline const PairList* consistent_pairs(int father, int mother, int children) {
    const auto f = static_cast<std::size_t>(father + 1), m = static_cast<std::size_t>(mother + 1);
    const PairList& list = detail::kConsistentPairs[f][m][static_cast<std::size_t>(children)];
    return list.n == 0 ? nullptr : &list;
}

// Stores `pairs` in the record as store_pairs does.
inline void store_pairs(const PairList& pairs, famdat& fam) {
    room_for_pairs(fam, pairs.n);
    fam.npgeno = pairs.n;
    for (int k = 0; k < pairs.n; ++k) {
        int* row = fam.pgenos[k + 1].begin_ptr();  // columns 1 and 2
        row[0] = pairs.pair[k][0];
        row[1] = pairs.pair[k][1];
    }
}

// When the family's typed genotypes are consistent (consistent_pairs), stores its
// compatible pairs in the record as store_pairs does and returns true.  Otherwise returns
// false and leaves the record's pairs as they are.
bool store_consistent_pairs(famdat& fam);

// The genotype-combination table: row r holds the ten base-3 digits of r - 1, most
// significant first.  powrdx[k] = 3^k (k = 1..maxfamilysize); rdxmaxfam = 3^10 rows.
struct GenotypeTable {
    LVector powrdx;
    long rdxmaxfam = 0;
    LMatrix GT;
    int cntb = 0;  // rows written so far
};

// Allocates powrdx (filled), rdxmaxfam and GT (zeroed) for families of up to `members`
// members: 3^members rows.  Those are the leading rows of the full table (their first
// maxfamilysize - members digits are 0), which makeGT(table, BB, maxfamilysize - members)
// fills; every lookup of a family of at most `members` members falls within them.
GenotypeTable allocate_genotype_table(int members = maxfamilysize);

// Appends to table.GT every row that extends the first dp digits of Gg[1..maxfamilysize].
// The program calls it once, as makeGT(table, BB, 0) with BB all zero.
void makeGT(GenotypeTable& table, const IVector& Gg, int dp);

// The table with the rows that families of up to `members` members reach
// (allocate_genotype_table, then makeGT from an all-zero prefix).  It is only read
// afterwards, so one table may serve any number of analyses at once.
GenotypeTable build_genotype_table(int members = maxfamilysize);

// ---- template definition ----
template <class Genotypes>
void gx(const Genotypes& ufamg, int nninfam, long /*famid*/, ParentPairs& out) {
    out.unpgeno = 0;
    if (ufamg[1] != -1) {
        out.unpgeno = 1;
        out.upgenos[1][1] = ufamg[1];
        out.upgenos[1][2] = ufamg[2];
        return;
    }
    int posparent[10] = {0, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    bool childin[3] = {false, false, false};
    for (int i = 3; i <= nninfam; ++i) {
        const int h = ufamg[i];
        if (h == -1 || childin[h]) continue;
        for (int k = 1; k <= parentpairs; ++k) posparent[k] *= parentgh[h][k];
        childin[h] = true;
    }
    const int m = ufamg[2];
    if (m != -1)
        for (int k = 1; k <= parentpairs; ++k) posparent[k] *= parentg[m][k];
    for (int k = 1; k <= parentpairs; ++k) {
        if (posparent[k] == 1) {
            ++out.unpgeno;
            out.upgenos[out.unpgeno][1] = gpgenos[k][0];
            out.upgenos[out.unpgeno][2] = gpgenos[k][1];
        }
    }
}

}  // namespace quillon
