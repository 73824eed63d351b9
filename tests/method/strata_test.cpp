// Prevalences per stratum: the likelihood against an explicit sum, its derivatives against
// central differences, the enumerated information against the unstratified one of each
// stratum's families, and every parent typed, where the strata change no coefficient.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "genetics/patterns.hpp"
#include "method/likelihood_tdt.hpp"
#include "model/analysis.hpp"
#include "model/gradient.hpp"
#include "model/information.hpp"
#include "model/likelihood.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "support/families.hpp"
#include "support/finite_differences.hpp"

namespace quillon {
namespace {

using namespace test_support;

Settings stratified(Settings s, long strata) {
    s.nstrata = strata;
    derive_model_codings(s);
    return s;
}

// A father untyped (-1) in stratum 1 next to typed trios of both strata; additive, one covariate.
TEST(Strata, LikelihoodIsTheExplicitSumOverEachFamilysStratum) {
    const Settings s = stratified(make_settings(1, kAdditive, kAdditive), 2);
    std::vector<famdat> v;
    v.push_back(make_family(1, 1, {{1, 1, 1, {0.5}}, {0, 1, 1, {0}}, {1, 2, 1, {0.5}}}));
    v.push_back(make_family(2, 1, {{-1, 1, 1, {0}}, {1, 1, 1, {0}}, {2, 2, 1, {-1.0}}}));
    v.push_back(make_family(3, 1, {{1, 1, 1, {0}}, {1, 1, 1, {0}}, {0, 2, 1, {2.0}}, {1, 2, 1, {0.3}}}));
    v[1].stratum = v[2].stratum = 1;
    const FamilyTable families = make_table(std::move(v));
    const double beta = 0.4, eta[4] = {0.2, -0.7, -0.3, 0.1};
    double a[3], b[3];  // strata 0 and 1
    prevalences_from(eta[0], eta[1], a);
    prevalences_from(eta[2], eta[3], b);
    // T(g | f, m) nu_g / sum_h T(h | f, m) nu_h, nu = (1, e^(beta x), e^(2 beta x)).
    const auto child = [&](int f, int m, int g, double x) {
        return phgz(f, m, g, std::exp(beta * x), std::exp(2 * beta * x));
    };
    const double l1 = a[1] * a[0] * child(1, 0, 1, 0.5);
    const double l2 = b[1] * b[1] * child(1, 1, 2, -1.0) + b[2] * b[1] * child(2, 1, 2, -1.0);
    const double l3 = b[1] * b[1] * child(1, 1, 0, 2.0) * child(1, 1, 1, 0.3);
    const double expected = -(std::log(l1) + std::log(l2) + std::log(l3));
    const DVector theta = make_vector({beta, eta[0], eta[1], eta[2], eta[3]});
    EXPECT_NEAR(Likelihood(s, families)(theta), expected, 1e-14 * expected);
}

// Families drawn at random (parents untyped at random) in three strata, and each stratum's apart.
FamilyTable three_strata(std::uint64_t seed, long ncov, std::vector<FamilyTable>& apart) {
    TestRng rng(seed), again(seed);
    FamilyTable families = random_table(rng, 36, ncov, 3, 6), copy = random_table(again, 36, ncov, 3, 6);
    std::vector<std::vector<famdat>> parts(3);
    for (long i = 1; i <= families.nfam; ++i) {
        families[i].stratum = static_cast<int>(i % 3);
        parts[static_cast<std::size_t>(i % 3)].push_back(std::move(copy[i]));
    }
    for (auto& p : parts) apart.push_back(make_table(std::move(p)));
    return families;
}

TEST(Strata, DerivativesAreCentralDifferencesAndTheInformationSumsTheStrata) {
    for (int cmodel = kNone; cmodel <= kAdditive; cmodel += kAdditive) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        const Settings one = make_settings(2, kAdditive, cmodel), s = stratified(one, 3);
        std::vector<FamilyTable> apart;
        const FamilyTable families = three_strata(100 + static_cast<std::uint64_t>(cmodel), 2, apart);
        TestRng rng(2501);
        DVector theta = random_theta(rng, s, 0.5);
        const LikelihoodDerivatives objective(s, families);
        Derivatives at;
        objective.evaluate(theta, at);
        expect_derivatives(objective, theta, at, 1e-5);

        // JJ of the strata: each stratum's families alone, unstratified at its own
        // prevalences, placed in the status, coefficient and that stratum's rows.
        const GenotypeTable table = build_genotype_table(6);
        const FitResult fit = state_at(s, families, theta);
        const long n = s.npars + 1, m = coefficients(s) + 1;
        DMatrix JJ = matrix(1, n, 1, n), sum = matrix(1, n, 1, n);
        JJ.fill(0.0), sum.fill(0.0);
        double u = 0.0, u_sum = 0.0;
        accumulate_information(s, families, table, fit, JJ, &u);
        for (long k = 0; k < 3; ++k) {
            DVector t = vector(1, static_cast<int>(one.npars));
            for (long i = 1; i <= one.npars; ++i) t[i] = theta[i <= m - 1 ? i : i + 2 * k];
            const FitResult part = state_at(one, apart[static_cast<std::size_t>(k)], t);
            DMatrix J = matrix(1, m + 2, 1, m + 2);
            J.fill(0.0);
            accumulate_information(one, apart[static_cast<std::size_t>(k)], table, part, J, &u_sum);
            const auto at_k = [&](long i) { return i <= m ? i : i + 2 * k; };
            for (long i = 1; i <= m + 2; ++i)
                for (long j = 1; j <= m + 2; ++j) sum[at_k(i)][at_k(j)] += J[i][j];
        }
        EXPECT_NEAR(u, u_sum, 1e-12 * (1 + std::fabs(u)));
        for (long i = 1; i <= n; ++i)
            for (long j = 1; j <= n; ++j) EXPECT_NEAR(JJ[i][j], sum[i][j], 1e-11 * (1 + std::fabs(sum[i][j]))) << i << "," << j;
    }
}

// Every parent typed: the likelihood is the parents' prior times the children's transmissions,
// so the strata move only the prevalences.
TEST(Strata, WithEveryParentTypedChangeNoCoefficientSeOrStatistic) {
    const Settings one = newton_settings(make_settings(3, kAdditive, kAdditive)), s = stratified(one, 2);
    const DVector theta = make_vector({0.2, 0.3, -0.4, 0.1, -1.0});
    const auto draw = [&](bool strata) {
        TestRng rng(7);
        std::vector<famdat> v;
        for (long f = 1; f <= 120; ++f) v.push_back(draw_family(rng, f, one, theta, rng.between(3, 5)));
        for (famdat& f : v) {
            f.weight[3] = 0.5 + rng.uniform();  // the non-founders statistic defined
            f.stratum = strata && (f.famgeno[1] == 2 || f.famid % 2 == 0);
        }
        return make_table(std::move(v));
    };
    FamilyTable pooled = draw(false), split = draw(true);
    const GenotypeTable table = build_genotype_table(5);
    const LikelihoodTdt a(one, {.intercept = true, .robust = true, .score = true}),
        b(s, {.intercept = true, .robust = true, .score = true, .strata = {"P", "Q"}});
    const MarkerResult ra = a.run(pooled, table), rb = b.run(split, table);
    const Schema sa = a.schema({"I", "X", "Y"}), sb = b.schema({"I", "X", "Y"});
    ASSERT_EQ(sb.size(), sa.size() + 5);
    int compared = 0;
    for (std::size_t c = 5; c < sa.size(); ++c) {
        if (sa[c].name == "NEG_LOGLIK") continue;
        const double x = ra.values[c], y = rb.values[column_index(sb, sa[c].name)];
        EXPECT_EQ(std::isnan(x), std::isnan(y)) << sa[c].name;
        if (std::isnan(x)) continue;
        EXPECT_NEAR(y, x, 1e-9 * std::fabs(x)) << sa[c].name;
        compared += std::isfinite(x);
    }
    EXPECT_GE(compared, 40);
}

// Two strata far apart in their prevalences, half the fathers untyped, 1600 families of four:
// each stratum's prevalences and the shared coefficients within four standard errors of the truth.
TEST(Strata, SimulatedStudyRecoversEachStratumsPrevalences) {
    const Settings one = newton_settings(make_settings(2, kAdditive, kAdditive)), s = stratified(one, 2);
    const DVector truth[2] = {make_vector({0.3, 0.5, -1.2, -0.9}), make_vector({0.3, 0.5, 0.8, 0.2})};
    TestRng rng(11);
    std::vector<famdat> v;
    for (long f = 1; f <= 1600; ++f) {
        v.push_back(draw_family(rng, f, one, truth[f % 2], 4));
        v.back().stratum = static_cast<int>(f % 2);
        if (rng.uniform() < 0.5) v.back().famgeno[1] = -1, set_parent_pairs(v.back());
    }
    const Analysis a = analyse(s, make_table(std::move(v)), build_genotype_table(4));
    const auto se = [&](long i) { return std::sqrt(a.info.subJI[i][i]); };
    for (long i = 1; i <= 2; ++i) EXPECT_NEAR(a.fit.ogpars[i], truth[0][i], 4 * se(i)) << i;
    for (long k = 0; k < 2; ++k) {
        double g[3];
        prevalences_from(truth[k][3], truth[k][4], g);
        for (long j = 1; j <= 2; ++j)
            EXPECT_NEAR(a.fit.strata_gammma[static_cast<std::size_t>(3 * k + j)], g[j], 4 * se(prevalence_slot(s, k) + j - 1));
    }
}

}  // namespace
}  // namespace quillon
