// The likelihood TDT's columns for each covariate model, and a result that fills them.

#include "method/likelihood_tdt.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "model/analysis.hpp"
#include "support/families.hpp"

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
        if (cmodel != kNone)
            EXPECT_NEAR(value("GXE_WALD"), std::pow(value(x1) / value(x1 + "_SE"), 2), 1e-10 * value("GXE_WALD"));
        EXPECT_EQ(value("COV_" + (cmodel == kNone ? std::string("B1_INTERCEPT_") : "BETA_INTERCEPT_") + x1),
                  r.covariance[1][2]);
        EXPECT_EQ(value("GXE_DF"), cmodel == kNone ? 2.0 : 1.0);
        EXPECT_EQ(value("LRT_JOINT_DF"), np - 2.0);
    }
}

}  // namespace
}  // namespace quillon
