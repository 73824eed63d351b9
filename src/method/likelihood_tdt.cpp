#include "method/likelihood_tdt.hpp"

#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include <limits>
#include <stdexcept>

#include "method/score_tests.hpp"
#include "method/tail_probabilities.hpp"
#include "method/tdt_columns.hpp"
#include "model/analysis.hpp"
#include "model/maximum.hpp"

namespace quillon {

namespace {

constexpr double kNA = std::numeric_limits<double>::quiet_NaN();

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

LikelihoodTdt::LikelihoodTdt(const Settings& s, TestOptions options) : s_(s), o_(std::move(options)) {
    if (!o_.strata.empty() && static_cast<long>(o_.strata.size()) != s_.nstrata)
        throw std::logic_error("LikelihoodTdt: the strata's labels are not the settings' strata");
    SettingsCheck check = settings_fault(s_);
    if (check.fault != SettingsFault::kNone) throw SettingsRefused(std::move(check));
    full_columns_ = full_schema(std::vector<std::string>(static_cast<std::size_t>(s_.ncov))).size();
}

Schema LikelihoodTdt::schema(const std::vector<std::string>& covariates) const {
    Schema columns;
    if (o_.wald) columns = full_schema(covariates);
    if (o_.score) {
        const Schema score = score_schema();
        columns.insert(columns.end(), score.begin(), score.end());
    }
    return columns;
}

Schema LikelihoodTdt::score_schema() const {
    Schema columns;
    test_columns(columns, "SCORE_JOINT", "SCORE_JOINT");
    if (o_.intercept) test_columns(columns, "SCORE_GXE", "SCORE_GXE");
    return columns;
}

Schema LikelihoodTdt::full_schema(const std::vector<std::string>& covariates) const {
    return tdt_schema(s_, o_, covariates, stratum_prevalence_columns(o_.strata));
}

MarkerResult LikelihoodTdt::run(FamilyTable& families, const GenotypeTable& table) const {
    ScoreStatistics score;
    if (o_.score) score = score_statistics(s_, families, table, gxe_score());
    return run(families, table, score);
}

MarkerResult LikelihoodTdt::run(FamilyTable& families, const GenotypeTable& table, const ScoreStatistics& score) const {
    if (std::optional<MarkerResult> settled = without_full_fit(score)) return std::move(*settled);
    MarkerResult r;
    run_full(families, table, r);
    if (!r.failed() && o_.score) append_score(score, r);
    return r;
}

std::optional<MarkerResult> LikelihoodTdt::without_full_fit(const ScoreStatistics& score) const {
    if (!o_.score) return std::nullopt;
    MarkerResult r;
    if (o_.wald) {
        if (!o_.refit_p) return std::nullopt;
        const long m = coefficients(s_);
        const long df = o_.refit_on_gxe ? (s_.cmodeltype == kNone ? m - 2 : m - 1) : m;
        const std::optional<double> screen = o_.refit_on_gxe ? score.gxe : score.joint;
        const double p = screen && df >= 1 ? chisq_upper_tail(*screen, static_cast<int>(df)) : kNA;
        if (!(p > *o_.refit_p)) return std::nullopt;  // not a number: refitted too
        r.values.assign(full_columns_, kNA);
        r.score_only = true;
    }
    append_score(score, r);
    return r;
}

void LikelihoodTdt::append_score(const ScoreStatistics& score, MarkerResult& r) const {
    const long m = coefficients(s_);
    const long df_others = s_.cmodeltype == kNone ? m - 2 : m - 1;
    r.conditions.score_undefined = m > 0 && (!score.joint || (gxe_score() && !score.gxe));
    chisq_values(r.values, score.joint, m);
    if (o_.intercept) chisq_values(r.values, gxe_score() ? score.gxe : std::nullopt, df_others);
}

void LikelihoodTdt::run_full(FamilyTable& families, const GenotypeTable& table, MarkerResult& r) const {
    Analysis a;
    std::optional<LikelihoodDerivatives> objective;  // laid out once, shared by the nested models
    if (!run_analysis(r, a, [&] {
            objective.emplace(s_, families);
            return analyse(s_, families, table, *objective);
        }))
        return;

    const long m = coefficients(s_);  // coefficients
    const DMatrix& cov = a.info.subJI;
    std::optional<DMatrix> robust;
    if (o_.robust && m > 0) {
        robust = sandwich_covariance(s_, families, a.fit, cov);
        r.conditions.robust_unavailable = !robust;
    }
    prevalence_values(s_, a.fit, cov, r.values);
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
            for (long i = 1; i <= coefficients(first); ++i) out.coefficients.emplace_back(f->ogpars[i], std::sqrt(mi.subJI[i][i]));
            return out;
        }};
    tdt_values(s_, o_, TdtEstimate{a.fit.ogpars, a.fit.fret, a.info, a.nfs, robust}, nested, r);
    r.covariance = std::move(a.info.subJI);
}

}  // namespace quillon
