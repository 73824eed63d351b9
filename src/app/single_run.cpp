#include "app/single_run.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "method/marker_test.hpp"
#include "model/analysis.hpp"
#include "report/pvalues.hpp"
#include "report/report.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {

namespace {
// The working matrices must fit in memory together.  Only covariate files with thousands of
// numbers per line reach this limit.
MarkerTest checked_test(const Settings& s, const FamilyTable& families, bool score,
                        const std::optional<XModel>& x, const std::vector<std::string>& strata) {
    // Covariate 1 is taken for an intercept when it is 1 for every member of every family.
    bool intercept = s.ncov >= 1 && families.nfam > 0;
    for (long i = 1; intercept && i <= families.nfam; ++i)
        for (long m = 1; m <= families[i].ninfam; ++m) intercept = intercept && families[i].fcovdat[m][1] == 1.0;
    TestOptions options{.intercept = intercept, .robust = false, .score = score, .strata = strata};
    if (x) {
        options.xchr_model = x->coding;
        options.xchr_tie_freq = x->tie_freq;
    }
    try {
        if (x) return XLinkedTdt(s, options);
        return LikelihoodTdt(s, options);
    } catch (const SettingsRefused& e) {
        std::printf("\nERROR: %s.\n", e.what());
        throw ProgramExit(1);
    }
}
}  // namespace

void run_single(const Settings& settings, FamilyTable& families, bool pvalues, bool score,
                const std::optional<XModel>& x, const std::vector<std::string>& strata) {
    const MarkerTest test = checked_test(settings, families, score, x, strata);
    const GenotypeTable table = x ? GenotypeTable{} : build_genotype_table(largest_family(families));
    const MarkerResult r = run_test(test, families, table);
    if (r.failed()) throw *r.fit.error;
    // The covariate columns of wcovars.dat have no names: their numbers stand in.
    std::vector<std::string> covariates;
    for (long k = 1; k <= settings.ncov; ++k) covariates.push_back(std::to_string(k));
    const Schema schema = schema_of(test, covariates);
    std::fputs(warning_text(r).c_str(), stdout);
    print_report(stdout, settings, families.nfam, schema, r, x ? &*x : nullptr, strata);
    if (pvalues) std::fputs(pvalue_lines(schema, r, coefficients(settings) > 0).c_str(), stdout);
    if (r.short_of_maximum())
        std::fprintf(stderr,
                     "quillon: warning: the direction-set fit stopped %.4g log-likelihood units short of the maximum "
                     "(Newton's method from its estimate reaches it); --fit newton gives the estimates there.\n",
                     *r.shortfall);
}

}  // namespace quillon
