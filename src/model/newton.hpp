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
#include "model/gradient.hpp"
#include "model/fit.hpp"
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

struct Derivatives;

// What Newton's method maximises: a -log-likelihood over theta[1..n] whose trailing
// parameters are prevalence parameters with an EM update.
class NewtonObjective {
public:
    virtual ~NewtonObjective() = default;
    // False when the derivatives cannot be formed (a pair with an untyped parent).
    virtual bool usable() const = 0;
    virtual double value(const DVector& theta) const = 0;
    virtual void evaluate(const DVector& theta, Derivatives& d, bool with_outer) const = 0;
    // The prevalence parameters that maximise the parents' expected log-prior under the
    // pairs' posterior weights at `d`, written to eta[0..k-1] for the last k entries of
    // theta; returns k, or 0 when there is no such update.  eta holds room for k entries.
    virtual int prevalence_step(const Derivatives& d, double* eta) const = 0;
};

// The autosomal prevalence parameters that maximise the expected log-prior of the parents'
// genotypes under the pairs' posterior weights at `at` (an EM step in eta1, eta2): with c_k the
// expected number of parents of genotype k (Derivatives::parents), gamma_k = c_k / (c0 + c1 +
// c2), so u1 = c1 / (c0 + c1 + c2) and u2 = c2 / (c0 + c2).  False when either lies outside
// (0, 1), where the maximum is at infinite eta.
bool prevalence_step(const Derivatives& at, double& eta1, double& eta2);
// The same from the expected counts c[0..2] of one stratum's parents.
bool prevalence_step(const double* c, double& eta1, double& eta2);

// Newton's method on `objective` from theta[1..n]: on kConverged theta holds the estimate,
// `here` the derivatives there and `iter` the steps taken.
NewtonStatus newton_maximise(const NewtonObjective& objective, long n, DVector& theta, Derivatives& here, int& iter);

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

// The same on the families laid out in `objective`, which must be of `s`.
NewtonFit fit_model_newton_from(const Settings& s, const LikelihoodDerivatives& objective, const DVector& start);

// Newton's method on any objective of `s` from `start`: on convergence its estimate, value,
// steps, prevalences and the children's relative risks, as above.
NewtonFit newton_fit_from(const Settings& s, const NewtonObjective& objective, const DVector& start);

}  // namespace quillon
