// The X-linked test: the non-founders statistic against the X-linked TDT counted by hand,
// the scan table's columns with and without X, and simulated null and effect markers (with
// the robust standard error near the model's where the model holds).

#include "method/x_linked_tdt.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "method/marker_test.hpp"
#include "support/x_families.hpp"

namespace quillon {
namespace {

using namespace test_support;

double value(const XLinkedTdt& t, const MarkerResult& r, const char* name) {
    return r.values[column_index(t.schema({}), name)];
}

TEST(XLinkedTdt, NonFoundersStatisticIsTheXLinkedTdtOnTrios) {
    // No covariates, status Additive, both parents typed: NFS^2 is (T - U)^2 / (T + U) with a
    // son's allele at level 1, and with level 2 the sons' transmissions count twice:
    // (2 Ts + Td - 2 Us - Ud)^2 / (4 (Ts + Us) + Td + Ud).  Only heterozygous mothers transmit.
    TestRng rng(11);
    const double gamma[3] = {0.3, 0.5, 0.2};
    std::vector<famdat> fams;
    for (int i = 1; i <= 120; ++i) fams.push_back(draw_x_family(rng, i, XModel{}, gamma, 0.35, 0.0, 3, 0.0, 0));
    FamilyTable families = make_table(std::move(fams));
    double ts = 0, us = 0, td = 0, ud = 0, fathers = 0, mothers[3] = {0, 0, 0};
    for (long i = 1; i <= families.nfam; ++i) {
        const famdat& f = families[i];
        fathers += f.famgeno[1];
        mothers[f.famgeno[2]] += 1;
        if (f.famgeno[2] != 1) continue;
        for (int j = 3; j <= f.ninfam; ++j) {
            const int maternal = f.sex[j] == 1 ? f.famgeno[j] : f.famgeno[j] - f.famgeno[1];
            (f.sex[j] == 1 ? (maternal ? ts : us) : (maternal ? td : ud)) += 1;
        }
    }
    ASSERT_GT(ts + td, 10);
    const double t = ts + td, u = us + ud;
    const double expected[3] = {0, (t - u) * (t - u) / (t + u),
                                std::pow(2 * ts + td - 2 * us - ud, 2) / (4 * (ts + us) + td + ud)};
    for (int coding = 1; coding <= 2; ++coding) {
        for (bool tie : {false, true}) {
            SCOPED_TRACE(std::to_string(coding) + (tie ? " tied" : ""));
            const XLinkedTdt test(newton_settings(make_settings(0, kAdditive, kNone)),
                                  TestOptions{.xchr_model = coding, .xchr_tie_freq = tie});
            const MarkerResult r = test.run(families, GenotypeTable{});
            ASSERT_FALSE(r.failed());
            EXPECT_NEAR(std::pow(value(test, r, "NFS"), 2), expected[coding], 1e-6 * expected[coding]);
            EXPECT_NEAR(value(test, r, "PREV1"), mothers[1] / 120, tie ? 0.05 : 1e-7);
            if (!tie) {
                EXPECT_NEAR(value(test, r, "PREV_FATHER_A1"), fathers / 120, 1e-7);
            }
            EXPECT_EQ(std::isnan(value(test, r, "PREV_FATHER_A1_SE")), tie);
        }
    }
}

TEST(XLinkedTdt, ScanTableHasTheXColumnsOnlyWithXMarkers) {
    const Settings s = make_settings(2, kAdditive, kAdditive);
    const TestSelector selector(s, TestOptions{.intercept = true});
    const std::vector<std::string> covs = {"I", "E"};
    const Schema autosomal = LikelihoodTdt(s, TestOptions{.intercept = true}).schema(covs);
    const Schema plain = selector.schema(covs), both = selector.schema(covs, true);
    MarkerResult r;  // an autosomal result placed in the table with X: NA in the X columns
    for (std::size_t c = 0; c < autosomal.size(); ++c) r.values.push_back(static_cast<double>(c));
    const std::vector<double> placed = place_values(both, autosomal, r);
    ASSERT_EQ(plain.size(), autosomal.size());
    ASSERT_EQ(both.size(), autosomal.size() + 2);
    ASSERT_EQ(placed.size(), both.size());
    for (std::size_t c = 0; c < autosomal.size(); ++c) {
        EXPECT_EQ(plain[c].name, autosomal[c].name);
        EXPECT_EQ(both[c < 5 ? c : c + 2].name, autosomal[c].name);
        EXPECT_EQ(placed[c < 5 ? c : c + 2], static_cast<double>(c));
    }
    EXPECT_EQ(both[5].name + both[6].name, "PREV_FATHER_A1PREV_FATHER_A1_SE");
    EXPECT_TRUE(std::isnan(placed[5]) && std::isnan(placed[6]));
    EXPECT_TRUE(std::holds_alternative<XLinkedTdt>(*selector.select(ChromosomeClass::kX)));
    EXPECT_FALSE(selector.x_sons_uninformative());
    EXPECT_TRUE(TestSelector(make_settings(2, kRecessive, kAdditive), TestOptions{.xchr_model = 1}).x_sons_uninformative());
}

TEST(XLinkedTdt, NullPValuesAreUniformAndAnEffectIsFound) {
    // Families with untyped parents, sons and daughters; covariate 2 acts through genotype.
    TestRng rng(2027);
    const double gamma[3] = {0.36, 0.48, 0.16};
    for (int coding = 1; coding <= 2; ++coding) {
        SCOPED_TRACE(coding);
        const XLinkedTdt test(newton_settings(make_settings(2, kAdditive, kAdditive)),
                              TestOptions{.intercept = true, .robust = true, .xchr_model = coding});
        const Schema schema = test.schema({"I", "E"});
        const std::size_t column = column_index(schema, "GXE_P");
        std::vector<double> null_p;
        for (int rep = 0; rep < 60; ++rep) {
            std::vector<famdat> fams;
            for (int i = 1; i <= 60; ++i) fams.push_back(draw_x_family(rng, i, XModel{coding}, gamma, 0.4, 0.0, 3, 0.2, 2));
            FamilyTable families = make_table(std::move(fams));
            const MarkerResult r = test.run(families, GenotypeTable{});
            ASSERT_FALSE(r.failed());
            null_p.push_back(r.values[column]);
        }
        std::sort(null_p.begin(), null_p.end());
        double ks = 0;  // Kolmogorov-Smirnov distance to the uniform
        for (std::size_t i = 0; i < null_p.size(); ++i)
            ks = std::max({ks, std::fabs(null_p[i] - static_cast<double>(i) / 60), std::fabs(null_p[i] - (i + 1.0) / 60)});
        EXPECT_LT(ks, 0.21);  // the 1% critical value for 60 draws
        std::vector<famdat> fams;
        for (int i = 1; i <= 250; ++i) fams.push_back(draw_x_family(rng, i, XModel{coding}, gamma, 0.4, 0.8, 3, 0.2, 2));
        FamilyTable families = make_table(std::move(fams));
        const MarkerResult r = test.run(families, GenotypeTable{});
        EXPECT_LT(r.values[column], 1e-3);
        const double se = r.values[column_index(schema, "BETA_E_SE")];  // the model holds: robust SE near it
        EXPECT_NEAR(r.values[column_index(schema, "BETA_E_RSE")], se, 0.25 * se);
    }
}

}  // namespace
}  // namespace quillon
