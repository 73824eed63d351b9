// Newton's fit: its derivatives against central differences of the objective, its maximum
// against the direction-set fit's, and its fallback where the maximum is not finite or not
// unique.

#include "model/newton.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "genetics/posterior.hpp"
#include "model/analysis.hpp"
#include "model/gradient.hpp"
#include "model/likelihood.hpp"
#include "model/model.hpp"
#include "support/families.hpp"
#include "support/studies.hpp"
#include "support/finite_differences.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(LikelihoodDerivatives, AreCentralDifferencesOfTheObjective) {
    // Step 1e-5 on objectives of a few hundred: truncation and rounding both near 1e-9.
    const double h = 1e-5;
    TestRng rng(2024);
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        const Settings s = make_settings(3, kAdditive, cmodel);
        FamilyTable families = random_table(rng, 40, 3, 3, 7);  // parents untyped at random
        const LikelihoodDerivatives objective(s, families);
        const auto n = static_cast<std::size_t>(s.npars);
        for (int trial = 0; trial < 3; ++trial) {
            DVector theta = random_theta(rng, s, 0.5);
            Derivatives at, other;
            objective.evaluate(theta, at);
            EXPECT_EQ(at.value, Likelihood(s, families)(theta));  // the very same double
            // The parents' expected genotype counts, from the pairs' posteriors.
            double gammma[3], parents[3] = {0, 0, 0};
            prevalences_from(theta[s.npars - 1], theta[s.npars], gammma);
            DMatrix post = matrix(1, parentpairs, 1, 3);
            double nu[2 * maxchildren];
            for (long i = 1; i <= families.nfam; ++i) {
                const famdat& fam = families[i];
                mkfindiv(s, theta, fam, nu);
                fpi(gammma, fam, ChildRisks{nu}, fam.famgeno, fam.pgenos, fam.npgeno, post);
                for (int p = 1; p <= fam.npgeno; ++p)
                    parents[static_cast<int>(post[p][1])] += post[p][3], parents[static_cast<int>(post[p][2])] += post[p][3];
            }
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(at.parents[k], parents[k], 1e-9) << k;
            objective.evaluate(theta, other, true);  // every family through the mixture formula
            for (std::size_t k = 0; k < n * n; ++k)
                EXPECT_NEAR(other.hessian[k], at.hessian[k], 1e-9 * (1 + std::fabs(at.hessian[k])));
            expect_derivatives(objective, theta, at, h);
        }
    }
}

// Powell stops when the objective changes by less than 1e-6 of itself: its estimates may be
// sqrt(2e-6 f) standard errors from the maximum, and Newton's objective must be no higher.
// Returns Newton's iterations.
int expect_the_maximum(const Settings& s, FamilyTable& families) {
    const GenotypeTable table = build_genotype_table(largest_family(families));
    const Analysis powell = analyse(s, families, table);
    const Analysis newton = analyse(newton_settings(s), families, table);
    EXPECT_FALSE(newton.fell_back);
    EXPECT_LE(newton.fit.fret, powell.fit.fret * (1 + 1e-9));
    const double slack = std::sqrt(2e-6 * powell.fit.fret);
    const long n = s.npars;
    for (long i = 1; i <= n - 2; ++i)
        EXPECT_NEAR(newton.fit.ogpars[i], powell.fit.ogpars[i], slack * std::sqrt(newton.info.subJI[i][i])) << i;
    for (long k = 1; k <= 2; ++k)
        EXPECT_NEAR(newton.fit.gammma[k], powell.fit.gammma[k], slack * std::sqrt(newton.info.subJI[n - 2 + k][n - 2 + k]));
    return newton.fit.iter;
}

TEST(NewtonFit, ReachesTheDirectionSetMaximumOrBetterInEveryDesign) {
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel)
        for (const bool untyped : {false, true}) {
            SCOPED_TRACE("covariate model " + std::to_string(cmodel) + (untyped ? " untyped parents" : " trios"));
            FamilyTable families = simulated(
                "--families 300 --seed 4" + std::to_string(cmodel) + effects(cmodel) +
                (untyped ? " --max-size 6 --untyped-father 0.2 --untyped-parents 0.1 --missing-phenotype 0.1" : " --max-size 3"));
            const int iterations = expect_the_maximum(make_settings(2, 1 + cmodel % 3, cmodel), families);
            // Complete trios: the first step takes the prevalences to their maximum, the
            // coefficients need a few more.
            EXPECT_TRUE(untyped || iterations <= 4) << iterations;
        }
}

