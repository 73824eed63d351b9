#include "model/probability_likelihood.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "genetics/transmission.hpp"
#include "model/child_terms.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"

namespace quillon {

namespace {
[[noreturn]] void refuse(const char* what, long famid, long member) {
    char text[160];
    std::snprintf(text, sizeof text, "genotype likelihoods: family %ld, member %ld: %s", famid, member, what);
    nrerror(text, NumericalKind::kInvalidSetting);
}

void copy_vector(const famdat& fam, int j, std::vector<double>& to) {
    for (double v : fam.glik[static_cast<std::size_t>(j)]) {
        if (!(v >= 0.0) || !std::isfinite(v)) refuse("likelihood negative or not finite", fam.famid, j);
        to.push_back(v);
    }
}

// Dominant: b2 = b1 term by term, so nu2 = nu1; recessive with finite covariates: b1 = 0, so
// nu1 = exp(0.0) = 1.0.
ProbabilityLikelihood::RiskForm risk_form(const Settings& s, bool finite_covariates) {
    if (s.cmodeltype == kDominant) return ProbabilityLikelihood::RiskForm::kEqualRisks;
    if (s.cmodeltype == kRecessive && finite_covariates) return ProbabilityLikelihood::RiskForm::kUnitNu1;
    return ProbabilityLikelihood::RiskForm::kGeneral;
}

// nu1, nu2 of `count` children whose covariate rows (ncov each) follow one another from `cov`,
// summed from 0.0 in ascending k as mkfindiv sums them.
void children_risks(ProbabilityLikelihood::RiskForm form, long ncov, const DVector& pars, const double* cov,
                    long count, double* nu1, double* nu2) {
    using Form = ProbabilityLikelihood::RiskForm;
    for (long at = 0; at < count; ++at) {
        const double* x = cov + at * ncov;
        double sum1 = 0.0;
        double sum2 = 0.0;
        for (long k = 1; k <= ncov; ++k) {
            if (form != Form::kUnitNu1) sum1 += pars[k] * x[k - 1];
            if (form != Form::kEqualRisks) sum2 += pars[ncov + k] * x[k - 1];
        }
        nu1[at] = form == Form::kUnitNu1 ? 1.0 : std::exp(sum1);
        nu2[at] = form == Form::kEqualRisks ? nu1[at] : std::exp(sum2);
    }
}

// A family's mixture over its pairs: pair p of posterior weight pi, gradient sp and negated
// second derivatives hp adds pi sp to the family's score sbar and pi (hp - sp sp') to h.
void add_pair_to_family(std::size_t n, double pi, const double* sp, const double* hp, double* sbar, double* h) {
    for (std::size_t a = 0; a < n; ++a) {
        sbar[a] += pi * sp[a];
        for (std::size_t b = a; b < n; ++b) h[a * n + b] += pi * (hp[a * n + b] - sp[a] * sp[b]);
    }
}

// Then the family's score: -sbar to the gradient g of f, sbar sbar' to h and to the outer
// product o (when not null); upper triangles.
void add_family_score(std::size_t n, const double* sbar, double* g, double* h, double* o) {
    for (std::size_t a = 0; a < n; ++a) {
        g[a] -= sbar[a];
        for (std::size_t b = a; b < n; ++b) {
            h[a * n + b] += sbar[a] * sbar[b];
            if (o != nullptr) o[a * n + b] += sbar[a] * sbar[b];
        }
    }
}
}  // namespace

ProbabilityLikelihood::ProbabilityLikelihood(const Settings& s, const FamilyTable& families)
    : s_(s), coding_(s.cmodeltype == kNone ? 2 : 1), nfam_(families.nfam) {
    const long ncov = s.ncov;
    long most_children = 0;
    bool finite_covariates = true;
    for (long i = 1; i <= nfam_; ++i) {
        const famdat& fam = families[i];
        if (fam.ninfam < 2) refuse("fewer than two members", fam.famid, fam.ninfam);
        if (fam.glik.size() < static_cast<std::size_t>(fam.ninfam) + 1)
            refuse("no likelihood vector", fam.famid, static_cast<long>(fam.glik.size()));
        child_begin_.push_back(static_cast<long>(child_lik_.size() / 3));
        most_children = std::max(most_children, static_cast<long>(fam.ninfam - 2));
        copy_vector(fam, 1, parent_lik_);
        copy_vector(fam, 2, parent_lik_);
        for (int j = 3; j <= fam.ninfam; ++j) {
            copy_vector(fam, j, child_lik_);
            for (long k = 1; k <= ncov; ++k) {
                const double x = fam.fcovdat[j][k];
                finite_covariates = finite_covariates && std::isfinite(x);
                cov_.push_back(x);
            }
        }
    }
    child_begin_.push_back(static_cast<long>(child_lik_.size() / 3));
    form_ = risk_form(s, finite_covariates);
    const auto n = static_cast<std::size_t>(s.npars);
    pars_ = DVector(1, 2 * ncov);
    nu1_.resize(static_cast<std::size_t>(most_children));
    nu2_.resize(static_cast<std::size_t>(most_children));
    pair_a_.resize(parentpairs);
    pair_s_.resize(parentpairs * n);
    pair_h_.resize(parentpairs * n * n);
}

double ProbabilityLikelihood::pair_term(std::size_t family, int f, int m, const double* gammma, bool derivatives,
                                        double* s, double* h) const {
    const double* lp = &parent_lik_[6 * family];
    const double w = (gammma[f] * lp[f]) * (gammma[m] * lp[3 + m]);
    if (w == 0.0) return 0.0;
    const double tf0 = phg(f, m, 0), tf1 = phg(f, m, 1), tf2 = phg(f, m, 2);
    const auto n = static_cast<std::size_t>(s_.npars);
    const auto nc = static_cast<std::size_t>(s_.ncov);
    const double c[3] = {static_cast<double>(s_.cch[0]), static_cast<double>(s_.cch[1]),
                         static_cast<double>(s_.cch[2])};
    const long c_first = child_begin_[family];
    double product = 1.0;
    for (long ch = c_first; ch < child_begin_[family + 1]; ++ch) {
        const auto at = static_cast<std::size_t>(ch - c_first);
        const double t0 = tf0, t1 = tf1 * nu1_[at], t2 = tf2 * nu2_[at];
        const double total = (t0 + t1) + t2;
        const double* lc = &child_lik_[3 * static_cast<std::size_t>(ch)];
        const double u0 = lc[0] * t0, u1 = lc[1] * t1, u2 = lc[2] * t2;
        const double data = (u0 + u1) + u2;
        product = product * (data / total);
        if (product == 0.0) return 0.0;  // the pair contradicts this child's data
        if (!derivatives) continue;

        const double qi = 1.0 / total, ri = 1.0 / data;
        const double q0 = t0 * qi, q1 = t1 * qi, q2 = t2 * qi;
        const double r0 = u0 * ri, r1 = u1 * ri, r2 = u2 * ri;
        const double* x = cov_.data() + static_cast<std::size_t>(ch) * nc;  // no covariates: cov_ is empty
        if (coding_ == 2) {
            // a = (1{g=1}, 1{g=2}): the means are (q1, q2), the covariances q1 (q0 + q2), ...
            const double e1 = r1 - q1, e2 = r2 - q2;
            const double v11 = q1 * (q0 + q2) - r1 * (r0 + r2);
            const double v22 = q2 * (q0 + q1) - r2 * (r0 + r1);
            const double v12 = r1 * r2 - q1 * q2;
            add_child_terms_two_codings(s, h, x, e1, e2, v11, v22, v12, n, nc);
        } else {
            const double mq = (c[0] * q0 + c[1] * q1) + c[2] * q2;
            const double mr = (c[0] * r0 + c[1] * r1) + c[2] * r2;
            const double vq = (q0 * (c[0] - mq) * (c[0] - mq) + q1 * (c[1] - mq) * (c[1] - mq)) + q2 * (c[2] - mq) * (c[2] - mq);
            const double vr = (r0 * (c[0] - mr) * (c[0] - mr) + r1 * (c[1] - mr) * (c[1] - mr)) + r2 * (c[2] - mr) * (c[2] - mr);
            const double e = mr - mq, v = vq - vr;
            add_child_terms(s, h, x, e, v, n, nc);
        }
    }
    return w * product;
}

double ProbabilityLikelihood::value(const DVector& theta) const {
    expand_coefficients(s_, theta, pars_);
    double gammma[3];
    prevalences_from(theta[s_.npars - 1], theta[s_.npars], gammma);
    double loglik = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(nfam_); ++i) {
        const long c_first = child_begin_[i];
        children_risks(form_, s_.ncov, pars_, cov_.data() + c_first * s_.ncov, child_begin_[i + 1] - c_first,
                       nu1_.data(), nu2_.data());
        double family = 0.0;
        for (int f = 0; f <= 2; ++f)
            for (int m = 0; m <= 2; ++m) family = family + pair_term(i, f, m, gammma, false, nullptr, nullptr);
        loglik = loglik + std::log(family);
    }
    return -loglik;
}

