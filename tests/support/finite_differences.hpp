#pragma once
// Central differences (f(x + h) - f(x - h)) / 2h: of a function of one double, or along
// coordinate i of a parameter vector, which is restored.  Truncation is about h^2 f''' / 6,
// rounding about eps |f| / h.

#include "toolkit/nrarray.hpp"

namespace quillon::test_support {

template <class F>
double central(const F& f, double x, double h) {
    return (f(x + h) - f(x - h)) / (2.0 * h);
}

template <class F>
double central(const F& f, DVector& theta, long i, double h) {
    const double at = theta[i];
    const double d = central([&](double v) { return theta[i] = v, f(theta); }, at, h);
    theta[i] = at;
    return d;
}

}  // namespace quillon::test_support
