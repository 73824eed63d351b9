#include "model/newton.hpp"

#include <cmath>
#include <utility>
#include <vector>

#include "model/gradient.hpp"
#include "model/prevalence.hpp"

namespace quillon {

namespace {

// Solves A x = b for symmetric A (n x n, row-major) by Cholesky after scaling A to unit
// diagonal.  False when a diagonal entry is not positive and finite, or a pivot of the scaled
// matrix falls below 1e-11 (singular to working precision).
bool solve_scaled_cholesky(const std::vector<double>& A, const std::vector<double>& b, std::size_t n,
                           std::vector<double>& x) {
    std::vector<double> scale(n), L(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double a = A[i * n + i];
        if (!(a > 0.0) || !std::isfinite(a)) return false;
        scale[i] = 1.0 / std::sqrt(a);
    }
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = j; i < n; ++i) {
            double sum = A[i * n + j] * scale[i] * scale[j];
            for (std::size_t k = 0; k < j; ++k) sum -= L[i * n + k] * L[j * n + k];
            if (i == j) {
                if (!(sum > 1e-11)) return false;
                L[j * n + j] = std::sqrt(sum);
            } else {
                L[i * n + j] = sum / L[j * n + j];
            }
        }
    }
    x.assign(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {  // L y = D b
        double sum = b[i] * scale[i];
        for (std::size_t k = 0; k < i; ++k) sum -= L[i * n + k] * x[k];
        x[i] = sum / L[i * n + i];
    }
    for (std::size_t i = n; i-- > 0;) {  // L' z = y, x = D z
        double sum = x[i];
        for (std::size_t k = i + 1; k < n; ++k) sum -= L[k * n + i] * x[k];
        x[i] = sum / L[i * n + i];
    }
    for (std::size_t i = 0; i < n; ++i) x[i] *= scale[i];
    return std::isfinite(x[0]);
}

bool all_finite(const Derivatives& d) {
    if (!std::isfinite(d.value)) return false;
    for (double v : d.gradient)
        if (!std::isfinite(v)) return false;
    for (double v : d.hessian)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

bool prevalence_step(const Derivatives& at, double& eta1, double& eta2) {
    return prevalence_step(at.parents, eta1, eta2);
}

bool prevalence_step(const double* c, double& eta1, double& eta2) {
    const double u1 = c[1] / ((c[0] + c[1]) + c[2]);
    const double u2 = c[2] / (c[0] + c[2]);
    if (!(u1 > 1e-12 && u1 < 1.0 - 1e-12 && u2 > 1e-12 && u2 < 1.0 - 1e-12)) return false;
    eta1 = stick_parameter(u1);
    eta2 = stick_parameter(u2);
    return std::isfinite(eta1) && std::isfinite(eta2);
}

const char* describe(NewtonStatus status) {
    switch (status) {
        case NewtonStatus::kConverged: return "converged";
        case NewtonStatus::kNoFiniteObjective: return "no finite objective";
        case NewtonStatus::kNoAscent: return "no ascent";
        case NewtonStatus::kIterationLimit: return "iteration limit";
        case NewtonStatus::kSingular: return "singular matrix";
    }
    return "unknown";
}

NewtonFit fit_model_newton(const Settings& s, const FamilyTable& families) {
    return fit_model_newton_from(s, families, start_values(s));
}

NewtonStatus newton_maximise(const NewtonObjective& objective, long parameters, DVector& theta, Derivatives& here,
                             int& iter) {
    if (!objective.usable()) return NewtonStatus::kNoFiniteObjective;
    const auto n = static_cast<std::size_t>(parameters);
    Derivatives there;
    objective.evaluate(theta, here, false);
    if (!all_finite(here)) return NewtonStatus::kNoFiniteObjective;
    DVector trial = vector(1, static_cast<int>(n));
    // The first step takes the prevalences to their EM update (prevalence_step), which for
    // families with both parents typed is their exact maximum whatever the coefficients, where
    // Newton's steps in eta, far from quadratic there, would need several; the coefficients
    // take Newton's step with it.  When that does not lower f, the EM update alone; when that
    // does not either, Newton's step with its line search.
    std::vector<double> em_eta(n, 0.0);
    const auto k = static_cast<std::size_t>(objective.prevalence_step(here, em_eta.data()));
    const bool em = k > 0;
    const auto take_if_lower = [&](const std::vector<double>* coefficient_step) {
        for (std::size_t i = 1; i + k <= n; ++i)
            trial[static_cast<long>(i)] = theta[static_cast<long>(i)] + (coefficient_step ? (*coefficient_step)[i - 1] : 0.0);
        for (std::size_t j = 0; j < k; ++j) trial[static_cast<long>(n - k + 1 + j)] = em_eta[j];
        objective.evaluate(trial, there, false);
        if (!all_finite(there) || !(there.value <= here.value)) return false;
        for (std::size_t i = 1; i <= n; ++i) theta[static_cast<long>(i)] = trial[static_cast<long>(i)];
        std::swap(here, there);
        return true;
    };
    std::vector<double> minus_grad(n), step;
    for (iter = 0;; ++iter) {
        if (iter == kNewtonIterations) return NewtonStatus::kIterationLimit;
        for (std::size_t i = 0; i < n; ++i) minus_grad[i] = -here.gradient[i];
        if (!solve_scaled_cholesky(here.hessian, minus_grad, n, step)) {
            objective.evaluate(theta, here, true);
            if (!solve_scaled_cholesky(here.outer, minus_grad, n, step)) return NewtonStatus::kSingular;
        }
        double decrease = 0.0, largest = 0.0;  // grad' I^-1 grad; max |step|
        for (std::size_t i = 0; i < n; ++i) {
            decrease += minus_grad[i] * step[i];
            largest = std::fmax(largest, std::fabs(step[i]));
        }
        if (largest < 1e-8 && decrease < 1e-8) break;
        if (iter == 0 && em && (take_if_lower(&step) || take_if_lower(nullptr))) continue;
        // Backtracking: the full step is evaluated with its derivatives, shorter ones by value.
        bool accepted = false;
        double t = 1.0;
        int halving = 0;
        for (;;) {
            for (std::size_t i = 1; i <= n; ++i) trial[static_cast<long>(i)] = theta[static_cast<long>(i)] + t * step[i - 1];
            const double f = halving == 0 ? (objective.evaluate(trial, there, false), there.value) : objective.value(trial);
            if (std::isfinite(f) && (f <= here.value - 1e-4 * t * decrease ||
                                     (decrease < 1e-6 && f <= here.value + 1e-12 * std::fabs(here.value)))) {
                accepted = true;
                break;
            }
            if (++halving == 60) break;
            t *= 0.5;
        }
        if (!accepted) return NewtonStatus::kNoAscent;
        for (std::size_t i = 1; i <= n; ++i) theta[static_cast<long>(i)] = trial[static_cast<long>(i)];
        if (halving == 0)
            std::swap(here, there);
        else
            objective.evaluate(theta, here, false);
        if (!all_finite(here)) return NewtonStatus::kNoFiniteObjective;
    }
    return NewtonStatus::kConverged;
}

namespace {
// The autosomal likelihood with its derivatives.
class AutosomalObjective final : public NewtonObjective {
public:
    explicit AutosomalObjective(const LikelihoodDerivatives& d) : d_(d) {}
    bool usable() const override { return d_.usable(); }
    double value(const DVector& theta) const override { return d_.value(theta); }
    void evaluate(const DVector& theta, Derivatives& d, bool with_outer) const override {
        d_.evaluate(theta, d, with_outer);
    }
    int prevalence_step(const Derivatives& d, double* eta) const override {
        const long strata = d_.strata();
        if (strata == 1) return quillon::prevalence_step(d, eta[0], eta[1]) ? 2 : 0;
        for (long k = 0; k < strata; ++k)
            if (!quillon::prevalence_step(&d.strata_parents[static_cast<std::size_t>(3 * k)], eta[2 * k], eta[2 * k + 1]))
                return 0;
        return static_cast<int>(2 * strata);
    }

private:
    const LikelihoodDerivatives& d_;
};
}  // namespace

NewtonFit fit_model_newton_from(const Settings& s, const FamilyTable& families, const DVector& start) {
    return fit_model_newton_from(s, LikelihoodDerivatives(s, families), start);
}

NewtonFit fit_model_newton_from(const Settings& s, const LikelihoodDerivatives& derivatives, const DVector& start) {
    return newton_fit_from(s, AutosomalObjective(derivatives), start);
}

NewtonFit newton_fit_from(const Settings& s, const NewtonObjective& objective, const DVector& start) {
    NewtonFit out;
    DVector theta = vector(1, static_cast<int>(s.npars));
    for (long i = 1; i <= s.npars; ++i) theta[i] = start[i];
    Derivatives here;
    int iter = 0;
    out.status = newton_maximise(objective, s.npars, theta, here, iter);
    if (out.status != NewtonStatus::kConverged) return out;
    FitResult& r = out.fit;
    r.ogpars = std::move(theta);
    r.fret = here.value;
    r.iter = iter;
    set_prevalences(s, r);
    r.risks = std::move(here.risks);
    return out;
}

}  // namespace quillon
