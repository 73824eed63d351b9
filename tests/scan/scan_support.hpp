#pragma once
// Helpers of the scan tests: simulated studies, runs of `quillon scan`, its TSV read back,
// and one marker's families written as the single run's three files.

#include <charconv>
#include <sstream>
#include <string>
#include <vector>

#include "support/program.hpp"
#include "formats/genotypes.hpp"
#include "formats/marker_families.hpp"
#include "formats/study.hpp"

namespace quillon::scantest {

using test_support::RunResult;
using test_support::TempDir;

// Runs quillon-simulate in `dir` with a multi-marker study "st" (st.bed/.bim/.fam, st.vcf,
// st.covar, st.w) and the extra options.
inline void simulate(const TempDir& dir, std::vector<std::string> args) {
    const std::vector<std::string> files = {"--bfile", "st", "--vcf", "st.vcf", "--weight-file", "st.w"};
    args.insert(args.end(), files.begin(), files.end());
    const RunResult r = test_support::run_program(QUILLON_SIMULATE_BIN, args, dir.path(), "");
    if (r.status != 0) throw std::runtime_error("quillon-simulate failed: " + r.err);
}

inline RunResult scan(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "scan");
    args.push_back("--quiet");
    return test_support::run_program(QUILLON_BIN, args, dir.path(), "");
}

inline std::vector<std::string> split(const std::string& line, char sep) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, sep);) fields.push_back(f);
    return fields;
}

// The TSV's lines split into fields, header first.
inline std::vector<std::vector<std::string>> read_tsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) rows.push_back(split(line, '\t'));
    return rows;
}

// A TSV number read back exactly (from_chars inverts to_chars); NA reads as NaN.
inline double number(const std::string& field) {
    if (field == "NA") return std::numeric_limits<double>::quiet_NaN();
    double x = 0;
    const auto r = std::from_chars(field.data(), field.data() + field.size(), x);
    if (r.ec != std::errc() || r.ptr != field.data() + field.size()) throw std::runtime_error("not a number: " + field);
    return x;
}

// Writes wpedigree.dat, wcovars.dat and wweights.dat in `dir` holding the marker's kept
// families in their member order: the persons' .fam phenotypes, their genotypes at the
// marker, the covariate and weight text of the study ("0" for placeholders).
inline void write_single_run_files(const TempDir& dir, const Study& study, const MarkerFamilies& mf,
                                   const std::vector<std::int8_t>& genotype) {
    std::string ped, cov, wt;
    for (std::size_t k = 0; k < mf.kept.size(); ++k) {
        const long famid = mf.kept[k] + 1;
        for (std::size_t m = 0; m < mf.members[k].size(); ++m) {
            const long p = mf.members[k][m];
            const auto up = static_cast<std::size_t>(p);
            const int g = p < 0 ? -1 : genotype[up];
            const char* alleles[] = {"0 0", "1 1", "1 2", "2 2"};
            ped += std::to_string(famid) + " " + std::to_string(m + 1) + (m < 2 ? " 0 0 " : " 1 2 ") +
                   std::to_string(m == 1 ? 2 : 1) + " " + std::to_string(p < 0 ? 0 : study.people[up].phenotype) +
                   " 0 " + alleles[g + 1] + "\n";
            for (long c = 0; c < study.ncov(); ++c)
                cov += (c ? " " : "") + (p < 0 ? std::string("0") : study.covariate_text[up][static_cast<std::size_t>(c)]);
            cov += "\n";
            wt += (p < 0 ? std::string("0") : study.weight_text[up]) + "\n";
        }
    }
    dir.write("wpedigree.dat", ped);
    dir.write("wcovars.dat", cov);
    dir.write("wweights.dat", wt);
}

}  // namespace quillon::scantest
