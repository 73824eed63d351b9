// Score contributions: a worked example, and every entry against a central difference of the
// function it differentiates.

#include "model/score.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "test_families.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(Mkuih, WorkedExamples) {
    const Settings s = make_settings(0, kAdditive, kNone);  // npars 2: three entries
    const double gammma[3] = {0.25, 0.5, 0.25};
    DVector uih = vector(1, 3);
    // Parents (1, 1), child 2 (weight 1) and child 2 with a missing phenotype (weight 0):
    // 2 - (0*0.25 + 1*0.5 + 2*0.25) = 1 from the first only; 2 / 0.5 = 4; 0.
    famdat fam = make_family(1, 0, {{1, 1, 1.0, {}}, {1, 1, 1.0, {}}, {2, 1, 1.0, {}}, {2, 0, 1.0, {}}});
    mkfindiv(s, make_vector({0.0, 0.0}), fam);
    mkuih(s, gammma, fam, fam.famgeno, uih);
    EXPECT_TRUE(uih[1] == 1.0 && uih[2] == 4.0 && uih[3] == 0.0) << uih[1] << " " << uih[2] << " " << uih[3];
    // A second call leaves only its own values: parents (0, 0) give -2 / gamma0' twice.
    const int zeros[5] = {0, 0, 0, 0, 0};
    mkuih(s, gammma, fam, zeros, uih);
    EXPECT_TRUE(uih[1] == 0.0 && uih[2] == -2.0 / 0.25 && uih[3] == -2.0 / 0.25) << uih[1] << " " << uih[2];
}

// (f(x + h) - f(x - h)) / 2h.
double central(const auto& f, double x, double h) { return (f(x + h) - f(x - h)) / (2.0 * h); }

TEST(Mkuih, EveryEntryIsTheDerivativeItClaims) {
    // Step 1e-5: truncation about 1e-10 times the third derivative, rounding about
    // 1e-16 * 10 / 1e-5 = 1e-10; 1e-7 leaves room and still catches any wrong term.  The
    // prior is differentiated with step 1e-7: rounding 1e-9, truncation 1e-14 / gamma^3.
    const double h = 1e-5, tol = 1e-7;
    TestRng rng(99);
    for (int smodel = kRecessive; smodel <= kAdditive; ++smodel)
        for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel)
            for (int trial = 0; trial < 6; ++trial) {
                SCOPED_TRACE("smodel " + std::to_string(smodel) + " cmodel " + std::to_string(cmodel));
                const Settings s = make_settings(3, smodel, cmodel);
                famdat fam = random_family(rng, trial, 3, 3, 8);
                DVector theta = random_theta(rng, s, 0.6);
                // A full assignment: one of the family's compatible pairs and its children.
                const int pair = rng.between(1, fam.npgeno);
                IVector g = ivector(1, fam.ninfam);
                for (int j = 1; j <= fam.ninfam; ++j) g[j] = j <= 2 ? fam.pgenos[pair][j] : fam.famgeno[j];
                const double g1 = 0.1 + 0.5 * rng.uniform(), g2 = (1.0 - g1) * (0.1 + 0.8 * rng.uniform());
                const double gammma[3] = {(1.0 - g1) - g2, g1, g2};
                mkfindiv(s, theta, fam);
                DVector uih = vector(1, static_cast<int>(s.npars) + 1);
                mkuih(s, gammma, fam, g, uih);

                // sum_j c_j log phgz(f, m, g_j, nu1j e^(alpha cchu1[1]), nu2j e^(alpha cchu1[2]))
                // with the relative risks at theta; c_j the weight (status entry) or 1.
                auto log_children = [&](double alpha, bool weighted) {
                    mkfindiv(s, theta, fam);
                    double sum = 0.0;
                    for (int j = 3; j <= fam.ninfam; ++j) {
                        const double nu1 = fam.findiv[j][2] * std::exp(alpha * s.cchu1[1]);
                        const double nu2 = fam.findiv[j][3] * std::exp(alpha * s.cchu1[2]);
                        sum += (weighted ? fam.findiv[j][4] : 1.0) * std::log(phgz(g[1], g[2], g[j], nu1, nu2));
                    }
                    return sum;
                };
                EXPECT_NEAR(uih[1], central([&](double a) { return log_children(a, true); }, 0.0, h), tol);
                for (long k = 1; k <= s.npars - 2; ++k) {
                    const double at = theta[k];
                    auto along_k = [&](double v) {
                        theta[k] = v;
                        const double r = log_children(0.0, false);
                        theta[k] = at;
                        return r;
                    };
                    EXPECT_NEAR(uih[k + 1], central(along_k, at, h), tol) << "coefficient " << k;
                }
                // The prevalence entries: derivatives of log(gamma_f gamma_m) in gamma1, gamma2.
                auto log_prior = [&](double x1, double x2) {
                    const double gam[3] = {1.0 - x1 - x2, x1, x2};
                    return std::log(gam[g[1]] * gam[g[2]]);
                };
                EXPECT_NEAR(uih[s.npars], central([&](double v) { return log_prior(v, g2); }, g1, 1e-7), 1e-6);
                EXPECT_NEAR(uih[s.npars + 1], central([&](double v) { return log_prior(g1, v); }, g2, 1e-7), 1e-6);
            }
}

}  // namespace
}  // namespace quillon
