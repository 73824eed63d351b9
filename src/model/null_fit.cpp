#include "model/null_fit.hpp"

#include <cmath>

#include "genetics/transmission.hpp"
#include "model/fit.hpp"
#include "model/gradient.hpp"
#include "model/information.hpp"
#include "model/maximum.hpp"
#include "model/newton.hpp"
#include "model/prevalence.hpp"

namespace quillon {

bool parents_all_typed(const FamilyTable& families) {
    for (long i = 1; i <= families.nfam; ++i) {
        const famdat& f = families[i];
        if (f.famgeno[1] == -1 || f.famgeno[2] == -1 || f.npgeno != 1) return false;
    }
    return true;
}

bool first_covariate_slot(const Settings& s, long slot) {
    return slot == 1 || (s.cmodeltype == kNone && slot == s.ncov + 1);
}

std::optional<DVector> restricted_estimate(const Settings& s, const FamilyTable& families, bool intercept_free) {
    const Settings nested = intercept_free ? settings_first_covariate(s) : settings_without_covariates(s);
    NewtonFit fit;
    try {
        fit = fit_model_newton(nested, families);
    } catch (const MissingGenotypeError&) {
        return std::nullopt;
    }
    if (fit.status != NewtonStatus::kConverged) return std::nullopt;
    const DVector& r = fit.fit.ogpars;
    DVector theta = vector(1, static_cast<int>(s.npars));
    for (long i = 1; i <= s.npars; ++i) theta[i] = 0.0;
    if (intercept_free) {
        // The nested model's coefficients are the first covariate's: b1 (and b2 under None).
        theta[1] = r[1];
        if (s.cmodeltype == kNone) theta[s.ncov + 1] = r[2];
    }
    for (long k = 0; k < s.nstrata; ++k) {
        theta[prevalence_slot(s, k)] = r[prevalence_slot(nested, k)];
        theta[prevalence_slot(s, k) + 1] = r[prevalence_slot(nested, k) + 1];
    }
    for (long i = 1; i <= s.npars; ++i)
        if (!std::isfinite(theta[i])) return std::nullopt;
    return theta;
}

std::optional<ScoreInformation> score_information(const Settings& s, const FamilyTable& families,
                                                  const GenotypeTable& table, const DVector& theta) {
    const LikelihoodDerivatives objective(s, families);
    if (!objective.usable()) return std::nullopt;
    Derivatives d;
    objective.evaluate(theta, d);
    const auto n = static_cast<std::size_t>(s.npars);
    ScoreInformation out;
    out.score.resize(n);
    for (std::size_t i = 0; i < n; ++i) out.score[i] = -d.gradient[i];

    FitResult at;
    at.ogpars = vector(1, static_cast<int>(n));
    for (long i = 1; i <= s.npars; ++i) at.ogpars[i] = theta[i];
    set_prevalences(s, at);
    at.risks = std::move(d.risks);
    const int side = static_cast<int>(n) + 1;
    DMatrix JJ = matrix(1, side, 1, side);
    JJ.fill(0.0);
    double status_score = 0.0;
    accumulate_information(s, families, table, at, JJ, &status_score);
    out.information.resize(n * n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            out.information[i * n + j] = JJ[static_cast<long>(i) + 2][static_cast<long>(j) + 2];
    return out;
}

std::optional<double> inverse_quadratic(const double* A, const double* w, std::size_t n, double* scratch) {
    double* L = scratch;
    double* scale = scratch + n * n;
    double* y = scale + n;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = A[i * n + i];
        if (!(a > 0.0) || !std::isfinite(a)) return std::nullopt;
        scale[i] = 1.0 / std::sqrt(a);
    }
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j; i < n; ++i) {
            double sum = A[i * n + j] * scale[i] * scale[j];
            for (std::size_t k = 0; k < j; ++k) sum -= L[i * n + k] * L[j * n + k];
            if (i == j) {
                if (!(sum > 1e-11)) return std::nullopt;
                L[j * n + j] = std::sqrt(sum);
            } else {
                L[i * n + j] = sum / L[j * n + j];
            }
        }
    // A = D^-1 L L' D^-1 with D = diag(scale): w' A^-1 w = |L^-1 D w|^2.
    double q = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double sum = w[i] * scale[i];
        for (std::size_t k = 0; k < i; ++k) sum -= L[i * n + k] * y[k];
        y[i] = sum / L[i * n + i];
        q += y[i] * y[i];
    }
    if (!std::isfinite(q)) return std::nullopt;
    return q;
}

}  // namespace quillon
