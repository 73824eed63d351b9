#pragma once
// The one fatal-error path of the numerical toolkit.
//
// nrerror() never returns: it raises NumericalError, which only main() catches.  main()
// writes the three lines
//     Numerical run-time error...
//     <text>
//     ...now exiting to system...
// on standard error and ends the run with status 1.  No other code may catch it.

#include <exception>
#include <string>

namespace quillon {

// What went wrong, so that callers act on the kind rather than on the text: an iteration
// limit suggests rescaling the covariates; an allocation failure is no property of the data
// (a genome scan ends on it instead of reporting a failed marker).
enum class NumericalKind {
    kIterationLimit,  // a minimiser or line search ran out of iterations
    kNoConvergence,   // a decomposition did not converge
    kAllocation,      // an array could not be allocated
    kInvalidSetting,  // a setting outside its range reached the model
    kMissingGenotype, // a genotype the model needs is missing
};

class NumericalError : public std::exception {
public:
    NumericalError(std::string text, NumericalKind kind) : text_(std::move(text)), kind_(kind) {}
    const char* what() const noexcept override { return text_.c_str(); }
    NumericalKind kind() const noexcept { return kind_; }

private:
    std::string text_;
    NumericalKind kind_;
};

// The text printed for an allocation failure of a vector.
inline constexpr const char* kVectorAllocationFailure = "allocation failure in vector()";

[[noreturn]] void nrerror(const char* error_text, NumericalKind kind);

// Writes the three lines of a fatal numerical error for `error` on standard error.
void report_numerical_error(const NumericalError& error);

}  // namespace quillon
