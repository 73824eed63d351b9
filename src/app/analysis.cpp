#include "app/analysis.hpp"

#include <cstdio>

#include "model/analysis.hpp"
#include "report/pvalues.hpp"
#include "report/report.hpp"
#include "toolkit/linalg.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {

namespace {
const char* const kFellBackWarning =
    "\n\n|WARNING:  Newton's method did not converge for these data (no unique finite\n"
    "|            maximum, or a singular information matrix); the estimates below\n"
    "|            are those of the direction-set fit (--fit powell).\n";

// The working matrices must fit in memory together.  Only covariate files with thousands of
// numbers per line reach this limit.
void refuse_unholdable_parameter_count(const Settings& s) {
    const std::string why = unholdable_parameter_count(s);
    if (why.empty()) return;
    std::printf("\nERROR: %s.\n", why.c_str());
    throw ProgramExit(1);
}
}  // namespace

void run_analysis(const Settings& settings, FamilyTable& families, const AnalysisOptions& options) {
    refuse_unholdable_parameter_count(settings);
    const GenotypeTable table = build_genotype_table(largest_family(families));
    const Analysis a = analyse(settings, families, table, options.newton ? FitMethod::kNewton : FitMethod::kPowell);
    if (a.fell_back) std::fputs(kFellBackWarning, stdout);
    if (a.info.near_singular) std::fputs(kNearSingularWarning, stdout);
    if (!a.nfs.defined) std::fputs(kNfsUndefinedWarning, stdout);
    print_report(stdout, settings, families.nfam, a.fit, a.info, a.nfs);
    if (options.pvalues)
        std::fputs(pvalue_lines(a.info.waldstat, a.info.wsdf, settings.npars > 2, a.nfs).c_str(), stdout);
}

}  // namespace quillon
