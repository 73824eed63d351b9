#pragma once
// The columns shared by the likelihood tests of one marker (likelihood_tdt.hpp lists them)
// and their values from a fitted model, whatever likelihood was fitted: the test supplies its
// estimate, covariance, statistics and how to reach the maxima of the nested models.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "method/result.hpp"
#include "model/fit.hpp"
#include "model/information.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

// What the test adds to the fit's own columns.
struct TestOptions {
    bool intercept = false;      // covariate column 1 is an intercept
    bool robust = false;         // family-clustered (sandwich) standard errors and Wald tests
    bool probabilities = false;  // genotypes as likelihood vectors (famdat::glik), not hard calls
};

Schema tdt_schema(const Settings& s, const TestOptions& o, const std::vector<std::string>& covariates);

struct FittedColumns {
    const FitResult& fit;
    const DMatrix& cov;               // of the estimates, 1..npars (prevalences in gamma1, gamma2)
    const std::optional<DMatrix>& robust;  // with TestOptions::robust: the sandwich covariance
    double wald = 0.0;                // over the coefficients, with its degrees of freedom
    int wald_df = 0;
    std::optional<NonFoundersStatistic> nfs;  // nothing: NA
    // The -log-likelihood at the full model's Newton maximum (nothing when not reached).
    std::function<std::optional<double>()> full_maximum;
    // The Newton maximum of a nested model (nothing when not reached), and the covariance of
    // its estimates there.
    std::function<std::optional<FitResult>(const Settings&)> nested_maximum;
    std::function<DMatrix(const Settings&, const FitResult&)> nested_covariance;
};

// The values of tdt_schema's columns, in its order; sets conditions.nested_fit_failed.
std::vector<double> tdt_values(const Settings& s, const TestOptions& o, const FittedColumns& in, Conditions& conditions);

}  // namespace quillon
