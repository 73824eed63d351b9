#include "simulate/simulate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "quillon/pedigree_input.hpp"
#include "quillon/settings.hpp"
#include "quillon/transmission.hpp"

namespace fs = std::filesystem;
using quillon::simulate_main;

namespace {

int run(std::vector<std::string> args) {
    args.insert(args.begin(), "quillon-simulate");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return simulate_main(static_cast<int>(argv.size()), argv.data());
}

// A fresh folder per use; the caller removes it.
fs::path scratch(const std::string& name) {
    const fs::path p = fs::temp_directory_path() / ("quillon-simulate-test-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(p);
    return p;
}

std::string slurp(const fs::path& p) {
    std::stringstream s;
    s << std::ifstream(p).rdbuf();
    return s.str();
}

// The study in `dir` read by the program's own reader, which runs every data check and
// throws ProgramExit when one fails.
quillon::FamilyTable read_study(const fs::path& dir, long ncov) {
    quillon::Settings s;
    s.ncov = ncov;
    s.smodeltype = quillon::kAdditive;
    s.cmodeltype = quillon::kNone;
    quillon::derive_model_codings(s);
    return quillon::read_families(s, dir.string());
}

}  // namespace

TEST(SimulateOptions, ParsedValuesAndEveryInvalidOneExitsWithStatusTwoAndOneLine) {
    const char* argv[] = {"q", "--families=12", "--ncov", "2", "--intercept", "--model", "additive", "--beta",
                          "0.5,-1e-1", "--prevalences", "0.3,0.2", "--weights", "random", "--seed", "-7"};
    quillon::SimulateOptions o;
    std::string err;
    ASSERT_TRUE(quillon::parse_simulate_options(15, argv, o, err)) << err;
    EXPECT_TRUE(o.families == 12 && o.intercept && o.random_weights && o.cmodeltype == 3 && o.seed == -7);
    quillon::DVector b1, b2;
    quillon::expand_coefficients(o, b1, b2);
    EXPECT_EQ(b1[2], -0.1);
    EXPECT_EQ(b2[2], -0.2);  // additive: b2 = 2 beta

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--families", "0"}, {"--families"}, {"--max-size", "11"}, {"--min-size", "5", "--max-size", "4"},
             {"--missing-phenotype", "nan"}, {"--untyped-father", "0.6", "--untyped-parents", "0.5"}, {"--intercept"},
             {"--ncov", "2", "--beta", "1"}, {"--ncov", "1", "--b1", "1", "--model", "dominant"},
             {"--ncov", "1", "--beta", "1"}, {"--prevalences", "0.7,0.4"}, {"--model", "4"}, {"--weights", "two"},
             {"--seed", "2147483648"}, {"--colour", "red"}, {"families"}, {"--help=yes"}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(run(args), 2) << args[0];
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(message.rfind("quillon-simulate: ", 0), 0u) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("--untyped-parents"), std::string::npos);
}

TEST(SimulateDraws, ChildGenotypeIsAlwaysPossible) {
    for (int f = 0; f < 3; ++f)
        for (int m = 0; m < 3; ++m)
            for (double n1 : {1e-300, 1e-8, 1.0, 1e8, 1e300})
                for (double n2 : {1e-300, 1.0, 1e300})
                    for (double u : {1.0 / 2147483563.0, 0.25, 0.5, 0.75, 0.99999988})
                        EXPECT_GT(quillon::phg(f, m, quillon::draw_child_genotype(f, m, n1, n2, u)), 0.0);
    EXPECT_EQ(quillon::draw_child_genotype(1, 1, INFINITY, 1.0, 0.5), -1);  // overflowed relative risk
    EXPECT_EQ(quillon::draw_child_genotype(2, 2, 1.0, 0.0, 0.5), -1);       // the only genotype underflowed
}

// The same seed gives the same files, also after a run that leaves a normal deviate saved,
// and seeds s and -s are one seed; masking and random weights change only their own draws.
TEST(SimulateStudy, SeedFixesTheFilesAndMaskingChangesOnlyItsOwnDraws) {
    const fs::path a = scratch("a"), b = scratch("b"), c = scratch("c"), d = scratch("d"), m = scratch("m");
    auto with = [](const fs::path& dir, const std::string& seed, std::vector<std::string> more = {}) {
        more.insert(more.end(), {"--families", "40", "--ncov", "3", "--model", "none", "--b1", "0.2,0,1", "--out",
                                 dir.string(), "--seed", seed});
        return run(more);
    };
    ASSERT_EQ(with(a, "99"), 0);
    ASSERT_EQ(run({"--families", "1", "--max-size", "3", "--ncov", "1", "--out", d.string()}), 0);
    ASSERT_EQ(with(b, "-99"), 0);
    ASSERT_EQ(with(c, "100"), 0);
    ASSERT_EQ(with(m, "99", {"--untyped-parents", "0.5", "--missing-phenotype", "0.5", "--weights", "random"}), 0);
    for (const char* f : {"wpedigree.dat", "wcovars.dat", "wweights.dat"}) {
        EXPECT_EQ(slurp(a / f), slurp(b / f)) << f;
        EXPECT_NE(slurp(a / f), slurp(c / f)) << f;
    }
    EXPECT_EQ(slurp(a / "wcovars.dat"), slurp(m / "wcovars.dat"));
    const quillon::FamilyTable fa = read_study(a, 3), fm = read_study(m, 3);
    ASSERT_EQ(fa.nfam, fm.nfam);
    for (long k = 1; k <= fa.nfam; ++k) {
        ASSERT_EQ(fa[k].ninfam, fm[k].ninfam);
        for (int j = 3; j <= fa[k].ninfam; ++j) EXPECT_EQ(fa[k].famgeno[j], fm[k].famgeno[j]);
    }
    for (const fs::path& p : {a, b, c, d, m}) fs::remove_all(p);
}

