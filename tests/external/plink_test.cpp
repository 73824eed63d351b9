// PLINK 1.9 as an independent reader and reference of the simulated multi-marker studies and of
// `quillon scan`.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/program.hpp"

namespace quillon {
namespace {

using namespace test_support;
using Table = std::vector<std::vector<std::string>>;

// Runs a program in `dir` and fails the test unless it exits with status 0.
void run_ok(const std::string& exe, const std::vector<std::string>& args, const TempDir& dir) {
    const RunResult r = run_program(exe, args, dir.path(), "", 300);
    ASSERT_EQ(r.status, 0) << exe << " " << (args.empty() ? "" : args[0]) << ":\n" << r.out << r.err;
}

std::size_t column(const std::vector<std::string>& header, const std::string& name) {
    for (std::size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return i;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

// The study's .ped/.map made into a .bed by PLINK (A1 forced to the simulator's allele 2) is
// our .bed/.bim/.fam byte for byte, so it scans as ours does; our .bed and the BGZF VCF scan to
// one TSV and Mendel list.
TEST(PlinkScan, PlinkMadeBedOursAndVcfGiveOneTsv) {
    TempDir d;  // every kind of family, marker and fault the simulator makes
    run_ok(QUILLON_SIMULATE_BIN,
           words("--families 150 --max-size 6 --untyped-father 0.25 --untyped-parents 0.15 --missing-phenotype 0.1 "
                 "--ncov 3 --intercept --model additive --beta 0.5,0.3,-0.2 --markers 60 --chromosomes 2 --x-markers 3 "
                 "--effect-share 0.2 --allele-freq 0.05,0.5 --untyped-children 0.05 --genotype-errors 0.01 "
                 "--unaffected-children 0.15 --father-only 0.4 --weights random --seed 31 --bfile s --file s "
                 "--vcf s.vcf.gz --covar s.covar --weight-file s.weights"),
           d);
    run_ok(PLINK_BIN, words("--file s --make-bed --keep-allele-order --a1-allele s.bim 5 2 --out plink"), d);
    for (const std::string ext : {".bed", ".bim", ".fam"}) EXPECT_EQ(d.read("plink" + ext), d.read("s" + ext)) << ext;

    const std::string common = " --covar s.covar --weights s.weights --all-children --status-model additive "
                               "--covariate-model additive --quiet --out ";
    run_ok(QUILLON_BIN, words("scan --bfile s" + common + "ours"), d);
    run_ok(QUILLON_BIN, words("scan --vcf s.vcf.gz --fam s.fam" + common + "vcf"), d);
    const std::string tsv = d.read("ours.tsv");
    EXPECT_EQ(table(tsv).size(), 61u);
    EXPECT_NE(tsv.find("\tok\n"), std::string::npos);
    EXPECT_EQ(tsv.find("skipped:non_autosomal"), std::string::npos);  // X analysed
    EXPECT_NE(d.read("ours.mendel"), "");
    EXPECT_EQ(tsv, d.read("vcf.tsv"));
    EXPECT_EQ(d.read("ours.mendel"), d.read("vcf.mendel"));
}

// Trios, no covariates, no intercept, --complete-trios (PLINK's rule: both parents typed): NFS^2 is
// PLINK's TDT chi-square (T - U)^2 / (T + U) to the 4 significant digits PLINK prints, and NFS has
// the sign of T - U, on a study with untyped parents, untyped children and Mendel errors.  On X
// with --xchr-model 1 too (transmissions from heterozygous mothers to sons and daughters), once
// PLINK has removed the heterozygous male calls in a step of its own (--set-hh-missing): in the
// --tdt run itself it would count them.
// So is SCORE_JOINT on the autosomes with the intercept alone (covariate model Additive, one coefficient b): at
// b = 0 a child of parents (f, m) has genotype g with mean E and variance V under Mendel's law,
// and g - E is the sum over its heterozygous parents of (allele 2 transmitted) - 1/2, each a
// fair coin.  So U = sum (g - E) = (T - U) / 2 and J_bb = sum V = (T + U) / 4 over the
// transmissions of heterozygous parents, the prevalences' block of J is orthogonal to b (each
// child's score has mean 0 whatever its parents), and U^2 / J_bb = (T - U)^2 / (T + U).
TEST(PlinkScan, NfsSquaredAndScoreJointAreTheTdtChiSquare) {
    TempDir d;
    run_ok(QUILLON_SIMULATE_BIN,
           words("--families 400 --min-size 3 --max-size 3 --markers 80 --chromosomes 2 --x-markers 12 "
                 "--allele-freq 0.01,0.5 --untyped-father 0.2 --untyped-parents 0.1 --untyped-children 0.05 "
                 "--genotype-errors 0.02 --male-het-errors 0.02 --effect-share 0.3 --ncov 1 --b1 0.7 --b2 1.4 "
                 "--bfile trios --seed 5"),
           d);
    run_ok(QUILLON_BIN, words("scan --bfile trios --no-intercept --status-model additive --complete-trios "
                              "--xchr-model 1 --quiet --out q"),
           d);
    run_ok(PLINK_BIN, words("--bfile trios --keep-allele-order --set-hh-missing --make-bed --out hh"), d);
    run_ok(PLINK_BIN, words("--bfile hh --tdt --keep-allele-order --out p"), d);
    run_ok(QUILLON_BIN, words("scan --bfile trios --status-model additive --complete-trios --test score --quiet --out s"), d);
    const Table q = table(d.read("q.tsv")), p = table(d.read("p.tdt")), sc = table(d.read("s.tsv"));
    const std::size_t score = column(sc[0], "SCORE_JOINT");
    ASSERT_EQ(q.size(), 81u);
    ASSERT_EQ(p.size(), 81u);
    const std::size_t nfs = column(q[0], "NFS"), status = column(q[0], "STATUS");
    const std::size_t t = column(p[0], "T"), u = column(p[0], "U"), chisq = column(p[0], "CHISQ");
    long compared = 0;
    for (std::size_t i = 1; i < p.size(); ++i) {
        ASSERT_EQ(q[i][1], p[i][1]);
        const long diff = std::stol(p[i][t]) - std::stol(p[i][u]);
        if (p[i][chisq] == "NA") {  // no heterozygous parent
            EXPECT_EQ(q[i][nfs], "NA") << q[i][1];
            if (q[i][0] != "23") {
                EXPECT_EQ(sc[i][score], "NA") << q[i][1];
            }
            continue;
        }
        // (A rare allele with no homozygous parent leaves Newton's method no finite maximum.)
        ASSERT_TRUE(q[i][status] == "ok" || q[i][status] == "warning:fallback_powell") << q[i][1];
        EXPECT_EQ(q[i][column(q[0], "T")] + q[i][column(q[0], "U")], p[i][t] + p[i][u]) << q[i][1];
        const double z = std::stod(q[i][nfs]), plink = std::stod(p[i][chisq]);
        EXPECT_NEAR(z * z, plink, 5e-4 * plink) << q[i][1];  // half a unit of the 4th digit
        if (q[i][0] != "23") {
            EXPECT_NEAR(std::stod(sc[i][score]), plink, 5e-4 * plink) << q[i][1];
        }
        EXPECT_EQ(z > 0, diff > 0) << q[i][1];
        EXPECT_EQ(z == 0, diff == 0) << q[i][1];
        ++compared;
    }
    EXPECT_GT(compared, 75);
}

// With every parent typed a stratum's prevalences are its parents' genotype shares, which PLINK
// 1.9's --hardy counts among the founders of that stratum alone (--keep).  Two strata by FID parity.
TEST(PlinkScan, StrataPrevalencesAreEachStratumsFounderGenotypeShares) {
    TempDir d;
    run_ok(QUILLON_SIMULATE_BIN,
           words("--families 160 --min-size 3 --max-size 4 --markers 20 --allele-freq 0.1,0.5 --ncov 1 --covar c0 "
                 "--bfile s --seed 12"),
           d);
    std::string covar = "FID IID X1 ANC\n", keep[2];
    for (const auto& row : table(d.read("c0")))
        if (row[0] != "FID") {
            covar += row[0] + " " + row[1] + " " + row[2] + " " + "BA"[std::stol(row[0]) % 2] + "\n";
            keep[std::stol(row[0]) % 2] += row[0] + " " + row[1] + "\n";
        }
    d.write("s.covar", covar), d.write("B", keep[0]), d.write("A", keep[1]);
    run_ok(QUILLON_BIN, words("scan --bfile s --covar s.covar --strata ANC --status-model 3 --covariate-model 3 --out q"), d);
    const Table q = table(d.read("q.tsv"));
    for (const std::string s : {"A", "B"}) {
        run_ok(PLINK_BIN, words("--bfile s --keep " + s + " --hardy --keep-allele-order --out " + s), d);
        const Table h = table(d.read(s + ".hwe"));
        const std::size_t p1 = column(q[0], "PREV1_" + s), p2 = column(q[0], "PREV2_" + s);
        long compared = 0;
        for (std::size_t i = 1, r = 1; i < q.size(); ++i) {
            while (h[r][1] != q[i][1] || h[r][2] != "ALL") ++r;
            // (A stratum without a parent of some genotype: its maximum at gamma = 0 is the
            // direction-set fit's, near it only.)
            if (q[i].back().starts_with("skipped") || q[i].back().find("fallback_powell") != std::string::npos) continue;
            long n[3] = {};
            ASSERT_EQ(std::sscanf(h[r][5].c_str(), "%ld/%ld/%ld", &n[0], &n[1], &n[2]), 3);  // A1A1/A1A2/A2A2
            const double total = static_cast<double>(n[0] + n[1] + n[2]);
            EXPECT_NEAR(std::stod(q[i][p2]), n[0] / total, 1e-9) << q[i][1];
            EXPECT_NEAR(std::stod(q[i][p1]), n[1] / total, 1e-9) << q[i][1];
            ++compared;
        }
        EXPECT_GT(compared, 12);
    }
}

}  // namespace
}  // namespace quillon
