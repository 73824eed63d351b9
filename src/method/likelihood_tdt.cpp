#include "method/likelihood_tdt.hpp"

#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "method/tdt_columns.hpp"
#include "model/analysis.hpp"
#include "model/maximum.hpp"

namespace quillon {

namespace {

// The Newton maximum of a nested model, or nothing (a numerical error other than running out
// of memory counts as not reached).
std::optional<FitResult> nested_maximum(const Settings& s, const FamilyTable& families,
                                        const LikelihoodDerivatives& wider) {
    try {
        return newton_maximum(s, families, wider);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        return std::nullopt;
    }
}

}  // namespace

LikelihoodTdt::LikelihoodTdt(const Settings& s, TestOptions options) : s_(s), o_(options) {
    SettingsCheck check = settings_fault(s_);
    if (check.fault != SettingsFault::kNone) throw SettingsRefused(std::move(check));
}

Schema LikelihoodTdt::schema(const std::vector<std::string>& covariates) const {
    return tdt_schema(s_, o_, covariates, prevalence_columns(false));
}

MarkerResult LikelihoodTdt::run(FamilyTable& families, const GenotypeTable& table) const {
    MarkerResult r;
    Analysis a;
    std::optional<LikelihoodDerivatives> objective;  // laid out once, shared by the nested models
    if (!run_analysis(r, a, [&] {
            objective.emplace(s_, families);
            return analyse(s_, families, table, *objective);
        }))
        return r;

    const long npars = s_.npars;
    const long m = npars - 2;  // coefficients
    const DMatrix& cov = a.info.subJI;
    std::optional<DMatrix> robust;
    if (o_.robust && m > 0) {
        robust = sandwich_covariance(s_, families, a.fit, cov);
        r.conditions.robust_unavailable = !robust;
    }
    r.values.insert(r.values.end(), {a.fit.gammma[0], a.fit.gammma[1], std::sqrt(cov[npars - 1][npars - 1]),
                                     a.fit.gammma[2], std::sqrt(cov[npars][npars])});
    // -log-likelihood at the full model's Newton maximum: where the direction-set fit gave the
    // estimates, Newton's method from them measures how far short of it that fit stopped.
    std::optional<double> full;
    if (s_.fit == FitMethod::kNewton && !a.fell_back) {
        full = a.fit.fret;
    } else if (const std::optional<FitResult> p = polished(s_, *objective, a.fit)) {
        full = p->fret;
        r.shortfall = a.fit.fret - p->fret;
    }
    const NestedMaxima nested{
        [&]() { return full; },
        [&](const Settings& n) -> std::optional<double> {
            const std::optional<FitResult> f = nested_maximum(n, families, *objective);
            return f ? std::optional<double>(f->fret) : std::nullopt;
        },
        [&](const Settings& first) -> std::optional<MarginalFit> {
            const std::optional<FitResult> f = nested_maximum(first, families, *objective);
            if (!f) return std::nullopt;
            const InformationResult mi = information_step(first, families, table, *f);
            MarginalFit out{f->fret, {}};
            for (long i = 1; i <= first.npars - 2; ++i) out.coefficients.emplace_back(f->ogpars[i], std::sqrt(mi.subJI[i][i]));
            return out;
        }};
    tdt_values(s_, o_, TdtEstimate{a.fit.ogpars, a.fit.fret, a.info, a.nfs, robust}, nested, r);
    r.covariance = std::move(a.info.subJI);
    return r;
}

}  // namespace quillon
