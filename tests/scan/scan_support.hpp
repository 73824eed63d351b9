#pragma once
// Helpers of the scan tests: simulated studies, runs of `quillon scan`, its TSV read back.

#include <sstream>
#include <string>
#include <vector>

#include "support/program.hpp"

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

}  // namespace quillon::scantest
