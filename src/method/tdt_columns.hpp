#pragma once
// The columns that the likelihood TDTs share (likelihood_tdt.hpp lists them): a test states
// its prevalence columns, and everything after them (the coefficients, the objective, the
// Wald and non-founders statistics, the covariances, the interaction, likelihood-ratio and
// marginal tests, the robust columns) is named and filled here from the test's estimate,
// information and nested maxima.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "genetics/transmission.hpp"
#include "method/likelihood_tdt.hpp"
#include "method/result.hpp"
#include "model/fit.hpp"
#include "model/information.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// A chi-square test's four columns: NAME, DF, P, LOG10P (the statistic's name may differ),
// and their values (NA without a statistic or with no degree of freedom).
void test_columns(Schema& columns, const std::string& stat, const std::string& stem);
void chisq_values(std::vector<double>& v, std::optional<double> stat, long df);

// PREV0 PREV1 PREV1_SE PREV2 PREV2_SE, then with `fathers` PREV_FATHER_A1 PREV_FATHER_A1_SE.
Schema prevalence_columns(bool fathers);

// Without strata prevalence_columns(false); with them PREV0_<label> PREV1_<label>
// PREV1_<label>_SE PREV2_<label> PREV2_<label>_SE for each stratum in order.
Schema stratum_prevalence_columns(const std::vector<std::string>& strata);

// Their values at the fit: each stratum's gamma0, gamma1, SE, gamma2, SE, the standard errors
// sqrt(cov[k][k]) of the stratum's prevalence slots k in the pseudo-inverse information.
void prevalence_values(const Settings& s, const FitResult& fit, const DMatrix& cov, std::vector<double>& v);

// `prevalences` followed by the shared columns for these covariate names.
Schema tdt_schema(const Settings& s, const TestOptions& o, const std::vector<std::string>& covariates,
                  Schema prevalences);

// What the shared columns read of one marker's fit: the estimates (the coefficients first),
// the objective there, the information step and the non-founders statistic, the
// family-clustered covariance of the estimates when there is one.
struct TdtEstimate {
    const DVector& ogpars;
    double fret;
    const InformationResult& info;
    NonFoundersStatistic nfs;
    const std::optional<DMatrix>& robust;
};

// The test's own fits for the likelihood ratios and the marginal columns, each asked for only
// when a column needs it, in this order: the full model's -log-likelihood at its Newton
// maximum, that of a nested model's maximum (the settings of settings_without_covariates or
// settings_first_covariate), and the intercept-only model's (of settings_first_covariate):
// its -log-likelihood and its coefficients with their standard errors.  Nothing where no
// maximum was reached.
struct MarginalFit {
    double fret = 0.0;
    std::vector<std::pair<double, double>> coefficients;  // estimate, standard error
};
struct NestedMaxima {
    std::function<std::optional<double>()> full;
    std::function<std::optional<double>(const Settings&)> maximum;
    std::function<std::optional<MarginalFit>(const Settings&)> marginal;
};

// Runs the test's analysis `analyse` into `a`.  A numerical error, other than an allocation
// failure (which propagates: running out of memory is no property of the marker), or an
// untyped parent's genotype reached, leaves r a failed result and gives false.  Otherwise
// r's fit outcome and conditions follow from a.fell_back, a.info and a.nfs.
template <class Analysis, class Analyse>
bool run_analysis(MarkerResult& r, Analysis& a, Analyse&& analyse) {
    try {
        a = analyse();
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = e;
        return false;
    } catch (const MissingGenotypeError& e) {
        r.fit.outcome = FitOutcome::kFailed;
        r.fit.error = NumericalError(e.what(), NumericalKind::kMissingGenotype);
        return false;
    }
    if (a.fell_back) {
        r.fit.outcome = FitOutcome::kFellBack;
        r.fit.newton = *a.fell_back;
    }
    r.conditions.near_singular = a.info.near_singular;
    r.conditions.nfs_undefined = !a.nfs.defined;
    return true;
}

// Appends the shared columns' values to r.values and sets r.conditions.nested_fit_failed.
void tdt_values(const Settings& s, const TestOptions& o, const TdtEstimate& e, const NestedMaxima& nested,
                MarkerResult& r);

}  // namespace quillon
