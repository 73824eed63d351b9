#include "genetics/patterns.hpp"

#include <cmath>

namespace quillon {

void store_pairs(const ParentPairs& pairs, famdat& fam) {
    room_for_pairs(fam, pairs.unpgeno);
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

bool store_consistent_pairs(famdat& fam) {
    int children = 0;
    for (int i = 3; i <= fam.ninfam; ++i) children |= child_bit(fam.famgeno[i]);
    const PairList* pairs = consistent_pairs(fam.famgeno[1], fam.famgeno[2], children);
    if (pairs == nullptr) return false;
    store_pairs(*pairs, fam);
    return true;
}

}  // namespace quillon
