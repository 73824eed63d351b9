// Against R's survival::clogit.  With both parents typed every family has one parental pair,
// so the prevalences factor out of the likelihood and each child is a stratum of a
// conditional logistic regression: the child (case) and its three Mendelian pseudo-siblings
// (the other transmissions of the parents' alleles), with predictors the covariate model's
// coding of the genotype times the covariates (None: 1{h=1} x, 1{h=2} x; else cch[h] x).
// Within a stratum the coefficients' observed and expected information coincide, so the
// Newton fit's coefficients and standard errors must be clogit's, and so must the tests built
// on them: the covariance, the Wald test of every coefficient but the intercept's from the
// covariance, and the likelihood ratios against no coefficients and against the intercept
// alone (the prevalences factor out of both).  The score tests are clogit's score statistics
// of fits started at the restricted estimates with no iteration: every coefficient 0, and the
// intercept's at its own maximum with the others 0.  R builds the strata.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <string>

#include "method/likelihood_tdt.hpp"
#include "method/probability_tdt.hpp"
#include "model/analysis.hpp"
#include "model/x_fit.hpp"
#include "support/families.hpp"
#include "support/studies.hpp"
#include "support/program.hpp"
#include "support/x_families.hpp"

namespace quillon {
namespace {

using namespace test_support;
namespace fs = std::filesystem;

// Arguments: children's CSV (stratum, f, m, g, x...), output, coding "none" or cch[0..2].
constexpr const char* kScript = R"R(args <- commandArgs(TRUE)
suppressPackageStartupMessages(library(survival))
d <- read.csv(args[1])
allele <- function(g, i) as.numeric(if (i == 0) g == 2 else g >= 1)  # copies on allele i
p <- do.call(rbind, lapply(0:3, function(t) cbind(d, t = t, h = allele(d$f, t %/% 2) + allele(d$m, t %% 2))))
p <- p[order(p$stratum, p$t), ]
p$case <- ave(as.numeric(p$h == p$g), p$stratum, FUN = function(v) v * (cumsum(v) == 1))
x <- as.matrix(p[grep("^x", names(p))])
z <- if (args[3] == "none") cbind((p$h == 1) * x, (p$h == 2) * x) else as.numeric(strsplit(args[3], ",")[[1]])[p$h + 1] * x
m <- clogit(p$case ~ z + strata(p$stratum), control = coxph.control(eps = 1e-13, iter.max = 100))
v <- vcov(m); k <- length(coef(m)); rest <- if (args[3] == "none") c(2, 4) else 2:k
m1 <- clogit(p$case ~ z[, -rest] + strata(p$stratum), control = coxph.control(eps = 1e-13, iter.max = 100))
score <- function(at) suppressWarnings(clogit(p$case ~ z + strata(p$stratum), init = at, control = coxph.control(iter.max = 0))$score)
b <- coef(m)[rest]
writeLines(c(sprintf("%.17g %.17g", coef(m), sqrt(diag(v))), sprintf("%.17g", c(v[1, 2],
  t(b) %*% solve(v[rest, rest], b), 2 * (m$loglik[2] - m$loglik[1]), 2 * (m$loglik[2] - m1$loglik[2]),
  score(rep(0, k)), score(replace(rep(0, k), -rest, coef(m1)))))), args[2])
)R";

// Runs dir/<script> on dir/children.csv, writing dir/clogit.txt; the exit status.
int rscript(const fs::path& dir, const char* script, const std::string& args) {
    const std::string command = std::string(RSCRIPT_BIN) + " " + (dir / script).string() + " " +
                                (dir / "children.csv").string() + " " + (dir / "clogit.txt").string() + " " + args +
                                " 2>" + (dir / "err").string();
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Why a test cannot run R (skipped), "" when it ran.
std::string r_missing(int code) {
    if (code == 127) return "Rscript is missing: install r-base-core and r-cran-survival (tools/install-deps)";
    if (code == 3) return "R's survival package is missing: install r-cran-survival (tools/install-deps)";
    return "";
}

// Each coefficient 1..m and its standard error against the next pair that clogit wrote in `in`.
void expect_coefficients(std::istream& in, long m, const DVector& ogpars, const DMatrix& subJI) {
    for (long i = 1; i <= m; ++i) {
        double coef = 0.0, se = 0.0;
        ASSERT_TRUE(in >> coef >> se) << "clogit gave fewer coefficients than " << m;
        EXPECT_NEAR(ogpars[i], coef, 1e-6 * std::fabs(coef)) << "coefficient " << i;
        EXPECT_NEAR(std::sqrt(subJI[i][i]), se, 1e-6 * se) << "standard error " << i;
    }
}

TEST(ConditionalLogistic, NewtonEstimatesCovarianceAndTestsAreClogits) {
    const TempDir tmp;
    const fs::path dir = tmp.path();
    std::ofstream(dir / "fit.R") << kScript;
    for (const int cmodel : {kNone, kAdditive}) {
        SCOPED_TRACE("covariate model " + std::to_string(cmodel));
        FamilyTable families = simulated("--families 400 --max-size 5 --seed 50" + effects(cmodel));
        const Settings s = make_settings(2, kAdditive, cmodel);
        const Analysis a = analyse(newton_settings(s), families, build_genotype_table(largest_family(families)));
        ASSERT_FALSE(a.fell_back);

        std::ofstream csv(dir / "children.csv");
        csv << "stratum,f,m,g,x1,x2\n" << std::setprecision(17);
        long stratum = 0;
        for (long i = 1; i <= families.nfam; ++i)
            for (int c = 3; c <= families[i].ninfam; ++c) {
                const famdat& fam = families[i];
                csv << ++stratum << "," << fam.famgeno[1] << "," << fam.famgeno[2] << "," << fam.famgeno[c] << ","
                    << fam.fcovdat[c][1] << "," << fam.fcovdat[c][2] << "\n";
            }
        csv.close();
        const int code = rscript(dir, "fit.R", cmodel == kNone ? "none" : "0,1,2");
        if (const std::string why = r_missing(code); !why.empty()) GTEST_SKIP() << why;
        ASSERT_EQ(code, 0) << "Rscript failed; see " << (dir / "err");
        std::ifstream in(dir / "clogit.txt");
        expect_coefficients(in, s.npars - 2, a.fit.ogpars, a.info.subJI);
        if (HasFatalFailure()) return;
        const LikelihoodTdt test(newton_settings(s), {.intercept = true, .score = true});
        const Schema schema = test.schema({"I", "X"});
        const MarkerResult r = test.run(families, build_genotype_table(largest_family(families)));
        for (const char* name : {"COV_", "GXE_WALD", "LRT_JOINT", "LRT_GXE", "SCORE_JOINT", "SCORE_GXE"}) {
            const std::string column = name == std::string("COV_") ? schema[column_index(schema, "NEG_LOGLIK") + 9].name : name;
            double expected = 0.0;
            ASSERT_TRUE(in >> expected) << "clogit gave no " << name;
            EXPECT_NEAR(r.values[column_index(schema, column)], expected, 1e-6 * std::fabs(expected)) << column;
        }
    }
}

// On X a child's pseudo-siblings are the other transmissions of the mother's alleles (with
// the father's allele for a daughter); a son's level is his allele times the coding.
// Arguments: children's CSV (stratum, sex, a, m, level, x...), output, "none" or
// "additive", a son's level per allele.
constexpr const char* kXScript = R"R(args <- commandArgs(TRUE)
suppressPackageStartupMessages(library(survival))
d <- read.csv(args[1])
k <- as.numeric(args[4])
allele <- function(g, i) as.numeric(if (i == 0) g == 2 else g >= 1)
p <- do.call(rbind, lapply(0:1, function(t) cbind(d, t = t, h = ifelse(d$sex == 1, k * allele(d$m, t), d$a + allele(d$m, t)))))
p <- p[order(p$stratum, p$t), ]
p$case <- ave(as.numeric(p$h == p$level), p$stratum, FUN = function(v) v * (cumsum(v) == 1))
x <- as.matrix(p[grep("^x", names(p))])
z <- if (args[3] == "none") cbind((p$h == 1) * x, (p$h == 2) * x) else p$h * x
m <- clogit(p$case ~ z + strata(p$stratum), control = coxph.control(eps = 1e-13, iter.max = 100))
writeLines(sprintf("%.17g %.17g", coef(m), sqrt(diag(vcov(m)))), args[2])
)R";

TEST(ConditionalLogistic, XNewtonEstimatesAreClogitsOnPseudoSiblings) {
    const TempDir tmp;
    const fs::path dir = tmp.path();
    std::ofstream(dir / "fit.R") << kXScript;
    TestRng rng(31);
    const double gamma[3] = {0.36, 0.48, 0.16};
    for (const int cmodel : {kNone, kAdditive})
        for (int coding = 1; coding <= 2; ++coding) {
            SCOPED_TRACE("covariate model " + std::to_string(cmodel) + ", coding " + std::to_string(coding));
            const XModel xm{coding, false};
            std::vector<famdat> fams;
            for (int i = 1; i <= 300; ++i) fams.push_back(draw_x_family(rng, i, xm, gamma, 0.4, 0.4, 3, 0.0, 2));
            const FamilyTable families = make_table(std::move(fams));
            const Settings s = make_settings(2, kAdditive, cmodel);
            const XAnalysis a = x_analyse(newton_settings(s), xm, families);
            ASSERT_FALSE(a.fell_back);
            std::ofstream csv(dir / "children.csv");
            csv << "stratum,sex,a,m,level,x1,x2\n" << std::setprecision(17);
            long stratum = 0;
            for (long i = 1; i <= families.nfam; ++i)
                for (int c = 3; c <= families[i].ninfam; ++c) {
                    const famdat& f = families[i];
                    csv << ++stratum << "," << f.sex[c] << "," << f.famgeno[1] << "," << f.famgeno[2] << ","
                        << x_level(xm, f.sex[c], f.famgeno[c]) << "," << f.fcovdat[c][1] << "," << f.fcovdat[c][2] << "\n";
                }
            csv.close();
            const int code = rscript(dir, "fit.R", std::string(cmodel == kNone ? "none" : "additive") + " " + std::to_string(coding));
            if (const std::string why = r_missing(code); !why.empty()) GTEST_SKIP() << why;
            ASSERT_EQ(code, 0) << "Rscript failed; see " << (dir / "err");
            std::ifstream in(dir / "clogit.txt");
            expect_coefficients(in, s.npars - 2, a.fit.fit.ogpars, a.info.subJI);
            if (HasFatalFailure()) return;
        }
}

// The dosage transmission statistic squared is clogit's robust score test at 0 clustered by
// family: each weighted child with a dosage D is a stratum of itself (case) and a pseudo-sibling
// of dosage D_father + D_mother - D, whose mean is the parents'.
TEST(ConditionalLogistic, DosageTransmissionIsTheRobustScoreTest) {
    const TempDir tmp;
    const fs::path dir = tmp.path();
    std::ofstream(dir / "fit.R") << R"R(args <- commandArgs(TRUE)
suppressPackageStartupMessages(library(survival))
m <- clogit(case ~ x + strata(stratum) + cluster(fam), data = read.csv(args[1]), weights = w, method = "breslow")
writeLines(sprintf("%.17g", m$rscore), args[2]))R";
    TestRng rng(23);
    std::vector<famdat> fams;
    std::ofstream csv(dir / "children.csv");
    csv << "stratum,fam,case,x,w\n" << std::setprecision(17);
    for (int i = 1, stratum = 0; i <= 60; ++i) {
        famdat fam = random_family(rng, i, 1, 3, 5);
        fam.dosage.assign(static_cast<std::size_t>(fam.ninfam) + 1, NAN);
        for (int j = 1; j <= fam.ninfam; ++j)
            if (rng.uniform() < 0.9) fam.dosage[static_cast<std::size_t>(j)] = 2 * rng.uniform();
        const double d[3] = {0, fam.dosage[1], fam.dosage[2]};
        for (int c = 3; c <= fam.ninfam && std::isfinite(d[1] + d[2]); ++c)
            if (std::isfinite(fam.dosage[c]) && fam.weight[c] > 0.0) {
                csv << ++stratum << "," << i << ",1," << fam.dosage[c] << "," << fam.weight[c] << "\n";
                csv << stratum << "," << i << ",0," << d[1] + d[2] - fam.dosage[c] << "," << fam.weight[c] << "\n";
            }
        fams.push_back(std::move(fam));
    }
    csv.close();
    const int code = rscript(dir, "fit.R", "");
    if (const std::string why = r_missing(code); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(code, 0) << "Rscript failed; see " << (dir / "err");
    double expected = 0.0;
    ASSERT_TRUE(std::ifstream(dir / "clogit.txt") >> expected);
    const NonFoundersStatistic nfs = dosage_transmission(make_table(std::move(fams)));
    ASSERT_TRUE(nfs.defined);
    EXPECT_NEAR(nfs.statistic * nfs.statistic, expected, 1e-9 * expected);
}

}  // namespace
}  // namespace quillon
