#include "method/tdt_columns.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "method/coefficient_tests.hpp"
#include "method/tail_probabilities.hpp"
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

// A coefficient's p-value and its -log10 from z = estimate / SE.
void normal_values(std::vector<double>& v, double estimate, double se) {
    const double z = estimate / se;
    v.insert(v.end(), {normal_two_sided(z), normal_two_sided_log10(z)});
}

}  // namespace

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
    const double p = chisq_upper_tail(*stat, d);
    v.insert(v.end(), {*stat, static_cast<double>(d), p, chisq_upper_tail_log10(*stat, d, p)});
}

Schema prevalence_columns(bool fathers) {
    Schema columns = {{"PREV0", ColumnKind::kPrevalence},
                      {"PREV1", ColumnKind::kPrevalence},
                      {"PREV1_SE", ColumnKind::kStandardError},
                      {"PREV2", ColumnKind::kPrevalence},
                      {"PREV2_SE", ColumnKind::kStandardError}};
    if (fathers)
        columns.insert(columns.end(), {{"PREV_FATHER_A1", ColumnKind::kPrevalence},
                                       {"PREV_FATHER_A1_SE", ColumnKind::kStandardError}});
    return columns;
}

Schema stratum_prevalence_columns(const std::vector<std::string>& strata) {
    if (strata.empty()) return prevalence_columns(false);
    Schema columns;
    for (const std::string& label : strata)
        columns.insert(columns.end(), {{"PREV0_" + label, ColumnKind::kPrevalence},
                                       {"PREV1_" + label, ColumnKind::kPrevalence},
                                       {"PREV1_" + label + "_SE", ColumnKind::kStandardError},
                                       {"PREV2_" + label, ColumnKind::kPrevalence},
                                       {"PREV2_" + label + "_SE", ColumnKind::kStandardError}});
    return columns;
}

void prevalence_values(const Settings& s, const FitResult& fit, const DMatrix& cov, std::vector<double>& v) {
    for (long k = 0; k < s.nstrata; ++k) {
        const long at = prevalence_slot(s, k);
        const double* g = fit.strata_gammma.empty() ? fit.gammma : &fit.strata_gammma[static_cast<std::size_t>(3 * k)];
        v.insert(v.end(), {g[0], g[1], std::sqrt(cov[at][at]), g[2], std::sqrt(cov[at + 1][at + 1])});
    }
}

