#include "quillon/app.hpp"

#include <cstdio>
#include <new>

#include "quillon/program_exit.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

int run_quillon(int /*argc*/, char** /*argv*/) {
    try {
        // Stages are wired in here as they land.
        return std::fflush(nullptr) == 0 ? 0 : 1;
    } catch (const ProgramExit& e) {
        std::fflush(stdout);
        return e.status();
    } catch (const NumericalError& e) {
        std::fflush(stdout);
        report_numerical_error(e);
        return 1;
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        report_numerical_error(NumericalError("allocation failure in vector()"));
        return 1;
    }
}

}  // namespace quillon
