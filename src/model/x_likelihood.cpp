#include "model/x_likelihood.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "genetics/x_inheritance.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"

namespace quillon {

long x_parameters(const Settings& s, const XModel& x) { return s.npars + (x.tie_freq ? 0 : s.nstrata); }

bool x_child_included(const famdat& fam, int j) {
    return fam.famgeno[j] != -1 && (fam.sex[j] == 1 || fam.sex[j] == 2);
}

void x_level_transmission(const XModel& x, int sex, int a, int m, double t[3]) {
    t[0] = t[1] = t[2] = 0.0;
    for (int g = 0; g <= (sex == 1 ? 1 : 2); ++g) t[x_level(x, sex, g)] += x_transmission(sex, a, m, g);
}

double x_father_frequency(const XModel& x, const double gammma[3], const DVector& theta, long n) {
    return x.tie_freq ? 0.5 * gammma[1] + gammma[2] : stick_share(theta[n]);
}

namespace {
// log u and log(1 - u) of u = stick_share(eta): gradients and negated second derivatives.
struct ShareTerms {
    double u, lg, li, mg, mi;
};
ShareTerms share_terms(double eta) {
    const double u = stick_share(eta);
    const StickSlope slope = stick_slope(eta);
    const double a = slope.first / u, b = slope.first / (1.0 - u);
    return {u, a, a * a - slope.second / u, -b, b * b + slope.second / (1.0 - u)};
}
}  // namespace

XPriorTerms x_prior_terms(const XModel& x, const DVector& theta, long n) {
    XPriorTerms p;
    p.count = x.tie_freq ? 2 : 3;
    const long e1 = n - p.count + 1;
    double g[3];
    prevalences_from(theta[e1], theta[e1 + 1], g);
    const double q = x_father_frequency(x, g, theta, n);
    const ShareTerms s1 = share_terms(theta[e1]), s2 = share_terms(theta[e1 + 1]);
    // gamma0 = (1 - u1)(1 - u2), gamma1 = u1, gamma2 = u2 (1 - u1).
    const double mg[3][2] = {{s1.mg, s2.mg}, {s1.lg, 0.0}, {s1.mg, s2.lg}};
    const double mi[3][2] = {{s1.mi, s2.mi}, {s1.li, 0.0}, {s1.mi, s2.li}};
    double fg[2][3] = {}, fi[2][3][3] = {};  // log P(a)
    if (!x.tie_freq) {
        const ShareTerms s3 = share_terms(theta[n]);
        fg[1][2] = s3.lg;
        fi[1][2][2] = s3.li;
        fg[0][2] = s3.mg;
        fi[0][2][2] = s3.mi;
    } else {
        // q = u1 / 2 + u2 (1 - u1)
        const StickSlope d1 = stick_slope(theta[e1]), d2 = stick_slope(theta[e1 + 1]);
        const double dq[2] = {(0.5 - s2.u) * d1.first, (1.0 - s1.u) * d2.first};
        const double ddq[2][2] = {{(0.5 - s2.u) * d1.second, -(d1.first * d2.first)},
                                  {-(d1.first * d2.first), (1.0 - s1.u) * d2.second}};
        const double r1 = 1.0 / q, r0 = 1.0 / (1.0 - q);
        for (int i = 0; i < 2; ++i) {
            fg[1][i] = dq[i] * r1;
            fg[0][i] = -dq[i] * r0;
            for (int j = 0; j < 2; ++j) {
                fi[1][i][j] = dq[i] * dq[j] * r1 * r1 - ddq[i][j] * r1;
                fi[0][i][j] = dq[i] * dq[j] * r0 * r0 + ddq[i][j] * r0;
            }
        }
    }
    for (int a = 0; a <= 1; ++a)
        for (int m = 0; m <= 2; ++m) {
            const int k = 3 * a + m;
            p.prior[k] = (a == 1 ? q : 1.0 - q) * g[m];
            for (int i = 0; i < p.count; ++i) {
                p.grad[k][i] = fg[a][i] + (i < 2 ? mg[m][i] : 0.0);
                for (int j = 0; j < p.count; ++j) p.info[k][i][j] = fi[a][i][j] + (i == j && i < 2 ? mi[m][i] : 0.0);
            }
        }
    return p;
}

namespace {
[[noreturn]] void refuse(long famid, const char* what) {
    char text[160];
    std::snprintf(text, sizeof text, "X likelihood: family %ld: %s out of range", famid, what);
    nrerror(text, NumericalKind::kInvalidSetting);
}
}  // namespace

XLikelihood::XLikelihood(const Settings& s, const XModel& x, const FamilyTable& families)
    : s_(s), x_(x), n_(x_parameters(s, x)), coding_(s.cmodeltype == kNone ? 2 : 1) {
    families_.resize(static_cast<std::size_t>(families.nfam));
    for (long i = 1; i <= families.nfam; ++i) {
        const famdat& fam = families[i];
        Family& f = families_[static_cast<std::size_t>(i - 1)];
        f.ninfam = fam.ninfam;
        if (fam.stratum < 0 || fam.stratum >= s.nstrata) refuse(fam.famid, "the stratum");
        f.stratum = fam.stratum;
        f.cov = cov_.size();
        for (int j = 3; j <= fam.ninfam; ++j) {
            for (long k = 1; k <= s.ncov; ++k) cov_.push_back(fam.fcovdat[j][k]);
            ++children_;
            if (!x_child_included(fam, j)) continue;
            if (fam.famgeno[j] < 0 || fam.famgeno[j] > (fam.sex[j] == 1 ? 1 : 2)) refuse(fam.famid, "a child's X genotype");
            f.member.push_back(j);
            f.level.push_back(x_level(x, fam.sex[j], fam.famgeno[j]));
        }
        for (int p = 1; p <= fam.npgeno; ++p) {
            const int a = fam.pgenos[p][1], m = fam.pgenos[p][2];
            if (a < 0 || a > 1 || m < 0 || m > 2) refuse(fam.famid, "a parental pair");
            f.pairs.push_back(3 * a + m);
            for (int j : f.member) {
                double t[3];
                x_level_transmission(x, fam.sex[j], a, m, t);
                f.t.insert(f.t.end(), {t[0], t[1], t[2]});
            }
        }
    }
}

double XLikelihood::value(const DVector& theta) const { return accumulate(theta, nullptr, false); }

void XLikelihood::evaluate(const DVector& theta, Derivatives& d, bool with_outer) const {
    d.value = accumulate(theta, &d, with_outer);
}

int XLikelihood::prevalence_step(const Derivatives& d, double* eta) const {
    if (x_.tie_freq) return 0;
    const bool one = s_.nstrata == 1;
    for (long k = 0; k < s_.nstrata; ++k, eta += 3) {
        const double* c = one ? d.parents : &d.strata_parents[static_cast<std::size_t>(3 * k)];
        const double* a = one ? d.fathers : &d.strata_fathers[static_cast<std::size_t>(2 * k)];
        const double u[3] = {c[1] / ((c[0] + c[1]) + c[2]), c[2] / (c[0] + c[2]), a[1] / (a[0] + a[1])};
        for (int i = 0; i < 3; ++i) {
            if (!(u[i] > 1e-12 && u[i] < 1.0 - 1e-12)) return 0;
            eta[i] = stick_parameter(u[i]);
            if (!std::isfinite(eta[i])) return 0;
        }
    }
    return static_cast<int>(3 * s_.nstrata);
}

double XLikelihood::accumulate(const DVector& theta, Derivatives* d, bool with_outer) const {
    const auto n = static_cast<std::size_t>(n_);
    const long ncov = s_.ncov;
    const auto nc = static_cast<std::size_t>(ncov);
    std::vector<XPriorTerms> priors;
    for (long k = 0; k < s_.nstrata; ++k) priors.push_back(x_prior_terms(x_, theta, x_block_end(s_, x_, k)));
    const auto m = static_cast<std::size_t>(coefficients(s_));  // coefficients
    const auto strata = static_cast<std::size_t>(s_.nstrata);
    DVector pars = vector(1, static_cast<int>(2 * ncov));
    expand_coefficients(s_, theta, pars);
    const double c[3] = {static_cast<double>(s_.cch[0]), static_cast<double>(s_.cch[1]), static_cast<double>(s_.cch[2])};

    std::vector<double> sp, hp, ap, sbar, nu;
    if (d != nullptr) {
        d->gradient.assign(n, 0.0);
        d->hessian.assign(n * n, 0.0);
        d->outer.assign(with_outer ? n * n : 0, 0.0);
        d->risks.assign(2 * children_, 0.0);
        std::fill(std::begin(d->parents), std::end(d->parents), 0.0);
        std::fill(std::begin(d->fathers), std::end(d->fathers), 0.0);
        d->strata_parents.assign(strata > 1 ? 3 * strata : 0, 0.0);
        d->strata_fathers.assign(strata > 1 ? 2 * strata : 0, 0.0);
    }
    std::size_t risk_at = 0;
    double loglkk = 0.0;
    for (const Family& f : families_) {
        // The children's relative risks, summed as mkfindiv sums them.
        const auto nchildren = static_cast<std::size_t>(f.ninfam - 2);
        nu.assign(2 * nchildren, 0.0);
        for (std::size_t ch = 0; ch < nchildren; ++ch) {
            const double* x = cov_.data() + f.cov + ch * nc;
            double sum1 = 0.0, sum2 = 0.0;
            for (long i = 1; i <= ncov; ++i) {
                sum1 += pars[i] * x[i - 1];
                sum2 += pars[ncov + i] * x[i - 1];
            }
            nu[2 * ch] = std::exp(sum1);
            nu[2 * ch + 1] = std::exp(sum2);
        }
        if (d != nullptr) std::copy(nu.begin(), nu.end(), d->risks.begin() + static_cast<long>(risk_at));
        risk_at += 2 * nchildren;

        const std::size_t npair = f.pairs.size(), nkid = f.member.size();
        const XPriorTerms& prior = priors[static_cast<std::size_t>(f.stratum)];
        const std::size_t e = m + static_cast<std::size_t>(prior.count * f.stratum);  // the stratum's eta1
        if (d != nullptr) {
            sp.assign(npair * n, 0.0);
            hp.assign(npair * n * n, 0.0);
            ap.assign(npair, 0.0);
        }
        double tmps = 0.0;
        for (std::size_t p = 0; p < npair; ++p) {
            double tmpm = 1.0;
            double* s = d != nullptr ? &sp[p * n] : nullptr;
            double* h = d != nullptr ? &hp[p * n * n] : nullptr;
            for (std::size_t k = 0; k < nkid; ++k) {
                const auto ch = static_cast<std::size_t>(f.member[k] - 3);
                const double* t = &f.t[(p * nkid + k) * 3];
                const double t0 = t[0], t1 = t[1] * nu[2 * ch], t2 = t[2] * nu[2 * ch + 1];
                const int r = f.level[k];
                const double total = (t0 + t1) + t2;
                tmpm = tmpm * ((r == 0 ? t0 : (r == 1 ? t1 : t2)) / total);
                if (d == nullptr) continue;
                const double q0 = t0 / total, q1 = t1 / total, q2 = t2 / total;
                const double* x = cov_.data() + f.cov + ch * nc;
                if (coding_ == 2) {
                    const double e1 = (r == 1 ? 1.0 : 0.0) - q1, e2 = (r == 2 ? 1.0 : 0.0) - q2;
                    const double v11 = q1 * (q0 + q2), v22 = q2 * (q0 + q1), v12 = -(q1 * q2);
                    for (std::size_t i = 0; i < nc; ++i) {
                        s[i] += x[i] * e1;
                        s[nc + i] += x[i] * e2;
                        for (std::size_t j = 0; j < nc; ++j) {
                            h[i * n + j] += v11 * (x[i] * x[j]);
                            h[(nc + i) * n + nc + j] += v22 * (x[i] * x[j]);
                            h[i * n + nc + j] += v12 * (x[i] * x[j]);
                            h[(nc + j) * n + i] += v12 * (x[i] * x[j]);
                        }
                    }
                } else {
                    const double mean = (c[0] * q0 + c[1] * q1) + c[2] * q2;
                    const double var = (q0 * (c[0] - mean) * (c[0] - mean) + q1 * (c[1] - mean) * (c[1] - mean)) +
                                       q2 * (c[2] - mean) * (c[2] - mean);
                    for (std::size_t i = 0; i < nc; ++i) {
                        s[i] += x[i] * (c[r] - mean);
                        for (std::size_t j = 0; j < nc; ++j) h[i * n + j] += var * (x[i] * x[j]);
                    }
                }
            }
            const int pk = f.pairs[p];
            const double a = prior.prior[pk] * tmpm;
            tmps = tmps + a;
            if (d == nullptr) continue;
            ap[p] = a;
            for (int i = 0; i < prior.count; ++i) {
                s[e + static_cast<std::size_t>(i)] = prior.grad[pk][i];
                for (int j = 0; j < prior.count; ++j)
                    h[(e + static_cast<std::size_t>(i)) * n + e + static_cast<std::size_t>(j)] = prior.info[pk][i][j];
            }
        }
        loglkk = loglkk + std::log(tmps);
        if (d == nullptr) continue;
        // -d2 log L_F = sum_p pi_p (H_p - s_p s_p') + s s', H_p the pair's negated curvature.
        sbar.assign(n, 0.0);
        for (std::size_t p = 0; p < npair; ++p) {
            const double pi = ap[p] / tmps;
            d->parents[f.pairs[p] % 3] += pi;
            d->fathers[f.pairs[p] / 3] += pi;
            if (strata > 1) {
                d->strata_parents[3 * static_cast<std::size_t>(f.stratum) + static_cast<std::size_t>(f.pairs[p] % 3)] += pi;
                d->strata_fathers[2 * static_cast<std::size_t>(f.stratum) + static_cast<std::size_t>(f.pairs[p] / 3)] += pi;
            }
            const double* s = &sp[p * n];
            const double* h = &hp[p * n * n];
            for (std::size_t i = 0; i < n; ++i) {
                sbar[i] += pi * s[i];
                for (std::size_t j = 0; j < n; ++j) d->hessian[i * n + j] += pi * (h[i * n + j] - s[i] * s[j]);
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            d->gradient[i] -= sbar[i];
            for (std::size_t j = 0; j < n; ++j) {
                d->hessian[i * n + j] += sbar[i] * sbar[j];
                if (with_outer) d->outer[i * n + j] += sbar[i] * sbar[j];
            }
        }
    }
    return -loglkk;
}

}  // namespace quillon