Schema tdt_schema(const Settings& s, const TestOptions& o, const std::vector<std::string>& covariates,
                  Schema prevalences) {
    Schema columns = std::move(prevalences);
    const std::vector<std::string> names = coefficient_names(s, covariates);
    for (const std::string& c : names) {
        columns.insert(columns.end(), {{c, ColumnKind::kEstimate},
                                       {c + "_SE", ColumnKind::kStandardError},
                                       {c + "_P", ColumnKind::kPValue},
                                       {c + "_LOG10P", ColumnKind::kLog10P}});
        if (o.robust) columns.push_back({c + "_RSE", ColumnKind::kStandardError});
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
    for (const char* m : s.cmodeltype == kNone ? std::vector<const char*>{"MARG_B1", "MARG_B2"}
                                                : std::vector<const char*>{"MARG_BETA"}) {
        const std::string stem = m;
        const std::string se = s.cmodeltype == kNone ? stem + "_SE" : std::string("MARG_SE");
        const std::string pv = s.cmodeltype == kNone ? stem + "_P" : std::string("MARG_P");
        columns.insert(columns.end(), {{stem, ColumnKind::kMarginalEstimate},
                                       {se, ColumnKind::kStandardError},
                                       {pv, ColumnKind::kPValue},
                                       {pv.substr(0, pv.size() - 2) + "_LOG10P", ColumnKind::kLog10P}});
    }
    if (o.robust) {
        test_columns(columns, "WALD_ROBUST", "WALD_ROBUST");
        test_columns(columns, "GXE_WALD_ROBUST", "GXE_WALD_ROBUST");
    }
    return columns;
}

void tdt_values(const Settings& s, const TestOptions& o, const TdtEstimate& e, const NestedMaxima& nested,
                MarkerResult& r) {
    const long m = coefficients(s);  // coefficients
    const DMatrix& cov = e.info.subJI;
    std::vector<double>& v = r.values;
    for (long i = 1; i <= m; ++i) {
        v.insert(v.end(), {e.ogpars[i], std::sqrt(cov[i][i])});
        normal_values(v, e.ogpars[i], std::sqrt(cov[i][i]));
        if (o.robust) v.push_back(e.robust ? std::sqrt((*e.robust)[i][i]) : kNA);
    }
    v.push_back(e.fret);
    if (m > 0) {  // no degrees of freedom: no distribution, a NaN p-value
        const double p = chisq_upper_tail(e.info.waldstat, e.info.wsdf);
        v.insert(v.end(), {e.info.waldstat, static_cast<double>(e.info.wsdf), p,
                           chisq_upper_tail_log10(e.info.waldstat, e.info.wsdf, p)});
    } else {
        v.insert(v.end(), {kNA, kNA, kNA, kNA});
    }
    if (e.nfs.defined)
        v.insert(v.end(), {e.nfs.statistic, e.nfs.denominator, normal_two_sided(e.nfs.statistic),
                           normal_two_sided_log10(e.nfs.statistic)});
    else
        v.insert(v.end(), {kNA, kNA, kNA, kNA});
    for (long i = 1; i <= m; ++i)
        for (long j = i + 1; j <= m; ++j) v.push_back(cov[i][j]);

    // The interaction: every coefficient but the intercept's.  Its Wald statistic inverts the
    // coefficients' covariance block, as a Wald test does (WALD above weighs the joint
    // coefficients by their information block instead, and stays as it was).
    const bool gxe = o.intercept && s.ncov >= 2;
    std::vector<long> others, all;
    for (long i = 1; i <= m; ++i) {
        all.push_back(i);
        if (!intercept_coefficient(s, i)) others.push_back(i);
    }
    const auto df_others = static_cast<long>(others.size());
    chisq_values(v, gxe ? wald_from_covariance(cov, e.ogpars, others) : std::nullopt, df_others);

    // Likelihood ratios between Newton maxima.
    std::optional<double> lrt_joint, lrt_gxe;
    std::optional<MarginalFit> marginal;
    const Settings first = settings_first_covariate(s);
    if (m > 0) {
        const std::optional<double> full = nested.full();
        const std::optional<double> none = nested.maximum(settings_without_covariates(s));
        if (o.intercept) marginal = nested.marginal(first);
        if (full && none) lrt_joint = likelihood_ratio(*none, *full);
        if (full && marginal && gxe) lrt_gxe = likelihood_ratio(marginal->fret, *full);
        r.conditions.nested_fit_failed =
            !lrt_joint || (gxe && !lrt_gxe) || (o.intercept && !marginal);
    }
    chisq_values(v, lrt_joint, m);
    chisq_values(v, lrt_gxe, df_others);

    const long marginal_coefficients = s.cmodeltype == kNone ? 2 : 1;
    if (marginal) {
        for (const auto& [estimate, se] : marginal->coefficients) {
            v.insert(v.end(), {estimate, se});
            normal_values(v, estimate, se);
        }
    } else {
        for (long i = 1; i <= marginal_coefficients; ++i) v.insert(v.end(), {kNA, kNA, kNA, kNA});
    }
    if (o.robust) {
        chisq_values(v, e.robust ? wald_from_covariance(*e.robust, e.ogpars, all) : std::nullopt, m);
        chisq_values(v, e.robust && gxe ? wald_from_covariance(*e.robust, e.ogpars, others) : std::nullopt, df_others);
    }
}

}  // namespace quillon
