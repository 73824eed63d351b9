#include "model/maximum.hpp"

#include <utility>

#include "model/gradient.hpp"
#include "model/newton.hpp"
#include "model/prevalence.hpp"
#include "toolkit/linalg.hpp"

namespace quillon {

std::optional<FitResult> polished(const Settings& s, const FamilyTable& families, const FitResult& fit) {
    return polished(s, LikelihoodDerivatives(s, families), fit);
}

std::optional<FitResult> polished(const Settings& s, const LikelihoodDerivatives& objective, const FitResult& fit) {
    Settings newton = s;
    newton.fit = FitMethod::kNewton;
    NewtonFit r = fit_model_newton_from(newton, objective, fit.ogpars);
    if (r.status != NewtonStatus::kConverged) return std::nullopt;
    return std::move(r.fit);
}

namespace {

// Where every family has a single compatible pair of parental genotypes, the parents'
// genotype counts do not depend on the parameters (each parent counts 1, and sums of whole
// numbers are exact in any order), so the prevalences' EM update that Newton's first step
// takes from its start is known before it: for the model without covariates it is the
// maximum.  Newton started there stops at its first evaluation, with the very doubles it
// reaches one evaluation later from the usual start.  Nothing where some family has several
// pairs or a count is empty.
std::optional<DVector> closed_form_start(const Settings& s, const LikelihoodDerivatives& families) {
    const Likelihood::Layout& fl = families.layout();
    if (s.npars != 2 * s.nstrata || fl.strata != s.nstrata || fl.untyped) return std::nullopt;
    long single = 0;
    std::vector<double> counts(static_cast<std::size_t>(3 * s.nstrata), 0.0);
    for (long st = 0; st < s.nstrata; ++st) {
        double* c = &counts[static_cast<std::size_t>(3 * st)];
        for (int t = 0; t < parentpairs; ++t) {
            const long pairs = fl.one_pair[static_cast<std::size_t>(parentpairs * st + t)];
            single += pairs;
            c[t / 3] += static_cast<double>(pairs);
            c[t % 3] += static_cast<double>(pairs);
        }
    }
    if (single != fl.nfam) return std::nullopt;
    DVector start = vector(1, static_cast<int>(s.npars));
    for (long st = 0; st < s.nstrata; ++st) {
        const long at = prevalence_slot(s, st);
        if (!prevalence_step(&counts[static_cast<std::size_t>(3 * st)], start[at], start[at + 1])) return std::nullopt;
    }
    return start;
}

}  // namespace

std::optional<FitResult> newton_maximum(const Settings& s, const FamilyTable& families,
                                        const LikelihoodDerivatives& wider) {
    const LikelihoodDerivatives nested(s, wider);
    if (s.fit == FitMethod::kNewton) {
        const std::optional<DVector> known = closed_form_start(s, wider);
        NewtonFit r = known ? fit_model_newton_from(s, nested, *known) : fit_model_newton_from(s, nested, start_values(s));
        if (r.status == NewtonStatus::kConverged) return std::move(r.fit);
    }
    return polished(s, nested, fit_model(s, families));
}

std::optional<FitResult> newton_maximum(const Settings& s, const FamilyTable& families) {
    if (s.fit == FitMethod::kNewton) {
        NewtonFit r = fit_model_newton(s, families);
        if (r.status == NewtonStatus::kConverged) return std::move(r.fit);
    }
    return polished(s, families, fit_model(s, families));
}

Settings settings_without_covariates(const Settings& s) {
    Settings n = s;
    n.ncov = 0;
    n.cmodeltype = kNone;
    derive_model_codings(n);
    return n;
}

Settings settings_first_covariate(const Settings& s) {
    Settings n = s;
    n.ncov = 1;
    derive_model_codings(n);
    return n;
}

std::optional<DMatrix> sandwich_covariance(const Settings& s, const FamilyTable& families, const FitResult& fit,
                                           const DMatrix& subJI) {
    const LikelihoodDerivatives objective(s, families);
    if (!objective.usable()) return std::nullopt;
    Derivatives d;
    objective.evaluate(fit.ogpars, d, true);
    return sandwich(d.outer, fit.ogpars, static_cast<int>(s.npars), static_cast<int>(coefficients(s)), subJI,
                    static_cast<int>(s.nstrata));
}

DMatrix prevalence_chart(const DVector& theta, int n, int m, int strata) {
    // gamma1 = u(eta1), gamma2 = u(eta2) (1 - gamma1): the Jacobian J = d gamma / d eta is
    // lower triangular, and a score in gamma is J^-T times the score in eta.  K = J^-1 on the
    // prevalence block, the identity elsewhere.  A further parameter eta3 of a share
    // q = u(eta3) has its own diagonal entry.
    DMatrix K = matrix(1, n, 1, n);
    K.fill(0.0);
    for (int i = 1; i <= m; ++i) K[i][i] = 1.0;
    const int block = (n - m) / strata;  // eta1, eta2 and, on X untied, eta3 of each stratum
    for (int st = 0, e = m; st < strata; ++st, e += block) {
        const double eta1 = theta[e + 1], eta2 = theta[e + 2];
        const double a = stick_slope(eta1).first;
        const double c = -stick_share(eta2) * a;
        const double dd = stick_slope(eta2).first * (1.0 - stick_share(eta1));
        K[e + 1][e + 1] = 1.0 / a;
        K[e + 2][e + 1] = -c / (a * dd);
        K[e + 2][e + 2] = 1.0 / dd;
        if (block == 3) K[e + 3][e + 3] = 1.0 / stick_slope(theta[e + 3]).first;
    }
    return K;
}

DMatrix sandwich(const std::vector<double>& outer, const DVector& theta, int n, int m, const DMatrix& subJI,
                 int strata) {
    // B in gamma is K' B K.
    const DMatrix K = prevalence_chart(theta, n, m, strata);
    DMatrix B = matrix(1, n, 1, n);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) B[i][j] = outer[static_cast<std::size_t>((i - 1) * n + (j - 1))];
    DMatrix BK = matrix(1, n, 1, n), Bg = matrix(1, n, 1, n), AB = matrix(1, n, 1, n), R = matrix(1, n, 1, n);
    mltmm(B, n, n, K, n, BK);
    mlttmm(K, n, n, BK, n, Bg);
    mltmm(subJI, n, n, Bg, n, AB);
    mltmm(AB, n, n, subJI, n, R);
    return R;
}

}  // namespace quillon
