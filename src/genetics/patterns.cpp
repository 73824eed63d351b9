#include "genetics/patterns.hpp"

#include <array>
#include <cmath>

namespace quillon {

void store_pairs(const ParentPairs& pairs, famdat& fam) {
    if (!fam.pgenos.allocated()) fam.pgenos = imatrix(1, parentpairs, 1, 2);
    fam.npgeno = pairs.unpgeno;
    for (int k = 1; k <= fam.npgeno; ++k) {
        fam.pgenos[k][1] = pairs.upgenos[k][1];
        fam.pgenos[k][2] = pairs.upgenos[k][2];
    }
}

bool pair_explains_children(const IVector& famgeno, int ninfam, int f, int m) {
    const int k = 3 * f + m + 1;
    for (int i = 3; i <= ninfam; ++i) {
        const int h = famgeno[i];
        if (h >= 0 && parentgh[h][k] == 0) return false;
    }
    return true;
}

GenotypeTable allocate_genotype_table(int members) {
    GenotypeTable t;
    t.powrdx = lvector(1, maxfamilysize);
    long p = 1;
    for (int k = 1; k <= maxfamilysize; ++k) {
        p *= rdx;
        t.powrdx[k] = p;
    }
    t.rdxmaxfam = static_cast<long>(std::pow(static_cast<double>(rdx), static_cast<double>(members)));
    t.GT = lmatrix(1, t.rdxmaxfam, 1, maxfamilysize);
    t.GT.fill(0);
    t.cntb = 0;
    return t;
}

void makeGT(GenotypeTable& table, const IVector& Gg, int dp) {
    IVector row = ivector(1, maxfamilysize);
    for (int i = 1; i <= maxfamilysize; ++i) row[i] = Gg[i];
    const int cp = dp + 1;
    for (int v = 0; v < rdx; ++v) {
        row[cp] = v;
        if (cp < maxfamilysize) {
            makeGT(table, row, cp);
        } else {
            ++table.cntb;
            for (int i = 1; i <= maxfamilysize; ++i) table.GT[table.cntb][i] = row[i];
        }
    }
}

GenotypeTable build_genotype_table(int members) {
    GenotypeTable table = allocate_genotype_table(members);
    IVector BB = ivector(1, maxfamilysize);
    BB.fill(0);
    makeGT(table, BB, maxfamilysize - members);
    return table;
}

namespace {

// Per pair k (1..9), the set of child genotypes it can have (parentgh).
constexpr std::array<int, parentpairs + 1> kPairChildren = [] {
    std::array<int, parentpairs + 1> set{};
    for (int k = 1; k <= parentpairs; ++k)
        for (int h = 0; h < rdx; ++h)
            if (parentgh[h][k] == 1) set[static_cast<std::size_t>(k)] |= child_bit(h);
    return set;
}();

// gx's pairs by the father's and the mother's codes + 1 and the children's set.  A typed
// father's pair alone (with an untyped mother, her -1), unchecked; for an untyped father
// the pairs, in increasing index, that can have every child and have the mother's
// genotype when she is typed.
using PairTable = std::array<std::array<std::array<PairList, 1 << rdx>, rdx + 1>, rdx + 1>;
constexpr PairTable kPairs = [] {
    PairTable table{};
    for (int father = -1; father < rdx; ++father)
        for (int mother = -1; mother < rdx; ++mother)
            for (int children = 0; children < (1 << rdx); ++children) {
                PairList& list = table[static_cast<std::size_t>(father + 1)][static_cast<std::size_t>(mother + 1)]
                                      [static_cast<std::size_t>(children)];
                if (father != -1) {
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

}  // namespace

const PairList* consistent_pairs(int father, int mother, int children) {
    const PairList& list =
        kPairs[static_cast<std::size_t>(father + 1)][static_cast<std::size_t>(mother + 1)][static_cast<std::size_t>(children)];
    if (list.n == 0) return nullptr;
    // Both parents typed: their pair must explain every child.
    if (father != -1 && mother != -1 &&
        (children & ~kPairChildren[static_cast<std::size_t>(3 * father + mother + 1)]) != 0)
        return nullptr;
    return &list;
}

bool store_consistent_pairs(famdat& fam) {
    int children = 0;
    for (int i = 3; i <= fam.ninfam; ++i) children |= child_bit(fam.famgeno[i]);
    const PairList* pairs = consistent_pairs(fam.famgeno[1], fam.famgeno[2], children);
    if (pairs == nullptr) return false;
    if (!fam.pgenos.allocated()) fam.pgenos = imatrix(1, parentpairs, 1, 2);
    fam.npgeno = pairs->n;
    for (int k = 1; k <= pairs->n; ++k) {
        fam.pgenos[k][1] = pairs->pair[k - 1][0];
        fam.pgenos[k][2] = pairs->pair[k - 1][1];
    }
    return true;
}

}  // namespace quillon
