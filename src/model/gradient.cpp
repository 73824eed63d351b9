#include "model/gradient.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "model/child_terms.hpp"
#include "model/repeated_values.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"

namespace quillon {

namespace {
inline bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }
}  // namespace

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
    const Likelihood::Layout& fl = likelihood_.layout();
    family_sums_ = std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(fl.nfam));
    // Every child's covariate row equal, bit for bit, to the first child's, and every pair
    // typed (without covariates a child's term is a single division: nothing to keep).
    children_alike_ = !fl.untyped && s.ncov > 0;
    const auto nc = static_cast<std::size_t>(s.ncov);
    const auto stride = static_cast<std::size_t>(fl.columns);
    const std::size_t children = fl.child_geno.size();
    const double* x = fl.cov.data();
    for (std::size_t k = 0; k < nc && children_alike_; ++k) {
        const double first = x[k];
        std::size_t c = 1;
        while (c < children && same_bits(first, x[c * stride + k])) ++c;
        children_alike_ = c >= children;
    }
}

namespace {

// One child's factor of its pair's product (phgz) and the coefficients of its score and
// negated curvature, which its covariate row multiplies: e[0] and v[0] with one code a_h per
// genotype (c holds them), e1, e2 at e[0..1] and v11, v22, v12 at v[0..2] with two.
struct ChildTerms {
    double term;
    double e[2];
    double v[3];
};

template <int Coding>
inline ChildTerms child_terms(const double* c, const double* tf, const double* nu, int gc) {
    const ChildFactor k = child_factor(tf, nu, gc);
    ChildTerms t{k.term, {}, {}};
    if constexpr (Coding == 0) return t;  // no coefficients
    const double inv = 1.0 / k.total;
    const double q0 = k.t0 * inv, q1 = k.t1 * inv, q2 = k.t2 * inv;
    if constexpr (Coding == 2) {
        // a = (1{g=1}, 1{g=2}); Cov = [[q1(q0+q2), -q1 q2], [-q1 q2, q2(q0+q1)]]
        t.e[0] = (gc == 1 ? 1.0 : 0.0) - q1;
        t.e[1] = (gc == 2 ? 1.0 : 0.0) - q2;
        t.v[0] = q1 * (q0 + q2);
        t.v[1] = q2 * (q0 + q1);
        t.v[2] = -(q1 * q2);
    } else {
        const double mean = (c[0] * q0 + c[1] * q1) + c[2] * q2;
        const double r0 = c[0] - mean, r1 = c[1] - mean, r2 = c[2] - mean;
        t.v[0] = (q0 * r0 * r0 + q1 * r1 * r1) + q2 * r2 * r2;
        t.e[0] = c[gc] - mean;
    }
    return t;
}

// The child's score and negated curvature terms through its covariate row x, added to sp, hp.
template <std::size_t NC, int Coding>
inline void add_terms(const ChildTerms& t, const double* x, double* sp, double* hp, std::size_t n, std::size_t nc) {
    if constexpr (Coding == 2)
        add_child_terms_two_codings<NC>(sp, hp, x, t.e[0], t.e[1], t.v[0], t.v[1], t.v[2], n, nc);
    else if constexpr (Coding == 1)
        add_child_terms<NC>(sp, hp, x, t.e[0], t.v[0], n, nc);
}

// The child's factor, its terms added to sp, hp.
template <std::size_t NC, int Coding>
inline double add_child(const double* c, const double* tf, const double* nu, int gc, const double* x, double* sp,
                        double* hp, std::size_t n, std::size_t nc) {
    const ChildTerms t = child_terms<Coding>(c, tf, nu, gc);
    add_terms<NC, Coding>(t, x, sp, hp, n, nc);
    return t.term;
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

// What one evaluation reads of the flat data (Likelihood::Layout) and of its own
// constants, as plain pointers and values.
struct Pass {
    const long* child_begin;
    const long* pair_begin;
    const int* stratum;
    const int* child_geno;
    const double* cov;
    std::size_t stride;  // covariates per flat child
    const int* pair_f;
    const int* pair_m;
    const double* pair_t;
    const double* risks;   // nu1, nu2 of flat child c at 2c, 2c + 1
    const double* gammas;  // gamma0..2 of stratum k at 3k
    double c[3];           // the codes a_h (one entry per genotype)
    std::size_t n;         // parameters
    std::size_t nc;        // covariates
};

// With every child's covariate row alike (the intercept-only model) every child has the same
// risks, so a one-child family's terms follow from its pair (f, m) and its child's genotype:
// computed at the first such family of an evaluation and read again for the others, the very
// doubles.  The risks they were computed at are compared, bit for bit, all the same.
struct AlikeChildren {
    unsigned known = 0;  // bit 3 (3 f + m) + g
    double nu[2] = {};
    ChildTerms terms[3 * parentpairs];
};

template <std::size_t NC, int Coding>
inline double add_alike_child(AlikeChildren& alike, const Pass& p, std::size_t pp, const double* nu, int gc,
                              const double* x, double* sp, double* hp, std::size_t n) {
    if (alike.known == 0) std::copy(nu, nu + 2, alike.nu);
    if (!same_bits(alike.nu[0], nu[0]) || !same_bits(alike.nu[1], nu[1]))
        return add_child<NC, Coding>(p.c, p.pair_t + 3 * pp, nu, gc, x, sp, hp, n, p.nc);
    const int slot = 3 * (3 * p.pair_f[pp] + p.pair_m[pp]) + gc;
    if ((alike.known & 1U << slot) == 0) {
        alike.terms[slot] = child_terms<Coding>(p.c, p.pair_t + 3 * pp, nu, gc);
        alike.known |= 1U << slot;
    }
    add_terms<NC, Coding>(alike.terms[slot], x, sp, hp, n, p.nc);
    return alike.terms[slot].term;
}

// The one-pair families from i on, up to the first other one or nfam, whose index it
// returns: each family's L_F into sums[i], its children's terms added to the upper
// Coding nc x Coding nc block of ds, dh (row stride n), in family order.  With NC > 0 the
// block is summed in a local copy, which the compiler can keep out of memory.  `alike`: the
// children's terms kept for a model whose children are alike (Alike; not read otherwise).
template <std::size_t NC, int Coding, bool Alike>
[[gnu::noinline]] std::size_t one_pair_families(const Pass& v, std::size_t i, std::size_t nfam, double* sums,
                                                double* ds, double* dh, AlikeChildren& alike) {
    constexpr std::size_t K = Coding * NC;
    double local_s[K > 0 ? K : 1], local_h[K > 0 ? K * K : 1];
    double* sp = ds;
    double* hp = dh;
    std::size_t n = v.n;
    if constexpr (K > 0) {
        for (std::size_t a = 0; a < K; ++a) {
            local_s[a] = ds[a];
            for (std::size_t b = 0; b < K; ++b) local_h[a * K + b] = dh[a * v.n + b];
        }
        sp = local_s;
        hp = local_h;
        n = K;
    }
    const Pass p = v;
    for (; i < nfam; ++i) {
        const auto pp = static_cast<std::size_t>(p.pair_begin[i]);
        if (static_cast<std::size_t>(p.pair_begin[i + 1]) - pp != 1) break;
        const auto c_first = static_cast<std::size_t>(p.child_begin[i]);
        const auto children = static_cast<std::size_t>(p.child_begin[i + 1]) - c_first;
        const double* nu = p.risks + 2 * c_first;
        const int* geno = p.child_geno + c_first;
        const double* x = p.cov + c_first * p.stride;
        const double* tf = p.pair_t + 3 * pp;
        // A trio's product is 1.0 times its one child's term.
        double tmpm;
        if (children != 1)
            tmpm = add_children<NC, Coding>(p.c, tf, nu, geno, x, p.stride, children, sp, hp, n, p.nc);
        else if constexpr (Alike)
            tmpm = 1.0 * add_alike_child<NC, Coding>(alike, p, pp, nu, *geno, x, sp, hp, n);
        else
            tmpm = 1.0 * add_child<NC, Coding>(p.c, tf, nu, *geno, x, sp, hp, n, p.nc);
        const double* tmpp = p.gammas + 3 * p.stratum[i];
        sums[i] = 0.0 + (tmpp[p.pair_f[pp]] * tmpp[p.pair_m[pp]]) * tmpm;
    }
    if constexpr (K > 0) {
        for (std::size_t a = 0; a < K; ++a) {
            ds[a] = local_s[a];
            for (std::size_t b = 0; b < K; ++b) dh[a * v.n + b] = local_h[a * K + b];
        }
    }
    return i;
}

// The per-pair buffers of a family: weight a[p], gradient s[p n ..] and Hessian h[p n n ..] of pair p.
struct PairBuffers {
    double* a;
    double* s;
    double* h;
};

// Where a family's score and information go: the gradient g (subtracted), the upper triangles
// of the information h and the outer product o (none when null), the parents' counts of d.
struct Totals {
    Derivatives& d;
    std::size_t strata;
    double* g;
    double* h;
    double* o;
    // Parents of genotype gt counted with weight w, in stratum st.
    void count_parent(std::size_t st, int gt, double w) const {
        d.parents[gt] += w;
        if (strata > 1) d.strata_parents[3 * st + static_cast<std::size_t>(gt)] += w;
    }
};

// Family i by its pairs and the mixture formula, its stratum's eta1 at `eta`, its prevalence
// terms `prev`: its score and information added to the totals; returns L_F.  N > 0: that many
// parameters, v.n (the loops over the triangles then unrolled whole), 0: v.n of them.
template <std::size_t NC, int Coding, std::size_t N>
double mixture_family(const Pass& v, std::size_t i, std::size_t eta, const PrevalenceTerms& prev,
                      const PairBuffers& buffers, const Totals& t) {
    const std::size_t n = N > 0 ? N : v.n;
    double* g = t.g;
    double* h = t.h;
    double* o = t.o;
    const auto c_first = static_cast<std::size_t>(v.child_begin[i]);
    const auto children = static_cast<std::size_t>(v.child_begin[i + 1]) - c_first;
    const long p_first = v.pair_begin[i];
    const long npair = v.pair_begin[i + 1] - p_first;
    const auto st = static_cast<std::size_t>(v.stratum[i]);
    const double* tmpp = v.gammas + 3 * st;
    const double* nu = v.risks + 2 * c_first;
    const int* geno = v.child_geno + c_first;
    const double* x = v.cov + c_first * v.stride;
    double tmps = 0.0;
    for (long slot = 0; slot < npair; ++slot) {
        const auto pp = static_cast<std::size_t>(p_first + slot);
        double* sp = buffers.s + static_cast<std::size_t>(slot) * n;
        double* hp = buffers.h + static_cast<std::size_t>(slot) * n * n;
        std::fill(sp, sp + n, 0.0);
        std::fill(hp, hp + n * n, 0.0);
        const double tmpm =
            add_children<NC, Coding>(v.c, v.pair_t + 3 * pp, nu, geno, x, v.stride, children, sp, hp, n, v.nc);
        const int f = v.pair_f[pp], mo = v.pair_m[pp];
        const double ap = (tmpp[f] * tmpp[mo]) * tmpm;
        tmps = tmps + ap;
        buffers.a[slot] = ap;
        for (std::size_t k = 0; k < 2; ++k) {
            sp[eta + k] = prev.grad[f][k] + prev.grad[mo][k];
            hp[(eta + k) * n + eta + k] = prev.info[f][k] + prev.info[mo][k];
        }
    }

    // The family's score s and information: one pair is its own average.
    if (npair == 1) {
        t.count_parent(st, v.pair_f[static_cast<std::size_t>(p_first)], 1.0);
        t.count_parent(st, v.pair_m[static_cast<std::size_t>(p_first)], 1.0);
        const double* s = buffers.s;
        const double* hp = buffers.h;
        for (std::size_t a = 0; a < n; ++a) {
            g[a] -= s[a];
            for (std::size_t b = a; b < n; ++b) {
                h[a * n + b] += hp[a * n + b];
                if (o != nullptr) o[a * n + b] += s[a] * s[b];
            }
        }
        return tmps;
    }
    double s[N > 0 ? N : 64];
    std::vector<double> big;
    double* sbar = s;
    if (n > 64) {
        big.assign(n, 0.0);
        sbar = big.data();
    }
    std::fill(sbar, sbar + n, 0.0);
    for (long p = 0; p < npair; ++p) {
        const auto pp = static_cast<std::size_t>(p_first + p);
        const double pi = buffers.a[p] / tmps;
        t.count_parent(st, v.pair_f[pp], pi);
        t.count_parent(st, v.pair_m[pp], pi);
        const double* sp = buffers.s + static_cast<std::size_t>(p) * n;
        const double* hp = buffers.h + static_cast<std::size_t>(p) * n * n;
#pragma GCC unroll 8
        for (std::size_t a = 0; a < n; ++a) {
            sbar[a] += pi * sp[a];
#pragma GCC unroll 8
            for (std::size_t b = a; b < n; ++b) h[a * n + b] += pi * (hp[a * n + b] - sp[a] * sp[b]);
        }
    }
#pragma GCC unroll 8
    for (std::size_t a = 0; a < n; ++a) {
        g[a] -= sbar[a];
#pragma GCC unroll 8
        for (std::size_t b = a; b < n; ++b) {
            h[a * n + b] += sbar[a] * sbar[b];
            if (o != nullptr) o[a * n + b] += sbar[a] * sbar[b];
        }
    }
    return tmps;
}

}  // namespace

void LikelihoodDerivatives::evaluate(const DVector& theta, Derivatives& d, bool with_outer) const {
    const long nc = coding_ == 2 ? -s_.ncov : s_.ncov;
    switch (nc) {
        case 0: evaluate_as<0, 0>(theta, d, with_outer); break;
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
    const Pass pass{fl.child_begin.data(), fl.pair_begin.data(), fl.stratum.data(), fl.child_geno.data(),
                    fl.cov.data(), static_cast<std::size_t>(fl.columns), fl.pair_f.data(), fl.pair_m.data(),
                    fl.pair_t.data(), d.risks.data(), prev_.data(), {c[0], c[1], c[2]}, n, nc};
    double* sums = family_sums_.get();
    const Totals totals{d, strata, g, h, o};
    const PairBuffers buffers{pair_a_.data(), pair_s_.data(), pair_h_.data()};

    // Families with one pair (both parents typed, in the main) add their children's terms
    // straight into the totals, and their prevalence terms once per pair type at the end;
    // the others go through the per-pair buffers and the mixture formula.  Each family's L_F
    // is kept for its log, taken in family order after the loop.
    const auto nfam = static_cast<std::size_t>(fl.nfam);
    AlikeChildren alike;
    for (std::size_t i = 0; i < nfam; ++i) {
        if (!with_outer) {
            i = children_alike_
                    ? one_pair_families<NC, Coding, true>(pass, i, nfam, sums, direct_s_.data(), direct_h_.data(), alike)
                    : one_pair_families<NC, Coding, false>(pass, i, nfam, sums, direct_s_.data(), direct_h_.data(), alike);
            if (i == nfam) break;
        }
        const auto st = static_cast<std::size_t>(fl.stratum[i]);
        // With one stratum the parameters are the coefficients and eta1, eta2.
        constexpr std::size_t kFixed = Coding * NC + 2;
        if ((NC > 0 || Coding == 0) && strata == 1)
            sums[i] = mixture_family<NC, Coding, kFixed>(pass, i, m + 2 * st, terms_[st], buffers, totals);
        else
            sums[i] = mixture_family<NC, Coding, 0>(pass, i, m + 2 * st, terms_[st], buffers, totals);
    }
    for (std::size_t a = 0; a < m; ++a) {
        g[a] -= direct_s_[a];
        for (std::size_t b = a; b < m; ++b) h[a * n + b] += direct_h_[a * n + b];
    }
    for (std::size_t st = 0; st < strata && !with_outer; ++st) {
        const PrevalenceTerms& prev = terms_[st];
        const std::size_t eta = m + 2 * st;
        for (int t = 0; t < parentpairs; ++t) {
            const long pairs = fl.one_pair[parentpairs * st + static_cast<std::size_t>(t)];
            if (pairs == 0) continue;
            const auto count = static_cast<double>(pairs);
            totals.count_parent(st, t / 3, count);
            totals.count_parent(st, t % 3, count);
            for (std::size_t k = 0; k < 2; ++k) {
                g[eta + k] -= count * (prev.grad[t / 3][k] + prev.grad[t % 3][k]);
                h[(eta + k) * n + eta + k] += count * (prev.info[t / 3][k] + prev.info[t % 3][k]);
            }
        }
    }
    d.value = -sum_of_logs(sums, nfam);
    // Only the upper triangles were accumulated.
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < i; ++j) {
            h[i * n + j] = h[j * n + i];
            if (o != nullptr) o[i * n + j] = o[j * n + i];
        }
}

}  // namespace quillon
