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

class NumericalError : public std::exception {
public:
    explicit NumericalError(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

[[noreturn]] void nrerror(const char* error_text);

// Writes the three lines of a fatal numerical error for `error` on standard error.
void report_numerical_error(const NumericalError& error);

}  // namespace quillon
