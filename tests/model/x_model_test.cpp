// The X model: its likelihood against sums written out by hand, its derivatives against
// central differences, its information against the observed information where they agree.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/prevalence.hpp"
#include "model/x_fit.hpp"
#include "model/x_likelihood.hpp"
#include "support/finite_differences.hpp"
#include "support/x_families.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(XLikelihood, EqualsTheSumOverParentsWrittenOut) {
    // Covariate model Additive, one covariate: nu1 = exp(b x), nu2 = exp(2 b x).
    const Settings s = make_settings(1, kAdditive, kAdditive);
    const double b = 0.4, xs = 0.7, xd = -1.3, xs2 = 0.2, xd2 = 1.1;
    const DVector theta = make_vector({b, -0.3, 0.5, -0.8});
    double g[3];
    prevalences_from(-0.3, 0.5, g);
    const double q = stick_share(-0.8);
    const auto nu = [&](int level, double x) { return std::exp(level * b * x); };
    const FamilyTable families = x_table(
        // untyped father, mother 1, a son of allele 1, a daughter 1
        x_family(1, 1, {{-1, 1, 1, {0}, 1}, {1, 1, 1, {0}, 2}, {1, 1, 1, {xs}, 1}, {1, 1, 1, {xd}, 2}}),
        // father 1, untyped mother, a daughter 2, a son 0
        x_family(2, 1, {{1, 1, 1, {0}, 1}, {-1, 1, 1, {0}, 2}, {2, 1, 1, {xd}, 2}, {0, 1, 1, {xs}, 1}}),
        // both untyped, a son 1, a daughter 1
        x_family(3, 1, {{-1, 1, 1, {0}, 1}, {-1, 1, 1, {0}, 2}, {1, 1, 1, {xs2}, 1}, {1, 1, 1, {xd2}, 2}}));
    for (int coding = 1; coding <= 2; ++coding) {
        SCOPED_TRACE("coding " + std::to_string(coding));
        const double son1 = nu(coding, xs) / (1 + nu(coding, xs));      // allele 1 from a mother 1
        const double son1b = nu(coding, xs2) / (1 + nu(coding, xs2));
        const double son0 = 1 / (1 + nu(coding, xs));
        const double l1 = g[1] * ((1 - q) * nu(1, xd) / (1 + nu(1, xd)) + q * nu(1, xd) / (nu(1, xd) + nu(2, xd))) * son1;
        const double l2 = q * g[1] * nu(2, xd) / (nu(1, xd) + nu(2, xd)) * son0;
        const double l3 = (1 - q) * g[1] * son1b * nu(1, xd2) / (1 + nu(1, xd2)) + (1 - q) * g[2] +
                          q * g[1] * son1b * nu(1, xd2) / (nu(1, xd2) + nu(2, xd2));
        const XLikelihood likelihood(s, XModel{coding, false}, families);
        EXPECT_NEAR(likelihood.value(theta), -(std::log(l1) + std::log(l2) + std::log(l3)), 1e-12);
    }
    // Tied: q = gamma1 / 2 + gamma2, no eta3; no covariates, nu = 1.
    const FamilyTable dad = make_table(x_family(1, 0, {{1, 1, 1, {}, 1}, {0, 1, 1, {}, 2}, {1, 1, 1, {}, 2}}));
    EXPECT_NEAR(XLikelihood(make_settings(0, kAdditive, kNone), XModel{2, true}, dad).value(make_vector({-0.3, 0.5})),
                -std::log((0.5 * g[1] + g[2]) * g[0]), 1e-13);
}

TEST(XLikelihood, DerivativesAreCentralDifferences) {
    const double h = 1e-5;
    TestRng rng(77);
    const double gamma[3] = {0.5, 0.35, 0.15};
    for (int cmodel : {kNone, kAdditive})
        for (int coding = 1; coding <= 2; ++coding)
            for (bool tie : {false, true}) {
                SCOPED_TRACE(std::to_string(cmodel) + " " + std::to_string(coding) + " " + std::to_string(tie));
                Settings s = make_settings(2, kAdditive, cmodel);
                s.nstrata = tie ? 1 : 2;  // untied: two strata, each with its three prevalence parameters
                derive_model_codings(s);
                const XModel xm{coding, tie};
                std::vector<famdat> fams;
                for (int i = 1; i <= 30; ++i) fams.push_back(draw_x_family(rng, i, xm, gamma, 0.3, 0.3, 4, 0.4, 2));
                for (famdat& f : fams) f.stratum = static_cast<int>(f.famid % s.nstrata);
                const FamilyTable families = make_table(std::move(fams));
                const XLikelihood objective(s, xm, families);
                const long n = objective.parameters();
                DVector theta = vector(1, static_cast<int>(n));
                for (long i = 1; i <= n; ++i) theta[i] = 0.4 * rng.normal();
                Derivatives at, plus, minus;
                objective.evaluate(theta, at, true);
                EXPECT_EQ(at.value, objective.value(theta));
                const auto value = [&](const DVector& t) { return objective.value(t); };
                for (long i = 1; i <= n; ++i) {
                    const auto k = static_cast<std::size_t>(i - 1);
                    EXPECT_NEAR(at.gradient[k], central(value, theta, i, h), 1e-6 * (1 + std::fabs(at.gradient[k])));
                    const double v = theta[i];
                    theta[i] = v + h;
                    objective.evaluate(theta, plus, false);
                    theta[i] = v - h;
                    objective.evaluate(theta, minus, false);
                    theta[i] = v;
                    for (std::size_t j = 0; j < static_cast<std::size_t>(n); ++j) {
                        const double fd = (plus.gradient[j] - minus.gradient[j]) / (2 * h);
                        EXPECT_NEAR(at.hessian[k * static_cast<std::size_t>(n) + j], fd, 1e-5 * (1 + std::fabs(fd)));
                    }
                }
            }
}

