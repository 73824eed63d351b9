#include "app/app.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "app/fit_hint.hpp"
#include "app/single_run.hpp"
#include "genetics/transmission.hpp"
#include "input/cli.hpp"
#include "input/dialogue.hpp"
#include "input/pedigree_input.hpp"
#include "model/settings.hpp"
#include "scan/scan.hpp"
#include "toolkit/nrerror.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {

namespace {

// Standard output of one run.  It is flushed before anything goes to standard error (so the
// two streams keep their order when they share a file) and at the end.  The C library drops
// the data of a failed write, so only the flush that fails first knows the reason: the first
// failure is kept, and the end reports it once.
class StandardOutput {
public:
    void flush() {
        errno = 0;
        if (std::fflush(stdout) != 0 && error_ == 0) error_ = errno != 0 ? errno : kUnknown;
    }

    // The run's exit status: `status`, or 1 with one line on standard error naming the
    // failure when anything written to standard output was lost.
    int finish(int status) {
        flush();
        if (error_ == 0 && !std::ferror(stdout)) return status;
        if (error_ == 0 || error_ == kUnknown) error_ = probe();
        std::fprintf(stderr, "quillon: cannot write standard output: %s\n",
                     error_ == kUnknown ? "write error" : std::strerror(error_));
        return status == 0 ? 1 : status;
    }

private:
    static constexpr int kUnknown = -1;

    // The reason of a failure seen by a write of the library's own (a full buffer): a
    // standard output that is closed, or open only for reading, gives EBADF; otherwise the
    // reason is gone.
    static int probe() {
        const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
        if (flags == -1 || (flags & O_ACCMODE) == O_RDONLY) return EBADF;
        return kUnknown;
    }

    int error_ = 0;
};

int run(int argc, char** argv, StandardOutput& out) {
    const CliParse parsed = parse_command_line(argc, argv);
    if (!parsed.ok()) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    const CliOptions& options = parsed.options;
    if (options.help || options.version) {
        std::fputs((options.help ? usage_text() : version_text()).c_str(), stdout);
        return 0;
    }
    // Outside the try block: the hint after a fit that ran out of iterations reads them.
    Settings settings;
    FamilyTable families;
    try {
        run_dialogue(settings, DialoguePresets{options.ncov, options.smodeltype, options.cmodeltype});
        settings.fit = options.fit;
        Settings given = settings;  // with the covariate model of the command line, if any
        if (options.cmodeltype) given.cmodeltype = *options.cmodeltype;
        if (settings_fault(given).fault == SettingsFault::kCovariateModelWithoutCovariates) {
            // The covariate model was given on the command line, the number of covariates
            // answered 0 (for which the dialogue takes None): the model has nothing to act
            // through.
            out.flush();
            std::fprintf(stderr, "quillon: --covariate-model %s needs covariates, but the number of covariates is 0\n",
                         modedesc[*options.cmodeltype]);
            return 2;
        }
        const ChromosomeClass chromosome = options.chromosome_x ? ChromosomeClass::kX : ChromosomeClass::kAutosome;
        std::optional<XModel> x;
        if (options.chromosome_x) x = XModel{options.xchr_model, options.xchr_tie_freq};
        if (options.strata_column) {
            if (*options.strata_column > settings.ncov + 1) {
                out.flush();
                std::fprintf(stderr, "quillon: --strata-column %ld: wcovars.dat holds %ld fields (%ld covariates and the "
                             "stratum)\n", *options.strata_column, settings.ncov + 1, settings.ncov);
                return 2;
            }
            StrataInput strata{*options.strata_column, {}};
            families = read_families(settings, options.dir, stdout, stderr, chromosome, &strata);
            settings.nstrata = static_cast<long>(strata.labels.size());
            derive_model_codings(settings);
            run_single(settings, families, options.pvalues, options.score, x, strata.labels);
        } else {
            families = read_families(settings, options.dir, stdout, stderr, chromosome);
            run_single(settings, families, options.pvalues, options.score, x);
        }
        return 0;
    } catch (const ProgramExit& e) {
        return e.status();
    } catch (const MissingGenotypeError&) {
        std::printf("ERROR: One of the genotypes used to calculate prob(h_j|g)\n");
        std::printf("       is missing\n");
        return 1;
    } catch (const NumericalError& e) {
        out.flush();
        report_numerical_error(e);
        if (is_iteration_limit(e)) std::fputs(covariate_scale_hint(families, settings.ncov).c_str(), stderr);
        return 1;
    } catch (const std::bad_alloc&) {
        out.flush();
        report_numerical_error(NumericalError(kVectorAllocationFailure, NumericalKind::kAllocation));
        return 1;
    }
}

}  // namespace

int run_quillon(int argc, char** argv) {
    // Running out of memory where no stage catches it (reading the command line, say) ends
    // the run with a message too, never with std::terminate.
    try {
        if (argc >= 2 && argv[1] != nullptr && std::strcmp(argv[1], "scan") == 0) return run_scan(argc - 1, argv + 1);
        StandardOutput out;
        const int status = run(argc, argv, out);
        return out.finish(status);
    } catch (const std::bad_alloc&) {
        std::fputs("quillon: out of memory\n", stderr);
        return 1;
    }
}

}  // namespace quillon
