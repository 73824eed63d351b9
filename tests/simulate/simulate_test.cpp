// The simulator: its refusals, the seed, the rates and the coefficients' effect on the
// children, each study read back by the single run's reader.
#include "simulate/simulate.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "simulate/imputation.hpp"
#include "support/studies.hpp"
#include "toolkit/random.hpp"

namespace quillon {
namespace {

using namespace test_support;

TEST(SimulateOptions, InvalidOnesExitWithStatusTwoAndOneLine) {
    const TempDir dir;
    for (const char* options :
         {"--families 0", "--max-size 11", "--untyped-father 0.6 --untyped-parents 0.5", "--ncov 2 --beta 1",
          "--prevalences 0.7,0.4", "--seed 2147483648", "--colour red", "--markers 5",
          "--bfile s --markers 2 --x-markers 3", "--bfile s --vcf s.bim", "--subpopulations a", "--subpop-risk 0.2,1",
          "--subpopulations a,a", "--subpopulations a,b --subpop-risk 0.5", "--subpopulations a,b --subpop-mean 1,0"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(simulate_into(dir, options), 2) << options;
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(message.rfind("quillon-simulate: ", 0), 0u) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
    }
}

// The same seed gives the same files, also after another run that may leave a normal
// deviate saved (seeds s and -s are one seed); another seed gives other files.
TEST(SimulateStudy, SeedFixesTheFiles) {
    const TempDir a, b, c, other;
    const std::string study = "--families 40 --ncov 3 --model none --b1 0.2,0,1 --untyped-parents 0.3 --seed ";
    ASSERT_EQ(simulate_into(a, study + "99"), 0);
    ASSERT_EQ(simulate_into(other, "--families 1 --max-size 3 --ncov 1"), 0);
    ASSERT_EQ(simulate_into(b, study + "-99"), 0);
    ASSERT_EQ(simulate_into(c, study + "100"), 0);
    for (const char* f : {"wpedigree.dat", "wcovars.dat", "wweights.dat"}) {
        EXPECT_EQ(a.read(f), b.read(f)) << f;
        EXPECT_NE(a.read(f), c.read(f)) << f;
    }
}

// Binomial proportions from 4000 families (about 26000 members): the tolerances are about
// five standard errors.  The reader's data checks pass every family.
TEST(SimulateStudy, RatesAreAsAskedAndEveryFamilyPassesTheChecks) {
    const FamilyTable t = simulated(
        "--families 4000 --max-size 10 --untyped-father 0.2 --untyped-parents 0.1 --missing-phenotype 0.15 --ncov 2 "
        "--intercept --model additive --beta 0.3,0.4 --weights random");
    ASSERT_EQ(t.nfam, 4000);
    long father_only = 0, both = 0, missing = 0, members = 0;
    for (long k = 1; k <= t.nfam; ++k) {
        father_only += t[k].famgeno[1] < 0 && t[k].famgeno[2] >= 0;
        both += t[k].famgeno[1] < 0 && t[k].famgeno[2] < 0;
        for (int j = 1; j <= t[k].ninfam; ++j, ++members) missing += t[k].phenodat[j] == 0;
    }
    EXPECT_NEAR(father_only / 4000.0, 0.2, 0.03);
    EXPECT_NEAR(both / 4000.0, 0.1, 0.025);
    EXPECT_NEAR(missing / static_cast<double>(members), 0.15, 0.012);
}

// Two groups of 4000 trios, read back with the group as a third covariate: group 1 has
// 0.5 x 0.2 / (0.5 x 0.2 + 0.5 x 0.05) = 80% of the families, allele-2 frequency 0.3 + 0.15
// among its parents and E of mean 1 (the second covariate's 0); group 2 frequency 0.15, E of
// mean 0 and half its families without typed parents.  Tolerances are about five standard errors.
TEST(SimulateStudy, SubpopulationsHaveTheirSharesFrequenciesMeansAndTyping) {
    const TempDir dir;
    ASSERT_EQ(simulate_into(dir, "--families 4000 --max-size 3 --ncov 2 --subpopulations pop1,pop2 --subpop-risk 0.2,0.05 "
                                 "--subpop-shift 0.15,-0.15 --subpop-mean 1,0 --subpop-untyped-parents 0,0.5"), 0);
    const FamilyTable t = read_families(Settings{.ncov = 3}, dir.path());
    std::array<double, 3> families{}, alleles{}, copies{}, members{}, e{}, x2{}, untyped{};
    for (long k = 1; k <= t.nfam; ++k) {
        const int g = static_cast<int>(t[k].fcovdat[1][3]);
        ASSERT_TRUE(g == 1 || g == 2) << k;
        families[g] += 1;
        untyped[g] += t[k].famgeno[1] < 0 && t[k].famgeno[2] < 0;
        for (int j = 1; j <= t[k].ninfam; ++j, members[g] += 1) {
            EXPECT_EQ(t[k].fcovdat[j][3], g);
            e[g] += t[k].fcovdat[j][1];
            x2[g] += t[k].fcovdat[j][2];
            if (j <= 2 && t[k].famgeno[j] >= 0) alleles[g] += 2, copies[g] += t[k].famgeno[j];
        }
    }
    EXPECT_NEAR(families[1] / 4000.0, 0.8, 0.032);
    EXPECT_NEAR(copies[1] / alleles[1], 0.45, 0.025);
    EXPECT_NEAR(copies[2] / alleles[2], 0.15, 0.045);
    EXPECT_NEAR(e[1] / members[1], 1.0, 0.06);
    EXPECT_NEAR(e[2] / members[2], 0.0, 0.1);
    EXPECT_NEAR(x2[1] / members[1], 0.0, 0.06);
    EXPECT_EQ(untyped[1], 0);
    EXPECT_NEAR(untyped[2] / families[2], 0.5, 0.09);
}

// Genotype counts of the children with x > 1 of two heterozygous parents in 2000 families
// with one covariate.
std::array<long, 3> tilted_counts(const std::string& model) {
    const FamilyTable t = simulated("--families 2000 --ncov 1 " + model);
    std::array<long, 3> n = {0, 0, 0};
    for (long k = 1; k <= t.nfam; ++k)
        for (int j = 3; j <= t[k].ninfam; ++j)
            if (t[k].famgeno[1] == 1 && t[k].famgeno[2] == 1 && t[k].fcovdat[j][1] > 1.0) ++n[t[k].famgeno[j]];
    return n;
}

// The relative risks tilt Mendel's (1/4, 1/2, 1/4) by (1, e^(b1 x), e^(b2 x)).  For x > 1:
// dominant beta = 1.5 makes genotype 0 rare (0.25 against 0.75 e^(1.5x) > 3.3); with model
// none, b1 = 1.5 and b2 = -1.5 act apart: genotype 1 outnumbers 2 by 2 e^(3x) > 40, and
// genotype 2 is rarer than 0 (e^(-1.5x) < 0.23).
TEST(SimulateStudy, CoefficientsTiltTheChildrensGenotypes) {
    const auto dominant = tilted_counts("--model dominant --beta 1.5");
    ASSERT_GT(dominant[1], 100);
    EXPECT_GT(dominant[1] + dominant[2], 8 * dominant[0]);
    const auto none = tilted_counts("--model none --b1 1.5 --b2 -1.5");
    ASSERT_GT(none[1], 100);
    EXPECT_GT(none[1], 10 * none[2]);
    EXPECT_LT(2 * none[2], none[0]);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// The tuned noise gives the target r2: the squared correlation of haplotype posteriors with
// their alleles, drawn here (200000 haplotypes: about 0.005 of standard error), and the
// haplotype r2 falls as the noise grows.
TEST(SimulateImputation, TunedNoiseGivesTheTargetSquaredCorrelation) {
    long idum = -17;
    for (const auto& [r2, p] : {std::pair{0.3, 0.2}, std::pair{0.6, 0.45}, std::pair{0.9, 0.08}}) {
        const double sigma = noise_for_r2(r2, p);
        EXPECT_GT(haplotype_r2(sigma * 0.9, p), haplotype_r2(sigma * 1.1, p));
        double sh = 0, sa = 0, shh = 0, saa = 0, sha = 0;
        const int n = 200000;
        for (int i = 0; i < n; ++i) {
            const double a = ran2(&idum) < p ? 1.0 : 0.0;
            const double z = std::sqrt(-2.0 * std::log(ran2(&idum))) * std::cos(6.283185307179586 * ran2(&idum));
            const double h = haplotype_posterior(a + sigma * z, sigma, p);
            sh += h, sa += a, shh += h * h, saa += a * a, sha += h * a;
        }
        const double cov = sha / n - sh / n * sa / n;
        const double corr2 = cov * cov / ((shh / n - sh / n * sh / n) * (saa / n - sa / n * sa / n));
        EXPECT_NEAR(corr2, r2, 0.02) << r2;
    }
}

}  // namespace
}  // namespace quillon
