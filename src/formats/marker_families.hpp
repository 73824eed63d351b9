#pragma once
// One marker's family table: the study's nuclear families with that marker's genotypes,
// after the per-marker rules, ready for the analysis.  The table is what the single run
// would read from three files that hold exactly these families.
//
// Rules, in this order:
//  1. a child untyped at the marker is left out; a family with no typed child is left out;
//  2. a family whose typed genotypes no parental pair explains (a Mendel error, including
//     two typed parents and an impossible child) is left out and reported;
//  3. a typed father with an untyped mother swap places (the untyped parent becomes
//     member 1);
//  4. covariates: the study's columns (intercept first unless left out).

#include <cstdint>
#include <string>
#include <vector>

#include "formats/study.hpp"
#include "genetics/family.hpp"

namespace quillon {

struct MendelError {
    long family = 0;  // index into Study::families
    std::vector<long> children;  // persons whose genotypes are listed in the .mendel file
};

struct MarkerFamilies {
    FamilyTable table;  // the families kept, in study order (famid = index into Study::families + 1)
    std::vector<long> kept;  // Study::families index of each kept family
    // Per kept family, its members as Study::people indices (-1 a placeholder), in the
    // table's member order (after rule 3).
    std::vector<std::vector<long>> members;
    long children = 0;  // children in the kept families
    std::vector<MendelError> mendel;
    bool monomorphic = false;  // every typed member of the kept families has one genotype
};

// Builds the table for one marker.  `out` is reused between markers (its arrays are
// reallocated only when a family grows).  Covariate doubles are those of the study, which
// parse the same text the single run would read.
void build_marker_families(const Study& study, const std::vector<std::int8_t>& genotype, MarkerFamilies& out);

}  // namespace quillon
