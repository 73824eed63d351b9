#pragma once
// The fit's objective with its gradient and second derivatives, for Newton-type fitting.
//
// f(theta) = -sum_F log L_F,   L_F = sum_{pairs p of F} G_p prod_{children c} T_p(g_c | x_c)
//   G_p = gamma_f gamma_m              (prevalences of eta1, eta2: prevalence.hpp; with strata,
//                                       the family's stratum's, from its own eta1, eta2)
//   T_p(g | x) = t_g nu_g / sum_h t_h nu_h,  t_h = phg(f, m, h), nu_0 = 1, nu_h = exp(z_h . theta)
// With the coding vectors a_h of the covariate model (None: a_0 = (0,0), a_1 = (1,0),
// a_2 = (0,1); otherwise a_h = cch[h]) the coefficients act through z_h = a_h (x) x, so per
// child and pair, with q_h = T_p(h | x):
//   d log T_p(g | x)   = (a_g - E_q a) (x) x          d2 log T_p(g | x) = -Cov_q(a) (x) x x'
// and log G_p = log gamma_f + log gamma_m is a sum of functions of eta1 alone and eta2 alone
// (gamma1 = u1, gamma2 = u2 (1 - u1), gamma0 = (1 - u1)(1 - u2), u_i = stick_share(eta_i)).
// Per family, with pi_p = G_p prod_c T_p / L_F, s_p and H_p the pair's gradient and Hessian
// of its log-term:
//   d log L_F = sum_p pi_p s_p = s,    d2 log L_F = sum_p pi_p (H_p + s_p s_p') - s s'.
//
// The value is computed with the very operations of Likelihood, so both give the same double.

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "genetics/family.hpp"
#include "model/flat_vector.hpp"
#include "model/likelihood.hpp"
#include "model/prevalence.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

struct Derivatives {
    double value = 0.0;           // f(theta)
    std::vector<double> gradient; // 0..npars-1: df / dtheta
    std::vector<double> hessian;  // npars x npars row-major: the observed information d2f
    std::vector<double> outer;    // npars x npars row-major: sum_F s_F s_F' (positive semi-definite), on request
    FlatVector<double> risks;     // the children's nu1, nu2 at theta, as FitResult::risks (written in full)
    double parents[3] = {};       // expected count of parents of genotype 0, 1, 2: sum_F sum_p pi_p (f_p, m_p)
    double fathers[2] = {};       // X: expected count of fathers of allele 0, 1 (parents[] then counts the mothers)
    std::vector<double> strata_parents;  // with strata: parents[] of stratum k at 3k .. 3k + 2 (else empty)
    std::vector<double> strata_fathers;  // X with strata: fathers[] of stratum k at 2k, 2k + 1 (else empty)

    // Zeroes the sums for n parameters (the outer product only `with_outer`, else emptied) and
    // sizes the risks for `children` children.
    void clear(std::size_t n, bool with_outer, std::size_t children) {
        gradient.assign(n, 0.0);
        hessian.assign(n * n, 0.0);
        if (with_outer)
            outer.assign(n * n, 0.0);
        else
            outer.clear();
        risks.resize(2 * children);
        std::fill(std::begin(parents), std::end(parents), 0.0);
        strata_parents.clear();
    }
};

class LikelihoodDerivatives {
public:
    // Lays out `families` (whose npgeno and pgenos must be set) as Likelihood does, refusing
    // what it refuses.  usable() is false when a pair has an untyped parent.
    LikelihoodDerivatives(const Settings& s, const FamilyTable& families);

    // The objective of `s`, a model nested in `wider`'s (its first s.ncov covariate columns),
    // on wider's families without laying them out again.
    LikelihoodDerivatives(const Settings& s, const LikelihoodDerivatives& wider);

    bool usable() const { return !likelihood_.missing_parent(); }
    long parameters() const { return s_.npars; }
    long strata() const { return s_.nstrata; }
    const Likelihood::Layout& layout() const { return likelihood_.layout(); }

    // f(theta), theta[1..npars]: Likelihood's value.
    double value(const DVector& theta) const { return likelihood_(theta); }

    // f (the very double of Likelihood), its gradient and observed information at
    // theta[1..npars]; the outer-product matrix too when `with_outer` (otherwise d.outer is
    // left empty).
    void evaluate(const DVector& theta, Derivatives& d, bool with_outer = false) const;

private:
    void size_buffers();
    // evaluate() for NC covariates (0: any number) and `Coding` entries of a_h (0: no covariates).
    template <std::size_t NC, int Coding>
    void evaluate_as(const DVector& theta, Derivatives& d, bool with_outer) const;

    Settings s_;
    Likelihood likelihood_;
    int coding_ = 1;  // entries of a_h: 2 for the covariate model None, else 1
    bool children_alike_ = false;  // every child's covariate row the same, every pair typed

    mutable DVector pars_;  // 1..2ncov: expanded coefficients
    mutable std::vector<double> pair_a_, pair_s_, pair_h_;  // per pair: weight, gradient, Hessian
    mutable std::vector<double> direct_s_, direct_h_;      // sums over the one-pair families
    mutable std::vector<double> prev_;                     // each stratum's gamma0..2
    mutable std::vector<PrevalenceTerms> terms_;           // each stratum's prevalence terms
    mutable std::unique_ptr<double[]> family_sums_;        // each family's likelihood L_F, for its log
};

}  // namespace quillon
