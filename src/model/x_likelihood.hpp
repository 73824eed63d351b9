#pragma once
// The likelihood of an X-linked marker in nuclear families, with its derivatives.
//
// Mothers carry two X copies, with the genotype prevalences gamma0..2 of eta1, eta2 as on
// the autosomes (prevalence.hpp).  Fathers carry one: the counted allele with frequency q_f,
// a parameter of its own (q_f = stick_share(eta3)) or, tied, gamma1 / 2 + gamma2.
//   theta = (coefficients as on the autosomes, eta1, eta2[, eta3])
// With strata each stratum has its own block (eta1, eta2[, eta3]), in stratum order.
//   f(theta) = -sum_F log sum_{(a, m) compatible with F} P(a) gamma_m prod_c T(g_c | a, m, x_c)
// with P(1) = q_f, P(0) = 1 - q_f.  A child's genotype acts through its risk level r in
// {0, 1, 2}, of relative risk nu_r (nu_0 = 1; nu_1, nu_2 of model.hpp): a daughter's level
// is her genotype; a son's is coding * s for his allele s (coding 2: his one copy acts as a
// female's two; coding 1: as one).  With t_l the probability, given the pair, that the
// child's genotype has level l (x_transmission),
//   T(g | a, m, x) = t_r nu_r / sum_l t_l nu_l,
// and the status model codes a child by its level as well.  Children untyped or of unknown
// sex are left out.
//
// Derivatives as on the autosomes (gradient.hpp): per child and pair the coefficients act
// through the codings a_l of the levels, and log(P(a) gamma_m) is a function of the
// prevalence parameters alone.

#include <vector>

#include "genetics/family.hpp"
#include "model/gradient.hpp"
#include "model/newton.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

struct XModel {
    int coding = 2;         // risk level of a son's counted allele: 2 or 1
    bool tie_freq = false;  // the fathers' frequency is gamma1 / 2 + gamma2, no parameter of its own
};

// Parameters of the X model: s.npars, plus each stratum's eta3 unless tied.
long x_parameters(const Settings& s, const XModel& x);
// The prevalence parameters of one stratum (2 tied, else 3), and the last slot of stratum k's.
inline long x_block(const XModel& x) { return x.tie_freq ? 2 : 3; }
inline long x_block_end(const Settings& s, const XModel& x, long k) { return coefficients(s) + x_block(x) * (k + 1); }

// True when child j of `fam` enters an X analysis: typed, of known sex.
bool x_child_included(const famdat& fam, int j);

// The risk level of genotype g of a child of sex `sex` (1 son, 2 daughter).
inline int x_level(const XModel& x, int sex, int g) { return sex == 1 ? x.coding * g : g; }

// t[l], l = 0..2: the probability that a child of sex `sex` of the pair (a, m) has a
// genotype of level l.
void x_level_transmission(const XModel& x, int sex, int a, int m, double t[3]);

// The fathers' frequency of the counted allele at theta[1..n] with mothers' prevalences gammma.
double x_father_frequency(const XModel& x, const double gammma[3], const DVector& theta, long n);

// Prior of the pair (a, m) and the derivatives of its logarithm in the prevalence
// parameters (eta1, eta2[, eta3]) that end at theta[n]: gradient and negated second derivatives.
struct XPriorTerms {
    int count = 2;  // prevalence parameters
    double prior[6] = {};
    double grad[6][3] = {};
    double info[6][3][3] = {};
};
XPriorTerms x_prior_terms(const XModel& x, const DVector& theta, long n);

class XLikelihood final : public NewtonObjective {
public:
    // `families` must hold their X pairs (x_store_consistent_pairs); a pair outside
    // 0..1 x 0..2, or an included child's code outside its sex's range, is refused through
    // nrerror.
    XLikelihood(const Settings& s, const XModel& x, const FamilyTable& families);

    long parameters() const { return n_; }
    bool usable() const override { return true; }
    double value(const DVector& theta) const override;
    // d.parents counts the mothers' expected genotypes, d.fathers the fathers' alleles (with
    // strata, per stratum too: d.strata_parents, d.strata_fathers).
    void evaluate(const DVector& theta, Derivatives& d, bool with_outer) const override;
    int prevalence_step(const Derivatives& d, double* eta) const override;

private:
    struct Family {
        int ninfam = 0;
        std::size_t cov = 0;                // covariate rows of members 3..ninfam from here
        std::vector<int> member;            // the included children's member indices
        std::vector<int> level;             // their observed levels
        std::vector<int> pairs;             // 3 a + m
        std::vector<double> t;              // per pair, per included child: t[0..2]
        int stratum = 0;
    };
    double accumulate(const DVector& theta, Derivatives* d, bool with_outer) const;

    Settings s_;
    XModel x_;
    long n_ = 0;
    int coding_ = 1;  // entries of a coefficient coding: 2 for the covariate model None
    std::vector<Family> families_;
    std::vector<double> cov_;
    std::size_t children_ = 0;
};

}  // namespace quillon
