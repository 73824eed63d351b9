#include "input/data_checks.hpp"

#include "genetics/patterns.hpp"
#include "genetics/x_inheritance.hpp"

namespace quillon {

namespace {
bool valid_allele(long a) { return a >= 0 && a <= 2; }
bool sized_for_analysis(long n) { return n >= 3 && n <= maxfamilysize; }
}  // namespace

int genotype_code(long a1, long a2, bool is_child) {
    const bool missing = is_child ? (a1 == 0 || a2 == 0) : (a1 == 0 && a2 == 0);
    return missing ? -1 : static_cast<int>(a1 + a2 - 2);
}

LineCheckResult check_pedigree_line(long famid, long phenotype, long a1, long a2, bool is_child,
                                    const char* pedigree_name, long line_number, std::FILE* out) {
    LineCheckResult r;
    // "a1 * a2 == 0" tested without the product, which overflows for huge alleles.
    const bool one_missing = a1 == 0 || a2 == 0;
    if (phenotype < 0 || phenotype > 2) {
        std::fprintf(out, "\nERROR:  Family %ld: This family has an impermissible penotype.\n", famid);
        std::fprintf(out, "Each individual must have a phenotype of 0(missing) or 1 or 2\n");
        r.passed = false;
        r.bad_phenotype = true;
    }
    if (one_missing && (a1 != 0 || a2 != 0)) {
        std::fprintf(out, "\nERROR: Family %ld: An individual has only one of two alleles known.\n", famid);
        r.passed = false;
        r.one_allele_known = true;
    }
    if (one_missing && is_child) {
        std::fprintf(out, "\nERROR:  Family %ld: This child  has an unknown  genotype.\n", famid);
        r.passed = false;
        r.child_untyped = true;
    }
    if (!valid_allele(a1) || !valid_allele(a2)) {
        std::fprintf(out,
                     "\nERROR: Family %ld: An individual has an allele other than 0, 1 or 2"
                     " (%s line %ld).\n",
                     famid, pedigree_name, line_number);
        r.passed = false;
        r.alleles_valid = false;
    }
    return r;
}

void x_code(famdat& f, int j, InputTally* tally, InputPlace place) {
    const auto warn = [&](InputWarning kind) {
        if (tally != nullptr) tally->warn(kind, place);
    };
    if (j <= 2) {
        if (f.sex[j] == 3 - j) warn(InputWarning::kXParentSex);
        f.sex[j] = j;
    } else if (f.sex[j] == 0) {
        warn(InputWarning::kXChildSexUnknown);
    }
    if (f.sex[j] != 1 || f.famgeno[j] == -1) return;
    if (f.famgeno[j] == 1) warn(InputWarning::kXHeterozygousMale);
    f.famgeno[j] = f.famgeno[j] == 1 ? -1 : f.famgeno[j] / 2;
}

bool check_families(FamilyTable& families, const FamilyNotes& notes, const char* pedigree_name, std::FILE* out,
                    InputTally* tally, ChromosomeClass chromosome) {
    const bool x = chromosome == ChromosomeClass::kX;
    bool passed = true;
    const long nfam = families.nfam;
    auto count = [&](DataFault kind, long i) {
        if (tally != nullptr) tally->error(kind, {InputFileId::kPedigree, notes.first_line[i], families[i].famid, true});
    };

    for (long i = 1; i <= nfam; ++i) {
        if (sized_for_analysis(notes.size[i])) continue;
        std::fprintf(out,
                     "\nERROR: Family %ld (%s line %ld) has %ld members; a family must have 3 to %d:"
                     " a father, a mother and 1 to %d children.\n",
                     families[i].famid, pedigree_name, notes.first_line[i], notes.size[i], maxfamilysize, maxchildren);
        count(DataFault::kFamilySize, i);
        passed = false;
    }

    auto genotypes_known = [&](long i) { return sized_for_analysis(notes.size[i]) && notes.allele_fault[i] == 0; };

    for (long i = 1; i <= nfam; ++i) {
        if (!genotypes_known(i)) continue;
        famdat& f = families[i];
        if (!(x ? x_store_consistent_pairs(f) : store_consistent_pairs(f))) {
            std::fprintf(out, "\nERROR: Family %ld: Family genotypes are inconsistant.\n", f.famid);
            count(DataFault::kInconsistentGenotypes, i);
            passed = false;
        }
    }

    for (long i = 1; i <= nfam && !x; ++i) {
        if (!genotypes_known(i)) continue;
        const famdat& f = families[i];
        if (f.famgeno[1] != -1 && f.famgeno[2] == -1) {
            std::fprintf(out, "\nERROR: Family %ld: Mother's genotype is unknown.  Father's is known.\n", f.famid);
            std::fprintf(out, " If only one parent has known genotype, it must be the mother.\n");
            std::fprintf(out, " Change the data, (interchange the lines for mother and father in\n");
            std::fprintf(out, " the wpedigree.dat, wcovars.dat, and wweights.dat file)  for mother\n");
            std::fprintf(out, " to that of father's (and remember to assign 'father' to  sex=2=female\n");
            std::fprintf(out, " and 'mother' to sex=1).\n");
            std::fprintf(out, " Then rerun.\n");
            count(DataFault::kFatherTypedMotherNot, i);
            passed = false;
        }
    }
    return passed;
}

}  // namespace quillon
