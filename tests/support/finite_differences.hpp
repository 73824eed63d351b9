#pragma once
// Central differences (f(x + h) - f(x - h)) / 2h: of a function of one double, or along
// coordinate i of a parameter vector, which is restored.  Truncation is about h^2 f''' / 6,
// rounding about eps |f| / h.

#include <gtest/gtest.h>

#include <cmath>

#include "model/gradient.hpp"
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

// The objective's gradient and observed information at theta (`at`, its evaluation there)
// against central differences of its value and of its gradient, step h.
template <class Objective>
void expect_derivatives(const Objective& objective, DVector& theta, const Derivatives& at, double h) {
    const auto n = at.gradient.size();
    Derivatives other;
    const auto value = [&](const DVector& t) { return objective.value(t); };
    for (std::size_t k = 0; k < n; ++k) {
        const long i = static_cast<long>(k) + 1;
        EXPECT_NEAR(at.gradient[k], central(value, theta, i, h), 1e-6 * (1 + std::fabs(at.gradient[k])));
        for (std::size_t j = 0; j < n; ++j) {
            const double fd =
                central([&](const DVector& t) { return objective.evaluate(t, other, false), other.gradient[j]; }, theta, i, h);
            EXPECT_NEAR(at.hessian[k * n + j], fd, 1e-5 * (1 + std::fabs(fd))) << k << "," << j;
        }
    }
}

}  // namespace quillon::test_support
