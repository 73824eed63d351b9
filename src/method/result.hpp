#pragma once
// What a per-marker test states and returns: its columns (name and kind of number) and one
// marker's result, typed, so that the report, the TSV row and the scan's log read it without
// re-deriving anything from text.

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/newton.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

enum class ColumnKind {
    kPrevalence,     // a genotype's frequency among the parents
    kEstimate,       // a coefficient
    kStandardError,  // of the column before it
    kLogLikelihood,  // the objective at the estimate (-log-likelihood)
    kStatistic,
    kDegreesOfFreedom,  // a whole number
    kPValue,
    kLog10P,            // -log10 of the p-value column before it, from its statistic
    kCovariance,        // of two coefficients
    kMarginalEstimate,  // a coefficient of the intercept-only model (its _SE follows)
};

struct Column {
    std::string name;
    ColumnKind kind;
};

using Schema = std::vector<Column>;

// The position of the column called `name`; throws std::out_of_range when there is none.
std::size_t column_index(const Schema& schema, std::string_view name);

// What the reader of a result is warned about.
struct Conditions {
    bool near_singular = false;  // the information's pseudo-inverse dropped singular values
    bool nfs_undefined = false;  // the non-founders statistic is not defined (NA)
    bool nested_fit_failed = false;  // a maximum of a likelihood ratio was not reached (NA)
    bool robust_unavailable = false;  // --robust-se: no family scores (a pair with an untyped parent)
    // X with a son's allele at risk level 1 and a Recessive model: sons carry no information.
    bool sons_uninformative = false;
    bool score_undefined = false;  // a score test asked for has no value (singular information, no restricted maximum)
};

// How far below the maximum a direction-set fit may stop, in log-likelihood units, before
// its result says so (short_of_maximum).
inline constexpr double kShortfallLimit = 1e-3;

enum class FitOutcome {
    kConverged,  // the fit asked for stands
    kFellBack,   // Newton's method did not converge; the direction-set fit stands in
    kFailed,     // a numerical error ended the fit: no numbers
};

struct FitStatus {
    FitOutcome outcome = FitOutcome::kConverged;
    NewtonStatus newton = NewtonStatus::kConverged;  // kFellBack: why Newton's method stopped
    std::optional<NumericalError> error;             // kFailed: what ended the fit

    // kFellBack: describe(newton) ("no ascent", ...); kFailed: the error's text; else "".
    std::string reason() const;
};

struct MarkerResult {
    std::vector<double> values;  // in schema order, NaN for NA; empty when the fit failed
    DMatrix covariance;          // of the estimates (the inverse-information block), 1..npars
    Conditions conditions;
    FitStatus fit;
    // Where the direction-set fit gave the estimates: its -log-likelihood less that of
    // Newton's maximum reached from its estimate (nothing when Newton's method did not get there).
    std::optional<double> shortfall;
    bool score_only = false;     // the full fit was not run: its columns are NA

    bool failed() const { return fit.outcome == FitOutcome::kFailed; }
    bool short_of_maximum() const { return shortfall && *shortfall > kShortfallLimit; }
};

// Settings a test cannot run with (settings_fault found a fault).
class SettingsRefused : public std::exception {
public:
    explicit SettingsRefused(SettingsCheck check) : check_(std::move(check)) {}
    const char* what() const noexcept override { return check_.reason.c_str(); }
    const SettingsCheck& check() const noexcept { return check_; }

private:
    SettingsCheck check_;
};

}  // namespace quillon