TEST(SimulateStudy, EveryFamilyPassesTheDataChecksAndRatesMatch) {
    const fs::path dir = scratch("checks");
    ASSERT_EQ(run({"--families", "4000", "--min-size", "3", "--max-size", "10", "--untyped-father", "0.2",
                   "--untyped-parents", "0.1", "--missing-phenotype", "0.15", "--ncov", "2", "--intercept", "--model",
                   "additive", "--beta", "0.3,0.4", "--weights", "random", "--out", dir.string()}),
              0);
    const quillon::FamilyTable t = read_study(dir, 2);
    ASSERT_EQ(t.nfam, 4000);
    long father_only = 0, both = 0, missing = 0, members = 0, founders = 0, typed_g[3] = {0, 0, 0};
    std::vector<int> sizes(11, 0);
    for (long k = 1; k <= t.nfam; ++k) {
        const quillon::famdat& fam = t[k];
        ++sizes[static_cast<std::size_t>(fam.ninfam)];
        for (int j = 1; j <= fam.ninfam; ++j) {
            EXPECT_EQ(fam.fcovdat[j][1], 1.0);  // the intercept
            EXPECT_TRUE(fam.findiv[j][4] > 0.5 - 1e-6 && fam.findiv[j][4] < 1.5 + 1e-6);
            missing += fam.phenodat[j] == 0;
            ++members;
            if (j <= 2 && fam.famgeno[j] >= 0) ++founders, ++typed_g[fam.famgeno[j]];
        }
        father_only += fam.famgeno[1] < 0 && fam.famgeno[2] >= 0;
        both += fam.famgeno[1] < 0 && fam.famgeno[2] < 0;
    }
    for (std::size_t n = 3; n <= 10; ++n) EXPECT_GT(sizes[n], 0) << n;
    // Binomial proportions from 4000 families (or ~26000 members, ~6000 typed founders): the
    // tolerances are about five standard errors.
    EXPECT_NEAR(father_only / 4000.0, 0.2, 0.03);
    EXPECT_NEAR(both / 4000.0, 0.1, 0.025);
    EXPECT_NEAR(missing / static_cast<double>(members), 0.15, 0.012);
    EXPECT_NEAR(typed_g[1] / static_cast<double>(founders), 0.42, 0.035);
    EXPECT_NEAR(typed_g[2] / static_cast<double>(founders), 0.09, 0.02);
    fs::remove_all(dir);
}

TEST(SimulateStudy, DominantEffectMakesHighCovariateChildrenCarriers) {
    const fs::path dir = scratch("dominant");
    ASSERT_EQ(run({"--families", "3000", "--ncov", "1", "--model", "dominant", "--beta", "1.5", "--out", dir.string()}), 0);
    // Children with x > 1 of parents who can pass on either allele: carriers against the
    // Mendelian expectation P(carrier | parents) = 1 - P(no allele 2 from either parent).
    const quillon::FamilyTable t = read_study(dir, 1);
    double observed = 0, expected = 0, variance = 0;
    for (long k = 1; k <= t.nfam; ++k) {
        const quillon::famdat& fam = t[k];
        const double p_none = quillon::phg(fam.famgeno[1], fam.famgeno[2], 0);
        if (p_none == 0.0 || p_none == 1.0) continue;
        for (int j = 3; j <= fam.ninfam; ++j) {
            if (fam.fcovdat[j][1] <= 1.0) continue;
            observed += fam.famgeno[j] >= 1;
            expected += 1.0 - p_none;
            variance += p_none * (1.0 - p_none);
        }
    }
    ASSERT_GT(variance, 10.0);
    EXPECT_GT(observed - expected, 6.0 * std::sqrt(variance));  // relative risk > e^1.5 per child
    fs::remove_all(dir);
}

TEST(SimulateStudy, UnwritableFolderIsAnError) {
    const fs::path file = scratch("not-a-folder");
    std::ofstream(file) << "x";
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"--families", "2", "--out", (file / "sub").string()}), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("output folder"), std::string::npos);
    fs::remove(file);
}
