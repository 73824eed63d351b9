#pragma once
// The Newton fit: the same maximum likelihood as fit_model, reached with second derivatives.
//
// Newton-Raphson on f = -log-likelihood over theta = (coefficients, eta1, eta2): the step
// solves I d = -grad f with I the observed information (gradient.hpp), by a Cholesky
// factorisation of I scaled to unit diagonal.  Where I is not positive definite (far from the
// maximum of a mixture over untyped parents), the outer product of the family scores, which
// is, takes its place for that step.  A backtracking line search halves the step until f falls
// by at least 1e-4 of the predicted decrease (or, once that decrease is below 1e-6, does not
// rise beyond rounding, 1e-12 |f|).  Converged when the largest step entry and the score
// scaled by the information, grad' I^-1 grad, are both below 1e-8: the estimate is the point
// where that was found (its distance to the exact maximum is about that last step).
//
// The first step is special: the prevalence parameters go to their EM update (the gamma_k
// that maximise the parents' expected genotype counts under the pairs' posterior weights,
// which for families with both parents typed is their exact maximum), the coefficients take
// Newton's step; kept when f does not rise, else the EM update alone, else a Newton step.
// In eta the prevalences' likelihood is far from quadratic (atan flattens it), and Newton's
// steps alone need several iterations more on markers with a rare genotype.
//
// Why the observed information rather than a quasi-Newton update or Fisher scoring with the
// enumerated expected information: it costs one pass over the families with the score
// (no enumeration of the children's genotypes per iteration), converges quadratically (three
// or four steps after the first on typical studies, where BFGS needs a dozen or more), and for
// families with both parents typed it equals the expected information (each child's term is an
// exponential family in the coefficients), so there Newton-Raphson is Fisher scoring.

#include "genetics/family.hpp"
#include "model/fit.hpp"
#include "model/objective.hpp"
#include "model/settings.hpp"

namespace quillon {

enum class NewtonStatus {
    kConverged,
    kNoFiniteObjective,  // f or its derivatives not finite at the start or at every step tried
    kNoAscent,           // the line search found no step that lowers f
    kIterationLimit,     // kNewtonIterations steps without convergence
    kSingular,           // neither matrix could be factorised
};

inline constexpr int kNewtonIterations = 100;

// Text for a status ("converged", "no finite objective", ...).
const char* describe(NewtonStatus status);

struct NewtonFit {
    FitResult fit;  // meaningful only when status is kConverged
    NewtonStatus status = NewtonStatus::kConverged;
};

// Lists each family's compatible pairs as fit_model does, then maximises from fit_model's
// start values (i / 200 + 0.15).  On convergence the result is that of fit_model at the
// Newton estimate: ogpars, fret (Likelihood's value there), iter (Newton steps taken),
// gammma and the children's relative risks (the very doubles of relative_risks).
NewtonFit fit_model_newton(const Settings& s, const FamilyTable& families);

// The same from `start` (1..npars), e.g. to take another fit's estimate to the maximum.
NewtonFit fit_model_newton_from(const Settings& s, const FamilyTable& families, const DVector& start);

// The iteration itself on any objective of npars parameters whose last two are the
// prevalence parameters, from `start` (1..npars).  On convergence ogpars, fret (the
// objective's value there), iter, gammma and the risks of its derivatives are set.
NewtonFit newton_maximise(const DerivativeObjective& objective, long npars, const DVector& start);

}  // namespace quillon
