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
// With Study::complete_trios a family enters only when both its parents are typed (PLINK's
// rule for the TDT), before rule 2.
//
// On X the codes are x_member_code's (formats/x_genotypes.hpp: a male's allele 0 or 1, his
// heterozygous call untyped) with the sexes of Study::x_sex; rule 1 also leaves out children
// of unknown sex; rule 2 is x_store_consistent_pairs (a son carries an allele his mother can
// give, a daughter her father's and one of her mother's); rule 3 does not apply (member 1 is
// always the father).

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/study.hpp"
#include "genetics/chromosome.hpp"
#include "genetics/family.hpp"

namespace quillon {

struct MendelError {
    long family = 0;  // index into Study::families
    std::vector<long> children;  // the family's typed children (Study::people indices)
};

struct MarkerFamilies {
    FamilyTable table;  // the families kept, in study order (famid = index into Study::families + 1)
    std::vector<long> kept;  // Study::families index of each kept family
    // Kept family i's (from 0) members as Study::people indices (-1 a placeholder), in the
    // table's member order (after rule 3).
    std::span<const long> members(std::size_t i) const {
        const Held& h = held[i];
        return {h.person.data(), static_cast<std::size_t>(h.n)};
    }
    long children = 0;  // children in the kept families
    std::vector<MendelError> mendel;
    // Only one allele among the typed members of the kept families (all 0 or all 2);
    // false when no family is kept.
    bool monomorphic = false;
    bool typed_parent = false;  // some kept family has a typed parent
    // With strata (Study::strata), the kept families of each stratum; empty otherwise.
    std::vector<long> stratum_families;

    // Whom each record (held[r] for table record r + 1, kept or not) holds the phenotypes,
    // sexes, covariates and weights of: the study family and which of its members (its
    // shape: a swap of the parents, the children kept), so that a record given the same
    // members at the next marker keeps them and only its genotypes and pairs are written.
    struct Held {
        long family = -1;  // Study::families index; -1 nobody
        unsigned shape = 0;
        int n = 0;
        std::array<long, maxfamilysize> person{};
    };
    std::vector<Held> held;
    bool held_on_x = false;  // `held` was written for an X marker
};

// Builds the table for one marker from `genotype` (one code per Study::people entry).
// Records are filled as the single run's reader fills them: famid, ninfam, famgeno,
// phenodat (0 missing, 1, 2), fcovdat (ninfam x ncov), weight (0 for phenotype 0), pgenos
// (parentpairs x 2, zero).  Placeholders: genotype -1, phenotype 0, covariates 0, weight 0.
// Rule 2 is checked as the single run checks a family (after the swap of rule 3, which
// changes no likelihood but puts a lone typed parent where the check compares it with the
// children), so every kept family passes its checks.
// `out` is reused between markers (with the same study): a record is allocated for all the
// members a study family can have and grows only for a larger one, so a marker whose
// families fit the records allocates nothing but its Mendel errors' lists.
// Covariate doubles are those of the study, which parse the same text the single run reads.
// `chr` kX reads the marker as X-linked (above); any other class as an autosome.
void build_marker_families(const Study& study, const std::vector<std::int8_t>& genotype, MarkerFamilies& out,
                           ChromosomeClass chr = ChromosomeClass::kAutosome);

// The same with uncertain genotypes: `likelihood` per Study::people entry (Marker::likelihood),
// `genotype` the best guesses (-1 without data).  Each record's glik holds its members'
// vectors ((1, 1, 1) for a placeholder), its dosage their `dosage` entries (Marker::dosage;
// NaN for a placeholder; left empty when `dosage` is), pgenos all nine pairs, and rule 2 is
// not applied: the vectors are floored, so no configuration is impossible.  An empty
// `likelihood` is the version above.
void build_marker_families(const Study& study, const std::vector<std::int8_t>& genotype,
                           const std::vector<std::array<double, 3>>& likelihood, const std::vector<double>& dosage,
                           MarkerFamilies& out, ChromosomeClass chr = ChromosomeClass::kAutosome);

}  // namespace quillon
