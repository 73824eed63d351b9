// The likelihood TDT's columns for each covariate model, and a result that fills them.

#include "method/likelihood_tdt.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "model/analysis.hpp"
#include "model/oracles.hpp"
#include "support/families.hpp"
#include "model/prevalence.hpp"
#include "support/studies.hpp"
#include "support/finite_differences.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(LikelihoodTdt, NamesItsColumnsByCovariateModelAndFillsEveryOne) {
    const std::string start = "PREV0 PREV1 PREV1_SE PREV2 PREV2_SE ";
    const std::string end = "NEG_LOGLIK WALD WALD_DF WALD_P WALD_LOG10P NFS NFS_DENOM NFS_P NFS_LOG10P ";
    const auto coefs = [](const std::string& p) {
        std::string t;
        for (const char* c : {"INTERCEPT", "X1"})
            t += p + c + " " + p + c + "_SE " + p + c + "_P " + p + c + "_LOG10P " + p + c + "_RSE ";
        return t;
    };
    const std::string tests = "GXE_WALD GXE_DF GXE_P GXE_LOG10P LRT_JOINT LRT_JOINT_DF LRT_JOINT_P LRT_JOINT_LOG10P "
                              "LRT_GXE LRT_GXE_DF LRT_GXE_P LRT_GXE_LOG10P ";
    const std::string robust = "WALD_ROBUST WALD_ROBUST_DF WALD_ROBUST_P WALD_ROBUST_LOG10P GXE_WALD_ROBUST "
                               "GXE_WALD_ROBUST_DF GXE_WALD_ROBUST_P GXE_WALD_ROBUST_LOG10P ";
    const std::string none = coefs("B1_") + coefs("B2_") + end +
                             "COV_B1_INTERCEPT_B1_X1 COV_B1_INTERCEPT_B2_INTERCEPT COV_B1_INTERCEPT_B2_X1 "
                             "COV_B1_X1_B2_INTERCEPT COV_B1_X1_B2_X1 COV_B2_INTERCEPT_B2_X1 " + tests +
                             "MARG_B1 MARG_B1_SE MARG_B1_P MARG_B1_LOG10P MARG_B2 MARG_B2_SE MARG_B2_P MARG_B2_LOG10P ";
    const std::string beta = coefs("BETA_") + end + "COV_BETA_INTERCEPT_BETA_X1 " + tests +
                             "MARG_BETA MARG_SE MARG_P MARG_LOG10P ";
    TestRng rng(11);
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        const LikelihoodTdt test(make_settings(2, kDominant, cmodel), {.intercept = true, .robust = true});
        const Schema schema = test.schema({"INTERCEPT", "X1"});
        std::string names;
        for (const Column& c : schema) names += c.name + " ";
        EXPECT_EQ(names, start + (cmodel == kNone ? none : beta) + robust);
        for (std::size_t c = 0; c + 1 < schema.size(); ++c)  // the report pairs each estimate with the next column
            EXPECT_TRUE(schema[c].kind != ColumnKind::kEstimate || schema[c + 1].kind == ColumnKind::kStandardError);

        FamilyTable families = random_table(rng, 40, 2, 3, 6);
        const MarkerResult r = test.run(families, build_genotype_table(largest_family(families)));
        ASSERT_FALSE(r.failed()) << r.fit.reason();
        ASSERT_EQ(r.values.size(), schema.size());
        const long np = test.settings().npars;
        EXPECT_EQ(r.values[column_index(schema, "PREV2_SE")], std::sqrt(r.covariance[np][np]));
        EXPECT_EQ(r.values[column_index(schema, "WALD_DF")], np - 2.0);  // every coefficient counts
        const auto value = [&](const std::string& name) { return r.values[column_index(schema, name)]; };
        // One interaction coefficient: GXE_WALD is its z squared; the covariance is subJI's.
        const std::string x1 = cmodel == kNone ? "B1_X1" : "BETA_X1";
        if (cmodel != kNone) {
            EXPECT_NEAR(value("GXE_WALD"), std::pow(value(x1) / value(x1 + "_SE"), 2), 1e-10 * value("GXE_WALD"));
        }
        EXPECT_EQ(value("COV_" + (cmodel == kNone ? std::string("B1_INTERCEPT_") : "BETA_INTERCEPT_") + x1),
                  r.covariance[1][2]);
        EXPECT_EQ(value("GXE_DF"), cmodel == kNone ? 2.0 : 1.0);
        EXPECT_EQ(value("LRT_JOINT_DF"), np - 2.0);
    }
}

