// The score tests' pieces at the restricted estimate: the score is the likelihood's
// finite-difference gradient and the information E[S S'] by brute force (untyped parents);
// with parents typed the coefficient block is the finite-difference Hessian, and the closed
// forms give the general construction's statistics.

#include "model/null_fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "method/score_tests.hpp"
#include "model/analysis.hpp"
#include "model/likelihood.hpp"
#include "model/prevalence.hpp"
#include "support/families.hpp"
#include "support/finite_differences.hpp"

namespace quillon {
namespace {

using namespace test_support;

// log L of the families at theta's coefficients, the prevalences gamma1, gamma2 (theta's eta
// entries are set from them).
double loglik(const Settings& s, const FamilyTable& f, DVector& theta, double g1, double g2) {
    theta[s.npars - 1] = stick_parameter(g1);
    theta[s.npars] = stick_parameter(g2 / (1.0 - g1));
    return -Likelihood(s, f)(theta);
}

TEST(ScoreAtTheNull, ScoreIsTheGradientAndInformationIsTheExpectedOuterProduct) {
    TestRng rng(7);
    const FamilyTable families = random_table(rng, 6, 2, 3, 4);
    const Settings s = make_settings(2, kAdditive, kNone);
    const auto n = static_cast<std::size_t>(s.npars);
    ASSERT_FALSE(parents_all_typed(families));
    const GenotypeTable table = build_genotype_table(largest_family(families));
    DVector theta = *restricted_estimate(s, families, false);
    const ScoreInformation si = *score_information(s, families, table, theta);
    double gamma[3];
    prevalences_from(theta[s.npars - 1], theta[s.npars], gamma);
    DVector& t = theta;
    const auto ll = [&](DVector& v) { return loglik(s, families, v, gamma[1], gamma[2]); };
    for (long i = 1; i <= s.npars - 2; ++i) EXPECT_NEAR(si.score[i - 1], central(ll, t, i, 1e-5), 1e-6) << i;
    EXPECT_NEAR(si.score[n - 2], 0.0, 1e-6);  // a maximum in the prevalences
    EXPECT_NEAR(si.score[n - 1], 0.0, 1e-6);

    // E[S S']: each family's parental pairs by their posterior, its children's genotypes
    // redrawn by Mendel's law (every relative risk 1), S the gradient of the family's log L.
    std::vector<double> expected(n * n, 0.0);
    for (long i = 1; i <= families.nfam; ++i) {
        const famdat& fam = families[i];
        const int nc = fam.ninfam - 2;
        double total = 0.0;
        std::vector<double> post(static_cast<std::size_t>(fam.npgeno) + 1);
        for (int p = 1; p <= fam.npgeno; ++p) {
            const int f = fam.pgenos[p][1], m = fam.pgenos[p][2];
            post[p] = gamma[f] * gamma[m];
            for (int j = 3; j <= fam.ninfam; ++j) post[p] *= phg(f, m, fam.famgeno[j]);
            total += post[p];
        }
        for (int p = 1; p <= fam.npgeno; ++p)
            for (int code = 0; code < static_cast<int>(std::pow(3, nc)); ++code) {
                std::vector<Member> members;
                for (int j = 1; j <= fam.ninfam; ++j)
                    members.push_back({fam.famgeno[j], 1, 1.0, {fam.fcovdat[j][1], fam.fcovdat[j][2]}});
                FamilyTable one = make_table(make_family(1, 2, members));
                double prob = post[p] / total;
                for (int j = 3, c = code; j <= fam.ninfam; ++j, c /= 3) {
                    one[1].famgeno[j] = c % 3;
                    prob *= phg(fam.pgenos[p][1], fam.pgenos[p][2], c % 3);
                }
                if (prob == 0.0) continue;
                set_parent_pairs(one[1]);
                std::vector<double> S(n);
                const auto f1 = [&](DVector& v) { return loglik(s, one, v, gamma[1], gamma[2]); };
                for (long k = 1; k <= s.npars - 2; ++k) S[k - 1] = central(f1, t, k, 1e-5);
                S[n - 2] = central([&](double g1) { return loglik(s, one, t, g1, gamma[2]); }, gamma[1], 1e-6);
                S[n - 1] = central([&](double g2) { return loglik(s, one, t, gamma[1], g2); }, gamma[2], 1e-6);
                for (std::size_t a = 0; a < n * n; ++a) expected[a] += prob * S[a / n] * S[a % n];
            }
    }
    for (std::size_t a = 0; a < n * n; ++a)
        EXPECT_NEAR(si.information[a], expected[a], 1e-5 * (1.0 + std::fabs(expected[a]))) << a / n << "," << a % n;
}

TEST(ScoreAtTheNull, TypedParentsCoefficientInformationIsTheHessianAndClosedFormsAgree) {
    for (const int cmodel : {kNone, kRecessive, kDominant, kAdditive}) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        const Settings s = make_settings(3, kAdditive, cmodel);
        TestRng rng(11 + cmodel);
        DVector truth = random_theta(rng, s, 0.3);
        std::vector<famdat> fams;
        for (long f = 1; f <= 150; ++f) fams.push_back(draw_family(rng, f, s, truth, rng.between(3, 5)));
        const FamilyTable families = make_table(std::move(fams));
        ASSERT_TRUE(parents_all_typed(families));
        const GenotypeTable table = build_genotype_table(largest_family(families));
        DVector theta = *restricted_estimate(s, families, true);
        const ScoreInformation si = *score_information(s, families, table, theta);
        const auto n = static_cast<std::size_t>(s.npars);
        const auto ll = [&](const DVector& v) { return -Likelihood(s, families)(v); };
        for (long i = 1; i <= s.npars - 2; ++i)
            for (long j = 1; j <= s.npars - 2; ++j) {
                const double h = -central([&](DVector& v) { return central(ll, v, j, 1e-4); }, theta, i, 1e-4);
                EXPECT_NEAR(si.information[(i - 1) * n + (j - 1)], h, 1e-4 * std::fabs(h) + 1e-4) << i << "," << j;
            }
        const ScoreStatistics fast = *trio_score_statistics(s, families, true);
        const ScoreStatistics general = general_score_statistics(s, families, table, true);
        ASSERT_TRUE(fast.joint && general.joint && fast.gxe && general.gxe);
        EXPECT_NEAR(*fast.joint, *general.joint, 1e-9 * *general.joint);
        EXPECT_NEAR(*fast.gxe, *general.gxe, 1e-6 * *general.gxe);
    }
}

}  // namespace
}  // namespace quillon
