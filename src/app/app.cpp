#include "app/app.hpp"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "app/analysis.hpp"
#include "input/cli.hpp"
#include "input/dialogue.hpp"
#include "input/pedigree_input.hpp"
#include "toolkit/program_exit.hpp"
#include "model/settings.hpp"
#include "scan/scan.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

namespace {
// Exit status of a run that only prints a text: that of writing it out.
int print_text(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
}  // namespace

int run_quillon(int argc, char** argv) {
    if (argc >= 2 && argv[1] != nullptr && std::strcmp(argv[1], "scan") == 0) return run_scan(argc - 1, argv + 1);
    const CliParse parsed = parse_command_line(argc, argv);
    if (!parsed.ok()) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    const CliOptions& options = parsed.options;
    if (options.help) return print_text(usage_text());
    if (options.version) return print_text(version_text());
    try {
        Settings settings;
        run_dialogue(settings, DialoguePresets{options.ncov, options.smodeltype, options.cmodeltype});
        if (options.cmodeltype && *options.cmodeltype != kNone && settings.ncov == 0) {
            // The covariate model was given on the command line, the number of covariates
            // answered 0: the model has nothing to act through.
            std::fprintf(stderr, "quillon: --covariate-model %s needs covariates, but the number of covariates is 0\n",
                         modedesc[*options.cmodeltype]);
            return 2;
        }
        FamilyTable families = read_families(settings, options.dir);
        AnalysisOptions analysis;
        analysis.pvalues = options.pvalues;
        const int status = run_analysis(settings, families, analysis);
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
