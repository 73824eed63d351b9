#pragma once
// The family likelihood over uncertain genotypes, with its gradient and observed information.
//
// Each member j enters through the likelihood vector L_j(g) = P(data | genotype g) of its
// family record (famdat::glik), never through a hard call:
//
//   L_F = sum_{f,m in 0..2} gamma_f L_1(f) gamma_m L_2(m) prod_{children c} C_c(f, m)
//   C_c(f, m) = sum_g L_c(g) q_g,   q_g = t_g nu_g / sum_h t_h nu_h,  t_h = phg(f, m, h)
//
// with the parameters, prevalences, covariate models and relative risks of the autosomal
// likelihood (gradient.hpp).  A call of (1,1,1) is an untyped member; vectors of 0 and 1 are
// hard calls, and then L_F is the autosomal family likelihood (pairs that contradict Mendel
// have a child factor of exactly 0).
//
// Derivatives: r_g = L_c(g) q_g / C_c is the child's genotype given the pair and its data, an
// exponential tilt of q.  With the coding vectors a_h of the covariate model,
//   d log C_c = (E_r a - E_q a) (x) x,    d2 log C_c = (Cov_r(a) - Cov_q(a)) (x) x x',
// and the family combines the pairs' terms as the autosomal mixture does.  Per family the
// cost is pairs x children x 3.

#include <vector>

#include "genetics/family.hpp"
#include "model/gradient.hpp"
#include "model/newton.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

class ProbabilityLikelihood final : public NewtonObjective {
public:
    // Copies each family's likelihood vectors and children's covariate rows.  A family of
    // fewer than two members, or whose glik does not cover 1..ninfam, or a vector entry
    // negative or not finite, is refused through nrerror.
    ProbabilityLikelihood(const Settings& s, const FamilyTable& families);

    bool usable() const override { return true; }
    double value(const DVector& theta) const override;
    void evaluate(const DVector& theta, Derivatives& d, bool with_outer) const override;
    // The EM update of the autosomal model (newton.hpp's prevalence_step) on the expected
    // parents' genotype counts, which evaluate() sets under the pairs' posterior weights.
    int prevalence_step(const Derivatives& d, double* eta) const override;

    // How the children's relative risks follow from the expanded coefficients, as in the
    // autosomal likelihood: the shortcuts give the very doubles of the general sums.
    enum class RiskForm { kGeneral, kEqualRisks, kUnitNu1 };

private:
    // One pair's term of a family: the pair's weight A = gamma_f L_1(f) gamma_m L_2(m)
    // prod_c C_c, and when `derivatives`, its log-term's gradient (s) and negated second
    // derivatives (h, upper triangle) added to s, h (zeroed by the caller).  Reads nu1_, nu2_.
    double pair_term(std::size_t family, int f, int m, const double* gammma, bool derivatives, double* s,
                     double* h) const;

    Settings s_;
    RiskForm form_ = RiskForm::kGeneral;
    int coding_ = 1;  // entries of a_h: 2 for the covariate model None, else 1
    long nfam_ = 0;
    std::vector<long> child_begin_;  // 0..nfam: family i owns flat children child_begin_[i]..
    std::vector<double> cov_;        // covariate k of flat child c at c*ncov + k
    std::vector<double> child_lik_;  // L_c(g) at 3c + g
    std::vector<double> parent_lik_; // family i: father's L(g) at 6i + g, mother's at 6i + 3 + g

    mutable DVector pars_;  // 1..2ncov: expanded coefficients
    mutable std::vector<double> nu1_, nu2_;
    mutable std::vector<double> pair_a_, pair_s_, pair_h_;  // per pair: weight, gradient, information
};

}  // namespace quillon
