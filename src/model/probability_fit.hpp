#pragma once
// The fit of the likelihood over uncertain genotypes (probability_likelihood.hpp) and the
// covariance of its estimates from the observed information.
//
// The enumerated information of the autosomal model (information.hpp) assumes the genotypes
// it enumerates are observed; with uncertain genotypes the standard errors come from the
// observed information, the negative Hessian of the log-likelihood at the maximum, written
// for the prevalences in (gamma1, gamma2) as the autosomal model writes them.

#include <optional>
#include <vector>

#include "genetics/family.hpp"
#include "model/fit.hpp"
#include "model/gradient.hpp"
#include "model/newton.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

struct ProbabilityFit {
    FitResult fit;
    // Set when Newton's method was asked for and did not converge (why it stopped): the fit
    // is then the direction-set fit's.
    std::optional<NewtonStatus> fell_back;
};

// With s.fit kNewton Newton's method from the start values, falling back to the
// direction-set fit (fit.hpp) when it does not converge; with kPowell the direction-set fit.
// The minimiser's iteration limit propagates as NumericalError.
ProbabilityFit fit_probabilities(const Settings& s, const FamilyTable& families);

// The Newton maximum: Newton's fit, else the direction-set fit taken to the maximum by
// Newton's method from its estimate; nothing when no maximum is reached.
std::optional<FitResult> probability_maximum(const Settings& s, const FamilyTable& families);

struct ObservedInformation {
    DMatrix subJ;   // 1..npars square: the observed information, prevalences in gamma1, gamma2
    DMatrix subJI;  // its pseudo-inverse: the covariance of the estimates
    bool near_singular = false;  // the pseudo-inverse dropped singular values
    std::vector<double> outer;   // with_outer: the families' outer product of scores, in theta
};

// At `ogpars` (an estimate, where the gradient vanishes, so the change of chart is K' I K
// with K = prevalence_chart), inverted after scaling to unit diagonal.
ObservedInformation observed_information(const Settings& s, const NewtonObjective& objective,
                                         const DVector& ogpars, bool with_outer = false);

}  // namespace quillon
