// The score pass under the null and the refitting scan with effects, on simulated studies.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "scan/scan_support.hpp"
#include "support/program.hpp"

namespace quillon {
namespace {

using namespace scantest;

void simulate_bed(const TempDir& d, const std::string& options) {
    ASSERT_EQ(test_support::run_program(QUILLON_SIMULATE_BIN, test_support::words(options + " --bfile st"), d.path(), "")
                  .status, 0);
}

std::size_t column(const std::vector<std::string>& header, const std::string& name) {
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
}

// 20,000 null markers, an intercept and a covariate: the score-only pass's joint p-values are
// uniform (Kolmogorov-Smirnov distance below its 1% point, 1.63 / sqrt(n)) and lambda, the
// median statistic over the chi-square(2) median 2 log 2, is within 1 +- 0.05.
TEST(ScoreScan, NullPValuesAreUniform) {
    const TempDir d;
    simulate_bed(d, "--families 300 --min-size 3 --max-size 3 --ncov 2 --intercept --model additive --beta 0,0 "
                    "--markers 20000 --allele-freq 0.1,0.5 --covar st.covar --seed 404");
    ASSERT_EQ(scan(d, {"--bfile", "st", "--covar", "st.covar", "--status-model", "additive", "--covariate-model",
                       "additive", "--test", "score", "--out", "n"})
                  .status,
              0);
    const auto rows = read_tsv(d.read("n.tsv"));
    const std::size_t stat = column(rows[0], "SCORE_JOINT"), p = column(rows[0], "SCORE_JOINT_P");
    std::vector<double> stats, ps;
    for (std::size_t i = 1; i < rows.size(); ++i)
        if (rows[i][p] != "NA") stats.push_back(std::stod(rows[i][stat])), ps.push_back(std::stod(rows[i][p]));
    ASSERT_GT(ps.size(), 19900u);
    std::sort(ps.begin(), ps.end());
    double ks = 0.0;
    const auto n = static_cast<double>(ps.size());
    for (std::size_t i = 0; i < ps.size(); ++i)
        ks = std::max({ks, std::fabs(ps[i] - static_cast<double>(i) / n), std::fabs(ps[i] - static_cast<double>(i + 1) / n)});
    EXPECT_LT(ks, 1.63 / std::sqrt(n));
    std::nth_element(stats.begin(), stats.begin() + static_cast<long>(stats.size() / 2), stats.end());
    EXPECT_NEAR(stats[stats.size() / 2] / (2.0 * std::log(2.0)), 1.0, 0.05);
}

// With effects on a tenth of the markers, every marker the full Newton scan finds (WALD_P
// below 1e-5) the refitting scan (P = 1e-3) fits too, in the very row of the full scan.
TEST(ScoreScan, RefittingFindsTheFullScansEffects) {
    const TempDir d;
    simulate_bed(d, "--families 300 --min-size 3 --max-size 4 --ncov 2 --intercept --model additive --beta 0.3,0.5 "
                    "--markers 300 --effect-share 0.1 --allele-freq 0.1,0.5 --covar st.covar --seed 405");
    const std::vector<std::string> common = {"--bfile", "st", "--covar", "st.covar", "--status-model", "additive",
                                             "--covariate-model", "additive", "--fit", "newton", "--out"};
    std::vector<std::string> full = common, refit = common;
    full.push_back("full");
    refit.insert(refit.end(), {"refit", "--refit-p", "1e-3"});
    ASSERT_EQ(scan(d, full).status, 0);
    ASSERT_EQ(scan(d, refit).status, 0);
    const auto f = read_tsv(d.read("full.tsv")), r = read_tsv(d.read("refit.tsv"));
    ASSERT_EQ(f.size(), r.size());
    const std::size_t wald_p = column(f[0], "WALD_P"), status = column(r[0], "STATUS");
    long found = 0, score_only = 0;
    for (std::size_t i = 1; i < f.size(); ++i) {
        score_only += r[i][status] == "ok:score_only";
        if (f[i][wald_p] == "NA" || std::stod(f[i][wald_p]) >= 1e-5) continue;
        ++found;
        EXPECT_EQ(std::vector<std::string>(r[i].begin(), r[i].begin() + static_cast<long>(f[i].size()) - 1),
                  std::vector<std::string>(f[i].begin(), f[i].end() - 1)) << f[i][1];
    }
    EXPECT_GE(found, 10);
    EXPECT_GT(score_only, 200);
}

}  // namespace
}  // namespace quillon
