#include "model/likelihood.hpp"

#include <cmath>
#include <cstdio>

#include "model/model.hpp"
#include "model/prevalence.hpp"
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
        if (nc > f.most_children) f.most_children = nc;
        if (fam.stratum < 0 || fam.stratum >= s.nstrata) refuse("stratum outside the strata", fam.famid, fam.stratum);
    }

    f.nfam = nfam;
    f.columns = ncov;
    f.strata = s.nstrata;
    f.stratum.reserve(static_cast<std::size_t>(nfam));
    f.child_begin.reserve(static_cast<std::size_t>(nfam + 1));
    f.pair_begin.reserve(static_cast<std::size_t>(nfam + 1));
    f.child_geno.reserve(static_cast<std::size_t>(nchildren));
    f.cov.reserve(static_cast<std::size_t>(nchildren * ncov));
    f.pair_f.reserve(static_cast<std::size_t>(npairs));
    f.pair_m.reserve(static_cast<std::size_t>(npairs));
    f.pair_t.reserve(static_cast<std::size_t>(3 * npairs));
    f.finite_columns = ncov;
    for (long i = 1; i <= nfam; ++i) {
        const famdat& fam = families[i];
        f.child_begin.push_back(static_cast<long>(f.child_geno.size()));
        f.pair_begin.push_back(static_cast<long>(f.pair_f.size()));
        f.stratum.push_back(fam.stratum);
        for (int j = 3; j <= fam.ninfam; ++j) {
            const int g = fam.famgeno[j];
            if (g < 0 || g > 2) refuse("child genotype outside 0..2", fam.famid, g);
            f.child_geno.push_back(g);
            for (long k = 1; k <= ncov; ++k) {
                const double x = fam.fcovdat[j][k];
                if (!std::isfinite(x) && k - 1 < f.finite_columns) f.finite_columns = k - 1;
                f.cov.push_back(x);
            }
        }
        for (int k = 1; k <= fam.npgeno; ++k) {
            const int fg = fam.pgenos[k][1];
            const int mg = fam.pgenos[k][2];
            if (fg < -1 || fg > 2) refuse("father's genotype of a parental pair outside -1..2", fam.famid, fg);
            if (mg < -1 || mg > 2) refuse("mother's genotype of a parental pair outside -1..2", fam.famid, mg);
            f.pair_f.push_back(fg);
            f.pair_m.push_back(mg);
            const bool untyped = fg == -1 || mg == -1;
            missing_parent_ = missing_parent_ || untyped;
            for (int cg = 0; cg <= 2; ++cg) f.pair_t.push_back(untyped ? 0.0 : phg(fg, mg, cg));
        }
    }
    f.child_begin.push_back(static_cast<long>(f.child_geno.size()));
    f.pair_begin.push_back(static_cast<long>(f.pair_f.size()));
    flat_ = std::move(layout);
    set_risk_form();
}

Likelihood::Likelihood(const Settings& s, std::shared_ptr<const Layout> layout) : s_(s), flat_(std::move(layout)) {
    if (s.ncov > flat_->columns) nrerror("loglik: the model reads more covariates than the families were laid out with",
                                         NumericalKind::kInvalidSetting);
    if (s.nstrata != flat_->strata)
        nrerror("loglik: the model's strata are not those the families were laid out with", NumericalKind::kInvalidSetting);
    for (std::size_t p = 0; p < flat_->pair_f.size(); ++p)
        missing_parent_ = missing_parent_ || flat_->pair_f[p] == -1 || flat_->pair_m[p] == -1;
    set_risk_form();
}

