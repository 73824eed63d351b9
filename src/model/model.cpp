#include "model/model.hpp"

#include <cmath>

namespace quillon {

void expand_coefficients(const Settings& s, const DVector& ppars, DVector& pars) {
    const long ncoef = s.npars - 2;  // 2*ncov with the None model, ncov otherwise
    for (long i = 1; i <= ncoef; ++i) {
        switch (s.cmodeltype) {
            case kNone:
                pars[i] = ppars[i];
                break;
            case kRecessive:  // b1 = 0, b2 = beta
                pars[i] = 0.0;
                pars[i + ncoef] = ppars[i];
                break;
            case kDominant:  // b1 = b2 = beta
                pars[i] = ppars[i];
                pars[i + ncoef] = ppars[i];
                break;
            case kAdditive:  // b1 = beta, b2 = beta + beta
                pars[i] = ppars[i];
                pars[i + ncoef] = ppars[i] + ppars[i];
                break;
            default:
                nrerror("mkfindiv: covariate model type outside 0..3", NumericalKind::kInvalidSetting);
        }
    }
}

void mkfindiv(const Settings& s, const DVector& ppars, famdat& fam) {
    const long ncov = s.ncov;
    DVector pars = vector(1, static_cast<int>(2 * ncov));
    expand_coefficients(s, ppars, pars);
    for (int j = 1; j <= fam.ninfam; ++j) {
        // nu1 = exp(sum_i b1[i] x[i]), nu2 = exp(sum_i b2[i] x[i]), each summed from 0.0 in
        // ascending i.  Parents get theirs too; only the children's are ever read.
        double sum1 = 0.0;
        double sum2 = 0.0;
        for (long i = 1; i <= ncov; ++i) {
            const double x = fam.fcovdat[j][i];
            sum1 += pars[i] * x;
            sum2 += pars[ncov + i] * x;
        }
        fam.findiv[j][2] = std::exp(sum1);
        fam.findiv[j][3] = std::exp(sum2);
        if (fam.phenodat[j] == 0) fam.findiv[j][4] = 0.0;  // missing phenotype: no weight
    }
}

}  // namespace quillon