TEST(NewtonFit, FallsBackToTheDirectionSetFitWithoutAUniqueFiniteMaximum) {
    const Settings s = make_settings(2, kAdditive, kAdditive);
    const GenotypeTable table = build_genotype_table(3);
    for (const bool separated : {false, true}) {
        SCOPED_TRACE(separated ? "separating covariate" : "constant covariate next to the intercept");
        FamilyTable families = simulated("--families 200 --max-size 3 --seed 77" + effects(kAdditive));
        for (long i = 1; i <= families.nfam; ++i) {
            famdat& fam = families[i];
            // Separating: +1 when the child got the most copies of allele 2 its parents can
            // give, -1 the fewest, 0 otherwise; its coefficient runs off to infinity.
            const int f = fam.famgeno[1], m = fam.famgeno[2], g = fam.famgeno[3];
            const int most = (f > 0) + (m > 0), fewest = (f == 2) + (m == 2);
            const double x = most == fewest ? 0.0 : (g == most ? 1.0 : (g == fewest ? -1.0 : 0.0));
            for (int j = 1; j <= fam.ninfam; ++j) fam.fcovdat[j][2] = separated ? x : 2.0;
        }
        EXPECT_EQ(fit_model_newton(s, families).status, separated ? NewtonStatus::kNoAscent : NewtonStatus::kSingular);
        const Analysis newton = analyse(newton_settings(s), families, table);
        const Analysis powell = analyse(s, families, table);
        EXPECT_TRUE(newton.fell_back);
        EXPECT_EQ(newton.fit.fret, powell.fit.fret);
    }
}

// Where the maximum is not finite or the objective not usable: a typed father with an untyped
// mother (a pair the data checks refuse), an impossible child (log 0 at the start), no parent
// of genotype 2 (gamma2's maximum is at eta2 = -infinity: the EM step is refused and Newton's
// steps walk on until the iteration limit).
TEST(NewtonFit, StopsWithItsReason) {
    const Settings s = make_settings(0, kAdditive, kNone);
    const auto status = [&](std::vector<famdat> families) {
        FamilyTable t = make_table(std::move(families));
        return fit_model_newton(s, t).status;
    };
    std::vector<famdat> one, two, no_genotype_2;
    one.push_back(make_family(1, 0, {1, -1, 1}));
    two.push_back(make_family(1, 0, {2, 2, 0}));
    for (const auto& g : {std::array{0, 1, 1, 0}, {1, 0, 0, 1}, {1, 1, 2, 1}, {0, 0, 0, 0}, {1, 0, 1, 1}, {0, 1, 0, 0}})
        no_genotype_2.push_back(make_family(static_cast<long>(no_genotype_2.size()) + 1, 0, {g[0], g[1], g[2], g[3]}));
    EXPECT_EQ(status(std::move(one)), NewtonStatus::kNoFiniteObjective);
    EXPECT_EQ(status(std::move(two)), NewtonStatus::kNoFiniteObjective);
    EXPECT_EQ(status(std::move(no_genotype_2)), NewtonStatus::kIterationLimit);
}

// The rarer steps still reach the maximum: a design whose observed information has a negative
// diagonal entry at the start values (the outer product of the family scores takes its place),
// and one with covariates of about 20, where the first coefficient step overshoots and the EM
// step is taken alone (seen with an instrumented copy of the fit when the designs were chosen).
TEST(NewtonFit, OuterProductAndEmOnlyStepsReachTheMaximum) {
    const struct {
        int seed, smodel, cmodel;
        long ncov, nfam;
        double scale;
    } cases[] = {{549, 1, 1, 1, 14, 1.0}, {10, 2, 2, 2, 15, 20.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed);
        TestRng rng(c.seed);
        const Settings s = make_settings(c.ncov, c.smodel, c.cmodel);
        FamilyTable t = random_table(rng, static_cast<int>(c.nfam), c.ncov, 3, 6);
        for (long i = 1; i <= t.nfam; ++i)
            for (int j = 1; j <= t[i].ninfam; ++j)
                for (long k = 2; k <= c.ncov; ++k) t[i].fcovdat[j][k] *= c.scale;
        Derivatives start;
        LikelihoodDerivatives(s, t).evaluate(start_values(s), start);
        bool negative = false;
        for (long i = 0; i < s.npars; ++i) negative = negative || start.hessian[static_cast<std::size_t>(i * s.npars + i)] <= 0.0;
        EXPECT_TRUE(negative || c.scale != 1.0) << "no negative curvature at the start values";
        expect_the_maximum(s, t);
    }
}

}  // namespace
}  // namespace quillon