void Likelihood::set_risk_form() {
    pars_ = DVector(1, 2 * s_.ncov);
    nu1_.resize(static_cast<std::size_t>(flat_->most_children));
    nu2_.resize(static_cast<std::size_t>(flat_->most_children));
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

// The children's risks in one of the forms with covariates; b1 = pars[1..], b2 = pars[ncov+1..].
template <long NC>
void risks_of(int form, const double* b1, const double* b2, const double* x, long stride, long ncov, long count,
              double* nu1, double* nu2) {
    for (long at = 0; at < count; ++at, x += stride) {
        if (form == 0) {
            nu1[at] = std::exp(linear<NC>(b1, x, ncov));
            nu2[at] = std::exp(linear<NC>(b2, x, ncov));
        } else if (form == 1) {
            nu1[at] = std::exp(linear<NC>(b1, x, ncov));
            nu2[at] = nu1[at];
        } else {
            nu1[at] = 1.0;
            nu2[at] = std::exp(linear<NC>(b2, x, ncov));
        }
    }
}
}  // namespace

void Likelihood::child_risks_from_covariates(const DVector& pars, long c_first, long c_end, double* nu1,
                                             double* nu2) const {
    const long ncov = s_.ncov;
    const int form = risk_form_ == RiskForm::kGeneral ? 0 : risk_form_ == RiskForm::kEqualRisks ? 1 : 2;
    const double* b1 = &pars[1];
    const double* b2 = &pars[ncov + 1];
    const long stride = flat_->columns;
    const double* x = flat_->cov.data() + c_first * stride;
    const long count = c_end - c_first;
    switch (ncov) {
        case 1: risks_of<1>(form, b1, b2, x, stride, ncov, count, nu1, nu2); break;
        case 2: risks_of<2>(form, b1, b2, x, stride, ncov, count, nu1, nu2); break;
        case 3: risks_of<3>(form, b1, b2, x, stride, ncov, count, nu1, nu2); break;
        default: risks_of<0>(form, b1, b2, x, stride, ncov, count, nu1, nu2); break;
    }
}

void stratum_prevalences(const Settings& s, const DVector& theta, double* g) {
    for (long k = 0; k < s.nstrata; ++k) {
        const long at = prevalence_slot(s, k);
        prevalences_from(theta[at], theta[at + 1], g + 3 * k);
    }
}

double Likelihood::operator()(const DVector& ppars) const {
    // The literal evaluation would reach phg with the untyped parent at its first step.
    if (missing_parent_) missing_genotype();

    expand_coefficients(s_, ppars, pars_);
    stratum_prevalences(s_, ppars, prev_.data());

    const Layout& f = *flat_;
    double loglkk = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(f.nfam); ++i) {
        const long c_first = f.child_begin[i];
        const long c_end = f.child_begin[i + 1];
        child_risks(pars_, c_first, c_end, nu1_.data(), nu2_.data());
        const double* tmpp = prev_.data() + 3 * f.stratum[i];

        double tmps = 0.0;
        for (auto p = static_cast<std::size_t>(f.pair_begin[i]); p < static_cast<std::size_t>(f.pair_begin[i + 1]); ++p) {
            const double tf0 = f.pair_t[3 * p];
            const double tf1 = f.pair_t[3 * p + 1];
            const double tf2 = f.pair_t[3 * p + 2];
            double tmpm = 1.0;
            for (long c = c_first; c < c_end; ++c) {
                // phgz: t0, t1, t2 in that order, the child's term over ((t0 + t1) + t2)
                const auto at = static_cast<std::size_t>(c - c_first);
                const double t0 = tf0;
                const double t1 = tf1 * nu1_[at];
                const double t2 = tf2 * nu2_[at];
                const int g = f.child_geno[static_cast<std::size_t>(c)];
                const double tcg = g == 0 ? t0 : (g == 1 ? t1 : t2);
                tmpm = tmpm * (tcg / ((t0 + t1) + t2));
            }
            tmps = tmps + (tmpp[f.pair_f[p]] * tmpp[f.pair_m[p]]) * tmpm;
        }
        loglkk = loglkk + std::log(tmps);
    }
    return -loglkk;
}

}  // namespace quillon
