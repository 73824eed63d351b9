// The information step: the fast enumeration against a literal child-by-child evaluation
// (bit for bit), against a first-principles expectation, the Wald degrees-of-freedom rule,
// and the non-founders statistic against the classical transmission count.

#include "quillon/information.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quillon/fit.hpp"
#include "quillon/model.hpp"
#include "quillon/posterior.hpp"
#include "quillon/report.hpp"
#include "quillon/score.hpp"
#include "quillon/transmission.hpp"
#include "test_families.hpp"

namespace quillon {
namespace {

using test_support::make_family;
using test_support::make_settings;
using test_support::make_table;
using test_support::random_family;
using test_support::set_parent_pairs;
using test_support::TestRng;

GenotypeTable built_table() {
    GenotypeTable t = allocate_genotype_table();
    IVector BB = ivector(1, maxfamilysize);
    BB.fill(0);
    makeGT(t, BB, 0);
    return t;
}

const GenotypeTable& shared_table() {
    static const GenotypeTable table = built_table();
    return table;
}

// A fitted state at an arbitrary parameter vector: findiv and gammma belong to it.
FitResult state_at(const Settings& s, FamilyTable& families, const std::vector<double>& theta) {
    FitResult fit;
    fit.ogpars = test_support::make_vector(theta);
    prevalences_from(fit.ogpars[s.npars - 1], fit.ogpars[s.npars], fit.gammma);
    for (long i = 1; i <= families.nfam; ++i) mkfindiv(s, fit.ogpars, families[i]);
    return fit;
}

// The enumeration exactly as the method states it: every row of the genotype table in the
// pair's block, every child's factor multiplied in from scratch, the pairs of each
// combination from gx, their posteriors from fpi and the scores from mkuih.
void literal_information(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                         const FitResult& fit, DMatrix& JJ, double* scoreUb) {
    const int E = static_cast<int>(s.npars) + 1;
    JJ.fill(0.0);
    DMatrix fpgiout0 = matrix(1, 27, 1, 3);
    DMatrix fpgiout = matrix(1, 27, 1, 3);
    IVector ufamgeno = ivector(1, maxfamilysize);
    IVector ufamgeno1 = ivector(1, maxfamilysize);
    DVector uih = vector(1, E);
    DVector inneruih = vector(1, E);
    for (long ifam = 1; ifam <= families.nfam; ++ifam) {
        const famdat& fam = families[ifam];
        const int n = fam.ninfam;
        fpi(fit.gammma, fam, fam.famgeno, fam.pgenos, fam.npgeno, fpgiout0);
        for (int p = 1; p <= fam.npgeno; ++p) {
            const int ffg = static_cast<int>(fpgiout0[p][1]);
            const int mmg = static_cast<int>(fpgiout0[p][2]);
            for (int i = 1; i <= n; ++i) ufamgeno[i] = fam.famgeno[i];
            ufamgeno[1] = ffg;
            ufamgeno[2] = mmg;
            mkuih(s, fit.gammma, fam, ufamgeno, uih);
            *scoreUb = *scoreUb + fpgiout0[p][3] * uih[1];
            const long k1 = table.powrdx[n - 1] * ffg + table.powrdx[n - 2] * mmg + 1;
            const long k2 = table.powrdx[n - 1] * ffg + table.powrdx[n - 2] * (mmg + 1);
            const int offset = maxfamilysize - n;
            for (long k = k1; k <= k2; ++k) {
                for (int i = 1; i <= n; ++i) ufamgeno1[i] = static_cast<int>(table.GT[k][offset + i]);
                double tmphh = 1.0;
                for (int i = 3; i <= n; ++i)
                    tmphh = tmphh * phgz(ufamgeno1[1], ufamgeno1[2], ufamgeno1[i], fam.findiv[i][2], fam.findiv[i][3]);
                if (tmphh == 0.0) continue;
                if (fam.famgeno[1] == -1) ufamgeno1[1] = -1;
                if (fam.famgeno[2] == -1) ufamgeno1[2] = -1;
                ParentPairs pairs;
                gx(ufamgeno1, n, fam.famid, pairs);
                fpi(fit.gammma, fam, ufamgeno1, pairs.upgenos, pairs.unpgeno, fpgiout);
                for (int j = 1; j <= E; ++j) inneruih[j] = 0.0;
                for (int q = 1; q <= pairs.unpgeno; ++q) {
                    ufamgeno1[1] = pairs.upgenos[q][1];
                    ufamgeno1[2] = pairs.upgenos[q][2];
                    mkuih(s, fit.gammma, fam, ufamgeno1, uih);
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

std::vector<double> random_theta(TestRng& rng, const Settings& s) {
    std::vector<double> theta;
    for (long i = 1; i <= s.npars - 2; ++i) theta.push_back(0.6 * (rng.uniform() - 0.5));
    theta.push_back(rng.uniform() - 0.5);
    theta.push_back(rng.uniform() - 0.5);
    return theta;
}

TEST(Information, FastEnumerationEqualsTheLiteralOneBitForBit) {
    TestRng rng(20261206);
    struct Case {
        long ncov;
        int smodel;
        int cmodel;
    };
    const Case cases[] = {{0, 3, 0}, {1, 1, 0}, {2, 2, 1}, {3, 3, 2}, {2, 1, 3}, {3, 2, 0}};
    for (const Case& c : cases) {
        const Settings s = make_settings(c.ncov, c.smodel, c.cmodel);
        std::vector<famdat> fams;
        for (long f = 1; f <= 40; ++f) fams.push_back(random_family(rng, f, s.ncov, 3, f <= 4 ? 10 : 7));
        FamilyTable families = make_table(std::move(fams));
        const FitResult fit = state_at(s, families, random_theta(rng, s));
        const int E = static_cast<int>(s.npars) + 1;
        DMatrix fast = matrix(1, E, 1, E);
        DMatrix slow = matrix(1, E, 1, E);
        double u_fast = 0.0;
        double u_slow = 0.0;
        accumulate_information(s, families, shared_table(), fit, fast, &u_fast);
        literal_information(s, families, shared_table(), fit, slow, &u_slow);
        SCOPED_TRACE("ncov " + std::to_string(c.ncov) + " cmodel " + std::to_string(c.cmodel));
        EXPECT_EQ(u_fast, u_slow);
        for (int i = 1; i <= E; ++i)
            for (int j = 1; j <= E; ++j) ASSERT_EQ(fast[i][j], slow[i][j]) << i << "," << j;
    }
}

// u(c) as the conditional expectation of the score given the children's combination c and
// the typed parents, by Bayes over all nine pairs (no pattern routine), and JJ as the
// expectation of u u' over the children given the observed data.
TEST(Information, EqualsTheExpectationOverParentsAndChildren) {
    const Settings s = make_settings(1, 3, 0);
    // Father untyped, mother 1, children 1 and 2 with their own covariates.
    std::vector<test_support::Member> members = {{-1, 1, 1.0, {0.2}}, {1, 2, 1.0, {-0.4}},
                                                 {1, 2, 0.8, {0.7}}, {2, 2, 1.3, {-1.1}}};
    std::vector<famdat> fams;
    fams.push_back(make_family(5, 1, members));
    set_parent_pairs(fams[0]);
    FamilyTable families = make_table(std::move(fams));
    const FitResult fit = state_at(s, families, {0.3, -0.2, 0.1, 0.25});
    const famdat& fam = families[1];
    const int E = 5;
    const int m0 = 1;

    auto joint = [&](int f, int c3, int c4) {
        return fit.gammma[f] * phgz(f, m0, c3, fam.findiv[3][2], fam.findiv[3][3]) *
               phgz(f, m0, c4, fam.findiv[4][2], fam.findiv[4][3]);
    };
    std::vector<std::vector<double>> expected(E + 1, std::vector<double>(E + 1, 0.0));
    double obs_total = 0.0;
    for (int f = 0; f < 3; ++f) obs_total += joint(f, 1, 2);
    for (int f = 0; f < 3; ++f) {
        const double w = joint(f, 1, 2) / obs_total;
        if (w == 0.0) continue;
        for (int c3 = 0; c3 < 3; ++c3)
            for (int c4 = 0; c4 < 3; ++c4) {
                const double pc = phgz(f, m0, c3, fam.findiv[3][2], fam.findiv[3][3]) *
                                  phgz(f, m0, c4, fam.findiv[4][2], fam.findiv[4][3]);
                if (pc == 0.0) continue;
                double total = 0.0;
                for (int g = 0; g < 3; ++g) total += joint(g, c3, c4);
                std::vector<double> u(E + 1, 0.0);
                for (int g = 0; g < 3; ++g) {
                    const double post = joint(g, c3, c4) / total;
                    if (post == 0.0) continue;
                    const int geno[5] = {0, g, m0, c3, c4};
                    DVector uih = vector(1, E);
                    mkuih(s, fit.gammma, fam, geno, uih);
                    for (int j = 1; j <= E; ++j) u[j] += post * uih[j];
                }
                for (int i = 1; i <= E; ++i)
                    for (int j = 1; j <= E; ++j) expected[i][j] += w * pc * u[i] * u[j];
            }
    }
    DMatrix JJ = matrix(1, E, 1, E);
    double u = 0.0;
    accumulate_information(s, families, shared_table(), fit, JJ, &u);
    for (int i = 1; i <= E; ++i)
        for (int j = 1; j <= E; ++j)
            // Different summation orders of a few dozen terms of size <= 100: 1e-12 relative.
            EXPECT_NEAR(JJ[i][j], expected[i][j], 1e-12 * (1.0 + std::fabs(expected[i][j]))) << i << "," << j;
}

TEST(Information, WithoutCovariatesTheWaldPartIsEmpty) {
    TestRng rng(7);
    const Settings s = make_settings(0, 3, 0);
    std::vector<famdat> fams;
    for (long f = 1; f <= 30; ++f) fams.push_back(random_family(rng, f, 0, 3, 6));
    FamilyTable families = make_table(std::move(fams));
    const FitResult fit = state_at(s, families, {0.1, -0.2});
    const InformationResult info = information_step(s, families, shared_table(), fit);
    EXPECT_EQ(info.JJ.row_hi(), 3);
    EXPECT_EQ(info.waldstat, 0.0);
    EXPECT_EQ(info.wsdf, 0);
    // The adjustment is JbvgT subJI Jbvg over the two prevalence scores alone.
    const double adj = info.JbvgT[1][1] * (info.subJI[1][1] * info.Jbvg[1][1] + info.subJI[1][2] * info.Jbvg[2][1]) +
                       info.JbvgT[1][2] * (info.subJI[2][1] * info.Jbvg[1][1] + info.subJI[2][2] * info.Jbvg[2][1]);
    EXPECT_NEAR(info.Jutil4[1][1], adj, 1e-12 * std::fabs(adj) + 1e-15);
}

TEST(Information, ChildrenWithoutWeightAddNothingToTheScoreButStillToTheMatrix) {
    const Settings s = make_settings(0, 3, 0);
    std::vector<famdat> fams;
    fams.push_back(make_family(1, 0, {{-1, 1, 1.0, {}}, {1, 1, 1.0, {}}, {2, 0, 1.0, {}}, {1, 0, 1.0, {}}}));
    set_parent_pairs(fams[0]);
    FamilyTable families = make_table(std::move(fams));
    const FitResult fit = state_at(s, families, {0.2, 0.1});  // zeroes the missing-phenotype weights
    DMatrix JJ = matrix(1, 3, 1, 3);
    double u = 0.0;
    accumulate_information(s, families, shared_table(), fit, JJ, &u);
    EXPECT_EQ(u, 0.0);
    EXPECT_EQ(JJ[1][1], 0.0);
    EXPECT_GT(JJ[2][2], 0.0);
    EXPECT_GT(JJ[3][3], 0.0);
}

TEST(WaldDegreesOfFreedom, CountsCoefficientsAboveAMillionthOfTheLargestInformation) {
    DMatrix subJ = matrix(1, 5, 1, 5);
    subJ.fill(0.0);
    EXPECT_EQ(wald_degrees_of_freedom(subJ, 3), 3);  // all zero: 0 >= 1e-6 * 0 counts every one
    subJ[1][1] = 2.0;
    subJ[2][2] = 1.9e-6;  // below 1e-6 * 2: left out, while it still enters the statistic
    subJ[3][3] = 2.0e-6;
    EXPECT_EQ(wald_degrees_of_freedom(subJ, 3), 2);
    DVector c = test_support::make_vector({1.0, 1.0, 0.0, 9.0, 9.0});
    EXPECT_EQ(wald_statistic(subJ, c, 3), 2.0 + 1.9e-6);
}

// Both parents typed, no covariates, additive status model, weights 1: the non-founders
// statistic is the classical transmission count (b - c) / sqrt(b + c), b and c the
// transmissions of allele 2 and of allele 1 from heterozygous parents.
TEST(NonFoundersStatistic, EqualsTheTransmissionDisequilibriumCount) {
    TestRng rng(99);
    const Settings s = make_settings(0, 3, 0);
    const double gamma[3] = {0.3, 0.5, 0.2};
    std::vector<famdat> fams;
    long b = 0;
    long c = 0;
    for (long f = 1; f <= 300; ++f) {
        const int fg = rng.genotype(gamma);
        const int mg = rng.genotype(gamma);
        const int nchild = rng.between(1, 4);
        std::vector<int> genos = {fg, mg};
        for (int j = 0; j < nchild; ++j) {
            // Over-transmit allele 2 a little so the statistic is not near 0.
            const int a = fg == 1 ? (rng.uniform() < 0.6 ? 1 : 0) : fg / 2;
            const int d = mg == 1 ? (rng.uniform() < 0.6 ? 1 : 0) : mg / 2;
            genos.push_back(a + d);
            if (fg == 1) (a == 1 ? b : c) += 1;
            if (mg == 1) (d == 1 ? b : c) += 1;
        }
        std::vector<test_support::Member> members;
        for (int g : genos) members.push_back({g, 2, 1.0, {}});
        fams.push_back(make_family(f, 0, members));
    }
    // The counts above follow the alleles drawn; a child of two heterozygotes with genotype
    // 1 counts one of each either way, so they are what the genotypes alone determine.
    FamilyTable families = make_table(std::move(fams));
    const FitResult fit = fit_model(s, families);
    const InformationResult info = information_step(s, families, shared_table(), fit);
    const double expected = static_cast<double>(b - c) / std::sqrt(static_cast<double>(b + c));
    EXPECT_NEAR(non_founders_statistic(info).statistic, expected, 1e-9);
}

}  // namespace
}  // namespace quillon
