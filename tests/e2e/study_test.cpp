// Whole runs compared byte for byte with reviewed expected results.
//
// Every folder of tests/e2e/data is one run:
//   args             optional: the command-line arguments, separated by white space
//   stdin            optional: standard input (the dialogue's answers); empty when absent
//   expected.out     standard output, exactly
//   expected.err     standard error, exactly
//   expected.status  the exit status and a newline
//   truth            optional: the simulator's true values (not part of the run)
// Every other file and folder of the folder (the input files) is copied into a fresh folder,
// and the program runs there.  tools/make-e2e-data BUILD_DIR --accept records the expected files.

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/data_folder.hpp"

namespace quillon::test_support {
namespace {

std::vector<std::string> study_names() { return folder_names(QUILLON_E2E_DATA); }

class Study : public ::testing::TestWithParam<std::string> {};

TEST_P(Study, OutputErrorsAndStatusMatchTheReviewedOnesExactly) {
    const fs::path from = fs::path(QUILLON_E2E_DATA) / GetParam();
    for (const char* name : {"expected.out", "expected.err", "expected.status"})
        ASSERT_TRUE(fs::exists(from / name)) << from / name << " is missing";
    TempDir dir;
    copy_inputs(from, dir);
    const RunResult r = run_program(QUILLON_BIN, read_args(from / "args"), dir.path(), slurp(from / "stdin"));
    EXPECT_EQ(r.out, slurp(from / "expected.out"));
    EXPECT_EQ(r.err, slurp(from / "expected.err"));
    EXPECT_EQ(std::to_string(r.status) + "\n", slurp(from / "expected.status"));
}

INSTANTIATE_TEST_SUITE_P(Data, Study, ::testing::ValuesIn(study_names()), test_name);

// ---- the expected reports against what the data were made from ----

fs::path data(const std::string& study, const char* name) { return fs::path(QUILLON_E2E_DATA) / study / name; }

// The estimates of a report with their standard errors: gamma1, gamma2, par-1, par-2, ...
std::map<std::string, std::pair<double, double>> estimates(const std::string& report) {
    std::map<std::string, std::pair<double, double>> e;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        long k = 0;
        double v = 0.0, se = 0.0;
        if (std::sscanf(line.c_str(), "Prevalence of genotype %ld: %lf (%lf)", &k, &v, &se) == 3)
            e["gamma" + std::to_string(k)] = {v, se};
        else if (std::sscanf(line.c_str(), "par-%ld %lf (%lf)", &k, &v, &se) == 3)
            e["par-" + std::to_string(k)] = {v, se};
    }
    return e;
}

// A pedigree's families: runs of lines of one family id, each line's fields.
using Family = std::vector<std::vector<std::string>>;
std::vector<Family> families_of(const std::string& study) {
    std::vector<Family> families;
    for (const auto& f : table(slurp(data(study, "wpedigree.dat")))) {
        if (f.empty()) continue;
        if (families.empty() || families.back()[0][0] != f[0]) families.emplace_back();
        families.back().push_back(f);
    }
    return families;
}
int genotype(const std::vector<std::string>& member) { return std::stoi(member[7]) + std::stoi(member[8]) - 2; }

// Each study with a truth file holds the simulator's value of every estimate its report
// prints; each estimate lies within 4 of its standard errors of it.  Together the studies
// have untyped fathers, both parents untyped and families of 9 and 10, so the comparison
// covers them.
TEST(Truth, EveryEstimateIsWithinFourStandardErrorsOfTheSimulatorsValue) {
    int checked = 0;
    bool father_untyped = false, parents_untyped = false, nine = false, ten = false;
    for (const std::string& study : study_names()) {
        if (!fs::exists(data(study, "truth"))) continue;
        const auto e = estimates(slurp(data(study, "expected.out")));
        std::size_t named = 0;
        for (const auto& w : table(slurp(data(study, "truth")))) {
            if (w.size() < 2 || w[0].starts_with("#")) continue;
            ++named;
            ASSERT_TRUE(e.contains(w[0])) << study << " " << w[0];
            const auto [estimate, se] = e.at(w[0]);
            EXPECT_LE(std::fabs(estimate - std::stod(w[1])), 4.0 * se) << study << " " << w[0];
            ++checked;
        }
        EXPECT_EQ(named, e.size()) << study << ": every estimate has its true value";
        for (const Family& f : families_of(study)) {
            father_untyped = father_untyped || (genotype(f[0]) < 0 && genotype(f[1]) >= 0);
            parents_untyped = parents_untyped || (genotype(f[0]) < 0 && genotype(f[1]) < 0);
            nine = nine || f.size() == 9;
            ten = ten || f.size() == 10;
        }
    }
    EXPECT_GE(checked, 20);
    EXPECT_TRUE(father_untyped && parents_untyped && nine && ten);
}

// Complete trios without covariates: the prevalences are the parents' genotype frequencies
// and the non-founders statistic is the transmission count (b - c) / sqrt(b + c), b and c
// the transmissions of allele 2 and of allele 1 from heterozygous parents.
TEST(Truth, CompleteTriosGiveTheParentsCountsAndTheTransmissionCount) {
    double n[3] = {0, 0, 0}, b = 0, c = 0;
    for (const Family& f : families_of("nocov_trios")) {
        const int fg = genotype(f[0]), mg = genotype(f[1]), g = genotype(f[2]);
        ++n[fg], ++n[mg];
        if (fg == 1 && mg == 1) {
            b += g, c += 2 - g;
        } else if (fg == 1 || mg == 1) {
            const int from_het = g - (fg == 1 ? mg : fg) / 2;
            (from_het == 1 ? b : c) += 1;
        }
    }
    const std::string report = slurp(data("nocov_trios", "expected.out"));
    const auto e = estimates(report);
    const double parents = n[0] + n[1] + n[2];
    EXPECT_NEAR(e.at("gamma1").first, n[1] / parents, 6e-5);
    EXPECT_NEAR(e.at("gamma2").first, n[2] / parents, 6e-5);
    double nfs = 0.0;
    ASSERT_EQ(std::sscanf(report.c_str() + report.find("Non-Founders Statistic="), "Non-Founders Statistic=%lf", &nfs), 1);
    EXPECT_NEAR(nfs, (b - c) / std::sqrt(b + c), 6e-5);
}

}  // namespace
}  // namespace quillon::test_support
