#include "model/fit.hpp"

#include "model/likelihood.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "genetics/patterns.hpp"
#include "toolkit/minimiser.hpp"

namespace quillon {

void set_prevalences(const Settings& s, FitResult& r) {
    r.strata_gammma.assign(static_cast<std::size_t>(3 * s.nstrata), 0.0);
    stratum_prevalences(s, r.ogpars, r.strata_gammma.data());
    for (int k = 0; k < 3; ++k) r.gammma[k] = r.strata_gammma[static_cast<std::size_t>(k)];
}

DVector start_values(const Settings& s) {
    const int npars = static_cast<int>(s.npars);
    // Start values: i converted to double, divided by 200, then 0.15 added.
    DVector start = vector(1, npars);
    for (int i = 1; i <= npars; ++i) start[i] = static_cast<double>(i) / 200.0 + 0.15;
    return start;
}

FitResult direction_set_fit(const Settings& s, const Objective& objective) {
    const int npars = static_cast<int>(s.npars);
    FitResult r;
    r.ogpars = start_values(s);

    DMatrix xii = matrix(1, npars, 1, npars);
    for (int i = 1; i <= npars; ++i)
        for (int j = 1; j <= npars; ++j) xii[i][j] = i == j ? 1.0 : 0.0;

    powell(r.ogpars, xii, npars, 1e-6, &r.iter, &r.fret, objective);

    set_prevalences(s, r);
    return r;
}

FitResult fit_model(const Settings& s, const FamilyTable& families) {
    const Likelihood likelihood(s, families);
    FitResult r = direction_set_fit(s, [&likelihood](const DVector& p) { return likelihood(p); });
    r.risks = relative_risks(s, r.ogpars, families);
    return r;
}

}  // namespace quillon