void ProbabilityLikelihood::evaluate(const DVector& theta, Derivatives& d, bool with_outer) const {
    const auto n = static_cast<std::size_t>(s_.npars);
    const std::size_t m = n - 2;  // coefficients
    d.clear(n, with_outer, static_cast<std::size_t>(child_begin_.back()));
    double* g = d.gradient.data();
    double* h = d.hessian.data();

    expand_coefficients(s_, theta, pars_);
    double gammma[3];
    prevalences_from(theta[s_.npars - 1], theta[s_.npars], gammma);
    const PrevalenceTerms prev = prevalence_terms(gammma[1], theta[s_.npars - 1], theta[s_.npars]);
    std::vector<double> sbar(n);
    double loglik = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(nfam_); ++i) {
        const long c_first = child_begin_[i];
        const long nc = child_begin_[i + 1] - c_first;
        children_risks(form_, s_.ncov, pars_, cov_.data() + c_first * s_.ncov, nc, nu1_.data(), nu2_.data());
        for (long at = 0; at < nc; ++at) {
            d.risks[static_cast<std::size_t>(2 * (c_first + at))] = nu1_[static_cast<std::size_t>(at)];
            d.risks[static_cast<std::size_t>(2 * (c_first + at) + 1)] = nu2_[static_cast<std::size_t>(at)];
        }
        double family = 0.0;
        for (int p = 0; p < parentpairs; ++p) {
            double* sp = &pair_s_[static_cast<std::size_t>(p) * n];
            double* hp = &pair_h_[static_cast<std::size_t>(p) * n * n];
            std::fill(sp, sp + n, 0.0);
            std::fill(hp, hp + n * n, 0.0);
            const int f = p / 3, mo = p % 3;
            const double a = pair_term(i, f, mo, gammma, true, sp, hp);
            pair_a_[static_cast<std::size_t>(p)] = a;
            family = family + a;
            for (std::size_t k = 0; k < 2; ++k) {
                sp[m + k] = prev.grad[f][k] + prev.grad[mo][k];
                hp[(m + k) * n + m + k] = prev.info[f][k] + prev.info[mo][k];
            }
        }
        loglik = loglik + std::log(family);

        // d log L_F = sum_p pi_p s_p = sbar; -d2 log L_F = sum_p pi_p (h_p - s_p s_p') + sbar sbar'.
        std::fill(sbar.begin(), sbar.end(), 0.0);
        for (int p = 0; p < parentpairs; ++p) {
            const double a = pair_a_[static_cast<std::size_t>(p)];
            if (a == 0.0) continue;
            const double pi = a / family;
            d.parents[p / 3] += pi;
            d.parents[p % 3] += pi;
            const double* sp = &pair_s_[static_cast<std::size_t>(p) * n];
            const double* hp = &pair_h_[static_cast<std::size_t>(p) * n * n];
            add_pair_to_family(n, pi, sp, hp, sbar.data(), h);
        }
        add_family_score(n, sbar.data(), g, h, with_outer ? d.outer.data() : nullptr);
    }
    d.value = -loglik;
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t k = 0; k < r; ++k) {
            h[r * n + k] = h[k * n + r];
            if (with_outer) d.outer[r * n + k] = d.outer[k * n + r];
        }
}

int ProbabilityLikelihood::prevalence_step(const Derivatives& d, double* eta) const {
    return quillon::prevalence_step(d, eta[0], eta[1]) ? 2 : 0;
}

}  // namespace quillon
