// PLINK 2 as the reference of the hard calls: its --make-bed of an imputed VCF (dosage=GP-force,
// --hard-call-threshold T), given the study's .fam, scans to the same rows and Mendel list as
// the VCF read with --genotypes hardcall at T.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/program.hpp"

namespace quillon {
namespace {

using namespace test_support;

void run_ok(const std::string& exe, const std::vector<std::string>& args, const TempDir& dir) {
    const RunResult r = run_program(exe, args, dir.path(), "", 300);
    ASSERT_EQ(r.status, 0) << exe << " " << (args.empty() ? "" : args[0]) << ":\n" << r.out << r.err;
}

// Every 5th sample of a record gets in turn one of these GP: ties at 0.1 (a dosage exactly
// 0.1 from a call), a heterozygote by dosage alone, GP summing to 0.8 and to 1.2.
std::string with_odd_probabilities(const std::string& vcf) {
    static const char* const kOdd[] = {"0,0.9,0.1", "0.9,0.1,0", "0.45,0.1,0.45", "0.3,0.3,0.2", "0.2,0.5,0.5",
                                       "0.1,0.85,0.05"};
    std::string out;
    std::size_t start = 0, odd = 0;
    while (start < vcf.size()) {
        const std::size_t end = vcf.find('\n', start);
        std::string line = vcf.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("#")) {
            out += line + '\n';
            continue;
        }
        std::vector<std::string> fields;
        for (std::size_t a = 0, b; a <= line.size(); a = b + 1) {
            b = std::min(line.find('\t', a), line.size());
            fields.push_back(line.substr(a, b - a));
        }
        for (std::size_t s = 9; s < fields.size(); s += 5)
            if (fields[s] != "./.:.:.") fields[s] = "0/0:.:" + std::string(kOdd[odd++ % 6]);
        for (std::size_t f = 0; f < fields.size(); ++f) out += (f ? "\t" : "") + fields[f];
        out += '\n';
    }
    return out;
}

// The TSV without its INFO column (a .bed has no imputation quality).
std::string without_info(const std::string& tsv) {
    std::string out;
    for (const auto& row : table(tsv, '\t')) {
        for (std::size_t c = 0; c < row.size(); ++c)
            if (c != 9) out += (c ? "\t" : "") + row[c];
        out += '\n';
    }
    return out;
}

TEST(Plink2HardCalls, PlinkTwoBedScansAsTheVcfReadForHardCalls) {
    if (std::string(PLINK2_BIN).empty()) GTEST_SKIP() << "plink2 is missing: install plink2 (tools/install-deps)";
    TempDir d;
    run_ok(QUILLON_SIMULATE_BIN,
           words("--families 150 --max-size 6 --markers 40 --allele-freq 0.1,0.5 --effect-share 0.3 --beta 0.6 "
                 "--model additive --ncov 1 --intercept --untyped-children 0.05 --imputed-r2 0.3,0.6,0.9 --seed 5 "
                 "--bfile s --vcf raw.vcf"),
           d);
    d.write("s.vcf", with_odd_probabilities(d.read("raw.vcf")));
    for (const std::string t : {"0.1", "0.3"}) {
        run_ok(PLINK2_BIN, words("--vcf s.vcf dosage=GP-force --hard-call-threshold " + t + " --make-bed --out P"), d);
        d.write("P.fam", d.read("s.fam"));  // plink2 writes no families; the sample order is the .fam's
        const std::string common = " --status-model additive --quiet --threads 2 --out ";
        run_ok(QUILLON_BIN, words("scan --bfile P" + common + "bed"), d);
        run_ok(QUILLON_BIN,
               words("scan --vcf s.vcf --fam s.fam --genotypes hardcall --hard-call-threshold " + t + common + "vcf"),
               d);
        const std::string bed = d.read("bed.tsv");
        EXPECT_EQ(bed, without_info(d.read("vcf.tsv"))) << t;
        EXPECT_EQ(d.read("bed.mendel"), d.read("vcf.mendel")) << t;
        EXPECT_NE(bed.find("\tok\n"), std::string::npos);
        EXPECT_NE(d.read("vcf.mendel").find('\n', 60), std::string::npos) << "no Mendel error to compare";
    }
}

}  // namespace
}  // namespace quillon
