#pragma once
// Simulated studies as family tables: quillon-simulate's draw for its options (one string),
// converted in memory as the input stage reads the files (copies of allele 2, untyped -1).

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simulate/simulate.hpp"
#include "support/families.hpp"
#include "support/program.hpp"

namespace quillon::test_support {

inline FamilyTable simulated(const std::string& options) {
    const std::vector<std::string> args = words("quillon-simulate " + options);
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    SimulateOptions o;
    SimulatedStudy study;
    std::string error;
    EXPECT_TRUE(parse_simulate_options(static_cast<int>(argv.size()), argv.data(), o, error) &&
                simulate_study(o, study, error)) << error;
    std::vector<famdat> families;
    for (long i = 1; i <= study.nfam; ++i) {
        const SimFamily& f = study.fam[i];
        std::vector<Member> members(static_cast<std::size_t>(f.ninfam));
        for (int j = 1; j <= f.ninfam; ++j) {
            Member& m = members[static_cast<std::size_t>(j - 1)];
            m = {f.allele1[j] == 0 ? -1 : (f.allele1[j] == 2) + (f.allele2[j] == 2), f.pheno[j], f.weight[j], {}};
            for (int k = 1; k <= o.ncov; ++k) m.cov.push_back(f.covars[j][k]);
        }
        families.push_back(make_family(f.famid, o.ncov, members));
    }
    return make_table(std::move(families));
}

// An intercept and one N(0, 1) covariate acting through the covariate model.
inline std::string effects(int cmodel) {
    return cmodel == kNone ? " --ncov 2 --intercept --model none --b1 0.3,-0.2 --b2 0.5,0.1"
                           : " --ncov 2 --intercept --model " + std::to_string(cmodel) + " --beta 0.3,-0.2";
}

}  // namespace quillon::test_support
