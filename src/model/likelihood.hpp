#pragma once
// The objective of the fit: the negative log-likelihood of all families,
//
//   loglik(theta) = - sum_F log( sum_{(f,m) compatible with F} gamma_f gamma_m
//                                 prod_{children c of F} phgz(f, m, g_c, nu1(x_c), nu2(x_c)) )
//
// with gamma the prevalences of theta[npars-1], theta[npars] (arctangent map of model.hpp)
// and nu1, nu2 the children's relative risks (mkfindiv).  Phenotypes, weights and the
// parents' covariates do not enter.
//
// Likelihood is the minimiser's objective.  It lays the fixed data (children's covariate
// rows and genotype codes, each family's compatible pairs) out flat once, never touches the
// families afterwards and does not allocate per call; it gives the very double of the
// literal evaluation (per family mkfindiv, then phgz child by child, in the order above).

#include "genetics/family.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

class Likelihood {
public:
    // Copies what the likelihood reads from `families` (whose npgeno and pgenos must be set);
    // later changes to the families are not seen.  A child genotype outside 0..2, a pair
    // genotype outside -1..2 or an npgeno outside 0..9 is refused through nrerror.  A pair
    // with an untyped parent (-1) makes every evaluation end the run with the
    // missing-genotype message, as phg does.
    Likelihood(const Settings& s, const FamilyTable& families);

    Likelihood(Likelihood&&) noexcept = default;
    Likelihood& operator=(Likelihood&&) noexcept = default;

    // -log-likelihood at ppars[1..npars], bit-for-bit equal to the literal evaluation.  Uses scratch
    // storage held by the object, so one object must not be evaluated by two threads at once.
    double operator()(const DVector& ppars) const;

private:
    // How the children's relative risks follow from the expanded coefficients.  Both
    // shortcuts give the very doubles of the general sums:
    //  - Dominant: b2 = b1 term by term, so the second sum repeats the first operation for
    //    operation and nu2 = nu1;
    //  - Recessive with finite covariates: b1 = 0, every product 0.0 * x is a zero and the
    //    sum from 0.0 stays +0.0, so nu1 = exp(0.0) = 1.0.
    enum class RiskForm { kGeneral, kEqualRisks, kUnitNu1 };

    Settings s_;
    long nfam_ = 0;
    bool missing_parent_ = false;
    RiskForm risk_form_ = RiskForm::kGeneral;
    LVector child_begin_;  // 1..nfam+1: family i owns flat children child_begin_[i]..child_begin_[i+1]-1
    LVector pair_begin_;   // 1..nfam+1: family i owns flat pairs pair_begin_[i]..pair_begin_[i+1]-1
    IVector child_geno_;   // 1..nchildren: genotype code 0..2
    DVector cov_;          // 1..nchildren*ncov: covariate i of flat child c at (c-1)*ncov + i
    IVector pair_f_;       // 1..npairs: father's genotype
    IVector pair_m_;       // 1..npairs: mother's genotype
    DVector pair_t_;       // 1..3*npairs: T(0|f,m), T(1|f,m), T(2|f,m) of flat pair p at 3p-2..3p
    mutable DVector pars_; // 1..2*ncov: expanded coefficients of the current theta
    mutable DVector nu1_;  // 1..largest number of children: the current family's nu1
    mutable DVector nu2_;  // likewise nu2
};

}  // namespace quillon
