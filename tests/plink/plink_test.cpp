// PLINK 1.9 as an independent reader and reference of the simulated multi-marker studies and of
// `quillon scan` (label external: runs plink1.9).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/run_program.hpp"

namespace quillon {
namespace {

using e2e::TempDir;
using Table = std::vector<std::vector<std::string>>;

// Runs a program in `dir` and fails the test unless it exits with status 0.
void run_ok(const std::string& exe, const std::vector<std::string>& args, const TempDir& dir) {
    const e2e::RunResult r = e2e::run_program(exe, args, dir.path(), "", 300);
    ASSERT_EQ(r.status, 0) << exe << " " << (args.empty() ? "" : args[0]) << ":\n" << r.out << r.err;
}

// Lines split at blanks and tabs.
Table fields(const std::string& text) {
    Table t;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        t.emplace_back();
        for (std::string w; words >> w;) t.back().push_back(w);
    }
    return t;
}

std::size_t column(const std::vector<std::string>& header, const std::string& name) {
    for (std::size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return i;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

// A study with every kind of family, marker and fault the simulator makes; `files` name
// its outputs.
void simulate(const TempDir& dir, const std::vector<std::string>& files) {
    std::vector<std::string> args = {
        "--families", "150", "--max-size", "6", "--untyped-father", "0.25", "--untyped-parents", "0.15",
        "--missing-phenotype", "0.1", "--ncov", "3", "--intercept", "--model", "additive", "--beta", "0.5,0.3,-0.2",
        "--markers", "60", "--chromosomes", "2", "--x-markers", "3", "--effect-share", "0.2", "--allele-freq",
        "0.05,0.5", "--untyped-children", "0.05", "--genotype-errors", "0.01", "--unaffected-children", "0.15",
        "--father-only", "0.4", "--weights", "random", "--seed", "31"};
    args.insert(args.end(), files.begin(), files.end());
    run_ok(QUILLON_SIMULATE_BIN, args, dir);
}

// The .bed and the BGZF VCF of one study, each read by PLINK: the same copies of A1 (= ALT)
// for every person and marker; people left out of the VCF are untyped in the .bed.
TEST(PlinkReads, TheSimulatedBedAndVcfAlike) {
    TempDir d;
    simulate(d, {"--bfile", "s", "--vcf", "s.vcf.gz"});
    run_ok(PLINK_BIN, {"--bfile", "s", "--keep-allele-order", "--recode", "A", "--out", "bed"}, d);
    run_ok(PLINK_BIN, {"--vcf", "s.vcf.gz", "--double-id", "--keep-allele-order", "--recode", "A", "--out", "vcf"}, d);
    const Table bed = fields(d.read("bed.raw")), vcf = fields(d.read("vcf.raw"));
    ASSERT_EQ(bed[0].size(), 6u + 60u);
    ASSERT_EQ(bed[0], vcf[0]);  // the same markers and counted alleles
    std::map<std::string, std::vector<std::string>> from_vcf;
    for (std::size_t i = 1; i < vcf.size(); ++i) from_vcf[vcf[i][1]] = {vcf[i].begin() + 6, vcf[i].end()};
    long untyped_people = 0;
    for (std::size_t i = 1; i < bed.size(); ++i) {
        const std::vector<std::string> g(bed[i].begin() + 6, bed[i].end());
        const auto v = from_vcf.find(bed[i][1]);
        if (v == from_vcf.end()) {
            EXPECT_EQ(g, std::vector<std::string>(60, "NA")) << bed[i][1];
            ++untyped_people;
        } else {
            EXPECT_EQ(g, v->second) << bed[i][1];
        }
    }
    EXPECT_EQ(bed.size() - 1, vcf.size() - 1 + untyped_people);
    EXPECT_GT(untyped_people, 0);
}

// A .ped/.map written here from the study's plain VCF, made into a .bed by PLINK (A1 forced
// to the simulator's), our .bed and the BGZF VCF scan to the same TSV and Mendel list.
TEST(PlinkScan, PlinkMadeBedOursAndVcfGiveOneTsv) {
    TempDir d;
    simulate(d, {"--bfile", "s", "--vcf", "s.vcf.gz", "--covar", "s.covar", "--weight-file", "s.weights"});
    simulate(d, {"--vcf", "plain.vcf"});

    // .ped: the .fam line, then two alleles per marker ("0 0" untyped or absent from the VCF).
    std::map<std::string, std::string> alleles;  // IID -> " a b a b ..."
    std::string map;
    std::vector<std::string> samples;
    for (const std::vector<std::string>& f : fields(d.read("plain.vcf"))) {
        if (f[0].rfind("##", 0) == 0) continue;
        if (f[0] == "#CHROM") {
            samples.assign(f.begin() + 9, f.end());
            continue;
        }
        map += f[0] + ' ' + f[2] + " 0 " + f[1] + '\n';
        for (std::size_t s = 0; s < samples.size(); ++s) {
            const std::string& gt = f[9 + s];
            const auto allele = [&](char c) { return c == '.' ? std::string("0") : c == '0' ? f[3] : f[4]; };
            alleles[samples[s]] += ' ' + allele(gt[0]) + ' ' + allele(gt[2]);
        }
    }
    std::string ped;
    const std::size_t markers = fields(map).size();
    for (const std::vector<std::string>& f : fields(d.read("s.fam"))) {
        std::string line = f[0] + ' ' + f[1] + ' ' + f[2] + ' ' + f[3] + ' ' + f[4] + ' ' + f[5];
        const auto a = alleles.find(f[1]);
        if (a != alleles.end()) {
            line += a->second;
        } else {
            for (std::size_t m = 0; m < markers; ++m) line += " 0 0";
        }
        ped += line + '\n';
    }
    d.write("text.ped", ped);
    d.write("text.map", map);
    run_ok(PLINK_BIN, {"--file", "text", "--make-bed", "--keep-allele-order", "--a1-allele", "s.bim", "5", "2",
                       "--out", "plink"},
           d);

    const std::vector<std::string> common = {"--covar", "s.covar", "--weights", "s.weights", "--all-children",
                                             "--status-model", "additive", "--covariate-model", "additive", "--quiet"};
    const auto scan = [&](std::vector<std::string> input, const std::string& out) {
        input.insert(input.begin(), "scan");
        input.insert(input.end(), common.begin(), common.end());
        input.insert(input.end(), {"--out", out});
        run_ok(QUILLON_BIN, input, d);
    };
    scan({"--bfile", "s"}, "ours");
    scan({"--bfile", "plink"}, "plink");
    scan({"--vcf", "s.vcf.gz", "--fam", "s.fam"}, "vcf");
    const std::string tsv = d.read("ours.tsv");
    EXPECT_EQ(fields(tsv).size(), 61u);
    EXPECT_NE(tsv.find("\tok\n"), std::string::npos);
    EXPECT_NE(tsv.find("skipped:non_autosomal"), std::string::npos);
    EXPECT_NE(d.read("ours.mendel"), "");
    EXPECT_EQ(tsv, d.read("plink.tsv"));
    EXPECT_EQ(tsv, d.read("vcf.tsv"));
    EXPECT_EQ(d.read("ours.mendel"), d.read("plink.mendel"));
    EXPECT_EQ(d.read("ours.mendel"), d.read("vcf.mendel"));
}

// Complete trios, no covariates, no intercept: NFS^2 is PLINK's TDT chi-square (T - U)^2 / (T + U)
// to the 4 significant digits PLINK prints, and NFS has the sign of T - U.
TEST(PlinkScan, NfsSquaredIsTheTdtChiSquare) {
    TempDir d;
    run_ok(QUILLON_SIMULATE_BIN,
           {"--families", "400", "--min-size", "3", "--max-size", "3", "--markers", "80", "--chromosomes", "2",
            "--x-markers", "2", "--allele-freq", "0.01,0.5", "--bfile", "trios", "--seed", "5"},
           d);
    run_ok(QUILLON_BIN, {"scan", "--bfile", "trios", "--no-intercept", "--status-model", "additive", "--quiet", "--out", "q"}, d);
    run_ok(PLINK_BIN, {"--bfile", "trios", "--tdt", "--keep-allele-order", "--out", "p"}, d);
    const Table q = fields(d.read("q.tsv")), p = fields(d.read("p.tdt"));
    ASSERT_EQ(q.size(), 81u);
    ASSERT_EQ(p.size(), 81u);
    const std::size_t nfs = column(q[0], "NFS"), status = column(q[0], "STATUS");
    const std::size_t t = column(p[0], "T"), u = column(p[0], "U"), chisq = column(p[0], "CHISQ");
    long compared = 0;
    for (std::size_t i = 1; i < p.size(); ++i) {
        ASSERT_EQ(q[i][1], p[i][1]);
        if (i > 78) {  // X: PLINK counts male transmissions, the scan skips the marker
            EXPECT_EQ(q[i][status], "skipped:non_autosomal");
            continue;
        }
        const long diff = std::stol(p[i][t]) - std::stol(p[i][u]);
        if (p[i][chisq] == "NA") {  // no heterozygous parent
            EXPECT_EQ(q[i][nfs], "NA") << q[i][1];
            continue;
        }
        ASSERT_EQ(q[i][status], "ok") << q[i][1];
        const double z = std::stod(q[i][nfs]), plink = std::stod(p[i][chisq]);
        EXPECT_NEAR(z * z, plink, 5e-4 * plink) << q[i][1];  // half a unit of the 4th digit
        EXPECT_EQ(z > 0, diff > 0) << q[i][1];
        EXPECT_EQ(z == 0, diff == 0) << q[i][1];
        ++compared;
    }
    EXPECT_GT(compared, 70);
}

}  // namespace
}  // namespace quillon
