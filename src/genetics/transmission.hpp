#pragma once
// Mendelian transmission of a two-allele marker.
//
// phg(fg, mg, cg)  = P(child genotype cg | father fg, mother mg).
// phgz(fg, mg, cg, nu1, nu2) = the same distribution tilted by the child's relative risks
//   (1, nu1, nu2) of genotypes 0, 1, 2:  T(cg|fg,mg) nu_cg / sum_k T(k|fg,mg) nu_k.
//
// A missing genotype (-1) reaching phg raises MissingGenotypeError.  The single run prints
//   "ERROR: One of the genotypes used to calculate prob(h_j|g)\n" "       is missing\n"
// on standard output for it and ends with status 1; the scan fails the marker.

#include <stdexcept>

namespace quillon {

class MissingGenotypeError : public std::runtime_error {
public:
    MissingGenotypeError() : std::runtime_error("one of the genotypes used to calculate prob(h_j|g) is missing") {}
};

// phgdat[9*fg + 3*mg + cg].
inline constexpr double phgdat[27] = {
    1.0, 0.0, 0.0,    0.5, 0.5, 0.0,   0.0, 1.0, 0.0,   // father 0; mother 0, 1, 2
    0.5, 0.5, 0.0,    0.25, 0.5, 0.25, 0.0, 0.5, 0.5,   // father 1
    0.0, 1.0, 0.0,    0.0, 0.5, 0.5,   0.0, 0.0, 1.0,   // father 2
};

// Throws MissingGenotypeError (out of line, keeping phg small).
[[noreturn]] void missing_genotype();

inline double phg(int fg, int mg, int cg) {
    if (fg == -1 || mg == -1 || cg == -1) missing_genotype();
    return phgdat[9 * fg + 3 * mg + cg];
}

// t0, t1, t2 in that order; the child's term over ((t0 + t1) + t2).
inline double phgz(int fg, int mg, int cg, double nu1z, double nu2z) {
    const double t0 = phg(fg, mg, 0);
    const double t1 = phg(fg, mg, 1) * nu1z;
    const double t2 = phg(fg, mg, 2) * nu2z;
    const double tcg = cg == 0 ? t0 : (cg == 1 ? t1 : t2);
    return tcg / ((t0 + t1) + t2);
}

}  // namespace quillon
