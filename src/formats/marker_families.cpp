#include "formats/marker_families.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

#include "formats/x_genotypes.hpp"
#include "genetics/patterns.hpp"
#include "genetics/x_inheritance.hpp"

namespace quillon {

namespace {

// Makes record `f` hold `members` members with `ncov` covariates, allocating only when it is
// too small or its covariate count differs (true when it allocated).
// All or nothing: the arrays are allocated first and moved in only when every one succeeded,
// so a record whose growth failed is left as it was, never half grown.
bool ensure_capacity(famdat& f, int members, long ncov) {
    const bool fits = f.famgeno.allocated() && f.famgeno.hi() >= members && f.fcovdat[1].hi() == ncov;
    if (fits) return false;
    IVector famgeno = ivector(1, members), phenodat = ivector(1, members), sex = ivector(1, members);
    DMatrix fcovdat = flmatrix(1, members, 1, ncov);
    DVector weight = vector(1, members);
    // A typed trio has one pair: a new record starts with one row (room_for_pairs adds more).
    IMatrix pgenos = f.pgenos.allocated() ? std::move(f.pgenos) : imatrix(1, 1, 1, 2);
    f.famgeno = std::move(famgeno);
    f.phenodat = std::move(phenodat);
    f.sex = std::move(sex);
    f.fcovdat = std::move(fcovdat);
    f.weight = std::move(weight);
    f.pgenos = std::move(pgenos);
    return true;
}

// One study family at a marker after rules 1 and 3: its members' codes (written where the
// caller asks), the children's genotype set (child_bit), the codes seen and the family's
// shape (MarkerFamilies::Held), from which its members follow (family_people).
struct FamilyMembers {
    static constexpr int kAllele1 = 1, kAllele2 = 2;  // a copy of the counted allele / of the other
    static constexpr unsigned kSwapped = 1;  // shape: the parents swapped (rule 3); child i kept: bit i + 1
    int n = 0;
    int father = -1, mother = -1;  // codes of members 1 and 2
    int children = 0;
    int seen = 0;  // bit 4 male + g + 1 for each member's code g (male: on X a male, whose code is one allele)
    unsigned shape = 0;
    // The alleles (kAllele1 | kAllele2) of the codes in `seen`.
    static int alleles(int seen) {
        // The alleles of code g (-1..2) at [male][g + 1]: a male's code on X is one allele.
        static constexpr int kAlleles[2][4] = {{0, kAllele2, kAllele1 | kAllele2, kAllele1},
                                               {0, kAllele2, kAllele1, kAllele1}};
        int a = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (seen & (1 << bit)) a |= kAlleles[bit / 4][bit % 4];
        return a;
    }
};

// The members of study family `nf` at the marker `genotype` after rules 1 and 3 (on X only
// rule 1): a person's code is his genotype, on X a male's allele (x_member_code).  Their
// codes go to code[0..n-1], which holds room for all of the family's members.
template <bool on_x>
void gather_members(const Study& study, const std::int8_t* genotype, const NuclearFamily& nf, int* code,
                    FamilyMembers& members) {
    const auto code_of = [&](long p) {
        if (p < 0) return -1;
        const int g = genotype[p];
        if constexpr (on_x) return x_member_code(g, study.x_sex[static_cast<std::size_t>(p)]);
        return g;
    };
    const auto male = [&](long p) { return on_x && p >= 0 && study.x_sex[static_cast<std::size_t>(p)] == 1 ? 4 : 0; };
    // Rule 3, placed first: a typed father with an untyped mother takes the mother's place.
    // Rule 2 needs it so: a typed father's pair is taken without looking at the children, a
    // typed mother's is checked against them.  Not on X, where the roles differ.
    int father = code_of(nf.father), mother = code_of(nf.mother);
    members.shape = 0;
    if (!on_x && father != -1 && mother == -1) {
        std::swap(father, mother);
        members.shape = FamilyMembers::kSwapped;
    }
    code[0] = members.father = father;
    code[1] = members.mother = mother;
    // (Swapped only on an autosome, where nobody counts as male.)
    members.seen = (1 << (male(nf.father) + father + 1)) | (1 << (male(nf.mother) + mother + 1));
    // Rule 1: typed children only; on X, of known sex only.
    int n = 2, children = 0;
    const std::size_t nchildren = nf.children.size();
    for (std::size_t i = 0; i < nchildren; ++i) {
        const long c = nf.children[i];
        if (const int g = code_of(c); g != -1 && (!on_x || study.x_sex[static_cast<std::size_t>(c)] != 0)) {
            code[n++] = g;
            children |= 1 << g;
            members.seen |= 1 << (male(c) + g + 1);
            members.shape |= 2U << i;
        }
    }
    members.n = n;
    members.children = children;
}

// The Study::people indices (-1 a placeholder) of the members of `nf` in a family of `shape`,
// in the table's order, into person[0..]; returns their number.
int family_people(const NuclearFamily& nf, unsigned shape, long* person) {
    const bool swapped = (shape & FamilyMembers::kSwapped) != 0;
    int n = 0;
    person[n++] = swapped ? nf.mother : nf.father;
    person[n++] = swapped ? nf.father : nf.mother;
    for (std::size_t i = 0; i < nf.children.size(); ++i)
        if (shape & (2U << i)) person[n++] = nf.children[i];
    return n;
}

// On an autosome, the family's pairs (consistent_pairs) in record `f`, as
// store_consistent_pairs stores them; false (and `f` left as it was) when there are none.
bool store_pairs(const FamilyMembers& members, famdat& f) {
    const PairList* pairs = consistent_pairs(members.father, members.mother, members.children);
    if (pairs != nullptr) store_pairs(*pairs, f);
    return pairs != nullptr;
}

}  // namespace

void build_marker_families(const Study& study, const std::vector<std::int8_t>& genotype, MarkerFamilies& out,
                           ChromosomeClass chr) {
    build_marker_families(study, genotype, {}, {}, out, chr);
}

void build_marker_families(const Study& study, const std::vector<std::int8_t>& genotype,
                           const std::vector<std::array<double, 3>>& likelihood, const std::vector<double>& dosage,
                           MarkerFamilies& out, ChromosomeClass chr) {
    const bool on_x = chr == ChromosomeClass::kX;
    const bool uncertain = !likelihood.empty();
    const long ncov = study.ncov();
    const long nstudy = static_cast<long>(study.families.size());
    FamilyTable& table = out.table;
    if (!table.fam.allocated() || table.fam.hi() < nstudy) table.fam = IndexVector<famdat>(1, nstudy > 0 ? nstudy : 1);
    table.nfam = 0;
    out.kept.clear();
    out.mendel.clear();
    out.children = 0;
    out.monomorphic = false;
    out.typed_parent = false;
    out.stratum_families.assign(study.strata.size(), 0);
    // Sexes differ on X (parents in their role's sex), so records kept from a marker of the
    // other class are written afresh.
    if (out.held_on_x != on_x) {
        out.held.clear();
        out.held_on_x = on_x;
    }
    if (out.held.size() < static_cast<std::size_t>(table.fam.hi())) out.held.resize(static_cast<std::size_t>(table.fam.hi()));

    const std::int8_t* geno = genotype.data();
    FamilyMembers members;
    int seen = 0;  // FamilyMembers::seen of the kept families
    for (long j = 0; j < nstudy; ++j) {
        const NuclearFamily& nf = study.families[static_cast<std::size_t>(j)];
        if (nf.children.size() > static_cast<std::size_t>(maxchildren))
            throw std::length_error("a nuclear family with more than " + std::to_string(maxchildren) + " children");
        // The next record, sized for every member the family can have, takes the codes.
        const long slot = table.nfam + 1;
        famdat& f = table[slot];
        MarkerFamilies::Held& held = out.held[static_cast<std::size_t>(slot - 1)];
        if (ensure_capacity(f, static_cast<int>(nf.children.size()) + 2, ncov)) {  // a new record: no pairs, nobody held
            f.pgenos.fill(0);
            f.npgeno = 0;
            held.family = -1;
        }
        if (on_x)
            gather_members<true>(study, geno, nf, f.famgeno.begin_ptr(), members);
        else
            gather_members<false>(study, geno, nf, f.famgeno.begin_ptr(), members);
        if (members.n == 2) continue;
        // With complete_trios, PLINK's rule: both parents typed.
        if (study.complete_trios && (members.father == -1 || members.mother == -1)) continue;

        const int n = members.n;
        // A record that held these very members at the last marker keeps their family's
        // number and stratum, and their phenotypes, sexes, covariates and weights: only the
        // genotypes and pairs are written again.
        if (held.family != j || held.shape != members.shape) {
            f.famid = j + 1;
            f.stratum = study.family_stratum.empty() ? 0 : study.family_stratum[static_cast<std::size_t>(j)];
            f.ninfam = n;
            held.family = j;
            held.shape = members.shape;
            held.n = family_people(nf, members.shape, held.person.data());
            for (int m = 1; m <= n; ++m) {
                const long p = held.person[static_cast<std::size_t>(m - 1)];
                const auto up = static_cast<std::size_t>(p);
                f.phenodat[m] = p < 0 ? 0 : study.people[up].phenotype;
                f.sex[m] = p < 0 ? 0 : on_x ? study.x_sex[up] : study.people[up].sex;
                DVector& x = f.fcovdat[m];
                const double* row = p < 0 ? nullptr : study.covariates(up);
                for (long k = 1; k <= ncov; ++k) x[k] = p < 0 ? 0.0 : row[k - 1];
                f.weight[m] = f.phenodat[m] == 0 ? 0.0 : study.weight[up];  // a placeholder has phenotype 0
            }
        }
        const std::array<long, maxfamilysize>& person = held.person;
        if (uncertain) {  // every parental pair stays possible
            f.glik.assign(static_cast<std::size_t>(n) + 1, {1.0, 1.0, 1.0});
            f.dosage.assign(dosage.empty() ? 0 : static_cast<std::size_t>(n) + 1, std::nan(""));
            for (int m = 1; m <= n; ++m) {
                const long p = person[static_cast<std::size_t>(m - 1)];
                if (p < 0) continue;
                f.glik[static_cast<std::size_t>(m)] = likelihood[static_cast<std::size_t>(p)];
                if (!dosage.empty()) f.dosage[static_cast<std::size_t>(m)] = dosage[static_cast<std::size_t>(p)];
            }
            room_for_pairs(f, parentpairs);
            for (int k = 0; k < parentpairs; ++k) {
                f.pgenos[k + 1][1] = k / 3;
                f.pgenos[k + 1][2] = k % 3;
            }
            f.npgeno = parentpairs;
        } else {
            if (!f.glik.empty()) f.glik.clear();
            if (!f.dosage.empty()) f.dosage.clear();
            // Rule 2, as the single run checks a family.  The rows beyond the new pairs are
            // zeroed (those beyond the last marker's are zero already); a family left out
            // leaves the record's pairs to the next family in its slot.
            const int before = f.npgeno;
            if (on_x ? !x_store_consistent_pairs(f) : !store_pairs(members, f)) {
                out.mendel.push_back({j, std::vector<long>(person.begin() + 2, person.begin() + n)});
                continue;  // the slot is reused by the next family
            }
            for (int k = f.npgeno + 1; k <= before; ++k) {
                int* row = f.pgenos[k].begin_ptr();  // columns 1 and 2
                row[0] = row[1] = 0;
            }
        }

        table.nfam = slot;
        out.kept.push_back(j);
        out.children += n - 2;
        out.typed_parent = out.typed_parent || members.father != -1 || members.mother != -1;
        if (!out.stratum_families.empty()) ++out.stratum_families[static_cast<std::size_t>(f.stratum)];
        seen |= members.seen;
    }
    out.monomorphic =
        table.nfam > 0 && FamilyMembers::alleles(seen) != (FamilyMembers::kAllele1 | FamilyMembers::kAllele2);
}

}  // namespace quillon
