// Against R's survival::clogit.  With both parents typed every family has one parental pair,
// so the prevalences factor out of the likelihood and each child is a stratum of a
// conditional logistic regression: the child (case) and its three Mendelian pseudo-siblings
// (the other transmissions of the parents' alleles), with predictors the covariate model's
// coding of the genotype times the covariates (None: 1{h=1} x, 1{h=2} x; Additive: h x).
// Within a stratum the coefficients' observed and expected information coincide, so the
// Newton fit's coefficients and standard errors must be clogit's.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/analysis.hpp"
#include "model/studies.hpp"

namespace quillon {
namespace {

using namespace test_support;
namespace fs = std::filesystem;

constexpr const char* kScript = R"R(args <- commandArgs(TRUE)
if (!requireNamespace("survival", quietly = TRUE)) quit(status = 3)
suppressPackageStartupMessages(library(survival))
d <- read.csv(args[1])
z <- setdiff(names(d), c("stratum", "case"))
f <- as.formula(paste("case ~", paste(z, collapse = " + "), "+ strata(stratum)"))
m <- clogit(f, data = d, control = coxph.control(eps = 1e-13, iter.max = 100))
writeLines(sprintf("%.17g %.17g", coef(m), sqrt(diag(vcov(m)))), args[2])
)R";

// One row per child and transmission: stratum, case, predictors.
void write_pseudo_siblings(const Settings& s, const FamilyTable& families, const fs::path& file) {
    std::ofstream out(file);
    const long ncov = s.ncov;
    const int blocks = s.cmodeltype == kNone ? 2 : 1;
    out << "stratum,case";
    for (int b = 1; b <= blocks; ++b)
        for (long k = 1; k <= ncov; ++k) out << ",z" << b << "_" << k;
    out << "\n";
    char number[32];
    long stratum = 0;
    for (long i = 1; i <= families.nfam; ++i) {
        const famdat& fam = families[i];
        const int fa[2] = {fam.famgeno[1] == 2, fam.famgeno[1] >= 1};  // copies each allele carries
        const int ma[2] = {fam.famgeno[2] == 2, fam.famgeno[2] >= 1};
        for (int c = 3; c <= fam.ninfam; ++c) {
            ++stratum;
            bool case_written = false;
            for (int t = 0; t < 4; ++t) {
                const int h = fa[t / 2] + ma[t % 2];
                const bool is_case = !case_written && h == fam.famgeno[c];
                case_written = case_written || is_case;
                out << stratum << "," << (is_case ? 1 : 0);
                for (int b = 1; b <= blocks; ++b)
                    for (long k = 1; k <= ncov; ++k) {
                        const double coding = blocks == 2 ? (h == b ? 1.0 : 0.0) : s.cch[h];
                        std::snprintf(number, sizeof number, "%.17g", coding * fam.fcovdat[c][k]);
                        out << "," << number;
                    }
                out << "\n";
            }
            ASSERT_TRUE(case_written) << "family " << fam.famid;
        }
    }
}

TEST(ConditionalLogistic, NewtonCoefficientsAndStandardErrorsAreClogits) {
    ASSERT_EQ(std::system("command -v Rscript >/dev/null 2>&1"), 0)
        << "Rscript is missing: install r-base-core and r-cran-survival (tools/install-deps)";
    const fs::path dir = fs::temp_directory_path() / ("quillon_clogit_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "fit.R") << kScript;
    for (const int cmodel : {kNone, kAdditive}) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        SimulateOptions o = design(cmodel, false, 400, 500 + cmodel);
        o.max_size = 5;  // up to three children, all parents typed
        FamilyTable families = study_families(o);
        const Settings s = make_settings(2, kAdditive, cmodel);
        const Analysis a = analyse(s, families, build_genotype_table(largest_family(families)), FitMethod::kNewton);
        ASSERT_FALSE(a.fell_back);

        write_pseudo_siblings(s, families, dir / "data.csv");
        const std::string command = "Rscript " + (dir / "fit.R").string() + " " + (dir / "data.csv").string() + " " +
                                    (dir / "clogit.txt").string() + " 2>" + (dir / "stderr.txt").string();
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << command;
        ASSERT_NE(WEXITSTATUS(status), 3) << "R's survival package is missing: install r-cran-survival";
        ASSERT_EQ(WEXITSTATUS(status), 0) << "Rscript failed; see " << (dir / "stderr.txt");
        std::ifstream in(dir / "clogit.txt");
        for (long i = 1; i <= s.npars - 2; ++i) {
            double coef = 0.0, se = 0.0;
            ASSERT_TRUE(in >> coef >> se) << "clogit gave fewer coefficients than " << s.npars - 2;
            EXPECT_NEAR(a.fit.ogpars[i], coef, 1e-6 * std::fabs(coef)) << "coefficient " << i;
            EXPECT_NEAR(std::sqrt(a.info.subJI[i][i]), se, 1e-6 * se) << "standard error " << i;
        }
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quillon
