#include "model/gradient.hpp"

#include <algorithm>
#include <cmath>

#include "model/child_terms.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"

namespace quillon {

LikelihoodDerivatives::LikelihoodDerivatives(const Settings& s, const FamilyTable& families)
    : s_(s), likelihood_(s, families), coding_(s.cmodeltype == kNone ? 2 : 1) {
    size_buffers();
}

LikelihoodDerivatives::LikelihoodDerivatives(const Settings& s, const LikelihoodDerivatives& wider)
    : s_(s), likelihood_(s, wider.likelihood_.shared_layout()), coding_(s.cmodeltype == kNone ? 2 : 1) {
    size_buffers();
}

void LikelihoodDerivatives::size_buffers() {
    const Settings& s = s_;
    const auto n = static_cast<std::size_t>(s.npars);
    pars_ = DVector(1, 2 * s.ncov);
    pair_a_.resize(parentpairs);
    pair_s_.resize(parentpairs * n);
    pair_h_.resize(parentpairs * n * n);
    direct_s_.resize(n);
    direct_h_.resize(n * n);
    prev_.resize(static_cast<std::size_t>(3 * s.nstrata));
    terms_.resize(static_cast<std::size_t>(s.nstrata));
    single_pairs_.resize(static_cast<std::size_t>(parentpairs * s.nstrata));
}

namespace {

// One child's factor of its pair's product (phgz), its score and negated curvature terms added
// to sp, hp; c holds the codes a_h of the covariate models with one entry per genotype.
template <std::size_t NC, int Coding>
inline double add_child(const double* c, const double* tf, const double* nu, int gc, const double* x, double* sp,
                        double* hp, std::size_t n, std::size_t nc) {
    const ChildFactor k = child_factor(tf, nu, gc);
    const double inv = 1.0 / k.total;
    const double q0 = k.t0 * inv, q1 = k.t1 * inv, q2 = k.t2 * inv;
    if constexpr (Coding == 2) {
        // a = (1{g=1}, 1{g=2}); Cov = [[q1(q0+q2), -q1 q2], [-q1 q2, q2(q0+q1)]]
        const double e1 = (gc == 1 ? 1.0 : 0.0) - q1, e2 = (gc == 2 ? 1.0 : 0.0) - q2;
        const double v11 = q1 * (q0 + q2), v22 = q2 * (q0 + q1), v12 = -(q1 * q2);
        add_child_terms_two_codings<NC>(sp, hp, x, e1, e2, v11, v22, v12, n, nc);
    } else {
        const double mean = (c[0] * q0 + c[1] * q1) + c[2] * q2;
        const double r0 = c[0] - mean, r1 = c[1] - mean, r2 = c[2] - mean;
        const double var = (q0 * r0 * r0 + q1 * r1 * r1) + q2 * r2 * r2;
        const double e = c[gc] - mean;
        add_child_terms<NC>(sp, hp, x, e, var, n, nc);
    }
    return k.term;
}

// The product over a family's `count` children (risks nu from 0, genotypes geno, covariate
// rows x `stride` apart) under a pair of T(h|f,m) = tf[h], child by child, with their terms
// added to sp, hp.
template <std::size_t NC, int Coding>
double add_children(const double* c, const double* tf, const double* nu, const int* geno, const double* x,
                    std::size_t stride, std::size_t count, double* sp, double* hp, std::size_t n, std::size_t nc) {
    double tmpm = 1.0;
    for (std::size_t k = 0; k < count; ++k, x += stride)
        tmpm = tmpm * add_child<NC, Coding>(c, tf, nu + 2 * k, geno[k], x, sp, hp, n, nc);
    return tmpm;
}

}  // namespace

void LikelihoodDerivatives::evaluate(const DVector& theta, Derivatives& d, bool with_outer) const {
    const long nc = coding_ == 2 ? -s_.ncov : s_.ncov;
    switch (nc) {
        case 1: evaluate_as<1, 1>(theta, d, with_outer); break;
        case 2: evaluate_as<2, 1>(theta, d, with_outer); break;
        case 3: evaluate_as<3, 1>(theta, d, with_outer); break;
        case -1: evaluate_as<1, 2>(theta, d, with_outer); break;
        case -2: evaluate_as<2, 2>(theta, d, with_outer); break;
        default:
            if (coding_ == 2)
                evaluate_as<0, 2>(theta, d, with_outer);
            else
                evaluate_as<0, 1>(theta, d, with_outer);
            break;
    }
}

template <std::size_t NC, int Coding>
void LikelihoodDerivatives::evaluate_as(const DVector& theta, Derivatives& d, bool with_outer) const {
    const Likelihood::Layout& fl = likelihood_.layout();
    const auto nc = static_cast<std::size_t>(s_.ncov);
    const auto n = static_cast<std::size_t>(s_.npars);
    const auto m = static_cast<std::size_t>(coefficients(s_));
    const auto strata = static_cast<std::size_t>(s_.nstrata);
    d.clear(n, with_outer, fl.child_geno.size());
    if (strata > 1) d.strata_parents.assign(3 * strata, 0.0);
    // Parents of genotype g counted with weight w, in stratum st.
    const auto count_parent = [&d, strata](std::size_t st, int g, double w) {
        d.parents[g] += w;
        if (strata > 1) d.strata_parents[3 * st + static_cast<std::size_t>(g)] += w;
    };
    std::fill(direct_s_.begin(), direct_s_.end(), 0.0);
    std::fill(direct_h_.begin(), direct_h_.end(), 0.0);
    double* g = d.gradient.data();
    double* h = d.hessian.data();
    double* o = with_outer ? d.outer.data() : nullptr;

    expand_coefficients(s_, theta, pars_);
    stratum_prevalences(s_, theta, prev_.data());
    for (std::size_t st = 0; st < strata; ++st) {
        const long at = prevalence_slot(s_, static_cast<long>(st));
        terms_[st] = prevalence_terms(prev_[3 * st + 1], theta[at], theta[at + 1]);
    }
    const double c[3] = {static_cast<double>(s_.cch[0]), static_cast<double>(s_.cch[1]),
                         static_cast<double>(s_.cch[2])};
    likelihood_.child_risks(pars_, d.risks.data());
    // The flat data and the scratch through local pointers, which the calls in the loop
    // cannot be assumed to leave alone otherwise.
    const double* risks = d.risks.data();
    const auto stride = static_cast<std::size_t>(fl.columns);
    const long* child_begin = fl.child_begin.data();
    const long* pair_begin = fl.pair_begin.data();
    const int* stratum = fl.stratum.data();
    const int* child_geno = fl.child_geno.data();
    const double* cov = fl.cov.data();
    const int* pair_f = fl.pair_f.data();
    const int* pair_m = fl.pair_m.data();
    const double* pair_t = fl.pair_t.data();
    const double* gammas = prev_.data();
    double* ds = direct_s_.data();
    double* dh = direct_h_.data();
    long* singles = single_pairs_.data();

    // Families with one pair (both parents typed, in the main) add their children's terms
    // straight into the totals, and their prevalence terms once per pair type at the end;
    // the others go through the per-pair buffers and the mixture formula.
    std::fill(single_pairs_.begin(), single_pairs_.end(), 0L);
    double loglkk = 0.0;
    const auto nfam = static_cast<std::size_t>(fl.nfam);
    for (std::size_t i = 0; i < nfam; ++i) {
        const auto c_first = static_cast<std::size_t>(child_begin[i]);
        const auto children = static_cast<std::size_t>(child_begin[i + 1]) - c_first;
        const long p_first = pair_begin[i];
        const long npair = pair_begin[i + 1] - p_first;
        const auto st = static_cast<std::size_t>(stratum[i]);
        const double* tmpp = gammas + 3 * st;
        const double* nu = risks + 2 * c_first;
        const int* geno = child_geno + c_first;
        const double* x = cov + c_first * stride;

        if (npair == 1 && !with_outer) {
            const auto pp = static_cast<std::size_t>(p_first);
            const double* tf = pair_t + 3 * pp;
            // A trio's product is 1.0 times its one child's term.
            const double tmpm = children == 1
                                    ? 1.0 * add_child<NC, Coding>(c, tf, nu, *geno, x, ds, dh, n, nc)
                                    : add_children<NC, Coding>(c, tf, nu, geno, x, stride, children, ds, dh, n, nc);
            const int f = pair_f[pp], mo = pair_m[pp];
            const double tmps = 0.0 + (tmpp[f] * tmpp[mo]) * tmpm;
            ++singles[parentpairs * st + static_cast<std::size_t>(3 * f + mo)];
            loglkk = loglkk + std::log(tmps);
            continue;
        }
        const PrevalenceTerms& prev = terms_[st];
        const std::size_t eta = m + 2 * st;  // the stratum's eta1
        double tmps = 0.0;
        for (long slot = 0; slot < npair; ++slot) {
            const auto pp = static_cast<std::size_t>(p_first + slot);
            double* sp = &pair_s_[static_cast<std::size_t>(slot) * n];
            double* hp = &pair_h_[static_cast<std::size_t>(slot) * n * n];
            std::fill(sp, sp + n, 0.0);
            std::fill(hp, hp + n * n, 0.0);
            const double tmpm =
                add_children<NC, Coding>(c, fl.pair_t.data() + 3 * pp, nu, geno, x, stride, children, sp, hp, n, nc);
            const int f = fl.pair_f[pp], mo = fl.pair_m[pp];
            const double ap = (tmpp[f] * tmpp[mo]) * tmpm;
            tmps = tmps + ap;
            pair_a_[static_cast<std::size_t>(slot)] = ap;
            for (std::size_t k = 0; k < 2; ++k) {
                sp[eta + k] = prev.grad[f][k] + prev.grad[mo][k];
                hp[(eta + k) * n + eta + k] = prev.info[f][k] + prev.info[mo][k];
            }
        }
        loglkk = loglkk + std::log(tmps);

        // The family's score s and information: one pair is its own average.
        if (npair == 1) {
            count_parent(st, fl.pair_f[static_cast<std::size_t>(p_first)], 1.0);
            count_parent(st, fl.pair_m[static_cast<std::size_t>(p_first)], 1.0);
            const double* s = pair_s_.data();
            const double* hp = pair_h_.data();
            for (std::size_t a = 0; a < n; ++a) {
                g[a] -= s[a];
                for (std::size_t b = a; b < n; ++b) {
                    h[a * n + b] += hp[a * n + b];
                    if (o != nullptr) o[a * n + b] += s[a] * s[b];
                }
            }
            continue;
        }
        double s[64];
        std::vector<double> big;
        double* sbar = s;
        if (n > 64) {
            big.assign(n, 0.0);
            sbar = big.data();
        }
        std::fill(sbar, sbar + n, 0.0);
        for (long p = 0; p < npair; ++p) {
            const auto pp = static_cast<std::size_t>(p_first + p);
            const double pi = pair_a_[static_cast<std::size_t>(p)] / tmps;
            count_parent(st, fl.pair_f[pp], pi);
            count_parent(st, fl.pair_m[pp], pi);
            const double* sp = &pair_s_[static_cast<std::size_t>(p) * n];
            const double* hp = &pair_h_[static_cast<std::size_t>(p) * n * n];
            for (std::size_t a = 0; a < n; ++a) {
                sbar[a] += pi * sp[a];
                for (std::size_t b = a; b < n; ++b) h[a * n + b] += pi * (hp[a * n + b] - sp[a] * sp[b]);
            }
        }
        for (std::size_t a = 0; a < n; ++a) {
            g[a] -= sbar[a];
            for (std::size_t b = a; b < n; ++b) {
                h[a * n + b] += sbar[a] * sbar[b];
                if (o != nullptr) o[a * n + b] += sbar[a] * sbar[b];
            }
        }
    }
    for (std::size_t a = 0; a < m; ++a) {
        g[a] -= direct_s_[a];
        for (std::size_t b = a; b < m; ++b) h[a * n + b] += direct_h_[a * n + b];
    }
    for (std::size_t st = 0; st < strata; ++st) {
        const PrevalenceTerms& prev = terms_[st];
        const std::size_t eta = m + 2 * st;
        for (int t = 0; t < parentpairs; ++t) {
            const long pairs = single_pairs_[parentpairs * st + static_cast<std::size_t>(t)];
            if (pairs == 0) continue;
            const auto count = static_cast<double>(pairs);
            count_parent(st, t / 3, count);
            count_parent(st, t % 3, count);
            for (std::size_t k = 0; k < 2; ++k) {
                g[eta + k] -= count * (prev.grad[t / 3][k] + prev.grad[t % 3][k]);
                h[(eta + k) * n + eta + k] += count * (prev.info[t / 3][k] + prev.info[t % 3][k]);
            }
        }
    }
    d.value = -loglkk;
    // Only the upper triangles were accumulated.
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < i; ++j) {
            h[i * n + j] = h[j * n + i];
            if (o != nullptr) o[i * n + j] = o[j * n + i];
        }
}

}  // namespace quillon
