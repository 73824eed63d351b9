#pragma once
// An objective with first and second derivatives, as Newton's fit (newton.hpp) reads it:
// the negative log-likelihood f(theta) over theta = (coefficients, eta1, eta2) of a family
// likelihood that mixes over the parents' genotype pairs.

#include <cstddef>
#include <vector>

#include "toolkit/nrarray.hpp"

namespace quillon {

struct Derivatives {
    double value = 0.0;           // f(theta)
    std::vector<double> gradient; // 0..npars-1: df / dtheta
    std::vector<double> hessian;  // npars x npars row-major: the observed information d2f
    std::vector<double> outer;    // npars x npars row-major: sum_F s_F s_F' (positive semi-definite), on request
    std::vector<double> risks;    // the children's nu1, nu2 at theta, as FitResult::risks
    double parents[3] = {};       // expected count of parents of genotype 0, 1, 2: sum_F sum_p pi_p (f_p, m_p)
};

class DerivativeObjective {
public:
    virtual ~DerivativeObjective() = default;

    // f(theta), theta[1..npars].
    virtual double value(const DVector& theta) const = 0;

    // f, its gradient and observed information at theta[1..npars]; the outer-product matrix
    // too when `with_outer` (otherwise d.outer is left empty).
    virtual void evaluate(const DVector& theta, Derivatives& d, bool with_outer = false) const = 0;

protected:
    DerivativeObjective() = default;
    DerivativeObjective(const DerivativeObjective&) = default;
    DerivativeObjective& operator=(const DerivativeObjective&) = default;
};

// One child's term of a pair's log-likelihood, added to the pair's gradient s (1..n as
// s[0..n-1]) and negated second derivatives h (upper triangle, row-major n x n) through its
// covariate row x (nc entries).  The covariate model None has two coding entries per
// covariate: e1, e2 the score's and v11, v22, v12 the negated curvature's coefficients
// (coefficients of b1 at 0..nc-1, of b2 at nc..2nc-1); the others one: e and v.
inline void add_child_terms(std::size_t nc, std::size_t n, const double* x, double e1, double e2, double v11,
                            double v22, double v12, double* s, double* h) {
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

inline void add_child_terms(std::size_t nc, std::size_t n, const double* x, double e, double v, double* s, double* h) {
    for (std::size_t a = 0; a < nc; ++a) {
        s[a] += x[a] * e;
        for (std::size_t b = a; b < nc; ++b) h[a * n + b] += v * (x[a] * x[b]);
    }
}

// A family's mixture over its pairs: pair p of posterior weight pi, gradient sp and negated
// second derivatives hp adds pi sp to the family's score sbar and pi (hp - sp sp') to h.
inline void add_pair_to_family(std::size_t n, double pi, const double* sp, const double* hp, double* sbar, double* h) {
    for (std::size_t a = 0; a < n; ++a) {
        sbar[a] += pi * sp[a];
        for (std::size_t b = a; b < n; ++b) h[a * n + b] += pi * (hp[a * n + b] - sp[a] * sp[b]);
    }
}

// Then the family's score: -sbar to the gradient g of f, sbar sbar' to h and to the outer
// product o (when not null); upper triangles.
inline void add_family_score(std::size_t n, const double* sbar, double* g, double* h, double* o) {
    for (std::size_t a = 0; a < n; ++a) {
        g[a] -= sbar[a];
        for (std::size_t b = a; b < n; ++b) {
            h[a * n + b] += sbar[a] * sbar[b];
            if (o != nullptr) o[a * n + b] += sbar[a] * sbar[b];
        }
    }
}

}  // namespace quillon
