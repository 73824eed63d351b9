#pragma once
// One child's term of a parental pair's log-likelihood, added to the pair's gradient s
// (s[0..n-1]) and negated second derivatives h (upper triangle, row-major n x n) through the
// child's covariate row x.  Shared by the hard-call and the genotype-likelihood models, so
// that both add the very same doubles in the same order.

#include <cstddef>

namespace quillon {

// A coding with one entry per genotype (covariate models Recessive, Dominant, Additive): the
// score x e and the upper triangle of v x x', entry by entry (NC > 0: that many covariates,
// unrolled; 0: nc of them).
template <std::size_t NC = 0>
inline void add_child_terms(double* s, double* h, const double* x, double e, double v, std::size_t n,
                            std::size_t nc) {
    if constexpr (NC > 0) nc = NC;
    for (std::size_t a = 0; a < nc; ++a) {
        s[a] += x[a] * e;
        for (std::size_t b = a; b < nc; ++b) h[a * n + b] += v * (x[a] * x[b]);
    }
}

// The covariate model None, two coding entries per covariate (b1 at 0..nc-1, b2 at
// nc..2nc-1): e1, e2 the score's and v11, v22, v12 the negated curvature's coefficients
// (NC > 0: that many covariates, unrolled; 0: nc of them).
template <std::size_t NC = 0>
inline void add_child_terms_two_codings(double* s, double* h, const double* x, double e1, double e2, double v11,
                                        double v22, double v12, std::size_t n, std::size_t nc) {
    if constexpr (NC > 0) nc = NC;
    for (std::size_t a = 0; a < nc; ++a) {
        s[a] += x[a] * e1;
        s[nc + a] += x[a] * e2;
        for (std::size_t b = 0; b < nc; ++b) {
            const double xx = x[a] * x[b];
            if (b >= a) {
                h[a * n + b] += v11 * xx;
                h[(nc + a) * n + nc + b] += v22 * xx;
            }
            h[a * n + nc + b] += v12 * xx;
        }
    }
}

}  // namespace quillon
