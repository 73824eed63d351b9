#include "app/single_run.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "method/likelihood_tdt.hpp"
#include "model/analysis.hpp"
#include "report/pvalues.hpp"
#include "report/report.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {

namespace {
// The working matrices must fit in memory together.  Only covariate files with thousands of
// numbers per line reach this limit.
LikelihoodTdt checked_test(const Settings& s, const FamilyTable& families, bool score) {
    // Covariate 1 is taken for an intercept when it is 1 for every member of every family.
    bool intercept = s.ncov >= 1 && families.nfam > 0;
    for (long i = 1; intercept && i <= families.nfam; ++i)
        for (long m = 1; m <= families[i].ninfam; ++m) intercept = intercept && families[i].fcovdat[m][1] == 1.0;
    try {
        return LikelihoodTdt(s, TestOptions{.intercept = intercept, .robust = false, .score = score});
    } catch (const SettingsRefused& e) {
        std::printf("\nERROR: %s.\n", e.what());
        throw ProgramExit(1);
    }
}
}  // namespace

void run_single(const Settings& settings, FamilyTable& families, bool pvalues, bool score) {
    const LikelihoodTdt test = checked_test(settings, families, score);
    const GenotypeTable table = build_genotype_table(largest_family(families));
    const MarkerResult r = test.run(families, table);
    if (r.failed()) throw *r.fit.error;
    // The covariate columns of wcovars.dat have no names: their numbers stand in.
    std::vector<std::string> covariates;
    for (long k = 1; k <= settings.ncov; ++k) covariates.push_back(std::to_string(k));
    const Schema schema = test.schema(covariates);
    std::fputs(warning_text(r).c_str(), stdout);
    print_report(stdout, settings, families.nfam, schema, r);
    if (pvalues) std::fputs(pvalue_lines(schema, r, settings.npars > 2).c_str(), stdout);
}

}  // namespace quillon
