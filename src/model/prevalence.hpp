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

// Gradient and negated second derivatives of log gamma_k in (eta1, eta2) for k = 0, 1, 2,
// at u1 = stick_share(eta1).  Each log gamma_k is a sum of a function of eta1 and one of
// eta2, so the second derivatives are diagonal: info[k][i] is -d2 log gamma_k / d eta_i^2.
struct PrevalenceTerms {
    double grad[3][2];
    double info[3][2];
};
PrevalenceTerms prevalence_terms(double u1, double eta1, double eta2);

}  // namespace quillon
