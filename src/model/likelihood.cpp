#include "model/likelihood.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "model/repeated_values.hpp"
#include "genetics/transmission.hpp"

namespace quillon {

namespace {
[[noreturn]] void refuse(const char* what, long famid, long value) {
    char text[160];
    std::snprintf(text, sizeof text, "loglik: family %ld: %s (%ld)", famid, what, value);
    nrerror(text, NumericalKind::kInvalidSetting);
}
}  // namespace

Likelihood::Likelihood(const Settings& s, const FamilyTable& families) : s_(s) {
    const long ncov = s.ncov;
    auto layout = std::make_shared<Layout>();
    Layout& f = *layout;
    const long nfam = families.nfam;
    long nchildren = 0;
    long npairs = 0;
    for (long i = 1; i <= nfam; ++i) {
        const famdat& fam = families[i];
        if (fam.ninfam < 2) refuse("fewer than two members", fam.famid, fam.ninfam);
        if (fam.npgeno < 0 || fam.npgeno > parentpairs)
            refuse("number of parental pairs outside 0..9", fam.famid, fam.npgeno);
        const long nc = fam.ninfam - 2;
        nchildren += nc;
        npairs += fam.npgeno;
        if (fam.stratum < 0 || fam.stratum >= s.nstrata) refuse("stratum outside the strata", fam.famid, fam.stratum);
    }

    f.nfam = nfam;
    f.columns = ncov;
    f.strata = s.nstrata;
    f.stratum.resize(static_cast<std::size_t>(nfam));
    f.child_begin.resize(static_cast<std::size_t>(nfam + 1));
    f.pair_begin.resize(static_cast<std::size_t>(nfam + 1));
    f.child_geno.resize(static_cast<std::size_t>(nchildren));
    f.cov.resize(static_cast<std::size_t>(nchildren * ncov));
    f.pair_f.resize(static_cast<std::size_t>(npairs));
    f.pair_m.resize(static_cast<std::size_t>(npairs));
    f.pair_t.resize(static_cast<std::size_t>(3 * npairs));
    f.one_pair.assign(static_cast<std::size_t>(parentpairs * s.nstrata), 0L);
    long finite_columns = ncov;
    bool untyped_pair = false;
    long* one_pair = f.one_pair.data();
    long* child_begin = f.child_begin.data();
    long* pair_begin = f.pair_begin.data();
    int* stratum = f.stratum.data();
    std::size_t c = 0;  // the next flat child
    std::size_t p = 0;  // the next flat pair
    int* child_geno = f.child_geno.data();
    double* cov = f.cov.data();
    int* pair_f = f.pair_f.data();
    int* pair_m = f.pair_m.data();
    double* pair_t = f.pair_t.data();
    for (long i = 1; i <= nfam; ++i) {
        const famdat& fam = families[i];
        const auto at = static_cast<std::size_t>(i - 1);
        child_begin[at] = static_cast<long>(c);
        pair_begin[at] = static_cast<long>(p);
        stratum[at] = fam.stratum;
        const int* geno = fam.famgeno.begin_ptr();  // members 1..ninfam
        for (int j = 3; j <= fam.ninfam; ++j, ++c) {
            const int g = geno[j - 1];
            if (g < 0 || g > 2) refuse("child genotype outside 0..2", fam.famid, g);
            child_geno[c] = g;
            double* row = cov + c * static_cast<std::size_t>(ncov);
            const double* x = ncov > 0 ? fam.fcovdat[j].begin_ptr() : nullptr;  // columns 1..ncov
            for (long k = 0; k < ncov; ++k) {
                if (!std::isfinite(x[k]) && k < finite_columns) finite_columns = k;
                row[k] = x[k];
            }
        }
        for (int k = 1; k <= fam.npgeno; ++k, ++p) {
            const int* pair = fam.pgenos[k].begin_ptr();  // columns 1 and 2
            const int fg = pair[0];
            const int mg = pair[1];
            if (fg < -1 || fg > 2) refuse("father's genotype of a parental pair outside -1..2", fam.famid, fg);
            if (mg < -1 || mg > 2) refuse("mother's genotype of a parental pair outside -1..2", fam.famid, mg);
            pair_f[p] = fg;
            pair_m[p] = mg;
            double* tp = pair_t + 3 * p;
            if (fg == -1 || mg == -1) {  // T is 0.0 (phg's check for untyped parents is made at evaluation)
                untyped_pair = true;
                tp[0] = tp[1] = tp[2] = 0.0;
                continue;
            }
            const double* t = phgdat + 9 * fg + 3 * mg;  // phg(fg, mg, 0..2)
            tp[0] = t[0];
            tp[1] = t[1];
            tp[2] = t[2];
            if (fam.npgeno == 1) ++one_pair[parentpairs * fam.stratum + 3 * fg + mg];
        }
    }
    child_begin[nfam] = static_cast<long>(c);
    pair_begin[nfam] = static_cast<long>(p);
    f.finite_columns = finite_columns;
    f.untyped = untyped_pair;
    missing_parent_ = f.untyped;
    flat_ = std::move(layout);
    set_risk_form();
}

Likelihood::Likelihood(const Settings& s, std::shared_ptr<const Layout> layout) : s_(s), flat_(std::move(layout)) {
    if (s.ncov > flat_->columns) nrerror("loglik: the model reads more covariates than the families were laid out with",
                                         NumericalKind::kInvalidSetting);
    if (s.nstrata != flat_->strata)
        nrerror("loglik: the model's strata are not those the families were laid out with", NumericalKind::kInvalidSetting);
    missing_parent_ = flat_->untyped;
    set_risk_form();
}

void Likelihood::set_risk_form() {
    pars_ = DVector(1, 2 * s_.ncov);
    prev_.resize(static_cast<std::size_t>(3 * s_.nstrata));
    if (s_.cmodeltype == kDominant) risk_form_ = RiskForm::kEqualRisks;
    if (s_.cmodeltype == kRecessive && flat_->finite_columns >= s_.ncov) risk_form_ = RiskForm::kUnitNu1;
    if (s_.ncov == 0) risk_form_ = RiskForm::kUnitRisks;
}

namespace {
// sum_k b[k] x[k] from 0.0 in ascending k (NC > 0: NC terms, unrolled; 0: ncov terms).
template <long NC>
inline double linear(const double* b, const double* x, long ncov) {
    const long n = NC > 0 ? NC : ncov;
    double sum = 0.0;
    for (long k = 0; k < n; ++k) sum += b[k] * x[k];
    return sum;
}

// The risks of `count` children (covariate rows from x, `stride` apart) into out[2c], out[2c + 1]
// in form 0 (general), 1 (nu2 = nu1) or 2 (nu1 = 1); b1 = pars[1..], b2 = pars[ncov+1..].
template <long NC, int Form>
void risks_of(const double* b1, const double* b2, const double* x, long stride, long ncov, std::size_t count,
              double* out) {
    RepeatedExp exp1, exp2;
    for (std::size_t at = 0; at < count; ++at, x += stride, out += 2) {
        if constexpr (Form == 0) {
            out[0] = exp1(linear<NC>(b1, x, ncov));
            out[1] = exp2(linear<NC>(b2, x, ncov));
        } else if constexpr (Form == 1) {
            out[0] = exp1(linear<NC>(b1, x, ncov));
            out[1] = out[0];
        } else {
            out[0] = 1.0;
            out[1] = exp2(linear<NC>(b2, x, ncov));
        }
    }
}

template <long NC>
void risks_in_form(int form, const double* b1, const double* b2, const double* x, long stride, long ncov,
                   std::size_t count, double* out) {
    if (form == 0) risks_of<NC, 0>(b1, b2, x, stride, ncov, count, out);
    else if (form == 1) risks_of<NC, 1>(b1, b2, x, stride, ncov, count, out);
    else risks_of<NC, 2>(b1, b2, x, stride, ncov, count, out);
}
}  // namespace

void Likelihood::child_risks(const DVector& pars, double* risks) const {
    const std::size_t count = flat_->child_geno.size();
    if (risk_form_ == RiskForm::kUnitRisks) {  // no covariates: every sum is 0.0 and exp(0.0) = 1.0
        std::fill(risks, risks + 2 * count, 1.0);
        return;
    }
    const long ncov = s_.ncov;
    const int form = risk_form_ == RiskForm::kGeneral ? 0 : risk_form_ == RiskForm::kEqualRisks ? 1 : 2;
    const double* b1 = &pars[1];
    const double* b2 = &pars[ncov + 1];
    const long stride = flat_->columns;
    const double* x = flat_->cov.data();
    switch (ncov) {
        case 1: risks_in_form<1>(form, b1, b2, x, stride, ncov, count, risks); break;
        case 2: risks_in_form<2>(form, b1, b2, x, stride, ncov, count, risks); break;
        case 3: risks_in_form<3>(form, b1, b2, x, stride, ncov, count, risks); break;
        default: risks_in_form<0>(form, b1, b2, x, stride, ncov, count, risks); break;
    }
}

void stratum_prevalences(const Settings& s, const DVector& theta, double* g) {
    for (long k = 0; k < s.nstrata; ++k) {
        const long at = prevalence_slot(s, k);
        prevalences_from(theta[at], theta[at + 1], g + 3 * k);
    }
}

namespace {
// Each family's L_F into sums[i] (its log is taken by the caller, in family order), from the
// children's risks and the strata's prevalences.
[[gnu::noinline]] void family_sums(const Likelihood::Layout& f, const double* risks, const double* gammas, double* sums) {
    const long* child_begin = f.child_begin.data();
    const long* pair_begin = f.pair_begin.data();
    const int* stratum = f.stratum.data();
    const int* geno = f.child_geno.data();
    const int* pair_f = f.pair_f.data();
    const int* pair_m = f.pair_m.data();
    const double* pair_t = f.pair_t.data();
    for (std::size_t i = 0; i < static_cast<std::size_t>(f.nfam); ++i) {
        const auto c_first = static_cast<std::size_t>(child_begin[i]);
        const auto c_end = static_cast<std::size_t>(child_begin[i + 1]);
        const double* tmpp = gammas + 3 * stratum[i];
        const auto p_first = static_cast<std::size_t>(pair_begin[i]);
        if (c_end - c_first == 1 && static_cast<std::size_t>(pair_begin[i + 1]) - p_first == 1) {
            // a trio of one pair: the sum of one term, the product of one factor
            const double term = child_factor(pair_t + 3 * p_first, risks + 2 * c_first, geno[c_first]).term;
            sums[i] = 0.0 + (tmpp[pair_f[p_first]] * tmpp[pair_m[p_first]]) * (1.0 * term);
            continue;
        }
        double tmps = 0.0;
        for (auto p = static_cast<std::size_t>(pair_begin[i]); p < static_cast<std::size_t>(pair_begin[i + 1]); ++p) {
            const double* tf = pair_t + 3 * p;
            double tmpm = 1.0;
            for (std::size_t c = c_first; c < c_end; ++c) tmpm = tmpm * child_factor(tf, risks + 2 * c, geno[c]).term;
            tmps = tmps + (tmpp[pair_f[p]] * tmpp[pair_m[p]]) * tmpm;
        }
        sums[i] = tmps;
    }
}
}  // namespace

double Likelihood::operator()(const DVector& ppars) const {
    // The literal evaluation would reach phg with the untyped parent at its first step.
    if (missing_parent_) missing_genotype();

    expand_coefficients(s_, ppars, pars_);
    stratum_prevalences(s_, ppars, prev_.data());

    const Layout& f = *flat_;
    risks_.resize(2 * f.child_geno.size());
    if (!sums_) sums_ = std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(f.nfam));
    child_risks(pars_, risks_.data());
    double* sums = sums_.get();
    family_sums(f, risks_.data(), prev_.data(), sums);
    return -sum_of_logs(sums, static_cast<std::size_t>(f.nfam));
}

}  // namespace quillon
