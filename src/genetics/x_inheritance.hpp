#pragma once
// Inheritance of an X-linked marker in a nuclear family.
//
// Genotype codes count copies of the counted allele: a male carries one X, so his code is
// 0 or 1 (his allele); a female's is 0, 1 or 2.  A daughter receives her father's X and one
// of her mother's two; a son receives one of his mother's two and nothing from his father.
// The mother passes the counted allele with probability m / 2 (m her genotype).
//
// Parental pairs on X: the father's allele a in {0, 1} and the mother's genotype m in
// {0, 1, 2}, numbered k = 3 a + m + 1 (1..6), the father's allele varying slowest.

#include "genetics/family.hpp"

namespace quillon {

inline constexpr int xparentpairs = 6;

// P(the mother passes the counted allele) = m / 2, exact in binary.
inline double x_maternal_share(int m) { return 0.5 * static_cast<double>(m); }

// P(child of sex `sex` (1 son, 2 daughter) has genotype g | father's allele a, mother m):
//   son       g in {0, 1}: m/2 for g = 1, 1 - m/2 for g = 0
//   daughter  g in {0, 1, 2}: the maternal allele g - a must be 0 or 1, with the son's law.
// 0.0 for a genotype the child's sex cannot have.
inline double x_transmission(int sex, int a, int m, int g) {
    const int maternal = sex == 1 ? g : g - a;
    if (maternal < 0 || maternal > 1) return 0.0;
    const double p = x_maternal_share(m);
    return maternal == 1 ? p : 1.0 - p;
}

// True when the pair (a, m) can have every typed child of `fam` (children of sex other than
// 1 or 2 are not looked at: they are left out of an X analysis before it starts).
bool x_pair_explains_children(const famdat& fam, int a, int m);

// The pairs that agree with the family's typed X genotypes: the typed father's allele, the
// typed mother's genotype, and every typed child.  When there are some (and every typed
// member's code is possible for his or her role: the father 0..1, the mother 0..2, a son
// 0..1, a daughter 0..2), stores them in fam.npgeno and fam.pgenos (father's allele in column
// 1, mother's genotype in column 2, in increasing pair index; pgenos allocated
// 1..parentpairs x 1..2 when it is not) and returns true.  Otherwise the family is a Mendel
// error on X: returns false and leaves the record as it was.
bool x_store_consistent_pairs(famdat& fam);

}  // namespace quillon
