// The test over uncertain genotypes on hard calls: the autosomal test's maximum on any
// families, and on complete families its standard errors too.

#include "method/probability_tdt.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "method/marker_test.hpp"
#include "model/analysis.hpp"
#include "support/families.hpp"

namespace quillon {
namespace {

using namespace test_support;

// Vectors of 0 and 1 from the hard calls, (1,1,1) where untyped.
void hard_call_likelihoods(FamilyTable& t) {
    for (long i = 1; i <= t.nfam; ++i) {
        famdat& fam = t[i];
        fam.glik.assign(static_cast<std::size_t>(fam.ninfam) + 1, {1, 1, 1});
        for (int j = 1; j <= fam.ninfam; ++j)
            if (fam.famgeno[j] >= 0) fam.glik[static_cast<std::size_t>(j)] = {0, 0, 0}, fam.glik[static_cast<std::size_t>(j)][static_cast<std::size_t>(fam.famgeno[j])] = 1;
    }
}

TEST(ProbabilityTdt, OnHardCallsReachesTheAutosomalMaximum) {
    TestRng rng(303);
    for (int cmodel = kNone; cmodel <= kAdditive; ++cmodel)
        for (const bool complete : {false, true}) {
            SCOPED_TRACE("covariate model " + std::to_string(cmodel) + (complete ? ", complete families" : ""));
            const Settings s = newton_settings(make_settings(2, kAdditive, cmodel));
            const TestOptions o{.intercept = true, .robust = true, .probabilities = true};
            const DVector truth = make_vector(cmodel == kNone ? std::vector<double>{0.1, 0.3, 0.2, 0.5, 0.2, -0.4}
                                                              : std::vector<double>{0.2, 0.4, 0.2, -0.4});
            FamilyTable families;
            if (complete) {
                std::vector<famdat> v;
                for (int i = 1; i <= 150; ++i) v.push_back(draw_family(rng, i, s, truth, 3 + (i % 3 == 0)));
                families = make_table(std::move(v));
            } else {
                families = random_table(rng, 80, 2, 3, 6);
            }
            hard_call_likelihoods(families);
            const TestSelector selector(s, o);
            const MarkerTest* test = selector.select(ChromosomeClass::kAutosome);
            ASSERT_TRUE(std::holds_alternative<ProbabilityTdt>(*test));
            const Schema schema = selector.schema({"INTERCEPT", "X1"});
            const LikelihoodTdt hard(s, o);
            ASSERT_EQ(hard.schema({"INTERCEPT", "X1"}).size(), schema.size());  // one header serves both
            const GenotypeTable table = build_genotype_table(largest_family(families));
            const MarkerResult p = run_test(*test, families, table);
            const MarkerResult g = hard.run(families, table);
            ASSERT_FALSE(p.failed()) << p.fit.reason();
            ASSERT_EQ(p.fit.outcome, FitOutcome::kConverged);
            ASSERT_EQ(g.fit.outcome, FitOutcome::kConverged);
            for (std::size_t c = 0; c < schema.size(); ++c) {
                const std::string& name = schema[c].name;
                const ColumnKind kind = schema[c].kind;
                const double a = p.values[c], b = g.values[c];
                if (name.starts_with("NFS")) {
                    EXPECT_TRUE(std::isnan(a)) << name;
                    continue;
                }
                const bool maximum = kind == ColumnKind::kPrevalence || kind == ColumnKind::kEstimate ||
                                     kind == ColumnKind::kLogLikelihood || kind == ColumnKind::kMarginalEstimate ||
                                     name.starts_with("LRT");
                // The information enters everything else: equal where each child's genotype
                // and its parents' are observed (the coefficients' block is then the expected
                // information), except the prevalences' own (observed against enumerated).
                // On complete families the prevalences' observed information is the
                // multinomial one of 2 nfam parents: Var(gamma_k) = gamma_k (1 - gamma_k) / 2 nfam.
                if (complete && name.starts_with("PREV") && name.ends_with("_SE")) {
                    const double gk = p.values[c - 1], parents = 2.0 * static_cast<double>(families.nfam);
                    EXPECT_NEAR(a, std::sqrt(gk * (1 - gk) / parents), 1e-6 * a) << name;
                }
                const bool information = complete && !name.starts_with("PREV");
                if (maximum) {
                    EXPECT_NEAR(a, b, 1e-9 * std::fabs(b) + (name.starts_with("LRT") ? 1e-7 : 0.0)) << name;
                } else if (information) {
                    EXPECT_NEAR(a, b, 1e-6 * std::fabs(b) + 1e-12) << name;
                }
            }
        }
}

}  // namespace
}  // namespace quillon
