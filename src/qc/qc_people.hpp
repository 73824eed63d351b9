#pragma once
// The individuals of a .fam as the per-marker quality control sees them, formed once per study
// from the .fam and a keep mask (person_list.hpp), with PLINK 1.9's definitions:
//
//  - kept: the people of the mask; everything below is among them.
//  - founder: a kept person whose father and mother fields are both "0".  A person with a
//    parent named but absent from the .fam is not a founder, and a founder stays one when
//    the mask leaves out somebody else.
//  - trio: a kept child, of any phenotype, whose father and mother (looked up by IID within
//    the child's FID) are both in the .fam and kept.  Trios with the same father and mother
//    form one family, for the transmission counts.
//  - affected: phenotype 2 and a known sex (PLINK 1.9 ignores the phenotype of a person of
//    unknown sex).
//  - male: sex 1.  On X, a person of unknown sex counts as a female does.

#include <vector>

#include "formats/study.hpp"

namespace quillon {

struct QcTrio {
    long child = 0, father = 0, mother = 0;  // indices into the .fam
    bool child_male = false;
    bool child_affected = false;
};

struct QcPeople {
    std::vector<long> kept_people;    // the people in the mask, in .fam order
    std::vector<long> founders;       // kept founders, in .fam order
    std::vector<char> male;           // per .fam person: sex 1
    // Trios grouped by parent pair: family f is trios[family_start[f] .. family_start[f+1]).
    // Families come in the order of their first child in the .fam, children in .fam order.
    std::vector<QcTrio> trios;
    std::vector<long> family_start;  // families + 1 entries

    long families() const { return static_cast<long>(family_start.size()) - 1; }
};

// `keep` holds one entry per person of `people` (nonzero: kept).
QcPeople qc_people(const std::vector<FamPerson>& people, const std::vector<char>& keep);

}  // namespace quillon
