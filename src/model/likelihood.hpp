#pragma once
// The objective of the fit: the negative log-likelihood of all families,
//
//   loglik(theta) = - sum_F log( sum_{(f,m) compatible with F} gamma_f gamma_m
//                                 prod_{children c of F} phgz(f, m, g_c, nu1(x_c), nu2(x_c)) )
//
// with gamma the prevalences of theta[npars-1], theta[npars] (arctangent map of prevalence.hpp;
// with strata, those of the family's stratum, from its own eta1, eta2)
// and nu1, nu2 the children's relative risks (mkfindiv).  Phenotypes, weights and the
// parents' covariates do not enter.
//
// Likelihood is the minimiser's objective.  It lays the fixed data (children's covariate
// rows and genotype codes, each family's compatible pairs) out flat once, never touches the
// families afterwards and does not allocate per call; it gives the very double of the
// literal evaluation (per family mkfindiv, then phgz child by child, in the order above).

#include <memory>
#include <vector>

#include "genetics/family.hpp"
#include "model/flat_vector.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

class Likelihood {
public:
    // Copies what the likelihood reads from `families` (whose npgeno and pgenos must be set);
    // later changes to the families are not seen.  A family of fewer than two members, a
    // child genotype outside 0..2, a pair genotype outside -1..2 or an npgeno outside 0..9 is
    // refused through nrerror.  A pair with an untyped parent (-1) makes every evaluation
    // raise MissingGenotypeError, as phg does.
    Likelihood(const Settings& s, const FamilyTable& families);

    Likelihood(Likelihood&&) noexcept = default;
    Likelihood& operator=(Likelihood&&) noexcept = default;

    // -log-likelihood at ppars[1..npars], bit-for-bit equal to the literal evaluation.  Uses scratch
    // storage held by the object, so one object must not be evaluated by two threads at once.
    double operator()(const DVector& ppars) const;

    // The flat data, also read by the evaluator with derivatives (gradient.hpp); from index 0.
    struct Layout {
        long nfam = 0;
        FlatVector<long> child_begin;   // 0..nfam: family i owns flat children child_begin[i]..child_begin[i+1]-1
        FlatVector<long> pair_begin;    // 0..nfam: likewise its flat pairs
        FlatVector<int> child_geno;     // genotype code 0..2
        long columns = 0;               // covariates per child: those of the settings it was laid out for
        long finite_columns = 0;        // the leading columns finite for every child
        FlatVector<double> cov;         // covariate k (from 0) of flat child c at c*columns + k
        FlatVector<int> pair_f;         // father's genotype
        FlatVector<int> pair_m;         // mother's genotype
        FlatVector<double> pair_t;      // T(h|f,m) of flat pair p at 3p + h (0.0 with an untyped parent)
        long strata = 1;                // strata of the settings it was laid out for
        FlatVector<int> stratum;        // per family: its stratum 0..strata-1
        bool untyped = false;           // some pair has an untyped parent (-1)
        std::vector<long> one_pair;     // families of one typed pair, of stratum k and pair (f, m) at 9k + 3f + m
    };
    const Layout& layout() const { return *flat_; }
    const std::shared_ptr<const Layout>& shared_layout() const { return flat_; }

    // The objective of `s` on the families laid out in `layout` for a model with at least
    // s.ncov covariates, of which it reads the first s.ncov: a nested model's likelihood,
    // sharing the data.
    Likelihood(const Settings& s, std::shared_ptr<const Layout> layout);
    bool missing_parent() const { return missing_parent_; }

    // nu1, nu2 of every flat child c into risks[2c], risks[2c + 1], at the expanded
    // coefficients `pars` (expand_coefficients), summed as mkfindiv sums them:
    // nu1 = exp(sum_k b1[k] x[k]), nu2 = exp(sum_k b2[k] x[k]) from 0.0 in ascending k.
    void child_risks(const DVector& pars, double* risks) const;

private:
    // How the children's relative risks follow from the expanded coefficients.  Both
    // shortcuts give the very doubles of the general sums:
    //  - Dominant: b2 = b1 term by term, so the second sum repeats the first operation for
    //    operation and nu2 = nu1;
    //  - Recessive with finite covariates: b1 = 0, every product 0.0 * x is a zero and the
    //    sum from 0.0 stays +0.0, so nu1 = exp(0.0) = 1.0.
    //  - No covariates: both sums are 0.0, so nu1 = nu2 = exp(0.0) = 1.0.
    enum class RiskForm { kGeneral, kEqualRisks, kUnitNu1, kUnitRisks };

    Settings s_;
    void set_risk_form();

    std::shared_ptr<const Layout> flat_;
    bool missing_parent_ = false;
    RiskForm risk_form_ = RiskForm::kGeneral;
    mutable DVector pars_;              // 1..2*ncov: expanded coefficients of the current theta
    mutable std::vector<double> risks_; // every child's nu1, nu2 (sized at the first evaluation)
    mutable std::unique_ptr<double[]> sums_;  // each family's L_F (likewise)
    mutable std::vector<double> prev_;  // gamma0..2 of each stratum at the current theta
};

// phgz of a child of genotype g (0..2) with risks nu[0] = nu1, nu[1] = nu2 under a pair of
// T(h|f,m) = tf[h]: t0, t1, t2 in that order and the child's term tcg / ((t0 + t1) + t2).
struct ChildFactor {
    double t0, t1, t2;
    double total;  // (t0 + t1) + t2
    double term;   // tcg / total
};
inline ChildFactor child_factor(const double* tf, const double* nu, int g) {
    ChildFactor c;
    c.t0 = tf[0];
    c.t1 = tf[1] * nu[0];
    c.t2 = tf[2] * nu[1];
    const double tcg = g == 0 ? c.t0 : (g == 1 ? c.t1 : c.t2);
    c.total = (c.t0 + c.t1) + c.t2;
    c.term = tcg / c.total;
    return c;
}

// The prevalences gamma0..2 of each stratum at theta[1..npars] into g[3k .. 3k+2].
void stratum_prevalences(const Settings& s, const DVector& theta, double* g);

}  // namespace quillon
