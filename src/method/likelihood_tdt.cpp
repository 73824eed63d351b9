#include "method/likelihood_tdt.hpp"

#include <optional>
#include <string>
#include <utility>

#include "genetics/transmission.hpp"
#include "model/analysis.hpp"
#include "model/maximum.hpp"

namespace quillon {

namespace {

// The Newton maximum of a nested model, or nothing (a numerical error other than running out
// of memory counts as not reached).
std::optional<FitResult> nested_maximum(const Settings& s, const FamilyTable& families) {
    try {
        return newton_maximum(s, families);
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
    return tdt_schema(s_, o_, covariates);
}

MarkerResult LikelihoodTdt::run(FamilyTable& families, const GenotypeTable& table) const {
    MarkerResult r;
    Analysis a;
    try {
        a = analyse(s_, families, table);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = e;
        return r;
    } catch (const MissingGenotypeError& e) {
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = NumericalError(e.what(), NumericalKind::kMissingGenotype);
        return r;
    }
    if (a.fell_back) {
        r.fit.outcome = FitOutcome::kFellBack;
        r.fit.newton = *a.fell_back;
    }
    r.conditions.near_singular = a.info.near_singular;
    r.conditions.nfs_undefined = !a.nfs.defined;

    const DMatrix& cov = a.info.subJI;
    std::optional<DMatrix> robust;
    if (o_.robust && s_.npars > 2) {
        robust = sandwich_covariance(s_, families, a.fit, cov);
        r.conditions.robust_unavailable = !robust;
    }
    const FittedColumns in{
        .fit = a.fit,
        .cov = cov,
        .robust = robust,
        .wald = a.info.waldstat,
        .wald_df = a.info.wsdf,
        .nfs = a.nfs.defined ? std::optional<NonFoundersStatistic>(a.nfs) : std::nullopt,
        .full_maximum =
            [&]() -> std::optional<double> {
            if (s_.fit == FitMethod::kNewton && !a.fell_back) return a.fit.fret;
            if (const std::optional<FitResult> p = polished(s_, families, a.fit)) return p->fret;
            return std::nullopt;
        },
        .nested_maximum = [&](const Settings& nested) { return nested_maximum(nested, families); },
        .nested_covariance = [&](const Settings& nested, const FitResult& fit) {
            return information_step(nested, families, table, fit).subJI;
        }};
    r.values = tdt_values(s_, o_, in, r.conditions);
    r.covariance = std::move(a.info.subJI);
    return r;
}

}  // namespace quillon
