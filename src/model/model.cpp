#include "model/model.hpp"

#include <cmath>

namespace quillon {

void expand_coefficients(const Settings& s, const DVector& ppars, DVector& pars) {
    const long ncoef = coefficients(s);  // 2*ncov with the None model, ncov otherwise
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

namespace {
// mkfindiv's sums at the expanded coefficients `pars`.
void child_risks(long ncov, const DVector& pars, const famdat& fam, double* risks) {
    for (int j = 3; j <= fam.ninfam; ++j) {
        // nu1 = exp(sum_i b1[i] x[i]), nu2 = exp(sum_i b2[i] x[i]), each summed from 0.0 in
        // ascending i.
        double sum1 = 0.0;
        double sum2 = 0.0;
        for (long i = 1; i <= ncov; ++i) {
            const double x = fam.fcovdat[j][i];
            sum1 += pars[i] * x;
            sum2 += pars[ncov + i] * x;
        }
        risks[2 * (j - 3)] = std::exp(sum1);
        risks[2 * (j - 3) + 1] = std::exp(sum2);
    }
}
}  // namespace

void mkfindiv(const Settings& s, const DVector& ppars, const famdat& fam, double* risks) {
    DVector pars = vector(1, static_cast<int>(2 * s.ncov));
    expand_coefficients(s, ppars, pars);
    child_risks(s.ncov, pars, fam, risks);
}

FlatVector<double> relative_risks(const Settings& s, const DVector& ppars, const FamilyTable& families) {
    std::size_t children = 0;
    for (long i = 1; i <= families.nfam; ++i) children += static_cast<std::size_t>(families[i].ninfam - 2);
    FlatVector<double> risks(2 * children);  // every entry written below
    DVector pars = vector(1, static_cast<int>(2 * s.ncov));
    expand_coefficients(s, ppars, pars);
    std::size_t at = 0;
    for (long i = 1; i <= families.nfam; ++i) {
        child_risks(s.ncov, pars, families[i], risks.data() + at);
        at += 2 * static_cast<std::size_t>(families[i].ninfam - 2);
    }
    return risks;
}

}  // namespace quillon