TEST(XInformation, IsTheObservedInformationWithBothParentsTypedAndNearItOtherwise) {
    // With both parents typed each child's term is an exponential family in the coefficients:
    // the enumerated information of the coefficients is the observed one at the estimate, and
    // the fathers' frequency is their proportion, of information n / (q (1 - q)).  With
    // parents untyped half the time the two estimate one matrix: near each other in 3000
    // families.
    TestRng rng(5);
    const double gamma[3] = {0.4, 0.4, 0.2};
    for (const double untyped : {0.0, 0.5})
        for (int coding = 1; coding <= 2; ++coding) {
            Settings s = newton_settings(make_settings(2, kAdditive, kAdditive));
            s.nstrata = untyped == 0 && coding == 2 ? 2 : 1;  // typed: each stratum's fathers apart
            derive_model_codings(s);
            const XModel xm{coding, false};
            const int nfam = untyped > 0 ? 3000 : 80;
            std::vector<famdat> fams;
            for (int i = 1; i <= nfam; ++i) fams.push_back(draw_x_family(rng, i, xm, gamma, 0.4, 0.5, 3, untyped, 2));
            for (famdat& f : fams) f.stratum = static_cast<int>(f.famid % s.nstrata);
            const FamilyTable families = make_table(std::move(fams));
            const XAnalysis a = x_analyse(s, xm, families);
            ASSERT_FALSE(a.fell_back);
            Derivatives d;
            XLikelihood(s, xm, families).evaluate(a.fit.fit.ogpars, d, false);
            const double tolerance = untyped > 0 ? 0.05 * d.hessian[0] : 1e-7 * (1 + d.hessian[0]);
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 2; ++j)
                    EXPECT_NEAR(a.info.subJ[i + 1][j + 1], d.hessian[i * d.gradient.size() + static_cast<std::size_t>(j)], tolerance);
            for (long k = 0; untyped == 0 && k < s.nstrata; ++k) {
                double fathers = 0, n = 0;
                for (long i = 1; i <= families.nfam; ++i)
                    if (families[i].stratum == k) fathers += families[i].famgeno[1], ++n;
                const double q = fathers / n;
                EXPECT_NEAR(a.fit.strata_father[static_cast<std::size_t>(k)], q, 1e-7);
                EXPECT_NEAR(a.info.subJ[5 + 3 * k][5 + 3 * k], n / (q * (1 - q)), 1e-6);
            }
        }
}

TEST(XInformation, PrevalenceBlockIsTheParentsScoresOuterProduct) {
    // Both parents typed: sum_F s s', s the central-difference gradient in (gamma1, gamma2)
    // (and q, untied) of log(P(a) gamma_m), with q = gamma1 / 2 + gamma2 when tied.
    TestRng rng(8);
    const double gamma[3] = {0.3, 0.5, 0.2}, h = 1e-6;
    for (const bool tie : {false, true}) {
        std::vector<famdat> fams;
        for (int i = 1; i <= 50; ++i) fams.push_back(draw_x_family(rng, i, XModel{}, gamma, 0.45, 0.0, 2, 0.0, 0));
        const FamilyTable families = make_table(std::move(fams));
        const XAnalysis a = x_analyse(newton_settings(make_settings(0, kAdditive, kNone)), XModel{2, tie}, families);
        const int k = tie ? 2 : 3;
        double expected[3][3] = {};
        for (long i = 1; i <= families.nfam; ++i) {
            const int f = families[i].famgeno[1], m = families[i].famgeno[2];
            DVector p = make_vector({a.fit.fit.gammma[1], a.fit.fit.gammma[2], a.fit.father});
            const auto log_prior = [&](const DVector& v) {
                const double g[3] = {1 - v[1] - v[2], v[1], v[2]}, q = tie ? v[1] / 2 + v[2] : v[3];
                return std::log((f == 1 ? q : 1 - q) * g[m]);
            };
            double sc[3];
            for (int r = 0; r < k; ++r) sc[r] = central(log_prior, p, r + 1, h);
            for (int r = 0; r < k; ++r)
                for (int c = 0; c < k; ++c) expected[r][c] += sc[r] * sc[c];
        }
        for (int r = 0; r < k; ++r)
            for (int c = 0; c < k; ++c) EXPECT_NEAR(a.info.subJ[r + 1][c + 1], expected[r][c], 1e-6 * expected[0][0]);
    }
}

}  // namespace
}  // namespace quillon
