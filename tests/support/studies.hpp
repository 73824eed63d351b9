#pragma once
// Simulated studies: quillon-simulate run in process with its options as one string, into a
// folder, and the study read back by the single run's reader, which runs every data check.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/pedigree_input.hpp"
#include "simulate/simulate.hpp"
#include "support/program.hpp"

namespace quillon::test_support {

// quillon-simulate's exit status on `options` (the words after the program's name).
inline int simulate_into(const TempDir& dir, const std::string& options) {
    std::vector<std::string> args = words("quillon-simulate --out " + dir.path() + " " + options);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return simulate_main(static_cast<int>(argv.size()), argv.data());
}

// The study the options draw, as the single run reads it (covariates as --ncov says).
inline FamilyTable simulated(const std::string& options) {
    const TempDir dir;
    EXPECT_EQ(simulate_into(dir, options), 0) << options;
    const std::vector<std::string> w = words(options);
    const auto ncov = std::find(w.begin(), w.end(), "--ncov");
    return read_families(Settings{.ncov = ncov == w.end() ? 0 : std::stol(ncov[1])}, dir.path());
}

// An intercept and one N(0, 1) covariate acting through the covariate model.
inline std::string effects(int cmodel) {
    return cmodel == kNone ? " --ncov 2 --intercept --model none --b1 0.3,-0.2 --b2 0.5,0.1"
                           : " --ncov 2 --intercept --model " + std::to_string(cmodel) + " --beta 0.3,-0.2";
}

}  // namespace quillon::test_support
