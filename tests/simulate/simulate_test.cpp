#include "simulate/simulate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using quillon::simulate_main;

namespace {

int run(std::vector<std::string> args) {
    args.insert(args.begin(), "quillon-simulate");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return simulate_main(static_cast<int>(argv.size()), argv.data());
}

// A fresh folder per test, removed afterwards.
fs::path scratch(const std::string& name) {
    const fs::path p = fs::temp_directory_path() / ("quillon-simulate-test-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(p);
    return p;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Line {
    long fam, id, father, mother, sex, pheno, unused, a1, a2;
    std::vector<double> x;
    double weight;
};

// The three files, joined line by line.
std::vector<std::vector<Line>> read_study(const fs::path& dir) {
    std::ifstream ped(dir / "wpedigree.dat"), cov(dir / "wcovars.dat"), wts(dir / "wweights.dat");
    std::vector<std::vector<Line>> fams;
    Line l;
    std::string covline;
    while (ped >> l.fam >> l.id >> l.father >> l.mother >> l.sex >> l.pheno >> l.unused >> l.a1 >> l.a2) {
        EXPECT_TRUE(std::getline(cov, covline));
        std::istringstream cs(covline);
        l.x.clear();
        for (double v; cs >> v;) l.x.push_back(v);
        EXPECT_TRUE(wts >> l.weight);
        if (fams.empty() || fams.back().front().fam != l.fam) fams.emplace_back();
        fams.back().push_back(l);
    }
    return fams;
}

// Genotype from alleles, -1 untyped; the transmissible alleles (copies of allele 2) of a genotype.
int geno(const Line& l) { return l.a1 == 0 ? -1 : static_cast<int>(l.a1 + l.a2 - 2); }
std::vector<int> gametes(int g) { return g == 0 ? std::vector<int>{0} : g == 2 ? std::vector<int>{1} : std::vector<int>{0, 1}; }
bool can_have(int f, int m, int c) {
    for (int a : gametes(f))
        for (int b : gametes(m))
            if (a + b == c) return true;
    return false;
}
// Some parental pair agrees with the typed parents and can have every child.
bool mendelian(const std::vector<Line>& fam) {
    for (int f = 0; f < 3; ++f)
        for (int m = 0; m < 3; ++m) {
            bool ok = (geno(fam[0]) < 0 || geno(fam[0]) == f) && (geno(fam[1]) < 0 || geno(fam[1]) == m);
            for (std::size_t j = 2; ok && j < fam.size(); ++j) ok = can_have(f, m, geno(fam[j]));
            if (ok) return true;
        }
    return false;
}

}  // namespace

TEST(SimulateOptions, ParsesBothFormsAndChecksCombinations) {
    const char* argv[] = {"q", "--families=12", "--ncov", "2", "--intercept", "--model", "additive", "--beta",
                          "0.5,-1e-1", "--prevalences", "0.3,0.2", "--weights", "random", "--seed", "-7"};
    quillon::SimulateOptions o;
    std::string err;
    ASSERT_TRUE(quillon::parse_simulate_options(15, argv, o, err)) << err;
    EXPECT_EQ(o.families, 12);
    EXPECT_TRUE(o.intercept && o.random_weights);
    EXPECT_EQ(o.cmodeltype, 3);
    EXPECT_EQ(o.seed, -7);
    quillon::DVector b1, b2;
    quillon::expand_coefficients(o, b1, b2);
    EXPECT_EQ(b1[2], -0.1);
    EXPECT_EQ(b2[2], -0.2);  // additive: b2 = 2 beta
}

TEST(SimulateOptions, InvalidOptionsExitWithStatusTwoAndOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {"--families", "0"}, {"--families", "3x"}, {"--families"}, {"--min-size", "2"}, {"--max-size", "11"},
        {"--min-size", "5", "--max-size", "4"}, {"--untyped-father", "1.5"}, {"--missing-phenotype", "nan"},
        {"--untyped-father", "0.6", "--untyped-parents", "0.5"}, {"--ncov", "101"}, {"--intercept"},
        {"--ncov", "2", "--beta", "1"}, {"--ncov", "1", "--beta", "1,"}, {"--ncov", "1", "--b1", "1", "--model", "dominant"},
        {"--ncov", "1", "--beta", "1"}, {"--prevalences", "0.7,0.4"}, {"--prevalences", "0.5"}, {"--model", "4"},
        {"--weights", "two"}, {"--seed", "2147483648"}, {"--colour", "red"}, {"families"}, {"--help=yes"}};
    for (const auto& args : bad) {
        testing::internal::CaptureStderr();
        const int status = run(args);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 2) << args[0];
        EXPECT_EQ(err.rfind("quillon-simulate: ", 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("--untyped-parents"), std::string::npos);
}

TEST(SimulateDraws, ChildGenotypeIsAlwaysPossible) {
    const double us[] = {1.0 / 2147483563.0, 0.25, 0.5, 0.75, 0.99999988};
    const double nus[] = {1e-300, 1e-8, 1.0, 1e8, 1e300};
    for (int f = 0; f < 3; ++f)
        for (int m = 0; m < 3; ++m)
            for (double n1 : nus)
                for (double n2 : nus)
                    for (double u : us) EXPECT_TRUE(can_have(f, m, quillon::draw_child_genotype(f, m, n1, n2, u)));
    EXPECT_EQ(quillon::draw_child_genotype(1, 1, INFINITY, 1.0, 0.5), -1);  // overflowed relative risk
    EXPECT_EQ(quillon::draw_child_genotype(2, 2, 1.0, 0.0, 0.5), -1);       // the only genotype underflowed
}

TEST(SimulateStudy, SeedFixesTheFilesByteForByte) {
    const fs::path a = scratch("seed-a"), b = scratch("seed-b"), c = scratch("seed-c"), d = scratch("seed-d");
    const std::vector<std::string> opts = {"--families", "40", "--ncov", "3", "--model", "none", "--b1", "0.2,0,1",
                                           "--weights", "random", "--untyped-father", "0.3"};
    auto with = [&](const fs::path& dir, const std::string& seed) {
        std::vector<std::string> args = opts;
        args.insert(args.end(), {"--out", dir.string(), "--seed", seed});
        return run(args);
    };
    ASSERT_EQ(with(a, "99"), 0);
    // A run with an odd number of normal deviates in between must not shift the next run.
    ASSERT_EQ(run({"--families", "1", "--max-size", "3", "--ncov", "1", "--out", d.string()}), 0);
    ASSERT_EQ(with(b, "-99"), 0);  // seeds s and -s are the same seed
    ASSERT_EQ(with(c, "100"), 0);
    for (const char* f : {"wpedigree.dat", "wcovars.dat", "wweights.dat"}) {
        EXPECT_EQ(slurp(a / f), slurp(b / f)) << f;
        EXPECT_NE(slurp(a / f), slurp(c / f)) << f;
    }
    for (const fs::path& p : {a, b, c, d}) fs::remove_all(p);
}

TEST(SimulateStudy, EveryFamilyPassesTheDataChecksAndRatesMatch) {
    const fs::path dir = scratch("checks");
    ASSERT_EQ(run({"--families", "4000", "--min-size", "3", "--max-size", "10", "--untyped-father", "0.2",
                   "--untyped-parents", "0.1", "--missing-phenotype", "0.15", "--ncov", "2", "--intercept", "--model",
                   "additive", "--beta", "0.3,0.4", "--weights", "random", "--out", dir.string()}),
              0);
    const auto fams = read_study(dir);
    ASSERT_EQ(fams.size(), 4000u);
    long father_only = 0, both = 0, missing = 0, members = 0, sizes_seen = 0;
    double founders = 0, typed_g[3] = {0, 0, 0};
    std::vector<bool> size_seen(11, false);
    for (std::size_t k = 0; k < fams.size(); ++k) {
        const auto& fam = fams[k];
        ASSERT_EQ(fam[0].fam, static_cast<long>(k + 1));
        ASSERT_TRUE(fam.size() >= 3 && fam.size() <= 10);
        size_seen[fam.size()] = true;
        for (std::size_t j = 0; j < fam.size(); ++j) {
            const Line& l = fam[j];
            const bool child = j >= 2;
            EXPECT_EQ(l.id, static_cast<long>(j + 1));
            EXPECT_EQ(l.father, child ? 1 : 0);
            EXPECT_EQ(l.mother, child ? 2 : 0);
            EXPECT_TRUE(j == 0 ? l.sex == 1 : j == 1 ? l.sex == 2 : (l.sex == 1 || l.sex == 2));
            EXPECT_TRUE(l.pheno == 0 || l.pheno == 2 || (!child && l.pheno == 1));
            EXPECT_EQ(l.a1 == 0, l.a2 == 0);  // typed for both alleles or neither
            EXPECT_TRUE(l.a1 >= 0 && l.a1 <= 2 && l.a2 >= 0 && l.a2 <= 2);
            if (child) {
                EXPECT_NE(l.a1, 0);  // children are always typed
            }
            ASSERT_EQ(l.x.size(), 2u);
            EXPECT_EQ(l.x[0], 1.0);
            EXPECT_TRUE(l.weight > 0.5 - 1e-6 && l.weight < 1.5 + 1e-6);
            missing += l.pheno == 0;
            ++members;
            if (!child && geno(l) >= 0) {
                ++founders;
                ++typed_g[geno(l)];
            }
        }
        EXPECT_FALSE(geno(fam[0]) >= 0 && geno(fam[1]) < 0) << "family " << k + 1;  // only the mother may be typed
        father_only += geno(fam[0]) < 0 && geno(fam[1]) >= 0;
        both += geno(fam[0]) < 0 && geno(fam[1]) < 0;
        EXPECT_TRUE(mendelian(fam)) << "family " << k + 1;
    }
    for (int n = 3; n <= 10; ++n) sizes_seen += size_seen[n];
    EXPECT_EQ(sizes_seen, 8);
    // Binomial proportions from 4000 families (or ~26000 members, ~6000 typed founders): the
    // tolerances are about five standard errors.
    EXPECT_NEAR(father_only / 4000.0, 0.2, 0.03);
    EXPECT_NEAR(both / 4000.0, 0.1, 0.025);
    EXPECT_NEAR(missing / static_cast<double>(members), 0.15, 0.012);
    EXPECT_NEAR(typed_g[1] / founders, 0.42, 0.035);
    EXPECT_NEAR(typed_g[2] / founders, 0.09, 0.02);
    fs::remove_all(dir);
}

TEST(SimulateStudy, MaskingLeavesCovariatesAndGenotypesUnchanged) {
    const fs::path a = scratch("mask-a"), b = scratch("mask-b");
    const std::vector<std::string> common = {"--families", "100", "--ncov", "2", "--model", "dominant", "--beta", "1,1"};
    std::vector<std::string> plain = common, masked = common;
    plain.insert(plain.end(), {"--out", a.string()});
    masked.insert(masked.end(), {"--out", b.string(), "--untyped-parents", "0.5", "--missing-phenotype", "0.5",
                                 "--weights", "random"});
    ASSERT_EQ(run(plain), 0);
    ASSERT_EQ(run(masked), 0);
    EXPECT_EQ(slurp(a / "wcovars.dat"), slurp(b / "wcovars.dat"));
    const auto fa = read_study(a), fb = read_study(b);
    ASSERT_EQ(fa.size(), fb.size());
    for (std::size_t k = 0; k < fa.size(); ++k) {
        ASSERT_EQ(fa[k].size(), fb[k].size());
        for (std::size_t j = 2; j < fa[k].size(); ++j) EXPECT_EQ(geno(fa[k][j]), geno(fb[k][j]));
    }
    fs::remove_all(a);
    fs::remove_all(b);
}

TEST(SimulateStudy, DominantEffectMakesHighCovariateChildrenCarriers) {
    const fs::path dir = scratch("dominant");
    ASSERT_EQ(run({"--families", "3000", "--ncov", "1", "--model", "dominant", "--beta", "1.5", "--out", dir.string()}),
              0);
    // Children with x > 1 of parents who can pass on either allele: carriers against the
    // Mendelian expectation P(carrier | parents) = 1 - P(no allele 2 from either parent).
    double observed = 0, expected = 0, variance = 0;
    for (const auto& fam : read_study(dir)) {
        const int f = geno(fam[0]), m = geno(fam[1]);
        const double p_none = (f == 0 ? 1.0 : f == 1 ? 0.5 : 0.0) * (m == 0 ? 1.0 : m == 1 ? 0.5 : 0.0);
        if (p_none == 0.0 || p_none == 1.0) continue;
        for (std::size_t j = 2; j < fam.size(); ++j) {
            if (fam[j].x[0] <= 1.0) continue;
            observed += geno(fam[j]) >= 1;
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
