#pragma once
// The fitting run: start values, family preparation, the direction-set minimisation of the
// negative log-likelihood and the prevalences of the estimate.

#include <vector>

#include "genetics/family.hpp"
#include "model/flat_vector.hpp"
#include "model/settings.hpp"
#include "toolkit/minimiser.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

struct FitResult {
    DVector ogpars;     // 1..npars: the estimates (covariate coefficients, eta1, eta2)
    double fret = 0.0;  // -log-likelihood at ogpars
    int iter = 0;       // iterations the minimiser used
    double gammma[3] = {0.0, 0.0, 0.0};  // genotype prevalences gamma0, gamma1, gamma2 of the estimate
    // Every stratum's gamma0..2 at 3k .. 3k + 2 (one stratum: gammma's three).
    std::vector<double> strata_gammma;
    // The children's relative risks at ogpars (relative_risks): family by family in table
    // order, each family's in the ChildRisks layout.
    FlatVector<double> risks;
};

// gammma and strata_gammma of r.ogpars (the first stratum's in gammma).
void set_prevalences(const Settings& s, FitResult& r);

// The start values of every fit: ogpars[i] = i / 200.0 + 0.15, i = 1..npars.
DVector start_values(const Settings& s);

// Steps 1 to 3 below on any objective of s.npars parameters whose last 2 nstrata are the
// prevalence parameters (risks left empty).
FitResult direction_set_fit(const Settings& s, const Objective& objective);

// For families that have passed the data checks (every family has at least one compatible
// parental pair and, when the father is typed, a typed mother), which leave each family's
// compatible pairs in npgeno and pgenos (store_pairs of the pairs gx lists):
//  1. start_values;
//  2. powell from the unit direction set, ftol 1e-6, on the Likelihood of the families;
//  3. gammma from the estimated eta1, eta2 (prevalences_from);
//  4. the children's relative risks at the estimate (relative_risks).
// The genotype-combination table is not built here.  A minimiser that exceeds its
// iteration limit ends the run through nrerror.
FitResult fit_model(const Settings& s, const FamilyTable& families);

}  // namespace quillon
