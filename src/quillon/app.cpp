#include "quillon/app.hpp"

#include <cstdio>
#include <new>

#include "quillon/analysis.hpp"
#include "quillon/dialogue.hpp"
#include "quillon/pedigree_input.hpp"
#include "quillon/program_exit.hpp"
#include "quillon/settings.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

int run_quillon(int /*argc*/, char** /*argv*/) {
    try {
        Settings settings;
        run_dialogue(settings);
        FamilyTable families = read_families(settings, ".");
        const int status = run_analysis(settings, families);
        return std::fflush(nullptr) == 0 ? status : 1;
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
