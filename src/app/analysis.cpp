#include "app/analysis.hpp"

#include <cstdio>

#include "model/analysis.hpp"
#include "report/pvalues.hpp"
#include "report/report.hpp"
#include "toolkit/linalg.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {

namespace {
// The working matrices must fit in memory together.  Only covariate files with thousands of
// numbers per line reach this limit.
void refuse_unholdable_parameter_count(const Settings& s) {
    const double bytes = working_matrix_bytes(s);
    if (bytes <= static_cast<double>(kMaxBlockBytes)) return;
    std::printf("\nERROR: %ld covariates give %ld parameters; their information matrices would need %.1f GiB, "
                "more than the %.0f GiB this program holds.\n",
                s.ncov, s.npars, bytes / 1073741824.0, static_cast<double>(kMaxBlockBytes) / 1073741824.0);
    throw ProgramExit(1);
}
}  // namespace

int run_analysis(const Settings& settings, FamilyTable& families, const AnalysisOptions& options) {
    refuse_unholdable_parameter_count(settings);
    const GenotypeTable table = build_genotype_table(largest_family(families));
    const Analysis a = analyse(settings, families, table);
    if (a.info.near_singular) std::fputs(kNearSingularWarning, stdout);
    if (!a.nfs.defined) std::fputs(kNfsUndefinedWarning, stdout);
    print_report(stdout, settings, families.nfam, a.fit, a.info, a.nfs);
    if (options.pvalues)
        std::fputs(pvalue_lines(a.info.waldstat, a.info.wsdf, settings.npars > 2, a.nfs).c_str(), stdout);
    // The working arrays are released as they go out of scope.  The exit status is the
    // result of the final flush: a report that could not be written is a failed run.
    const bool flushed = std::fflush(nullptr) == 0;
    return flushed && !std::ferror(stdout) ? 0 : 1;
}

}  // namespace quillon
