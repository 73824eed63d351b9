#include "method/probability_tdt.hpp"

#include <optional>
#include <utility>

#include "model/information.hpp"
#include "model/maximum.hpp"
#include "model/probability_fit.hpp"
#include "model/probability_likelihood.hpp"

namespace quillon {

ProbabilityTdt::ProbabilityTdt(const Settings& s, TestOptions options) : s_(s), o_(options) {
    SettingsCheck check = settings_fault(s_);
    if (check.fault != SettingsFault::kNone) throw SettingsRefused(std::move(check));
}

Schema ProbabilityTdt::schema(const std::vector<std::string>& covariates) const {
    return tdt_schema(s_, o_, covariates);
}

MarkerResult ProbabilityTdt::run(FamilyTable& families, const GenotypeTable&) const {
    MarkerResult r;
    try {
        const ProbabilityFit pf = fit_probabilities(s_, families);
        const FitResult& fit = pf.fit;
        const bool robust_wanted = o_.robust && s_.npars > 2;
        const ProbabilityLikelihood objective(s_, families);
        ObservedInformation info = observed_information(s_, objective, fit.ogpars, robust_wanted);
        if (pf.fell_back) {
            r.fit.outcome = FitOutcome::kFellBack;
            r.fit.newton = *pf.fell_back;
        }
        r.conditions.near_singular = info.near_singular;
        r.conditions.nfs_undefined = true;
        std::optional<DMatrix> robust;
        if (robust_wanted) robust = sandwich_from_scores(s_, fit.ogpars, info.outer, info.subJI);
        const long m = s_.npars - 2;
        const FittedColumns in{
            .fit = fit,
            .cov = info.subJI,
            .robust = robust,
            .wald = wald_statistic(info.subJ, fit.ogpars, m),
            .wald_df = wald_degrees_of_freedom(info.subJ, m),
            .nfs = std::nullopt,
            .full_maximum =
                [&]() -> std::optional<double> {
                if (s_.fit == FitMethod::kNewton && !pf.fell_back) return fit.fret;
                const NewtonFit polished = newton_maximise(objective, s_.npars, fit.ogpars);
                if (polished.status == NewtonStatus::kConverged) return polished.fit.fret;
                return std::nullopt;
            },
            .nested_maximum =
                [&](const Settings& nested) -> std::optional<FitResult> {
                try {
                    return probability_maximum(nested, families);
                } catch (const NumericalError& e) {
                    if (e.kind() == NumericalKind::kAllocation) throw;
                    return std::nullopt;
                }
            },
            .nested_covariance = [&](const Settings& nested, const FitResult& at) {
                return observed_information(nested, ProbabilityLikelihood(nested, families), at.ogpars).subJI;
            }};
        r.values = tdt_values(s_, o_, in, r.conditions);
        r.covariance = std::move(info.subJI);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        r = MarkerResult{};
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = e;
    }
    return r;
}

}  // namespace quillon
