#include "model/probability_fit.hpp"

#include <cmath>
#include <utility>

#include "model/maximum.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "model/probability_likelihood.hpp"
#include "toolkit/linalg.hpp"

namespace quillon {

namespace {
FitResult direction_set(const Settings& s, const ProbabilityLikelihood& objective, const FamilyTable& families) {
    FitResult r = direction_set_fit(s, [&objective](const DVector& p) { return objective.value(p); });
    r.risks = relative_risks(s, r.ogpars, families);
    return r;
}

}  // namespace

ProbabilityFit fit_probabilities(const Settings& s, const FamilyTable& families) {
    const ProbabilityLikelihood objective(s, families);
    ProbabilityFit out;
    if (s.fit == FitMethod::kNewton) {
        NewtonFit newton = newton_fit_from(s, objective, start_values(s));
        if (newton.status == NewtonStatus::kConverged) {
            out.fit = std::move(newton.fit);
            return out;
        }
        out.fell_back = newton.status;
    }
    out.fit = direction_set(s, objective, families);
    return out;
}

std::optional<FitResult> probability_maximum(const Settings& s, const FamilyTable& families) {
    const ProbabilityLikelihood objective(s, families);
    NewtonFit newton = newton_fit_from(s, objective, start_values(s));
    if (newton.status == NewtonStatus::kConverged) return std::move(newton.fit);
    const FitResult powell = direction_set(s, objective, families);
    newton = newton_fit_from(s, objective, powell.ogpars);
    if (newton.status == NewtonStatus::kConverged) return std::move(newton.fit);
    return std::nullopt;
}

ObservedInformation observed_information(const Settings& s, const NewtonObjective& objective,
                                         const DVector& ogpars, bool with_outer) {
    const int n = static_cast<int>(s.npars);
    Derivatives d;
    objective.evaluate(ogpars, d, with_outer);
    DMatrix eta = matrix(1, n, 1, n), IK = matrix(1, n, 1, n);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) eta[i][j] = d.hessian[static_cast<std::size_t>((i - 1) * n + (j - 1))];
    const DMatrix K = prevalence_chart(ogpars, n, n - 2);
    ObservedInformation r;
    r.subJ = matrix(1, n, 1, n);
    r.subJI = matrix(1, n, 1, n);
    mltmm(eta, n, n, K, n, IK);
    mlttmm(K, n, n, IK, n, r.subJ);
    // The pseudo-inverse of the matrix scaled to unit diagonal, so that a prevalence near 0
    // (whose information grows without bound) does not make it drop the coefficients'
    // directions as small against the largest singular value.
    std::vector<double> scale(static_cast<std::size_t>(n) + 1, 1.0);
    bool positive = true;
    for (int i = 1; i <= n; ++i) positive = positive && r.subJ[i][i] > 0.0 && std::isfinite(r.subJ[i][i]);
    if (positive)
        for (int i = 1; i <= n; ++i) scale[static_cast<std::size_t>(i)] = 1.0 / std::sqrt(r.subJ[i][i]);
    DMatrix scaled = matrix(1, n, 1, n);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) scaled[i][j] = r.subJ[i][j] * scale[static_cast<std::size_t>(i)] * scale[static_cast<std::size_t>(j)];
    r.near_singular = inversse(scaled, n, r.subJI);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) r.subJI[i][j] = r.subJI[i][j] * scale[static_cast<std::size_t>(i)] * scale[static_cast<std::size_t>(j)];
    r.outer = std::move(d.outer);
    return r;
}

}  // namespace quillon
