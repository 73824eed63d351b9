#include "model/prevalence.hpp"

#include <cmath>

namespace quillon {

void prevalences_from(double eta1, double eta2, double gammma[3]) {
    const double g1 = stick_share(eta1);
    const double t = 1.0 - g1;
    const double g2 = ((std::atan(eta2) + kStickShift) * t) / kStickScale;
    gammma[0] = (1.0 - g1) - g2;
    gammma[1] = g1;
    gammma[2] = g2;
}

double stick_share(double eta) { return (std::atan(eta) + kStickShift) / kStickScale; }

StickSlope stick_slope(double eta) {
    const double w = 1.0 + eta * eta;
    const double d = 1.0 / (kStickScale * w);
    return {d, -2.0 * eta * d / w};
}

double stick_parameter(double u) { return std::tan(kStickScale * u - kStickShift); }

PrevalenceTerms prevalence_terms(double u1, double eta1, double eta2) {
    const double u2 = stick_share(eta2);
    const double e[2] = {eta1, eta2};
    const double u[2] = {u1, u2};
    double lg[2], li[2], mg[2], mi[2];  // log u_i and log(1 - u_i): gradient, negated curvature
    for (int i = 0; i < 2; ++i) {
        const StickSlope slope = stick_slope(e[i]);
        const double d = slope.first, dd = slope.second;  // du/deta, d2u/deta2
        const double a = d / u[i], b = d / (1.0 - u[i]);
        lg[i] = a;
        li[i] = a * a - dd / u[i];
        mg[i] = -b;
        mi[i] = b * b + dd / (1.0 - u[i]);
    }
    // gamma0 = (1 - u1)(1 - u2), gamma1 = u1, gamma2 = u2 (1 - u1).
    return {{{mg[0], mg[1]}, {lg[0], 0.0}, {mg[0], lg[1]}}, {{mi[0], mi[1]}, {li[0], 0.0}, {mi[0], li[1]}}};
}

}  // namespace quillon
