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

}  // namespace quillon
