#include "toolkit/nrerror.hpp"

#include <cstdio>

namespace quillon {

void nrerror(const char* error_text, NumericalKind kind) { throw NumericalError(error_text, kind); }

void report_numerical_error(const NumericalError& error) {
    std::fprintf(stderr, "Numerical run-time error...\n");
    std::fprintf(stderr, "%s\n", error.what());
    std::fprintf(stderr, "...now exiting to system...\n");
}

}  // namespace quillon
