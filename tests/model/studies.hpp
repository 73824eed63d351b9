#pragma once
// Simulated studies as family tables: quillon-simulate's draw, converted in memory the way
// the input stage reads its files (genotype = copies of allele 2, untyped -1).

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simulate/simulate.hpp"
#include "test_families.hpp"

namespace quillon::test_support {

inline FamilyTable study_families(const SimulateOptions& o) {
    SimulatedStudy study;
    std::string error;
    EXPECT_TRUE(simulate_study(o, study, error)) << error;
    std::vector<famdat> families;
    for (long i = 1; i <= study.nfam; ++i) {
        const SimFamily& f = study.fam[i];
        std::vector<Member> members;
        for (int j = 1; j <= f.ninfam; ++j) {
            Member m;
            m.geno = f.allele1[j] == 0 ? -1 : (f.allele1[j] == 2) + (f.allele2[j] == 2);
            m.pheno = f.pheno[j];
            m.weight = f.weight[j];
            for (int k = 1; k <= o.ncov; ++k) m.cov.push_back(f.covars[j][k]);
            members.push_back(m);
        }
        families.push_back(make_family(f.famid, o.ncov, members));
    }
    return make_table(std::move(families));
}

// A study of `nfam` families with an intercept and one N(0, 1) covariate, effect (0.3, -0.2)
// through the covariate model (None: b1 = (0.3, -0.2), b2 = (0.5, 0.1)).  With `untyped`
// the families have 3-6 members, 20% untyped fathers, 10% both parents untyped, random
// weights and 10% missing phenotypes; otherwise they are complete trios.
inline SimulateOptions design(int cmodel, bool untyped, long nfam, long seed) {
    SimulateOptions o;
    o.families = nfam;
    o.min_size = 3;
    o.max_size = untyped ? 6 : 3;
    o.untyped_father = untyped ? 0.2 : 0.0;
    o.untyped_parents = untyped ? 0.1 : 0.0;
    o.missing_phenotype = untyped ? 0.1 : 0.0;
    o.random_weights = untyped;
    o.ncov = 2;
    o.intercept = true;
    o.cmodeltype = cmodel;
    if (cmodel == kNone) {
        o.b1 = make_vector({0.3, -0.2});
        o.b2 = make_vector({0.5, 0.1});
    } else {
        o.beta = make_vector({0.3, -0.2});
    }
    o.seed = seed;
    return o;
}

}  // namespace quillon::test_support
