#include "method/probability_tdt.hpp"

#include <cmath>
#include <optional>
#include <utility>

#include "model/information.hpp"
#include "model/maximum.hpp"
#include "model/probability_fit.hpp"
#include "model/probability_likelihood.hpp"

namespace quillon {

namespace {
// What tdt_values reads of the observed information and the fit.
struct ProbabilityAnalysis {
    FitResult fit;
    InformationResult info;
    NonFoundersStatistic nfs{0.0, 0.0, false};
    std::optional<NewtonStatus> fell_back;
    std::vector<double> outer;
};

// The Newton maximum of a nested model, or nothing (a numerical error other than running out
// of memory counts as not reached).
std::optional<FitResult> nested_maximum(const Settings& s, const FamilyTable& families) {
    try {
        return probability_maximum(s, families);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        return std::nullopt;
    }
}
}  // namespace

NonFoundersStatistic dosage_transmission(const FamilyTable& families) {
    double sum = 0.0, squares = 0.0;
    for (long i = 1; i <= families.nfam; ++i) {
        const famdat& fam = families[i];
        if (fam.dosage.size() < static_cast<std::size_t>(fam.ninfam) + 1) continue;
        const double parents = (fam.dosage[1] + fam.dosage[2]) / 2.0;
        if (!std::isfinite(parents)) continue;
        double u = 0.0;
        for (int j = 3; j <= fam.ninfam; ++j) {
            const double d = fam.dosage[static_cast<std::size_t>(j)];
            if (std::isfinite(d) && fam.weight[j] != 0.0) u += fam.weight[j] * (d - parents);
        }
        sum += u;
        squares += u * u;
    }
    if (!(squares > 0.0)) return {0.0, 0.0, false};
    const double sd = std::sqrt(squares);
    return {sum / sd, sd, true};
}

ProbabilityTdt::ProbabilityTdt(const Settings& s, TestOptions options) : s_(s), o_(options) {
    SettingsCheck check = settings_fault(s_);
    if (check.fault != SettingsFault::kNone) throw SettingsRefused(std::move(check));
}

Schema ProbabilityTdt::schema(const std::vector<std::string>& covariates) const {
    return tdt_schema(s_, o_, covariates, prevalence_columns(false));
}

MarkerResult ProbabilityTdt::run(FamilyTable& families, const GenotypeTable&) const {
    MarkerResult r;
    ProbabilityAnalysis a;
    std::optional<ProbabilityLikelihood> objective;
    const bool robust_wanted = o_.robust && s_.npars > 2;
    const long m = s_.npars - 2;
    if (!run_analysis(r, a, [&] {
            objective.emplace(s_, families);
            ProbabilityFit pf = fit_probabilities(s_, families);
            ObservedInformation oi = observed_information(s_, *objective, pf.fit.ogpars, robust_wanted);
            ProbabilityAnalysis out;
            out.info.waldstat = wald_statistic(oi.subJ, pf.fit.ogpars, m);
            out.info.wsdf = wald_degrees_of_freedom(oi.subJ, m);
            out.info.subJ = std::move(oi.subJ);
            out.info.subJI = std::move(oi.subJI);
            out.info.near_singular = oi.near_singular;
            out.fit = std::move(pf.fit);
            out.fell_back = pf.fell_back;
            out.outer = std::move(oi.outer);
            out.nfs = dosage_transmission(families);
            return out;
        }))
        return r;
    // A numerical error past the fit (a nested model's, the polish) fails the marker too.
    try {
        const long npars = s_.npars;
        const DMatrix& cov = a.info.subJI;
        std::optional<DMatrix> robust;
        if (robust_wanted) robust = sandwich(a.outer, a.fit.ogpars, static_cast<int>(npars), static_cast<int>(m), cov);
        r.values.insert(r.values.end(), {a.fit.gammma[0], a.fit.gammma[1], std::sqrt(cov[npars - 1][npars - 1]),
                                         a.fit.gammma[2], std::sqrt(cov[npars][npars])});
        std::optional<double> full;
        if (s_.fit == FitMethod::kNewton && !a.fell_back) {
            full = a.fit.fret;
        } else if (const NewtonFit p = newton_fit_from(s_, *objective, a.fit.ogpars);
                   p.status == NewtonStatus::kConverged) {
            full = p.fit.fret;
            r.shortfall = a.fit.fret - p.fit.fret;
        }
        const NestedMaxima nested{
            [&]() { return full; },
            [&](const Settings& n) -> std::optional<double> {
                const std::optional<FitResult> f = nested_maximum(n, families);
                return f ? std::optional<double>(f->fret) : std::nullopt;
            },
            [&](const Settings& first) -> std::optional<MarginalFit> {
                const std::optional<FitResult> f = nested_maximum(first, families);
                if (!f) return std::nullopt;
                const ObservedInformation mi = observed_information(first, ProbabilityLikelihood(first, families), f->ogpars);
                MarginalFit out{f->fret, {}};
                for (long i = 1; i <= first.npars - 2; ++i) out.coefficients.emplace_back(f->ogpars[i], std::sqrt(mi.subJI[i][i]));
                return out;
            }};
        tdt_values(s_, o_, TdtEstimate{a.fit.ogpars, a.fit.fret, a.info, a.nfs, robust}, nested, r);
        r.covariance = std::move(a.info.subJI);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        r = MarkerResult{};
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = e;
    }
    return r;
}

}  // namespace quillon