TEST(LikelihoodTdt, RobustStandardErrorsAreTheSandwichOfFamilyScores) {
    // Untyped parents couple the coefficients to the prevalences.  B from each family's score
    // by central differences of the literal log-likelihood in (coefficients, gamma1, gamma2),
    // the coordinates of the information; the sandwich is subJI B subJI.
    FamilyTable families = simulated("--families 30 --max-size 5 --untyped-parents 0.3 --seed 8" + effects(kAdditive));
    const Settings s = newton_settings(make_settings(2, kAdditive, kAdditive));
    const LikelihoodTdt test(s, {.intercept = true, .robust = true});
    const Schema schema = test.schema({"I", "X"});
    const GenotypeTable table = build_genotype_table(largest_family(families));
    const Analysis a = analyse(s, families, table);
    const MarkerResult r = test.run(families, table);
    const int n = static_cast<int>(s.npars);
    DVector phi = vector(1, n);
    for (int i = 1; i <= n - 2; ++i) phi[i] = a.fit.ogpars[i];
    phi[n - 1] = a.fit.gammma[1];
    phi[n] = a.fit.gammma[2];
    std::vector<double> B(static_cast<std::size_t>(n * n), 0.0);
    for (long f = 1; f <= families.nfam; ++f) {
        FamilyTable one;
        one.nfam = 1;
        one.fam = IndexVector<famdat>(1, 1);
        std::swap(one.fam[1], families.fam[f]);
        const auto loglik_at = [&](const DVector& p) {
            DVector theta = vector(1, n);
            for (int i = 1; i <= n - 2; ++i) theta[i] = p[i];
            theta[n - 1] = stick_parameter(p[n - 1]);
            theta[n] = stick_parameter(p[n] / (1.0 - p[n - 1]));
            return loglik(s, one, theta);
        };
        std::vector<double> score;
        for (long i = 1; i <= n; ++i) score.push_back(central(loglik_at, phi, i, 1e-6));
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) B[static_cast<std::size_t>(i * n + j)] += score[i] * score[j];
        std::swap(one.fam[1], families.fam[f]);
    }
    for (const auto& [k, name] : {std::pair{1, "BETA_I_RSE"}, {2, "BETA_X_RSE"}}) {
        double v = 0.0;
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j) v += a.info.subJI[k][i] * B[static_cast<std::size_t>((i - 1) * n + j - 1)] * a.info.subJI[j][k];
        EXPECT_NEAR(r.values[column_index(schema, name)], std::sqrt(v), 1e-5 * std::sqrt(v)) << name;
    }
}

TEST(LikelihoodTdt, RobustStandardErrorsAgreeWithTheModelsOnTrios) {
    // One affected child per family: transmissions are independent and the sandwich estimates
    // the model's variance.  Mean ratio over 1000 markers.
    const Settings s = newton_settings(make_settings(1, kAdditive, kAdditive));
    const LikelihoodTdt test(s, {.intercept = true, .robust = true});
    const Schema schema = test.schema({"I"});
    double sum = 0.0;
    for (int seed = 1; seed <= 1000; ++seed) {
        FamilyTable families = simulated("--families 60 --max-size 3 --ncov 1 --intercept --model 3 --beta 0.3 --seed " +
                                         std::to_string(seed));
        const MarkerResult r = test.run(families, build_genotype_table(3));
        ASSERT_FALSE(r.failed());
        sum += r.values[column_index(schema, "BETA_I_RSE")] / r.values[column_index(schema, "BETA_I_SE")];
    }
    EXPECT_NEAR(sum / 1000, 1.0, 0.03);
}

}  // namespace
}  // namespace quillon
