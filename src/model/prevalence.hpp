#pragma once
// The arctangent stick-breaking map from the prevalence parameters (eta1, eta2) to the
// genotype prevalences, its derivatives and its inverse, with the program's literal
// constants (not pi/2 and pi; the map is not clamped):
//   u(eta) = (atan(eta) + 1.570795) / 3.14159
//   gamma1 = u(eta1),  gamma2 = ((atan(eta2) + 1.570795) * (1 - gamma1)) / 3.14159,
//   gamma0 = (1 - gamma1) - gamma2.

namespace quillon {

inline constexpr double kStickScale = 3.14159;   // stands for pi
inline constexpr double kStickShift = 1.570795;  // stands for pi / 2, exactly half of kStickScale

// Writes gammma[0..2].
void prevalences_from(double eta1, double eta2, double gammma[3]);

// u(eta), the stick share of one parameter.
double stick_share(double eta);

// du/deta = 1 / (3.14159 w) and d2u/deta2 = ((-2 eta) du/deta) / w, with w = 1 + eta eta.
struct StickSlope {
    double first;
    double second;
};
StickSlope stick_slope(double eta);

// The inverse of u: eta = tan(3.14159 u - 1.570795).
double stick_parameter(double u);

}  // namespace quillon
