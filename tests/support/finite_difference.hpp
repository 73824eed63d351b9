#pragma once
// Central differences of a function of a 1-based parameter vector.

#include "toolkit/nrarray.hpp"

namespace quillon::test_support {

// d f / d theta[i] with step h: (f(theta + h e_i) - f(theta - h e_i)) / 2h; theta is
// restored.
template <class F>
double central_difference(F&& f, DVector& theta, long i, double h) {
    const double at = theta[i];
    theta[i] = at + h;
    const double up = f(theta);
    theta[i] = at - h;
    const double down = f(theta);
    theta[i] = at;
    return (up - down) / (2.0 * h);
}

}  // namespace quillon::test_support
