#include "formats/marker_families.hpp"

#include <cmath>
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
    IMatrix pgenos = f.pgenos.allocated() ? std::move(f.pgenos) : imatrix(1, parentpairs, 1, 2);
    f.famgeno = std::move(famgeno);
    f.phenodat = std::move(phenodat);
    f.sex = std::move(sex);
    f.fcovdat = std::move(fcovdat);
    f.weight = std::move(weight);
    f.pgenos = std::move(pgenos);
    return true;
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
    bool allele_1 = false, allele_2 = false;  // a copy of the counted allele / of the other seen
    // Sexes differ on X (parents in their role's sex), so records kept from a marker of the
    // other class are written afresh.
    if (out.held_on_x != on_x) {
        out.held.clear();
        out.held_on_x = on_x;
    }

    // A person's code in the families: on X a male's allele (x_member_code).
    auto code = [&](long p) {
        if (p < 0) return -1;
        const int g = genotype[static_cast<std::size_t>(p)];
        return on_x ? x_member_code(g, study.x_sex[static_cast<std::size_t>(p)]) : g;
    };
    auto typed = [&](long p) { return code(p) != -1; };
    std::vector<long> members;
    members.reserve(maxfamilysize);
    for (long j = 0; j < nstudy; ++j) {
        const NuclearFamily& nf = study.families[static_cast<std::size_t>(j)];
        // Rule 3, placed first: a typed father with an untyped mother takes the mother's place.
        // Rule 2 needs it so: a typed father's pair is taken without looking at the children,
        // a typed mother's is checked against them.  Not on X, where the roles differ.
        members.clear();
        const bool swap = !on_x && typed(nf.father) && !typed(nf.mother);
        members.push_back(swap ? nf.mother : nf.father);
        members.push_back(swap ? nf.father : nf.mother);
        // Rule 1: typed children only; on X, of known sex only.
        for (long c : nf.children)
            if (typed(c) && (!on_x || study.x_sex[static_cast<std::size_t>(c)] != 0)) members.push_back(c);
        if (members.size() == 2) continue;
        // With complete_trios, PLINK's rule: both parents typed.
        if (study.complete_trios && !(typed(nf.father) && typed(nf.mother))) continue;

        const int n = static_cast<int>(members.size());
        const long slot = table.nfam + 1;
        famdat& f = table[slot];
        const bool allocated = ensure_capacity(f, n, ncov);
        // A record that held these very members at the last marker keeps their phenotypes,
        // sexes, covariates and weights: only the genotypes and pairs are written again.
        if (out.held.size() < static_cast<std::size_t>(slot)) out.held.resize(static_cast<std::size_t>(slot));
        std::vector<long>& held = out.held[static_cast<std::size_t>(slot - 1)];
        const bool same = !allocated && held == members;
        if (allocated)
            f.pgenos.fill(0);
        else  // rows beyond the last marker's pairs are zero already
            for (int k = 1; k <= f.npgeno; ++k) f.pgenos[k][1] = f.pgenos[k][2] = 0;
        f.famid = j + 1;
        f.stratum = study.family_stratum.empty() ? 0 : study.family_stratum[static_cast<std::size_t>(j)];
        f.ninfam = n;
        f.npgeno = 0;
        for (int m = 1; m <= n; ++m) {
            const long p = members[static_cast<std::size_t>(m - 1)];
            f.famgeno[m] = code(p);
        }
        if (!same) {
            held.assign(members.begin(), members.end());
            for (int m = 1; m <= n; ++m) {
                const long p = members[static_cast<std::size_t>(m - 1)];
                const auto up = static_cast<std::size_t>(p);
                f.phenodat[m] = p < 0 ? 0 : study.people[up].phenotype;
                f.sex[m] = p < 0 ? 0 : on_x ? study.x_sex[up] : study.people[up].sex;
                DVector& x = f.fcovdat[m];
                for (long k = 1; k <= ncov; ++k) x[k] = p < 0 ? 0.0 : study.covariates[up][static_cast<std::size_t>(k - 1)];
                f.weight[m] = f.phenodat[m] == 0 ? 0.0 : study.weight[up];  // a placeholder has phenotype 0
            }
        }
        f.glik.clear();
        f.dosage.clear();
        if (uncertain) {  // every parental pair stays possible
            f.glik.resize(static_cast<std::size_t>(n) + 1, {1.0, 1.0, 1.0});
            if (!dosage.empty()) f.dosage.resize(static_cast<std::size_t>(n) + 1, std::nan(""));
            for (int m = 1; m <= n; ++m) {
                const long p = members[static_cast<std::size_t>(m - 1)];
                if (p < 0) continue;
                f.glik[static_cast<std::size_t>(m)] = likelihood[static_cast<std::size_t>(p)];
                if (!dosage.empty()) f.dosage[static_cast<std::size_t>(m)] = dosage[static_cast<std::size_t>(p)];
            }
            for (int k = 0; k < parentpairs; ++k) {
                f.pgenos[k + 1][1] = k / 3;
                f.pgenos[k + 1][2] = k % 3;
            }
            f.npgeno = parentpairs;
        }

        // Rule 2, as the single run checks a family.
        if (!uncertain && !(on_x ? x_store_consistent_pairs(f) : store_consistent_pairs(f))) {
            out.mendel.push_back({j, std::vector<long>(members.begin() + 2, members.end())});
            continue;  // the slot is reused by the next family
        }

        table.nfam = slot;
        out.kept.push_back(j);
        if (out.members.size() < static_cast<std::size_t>(slot)) out.members.resize(static_cast<std::size_t>(slot));
        out.members[static_cast<std::size_t>(slot - 1)].assign(members.begin(), members.end());
        out.children += n - 2;
        for (int m = 1; m <= n; ++m) {
            const int g = f.famgeno[m];
            const bool male = on_x && f.sex[m] == 1;  // one allele: 1 the counted one, 0 the other
            if (g >= 1) allele_1 = true;
            if (g == 0 || (g == 1 && !male)) allele_2 = true;
        }
    }
    out.members.resize(static_cast<std::size_t>(table.nfam));
    out.monomorphic = table.nfam > 0 && !(allele_1 && allele_2);
}

}  // namespace quillon
