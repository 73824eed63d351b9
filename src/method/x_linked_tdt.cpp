#include "method/x_linked_tdt.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "method/tdt_columns.hpp"
#include "model/x_fit.hpp"

namespace quillon {

namespace {
// The Newton maximum of a nested X model, or nothing (a numerical error other than running
// out of memory counts as not reached).
std::optional<XFit> nested_x_maximum(const Settings& s, const XModel& x, const FamilyTable& families) {
    try {
        return x_newton_maximum(s, x, families);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        return std::nullopt;
    }
}
}  // namespace

XLinkedTdt::XLinkedTdt(const Settings& s, TestOptions options)
    : s_(s), o_(std::move(options)), x_{options.xchr_model == 1 ? 1 : 2, options.xchr_tie_freq} {
    SettingsCheck check = settings_fault(s_);
    if (check.fault != SettingsFault::kNone) throw SettingsRefused(std::move(check));
}

bool XLinkedTdt::sons_uninformative() const {
    return x_.coding == 1 && (s_.smodeltype == kRecessive || s_.cmodeltype == kRecessive);
}

Schema XLinkedTdt::schema(const std::vector<std::string>& covariates) const {
    if (o_.strata.empty()) return tdt_schema(s_, o_, covariates, prevalence_columns(true));
    Schema columns;
    for (const std::string& label : o_.strata) {
        const Schema mothers = stratum_prevalence_columns({label});
        columns.insert(columns.end(), mothers.begin(), mothers.end());
        columns.insert(columns.end(), {{"PREV_FATHER_A1_" + label, ColumnKind::kPrevalence},
                                       {"PREV_FATHER_A1_" + label + "_SE", ColumnKind::kStandardError}});
    }
    return tdt_schema(s_, o_, covariates, std::move(columns));
}

MarkerResult XLinkedTdt::run(FamilyTable& families, const GenotypeTable&) const {
    MarkerResult r;
    XAnalysis a;
    if (!run_analysis(r, a, [&] { return x_analyse(s_, x_, families); })) return r;
    r.conditions.sons_uninformative = sons_uninformative();

    const long m = coefficients(s_);  // coefficients; then each stratum's gamma1, gamma2 and, untied, q_f
    const DMatrix& cov = a.info.subJI;
    std::optional<DMatrix> robust;
    if (o_.robust && m > 0) robust = x_sandwich_covariance(s_, x_, families, a.fit, cov);
    const FitResult& f = a.fit.fit;
    for (long k = 0; k < s_.nstrata; ++k) {
        const long e = m + x_block(x_) * k;
        const double* g = &f.strata_gammma[static_cast<std::size_t>(3 * k)];
        r.values.insert(r.values.end(), {g[0], g[1], std::sqrt(cov[e + 1][e + 1]), g[2], std::sqrt(cov[e + 2][e + 2]),
                                         a.fit.strata_father[static_cast<std::size_t>(k)],
                                         x_.tie_freq ? std::numeric_limits<double>::quiet_NaN()
                                                     : std::sqrt(cov[e + 3][e + 3])});
    }
    const NestedMaxima nested{
        [&]() -> std::optional<double> {
            if (s_.fit == FitMethod::kNewton && !a.fell_back) return f.fret;
            if (const std::optional<XFit> p = fit_x_newton(s_, x_, families, f.ogpars)) return p->fit.fret;
            return std::nullopt;
        },
        [&](const Settings& n) -> std::optional<double> {
            const std::optional<XFit> fit = nested_x_maximum(n, x_, families);
            return fit ? std::optional<double>(fit->fit.fret) : std::nullopt;
        },
        [&](const Settings& first) -> std::optional<MarginalFit> {
            const std::optional<XFit> fit = nested_x_maximum(first, x_, families);
            if (!fit) return std::nullopt;
            const InformationResult mi = x_information_step(first, x_, families, *fit);
            MarginalFit out{fit->fit.fret, {}};
            for (long i = 1; i <= coefficients(first); ++i)
                out.coefficients.emplace_back(fit->fit.ogpars[i], std::sqrt(mi.subJI[i][i]));
            return out;
        }};
    tdt_values(s_, o_, TdtEstimate{f.ogpars, f.fret, a.info, a.nfs, robust}, nested, r);
    r.covariance = std::move(a.info.subJI);
    return r;
}

}  // namespace quillon
