// The information step: the fast enumeration against a literal child-by-child evaluation
// (bit for bit), against a first-principles expectation, and the Wald degrees-of-freedom rule.
// (The non-founders statistic against the transmission count: the complete-trio study.)

#include "model/information.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/fit.hpp"
#include "model/gradient.hpp"
#include "model/model.hpp"
#include "genetics/posterior.hpp"
#include "model/oracles.hpp"
#include "genetics/transmission.hpp"
#include "support/families.hpp"

namespace quillon {
namespace {

using namespace test_support;

const GenotypeTable& shared_table() {
    static const GenotypeTable table = build_genotype_table();
    return table;
}

// The enumeration exactly as the method states it: every row of the genotype table in the
// pair's block, every child's factor multiplied in from scratch, the pairs of each
// combination from gx, their posteriors from fpi and the scores from mkuih.
void literal_information(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                         const FitResult& fit, DMatrix& JJ, double* scoreUb) {
    const int E = static_cast<int>(s.npars) + 1;
    JJ.fill(0.0);
    DMatrix fpgiout0 = matrix(1, 27, 1, 3), fpgiout = matrix(1, 27, 1, 3);
    IVector ufamgeno = ivector(1, maxfamilysize), ufamgeno1 = ivector(1, maxfamilysize);
    DVector uih = vector(1, E), inneruih = vector(1, E);
    const double* nu = fit.risks.data();
    for (long ifam = 1; ifam <= families.nfam; ++ifam) {
        const famdat& fam = families[ifam];
        const int n = fam.ninfam;
        const ChildRisks risks{nu};
        nu += 2 * (n - 2);
        fpi(fit.gammma, fam, risks, fam.famgeno, fam.pgenos, fam.npgeno, fpgiout0);
        for (int p = 1; p <= fam.npgeno; ++p) {
            const int ffg = static_cast<int>(fpgiout0[p][1]), mmg = static_cast<int>(fpgiout0[p][2]);
            for (int i = 1; i <= n; ++i) ufamgeno[i] = i == 1 ? ffg : (i == 2 ? mmg : fam.famgeno[i]);
            mkuih(s, fit.gammma, fam, risks, ufamgeno, uih);
            *scoreUb = *scoreUb + fpgiout0[p][3] * uih[1];
            const long k1 = table.powrdx[n - 1] * ffg + table.powrdx[n - 2] * mmg + 1;
            const long k2 = table.powrdx[n - 1] * ffg + table.powrdx[n - 2] * (mmg + 1);
            for (long k = k1; k <= k2; ++k) {
                for (int i = 1; i <= n; ++i) ufamgeno1[i] = static_cast<int>(table.GT[k][maxfamilysize - n + i]);
                double tmphh = 1.0;
                for (int i = 3; i <= n; ++i)
                    tmphh = tmphh * phgz(ufamgeno1[1], ufamgeno1[2], ufamgeno1[i], risks.nu1(i), risks.nu2(i));
                if (tmphh == 0.0) continue;
                if (fam.famgeno[1] == -1) ufamgeno1[1] = -1;
                if (fam.famgeno[2] == -1) ufamgeno1[2] = -1;
                ParentPairs pairs;
                gx(ufamgeno1, n, fam.famid, pairs);
                fpi(fit.gammma, fam, risks, ufamgeno1, pairs.upgenos, pairs.unpgeno, fpgiout);
                for (int j = 1; j <= E; ++j) inneruih[j] = 0.0;
                for (int q = 1; q <= pairs.unpgeno; ++q) {
                    ufamgeno1[1] = pairs.upgenos[q][1];
                    ufamgeno1[2] = pairs.upgenos[q][2];
                    mkuih(s, fit.gammma, fam, risks, ufamgeno1, uih);
                    for (int j = 1; j <= E; ++j) inneruih[j] = inneruih[j] + uih[j] * fpgiout[q][3];
                }
                for (int j1 = 1; j1 <= E; ++j1)
                    for (int j2 = j1; j2 <= E; ++j2)
                        JJ[j1][j2] = JJ[j1][j2] + ((inneruih[j1] * inneruih[j2]) * tmphh) * fpgiout0[p][3];
            }
        }
    }
    for (int j1 = 1; j1 <= E; ++j1)
        for (int j2 = j1; j2 <= E; ++j2) JJ[j2][j1] = JJ[j1][j2];
}

TEST(Information, FastEnumerationEqualsTheLiteralOneBitForBit) {
    TestRng rng(20261206);
    // ncov, models, and trios alike: the intercept alone and equal weights, so that typed trios
    // of one pair and child genotype repeat (between larger families).
    const int cases[][4] = {{0, 3, 0, 0}, {1, 1, 0, 0}, {2, 2, 1, 0}, {3, 3, 2, 0}, {2, 1, 3, 0}, {3, 2, 0, 0},
                            {1, 1, 0, 1}, {1, 3, 2, 1}};
    for (const auto& c : cases) {
        const Settings s = make_settings(c[0], c[1], c[2]);
        std::vector<famdat> fams;  // four families of up to 10 members, then up to 7 (or trios and some 7)
        for (long f = 1; f <= (c[3] ? 80 : 40); ++f) {
            const int largest = c[3] ? (f % 9 == 0 ? 7 : 3) : (f <= 4 ? 10 : 7);
            fams.push_back(random_family(rng, f, s.ncov, 3, largest));
            if (c[3]) fams.back().weight.fill(1.0);
        }
        FamilyTable families = make_table(std::move(fams));
        const FitResult fit = state_at(s, families, random_theta(rng, s, 0.3));
        const int E = static_cast<int>(s.npars) + 1;
        DMatrix fast = matrix(1, E, 1, E), slow = matrix(1, E, 1, E);
        double u_fast = 0.0, u_slow = 0.0;
        accumulate_information(s, families, shared_table(), fit, fast, &u_fast);
        literal_information(s, families, shared_table(), fit, slow, &u_slow);
        SCOPED_TRACE("ncov " + std::to_string(c[0]) + " cmodel " + std::to_string(c[2]));
        EXPECT_EQ(u_fast, u_slow);
        for (int i = 1; i <= E; ++i)
            for (int j = 1; j <= E; ++j) ASSERT_EQ(fast[i][j], slow[i][j]) << i << "," << j;
    }
}

// u(c) as the conditional expectation of the score given the children's combination c and
// the typed parents, by Bayes over the father's genotypes (no pattern routine), and JJ as the
// expectation of u u' over the children given the observed data.
TEST(Information, EqualsTheExpectationOverParentsAndChildren) {
    const Settings s = make_settings(1, kAdditive, kNone);
    // Father untyped, mother 1, children 1 and 2 with their own covariates.
    FamilyTable families = make_table(
        make_family(5, 1, {{-1, 1, 1.0, {0.2}}, {1, 2, 1.0, {-0.4}}, {1, 2, 0.8, {0.7}}, {2, 2, 1.3, {-1.1}}}));
    const FitResult fit = state_at(s, families, make_vector({0.3, -0.2, 0.1, 0.25}));
    const famdat& fam = families[1];
    const ChildRisks risks{fit.risks.data()};
    const int E = 5, m0 = 1;
    auto children = [&](int f, int c3, int c4) {  // P(c3, c4 | f, m0)
        return phgz(f, m0, c3, risks.nu1(3), risks.nu2(3)) * phgz(f, m0, c4, risks.nu1(4), risks.nu2(4));
    };
    auto joint = [&](int f, int c3, int c4) { return fit.gammma[f] * children(f, c3, c4); };
    double expected[E + 1][E + 1] = {};
    const double observed = joint(0, 1, 2) + joint(1, 1, 2) + joint(2, 1, 2);
    for (int f = 0; f < 3; ++f)
        for (int c3 = 0; c3 < 3; ++c3)
            for (int c4 = 0; c4 < 3; ++c4) {
                const double weight = joint(f, 1, 2) / observed * children(f, c3, c4);
                if (weight == 0.0) continue;
                const double total = joint(0, c3, c4) + joint(1, c3, c4) + joint(2, c3, c4);
                double u[E + 1] = {};
                for (int g = 0; g < 3; ++g) {
                    if (joint(g, c3, c4) == 0.0) continue;
                    const int geno[5] = {0, g, m0, c3, c4};
                    DVector uih = vector(1, E);
                    mkuih(s, fit.gammma, fam, risks, geno, uih);
                    for (int j = 1; j <= E; ++j) u[j] += joint(g, c3, c4) / total * uih[j];
                }
                for (int i = 1; i <= E; ++i)
                    for (int j = 1; j <= E; ++j) expected[i][j] += weight * u[i] * u[j];
            }
    DMatrix JJ = matrix(1, E, 1, E);
    double u = 0.0;
    accumulate_information(s, families, shared_table(), fit, JJ, &u);
    for (int i = 1; i <= E; ++i)
        for (int j = 1; j <= E; ++j)
            // Different summation orders of a few dozen terms of size <= 100: 1e-12 relative.
            EXPECT_NEAR(JJ[i][j], expected[i][j], 1e-12 * (1.0 + std::fabs(expected[i][j]))) << i << "," << j;
}

// Both parents typed: one parental pair per family, so the children's score in the
// coefficients has mean zero given the parents and, each child's term being an exponential
// family in them, its expected outer product is the Hessian of -log L.  Hence the coefficient
// block is the observed information of the Newton fit, the coefficient-prevalence block is
// zero, and the prevalence block is the sum over families of the outer product of the parents'
// prevalence score.  At any parameter vector, for every covariate model.
TEST(Information, WithBothParentsTypedIsTheHessianInTheCoefficients) {
    TestRng rng(31);
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        const Settings s = make_settings(3, kDominant, cmodel);
        const DVector theta = random_theta(rng, s, 0.4);
        std::vector<famdat> fams;
        for (long f = 1; f <= 30; ++f) fams.push_back(draw_family(rng, f, s, theta, rng.between(3, 5)));
        FamilyTable families = make_table(std::move(fams));
        Derivatives d;
        LikelihoodDerivatives(s, families).evaluate(theta, d);
        const FitResult fit = state_at(s, families, theta);
        const int n = static_cast<int>(s.npars), E = n + 1;
        DMatrix JJ = matrix(1, E, 1, E);
        double u = 0.0, prevalence[2][2] = {};
        accumulate_information(s, families, shared_table(), fit, JJ, &u);
        const double* g = fit.gammma;
        for (long i = 1; i <= families.nfam; ++i) {
            double count[3] = {};
            ++count[families[i].famgeno[1]], ++count[families[i].famgeno[2]];
            const double score[2] = {-count[0] / g[0] + count[1] / g[1], -count[0] / g[0] + count[2] / g[2]};
            for (int a = 0; a < 2; ++a)
                for (int b = 0; b < 2; ++b) prevalence[a][b] += score[a] * score[b];
        }
        for (int a = 1; a <= E - 1; ++a)
            for (int b = 1; b <= E - 1; ++b) {
                const double j = JJ[a + 1][b + 1];
                if (a <= n - 2 && b <= n - 2)
                    EXPECT_NEAR(j, d.hessian[(a - 1) * n + b - 1], 1e-9 * std::fabs(j)) << a << "," << b;
                else if (a > n - 2 && b > n - 2)
                    EXPECT_NEAR(j, prevalence[a - n + 1][b - n + 1], 1e-12 * std::fabs(j)) << a << "," << b;
                else
                    EXPECT_NEAR(j, 0.0, 1e-12 * JJ[E][E]) << a << "," << b;
            }
    }
}

TEST(WaldDegreesOfFreedom, CountsCoefficientsAboveAMillionthOfTheLargestInformation) {
    DMatrix subJ = matrix(1, 5, 1, 5);
    subJ.fill(0.0);
    EXPECT_EQ(wald_degrees_of_freedom(subJ, 3), 3);  // all zero: 0 >= 1e-6 * 0 counts every one
    subJ[1][1] = 2.0;
    subJ[2][2] = 1.9e-6;  // below 1e-6 * 2: left out, while it still enters the statistic
    subJ[3][3] = 2.0e-6;
    EXPECT_EQ(wald_degrees_of_freedom(subJ, 3), 2);
    EXPECT_EQ(wald_statistic(subJ, make_vector({1.0, 1.0, 0.0, 9.0, 9.0}), 3), 2.0 + 1.9e-6);
}

}  // namespace
}  // namespace quillon
