// Newton's fit: its derivatives against finite differences of the objective, its maximum
// against the direction-set fit's, and its fallback where the maximum is not finite or not
// unique.

#include "model/newton.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/analysis.hpp"
#include "model/gradient.hpp"
#include "model/likelihood.hpp"
#include "model/studies.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(LikelihoodDerivatives, AreCentralDifferencesOfTheObjective) {
    // Step 1e-5: truncation and rounding both near 1e-9 on objectives of a few hundred.
    const double h = 1e-5;
    TestRng rng(2024);
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        const Settings s = make_settings(3, kAdditive, cmodel);
        FamilyTable families = random_table(rng, 40, 3, 3, 7);  // parents untyped at random
        const LikelihoodDerivatives objective(s, families);
        const Likelihood likelihood(s, families);
        ASSERT_TRUE(objective.usable());
        const auto n = static_cast<std::size_t>(s.npars);
        for (int trial = 0; trial < 3; ++trial) {
            DVector theta = random_theta(rng, s, 0.5);
            Derivatives at, up, down;
            objective.evaluate(theta, at);
            EXPECT_EQ(at.value, likelihood(theta));  // the very same double
            for (std::size_t k = 0; k < n; ++k) {
                const long i = static_cast<long>(k) + 1;
                const double keep = theta[i];
                theta[i] = keep + h;
                objective.evaluate(theta, up);
                theta[i] = keep - h;
                objective.evaluate(theta, down);
                theta[i] = keep;
                EXPECT_NEAR(at.gradient[k], (up.value - down.value) / (2 * h), 1e-6 * (1 + std::fabs(at.gradient[k])));
                for (std::size_t j = 0; j < n; ++j) {
                    const double fd = (up.gradient[j] - down.gradient[j]) / (2 * h);
                    EXPECT_NEAR(at.hessian[k * n + j], fd, 1e-5 * (1 + std::fabs(fd))) << k << "," << j;
                }
            }
        }
    }
}

// Powell stops when the objective changes by less than 1e-6 of itself, so its estimate may be
// off by sqrt(2e-6 f) standard errors; Newton must be at least as low.
TEST(NewtonFit, ReachesTheDirectionSetMaximumOrBetterInEveryDesign) {
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel)
        for (const bool untyped : {false, true}) {
            SCOPED_TRACE("covariate model " + std::to_string(cmodel) + (untyped ? " untyped parents" : " trios"));
            const Settings s = make_settings(2, 1 + cmodel % 3, cmodel);
            const SimulateOptions o = design(cmodel, untyped, 300, 40 + cmodel + (untyped ? 10 : 0));
            FamilyTable a = study_families(o), b = study_families(o);
            const GenotypeTable table = build_genotype_table(largest_family(a));
            const Analysis powell = analyse(s, a, table);
            const Analysis newton = analyse(s, b, table, FitMethod::kNewton);
            ASSERT_FALSE(newton.fell_back);
            EXPECT_LE(newton.fit.fret, powell.fit.fret * (1 + 1e-9));
            const double slack = std::sqrt(2e-6 * powell.fit.fret);
            const long n = s.npars;
            for (long i = 1; i <= n - 2; ++i)
                EXPECT_NEAR(newton.fit.ogpars[i], powell.fit.ogpars[i], slack * std::sqrt(newton.info.subJI[i][i])) << i;
            for (long k = 1; k <= 2; ++k)
                EXPECT_NEAR(newton.fit.gammma[k], powell.fit.gammma[k], slack * std::sqrt(newton.info.subJI[n - 2 + k][n - 2 + k]));
        }
}

TEST(NewtonFit, FallsBackToTheDirectionSetFitWithoutAUniqueFiniteMaximum) {
    const Settings s = make_settings(2, kAdditive, kAdditive);
    for (const bool separated : {false, true}) {
        SCOPED_TRACE(separated ? "separating covariate" : "constant covariate");
        FamilyTable a = study_families(design(kAdditive, false, 200, 77));
        for (long i = 1; i <= a.nfam; ++i) {
            famdat& fam = a[i];
            // The most copies of allele 2 the parents can give: +1; the fewest: -1; else 0.
            const int f = fam.famgeno[1], m = fam.famgeno[2], g = fam.famgeno[3];
            const int most = (f > 0) + (m > 0), fewest = (f == 2) + (m == 2);
            for (int j = 1; j <= fam.ninfam; ++j)
                fam.fcovdat[j][2] = !separated ? 2.0 : (most == fewest ? 0.0 : (g == most ? 1.0 : (g == fewest ? -1.0 : 0.0)));
        }
        FamilyTable b = study_families(design(kAdditive, false, 200, 77));
        for (long i = 1; i <= b.nfam; ++i)
            for (int j = 1; j <= b[i].ninfam; ++j) b[i].fcovdat[j][2] = a[i].fcovdat[j][2];
        const GenotypeTable table = build_genotype_table(3);
        const Analysis newton = analyse(s, a, table, FitMethod::kNewton);
        const Analysis powell = analyse(s, b, table);
        EXPECT_TRUE(newton.fell_back);
        EXPECT_EQ(newton.fit.fret, powell.fit.fret);
        EXPECT_EQ(newton.fit.ogpars[2], powell.fit.ogpars[2]);
    }
}

}  // namespace
}  // namespace quillon
