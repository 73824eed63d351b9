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
    const std::string end = "NEG_LOGLIK WALD WALD_DF WALD_P NFS NFS_DENOM NFS_P ";
    const std::string none = "B1_INTERCEPT B1_INTERCEPT_SE B1_X1 B1_X1_SE B2_INTERCEPT B2_INTERCEPT_SE B2_X1 B2_X1_SE ";
    const std::string beta = "BETA_INTERCEPT BETA_INTERCEPT_SE BETA_X1 BETA_X1_SE ";
    TestRng rng(11);
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        const LikelihoodTdt test(make_settings(2, kDominant, cmodel));
        const Schema schema = test.schema({"INTERCEPT", "X1"});
        std::string names;
        for (const Column& c : schema) names += c.name + " ";
        EXPECT_EQ(names, start + (cmodel == kNone ? none : beta) + end);
        for (std::size_t c = 0; c + 1 < schema.size(); ++c)  // the report pairs each estimate with the next column
            EXPECT_TRUE(schema[c].kind != ColumnKind::kEstimate || schema[c + 1].kind == ColumnKind::kStandardError);

        FamilyTable families = random_table(rng, 40, 2, 3, 6);
        const MarkerResult r = test.run(families, build_genotype_table(largest_family(families)));
        ASSERT_FALSE(r.failed()) << r.fit.reason();
        ASSERT_EQ(r.values.size(), schema.size());
        const long np = test.settings().npars;
        EXPECT_EQ(r.values[column_index(schema, "PREV2_SE")], std::sqrt(r.covariance[np][np]));
        EXPECT_EQ(r.values[column_index(schema, "WALD_DF")], np - 2.0);  // every coefficient counts
    }
}

}  // namespace
}  // namespace quillon
