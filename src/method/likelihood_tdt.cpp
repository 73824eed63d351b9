#include "method/likelihood_tdt.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "genetics/transmission.hpp"
#include "method/tail_probabilities.hpp"
#include "method/coefficient_tests.hpp"
#include "method/score_tests.hpp"
#include "model/analysis.hpp"
#include "model/maximum.hpp"

namespace quillon {

namespace {

constexpr double kNA = std::numeric_limits<double>::quiet_NaN();

// The coefficients' names in print order: B1_<cov>... B2_<cov>... (None) or BETA_<cov>....
std::vector<std::string> coefficient_names(const Settings& s, const std::vector<std::string>& covariates) {
    std::vector<std::string> names;
    for (const char* prefix : s.cmodeltype == kNone ? std::vector<const char*>{"B1_", "B2_"}
                                                    : std::vector<const char*>{"BETA_"})
        for (const std::string& c : covariates) names.push_back(prefix + c);
    return names;
}

// Coefficient i (1-based) belongs to covariate column 1, the intercept.
bool intercept_coefficient(const Settings& s, long i) { return i == 1 || (s.cmodeltype == kNone && i == s.ncov + 1); }

// A chi-square test's four columns: NAME, DF, P, LOG10P (the statistic's name may differ).
void test_columns(Schema& columns, const std::string& stat, const std::string& stem) {
    columns.insert(columns.end(), {{stat, ColumnKind::kStatistic},
                                   {stem + "_DF", ColumnKind::kDegreesOfFreedom},
                                   {stem + "_P", ColumnKind::kPValue},
                                   {stem + "_LOG10P", ColumnKind::kLog10P}});
}

void chisq_values(std::vector<double>& v, std::optional<double> stat, long df) {
    if (!stat || df < 1) {
        v.insert(v.end(), {kNA, kNA, kNA, kNA});
        return;
    }
    const int d = static_cast<int>(df);
    v.insert(v.end(), {*stat, static_cast<double>(d), chisq_upper_tail(*stat, d), chisq_upper_tail_log10(*stat, d)});
}

// A coefficient's p-value and its -log10 from z = estimate / SE.
void normal_values(std::vector<double>& v, double estimate, double se) {
    const double z = estimate / se;
    v.insert(v.end(), {normal_two_sided(z), normal_two_sided_log10(z)});
}

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
    Schema columns = {{"PREV0", ColumnKind::kPrevalence},
                      {"PREV1", ColumnKind::kPrevalence},
                      {"PREV1_SE", ColumnKind::kStandardError},
                      {"PREV2", ColumnKind::kPrevalence},
                      {"PREV2_SE", ColumnKind::kStandardError}};
    const std::vector<std::string> names = coefficient_names(s_, covariates);
    for (const std::string& c : names) {
        columns.insert(columns.end(), {{c, ColumnKind::kEstimate},
                                       {c + "_SE", ColumnKind::kStandardError},
                                       {c + "_P", ColumnKind::kPValue},
                                       {c + "_LOG10P", ColumnKind::kLog10P}});
        if (o_.robust) columns.push_back({c + "_RSE", ColumnKind::kStandardError});
    }
    columns.insert(columns.end(), {{"NEG_LOGLIK", ColumnKind::kLogLikelihood},
                                   {"WALD", ColumnKind::kStatistic},
                                   {"WALD_DF", ColumnKind::kDegreesOfFreedom},
                                   {"WALD_P", ColumnKind::kPValue},
                                   {"WALD_LOG10P", ColumnKind::kLog10P},
                                   {"NFS", ColumnKind::kStatistic},
                                   {"NFS_DENOM", ColumnKind::kStandardError},
                                   {"NFS_P", ColumnKind::kPValue},
                                   {"NFS_LOG10P", ColumnKind::kLog10P}});
    for (std::size_t a = 0; a < names.size(); ++a)
        for (std::size_t b = a + 1; b < names.size(); ++b)
            columns.push_back({"COV_" + names[a] + "_" + names[b], ColumnKind::kCovariance});
    test_columns(columns, "GXE_WALD", "GXE");
    test_columns(columns, "LRT_JOINT", "LRT_JOINT");
    test_columns(columns, "LRT_GXE", "LRT_GXE");
    for (const char* m : s_.cmodeltype == kNone ? std::vector<const char*>{"MARG_B1", "MARG_B2"}
                                                : std::vector<const char*>{"MARG_BETA"}) {
        const std::string stem = m;
        const std::string se = s_.cmodeltype == kNone ? stem + "_SE" : std::string("MARG_SE");
        const std::string pv = s_.cmodeltype == kNone ? stem + "_P" : std::string("MARG_P");
        columns.insert(columns.end(), {{stem, ColumnKind::kMarginalEstimate},
                                       {se, ColumnKind::kStandardError},
                                       {pv, ColumnKind::kPValue},
                                       {pv.substr(0, pv.size() - 2) + "_LOG10P", ColumnKind::kLog10P}});
    }
    if (o_.robust) {
        test_columns(columns, "WALD_ROBUST", "WALD_ROBUST");
        test_columns(columns, "GXE_WALD_ROBUST", "GXE_WALD_ROBUST");
    }
    return columns;
}

MarkerResult LikelihoodTdt::run(FamilyTable& families, const GenotypeTable& table) const {
    ScoreStatistics score;
    if (o_.score) score = score_statistics(s_, families, table, gxe_score());
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
        const long m = s_.npars - 2;
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
    const long m = s_.npars - 2;
    const long df_others = s_.cmodeltype == kNone ? m - 2 : m - 1;
    r.conditions.score_undefined = m > 0 && (!score.joint || (gxe_score() && !score.gxe));
    chisq_values(r.values, score.joint, m);
    if (o_.intercept) chisq_values(r.values, gxe_score() ? score.gxe : std::nullopt, df_others);
}

void LikelihoodTdt::run_full(FamilyTable& families, const GenotypeTable& table, MarkerResult& r) const {
    Analysis a;
    try {
        a = analyse(s_, families, table);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = e;
        return;
    } catch (const MissingGenotypeError& e) {
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = NumericalError(e.what(), NumericalKind::kMissingGenotype);
        return;
    }
    if (a.fell_back) {
        r.fit.outcome = FitOutcome::kFellBack;
        r.fit.newton = *a.fell_back;
    }
    r.conditions.near_singular = a.info.near_singular;
    r.conditions.nfs_undefined = !a.nfs.defined;

    const long npars = s_.npars;
    const long m = npars - 2;  // coefficients
    const DMatrix& cov = a.info.subJI;
    std::optional<DMatrix> robust;
    if (o_.robust && m > 0) {
        robust = sandwich_covariance(s_, families, a.fit, cov);
        r.conditions.robust_unavailable = !robust;
    }
    std::vector<double>& v = r.values;
    v.insert(v.end(), {a.fit.gammma[0], a.fit.gammma[1], std::sqrt(cov[npars - 1][npars - 1]), a.fit.gammma[2],
                       std::sqrt(cov[npars][npars])});
    for (long i = 1; i <= m; ++i) {
        v.insert(v.end(), {a.fit.ogpars[i], std::sqrt(cov[i][i])});
        normal_values(v, a.fit.ogpars[i], std::sqrt(cov[i][i]));
        if (o_.robust) v.push_back(robust ? std::sqrt((*robust)[i][i]) : kNA);
    }
    v.push_back(a.fit.fret);
    if (npars > 2) {  // no degrees of freedom: no distribution, a NaN p-value
        v.insert(v.end(), {a.info.waldstat, static_cast<double>(a.info.wsdf),
                           chisq_upper_tail(a.info.waldstat, a.info.wsdf)});
        v.push_back(chisq_upper_tail_log10(a.info.waldstat, a.info.wsdf));
    } else {
        v.insert(v.end(), {kNA, kNA, kNA, kNA});
    }
    if (a.nfs.defined)
        v.insert(v.end(), {a.nfs.statistic, a.nfs.denominator, normal_two_sided(a.nfs.statistic),
                           normal_two_sided_log10(a.nfs.statistic)});
    else
        v.insert(v.end(), {kNA, kNA, kNA, kNA});
    for (long i = 1; i <= m; ++i)
        for (long j = i + 1; j <= m; ++j) v.push_back(cov[i][j]);

    // The interaction: every coefficient but the intercept's.  Its Wald statistic inverts the
    // coefficients' covariance block, as a Wald test does (WALD above weighs the joint
    // coefficients by their information block instead, and stays as it was).
    const bool gxe = o_.intercept && s_.ncov >= 2;
    std::vector<long> others, all;
    for (long i = 1; i <= m; ++i) {
        all.push_back(i);
        if (!intercept_coefficient(s_, i)) others.push_back(i);
    }
    const auto df_others = static_cast<long>(others.size());
    chisq_values(v, gxe ? wald_from_covariance(cov, a.fit.ogpars, others) : std::nullopt, df_others);

    // Likelihood ratios between Newton maxima.
    std::optional<double> lrt_joint, lrt_gxe;
    std::optional<FitResult> marginal;
    const Settings first = settings_first_covariate(s_);
    if (m > 0) {
        std::optional<double> full;  // -log-likelihood at the full model's Newton maximum
        if (s_.fit == FitMethod::kNewton && !a.fell_back) {
            full = a.fit.fret;
        } else if (const std::optional<FitResult> p = polished(s_, families, a.fit)) {
            full = p->fret;
        }
        const std::optional<FitResult> none = nested_maximum(settings_without_covariates(s_), families);
        if (o_.intercept) marginal = nested_maximum(first, families);
        if (full && none) lrt_joint = likelihood_ratio(none->fret, *full);
        if (full && marginal && gxe) lrt_gxe = likelihood_ratio(marginal->fret, *full);
        r.conditions.nested_fit_failed =
            !lrt_joint || (gxe && !lrt_gxe) || (o_.intercept && !marginal);
    }
    chisq_values(v, lrt_joint, m);
    chisq_values(v, lrt_gxe, df_others);

    const long marginal_coefficients = s_.cmodeltype == kNone ? 2 : 1;
    if (marginal) {
        const InformationResult mi = information_step(first, families, table, *marginal);
        for (long i = 1; i <= marginal_coefficients; ++i) {
            const double se = std::sqrt(mi.subJI[i][i]);
            v.insert(v.end(), {marginal->ogpars[i], se});
            normal_values(v, marginal->ogpars[i], se);
        }
    } else {
        for (long i = 1; i <= marginal_coefficients; ++i) v.insert(v.end(), {kNA, kNA, kNA, kNA});
    }
    if (o_.robust) {
        chisq_values(v, robust ? wald_from_covariance(*robust, a.fit.ogpars, all) : std::nullopt, m);
        chisq_values(v, robust && gxe ? wald_from_covariance(*robust, a.fit.ogpars, others) : std::nullopt, df_others);
    }
    r.covariance = std::move(a.info.subJI);
}

}  // namespace quillon
