#include "qc/marker_qc.hpp"

#include <array>
#include <limits>

#include "formats/genotypes.hpp"
#include "qc/hwe.hpp"

namespace quillon {

namespace {

// PLINK 1.9's allowance in its threshold comparisons.
constexpr double kEpsilon = 1.0 / 17592186044416.0;  // 2^-44

bool homozygous(int g) { return g == 0 || g == 2; }

}  // namespace

AlleleCounts founder_alleles(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr) {
    AlleleCounts c;
    if (chr != ChromosomeClass::kX) {  // copies of A1 and of A2 by code + 1, none untyped
        constexpr long kA1[4] = {0, 0, 1, 2}, kA2[4] = {0, 2, 1, 0};
        for (const long p : q.founders) {
            const int g = genotype[static_cast<std::size_t>(p)] + 1;
            c.a1 += kA1[g];
            c.a2 += kA2[g];
        }
        return c;
    }
    for (const long p : q.founders) {
        const int g = genotype[p];
        if (g < 0) continue;
        if (q.male[p]) {
            if (g == 2) ++c.a1;
            if (g == 0) ++c.a2;
        } else {
            c.a1 += g;
            c.a2 += 2 - g;
        }
    }
    return c;
}

double a2_frequency(AlleleCounts c) {
    const long alleles = c.a1 + c.a2;
    if (alleles == 0) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(c.a2) / static_cast<double>(alleles);
}

double a1_frequency(AlleleCounts c) { return 1.0 - a2_frequency(c); }

double minor_allele_frequency(AlleleCounts c) {
    const double f = a2_frequency(c);
    return f <= 0.5 ? f : 1.0 - f;
}

long missing_calls(const QcPeople& q, const std::vector<std::int8_t>& genotype) {
    long missing = 0;
    for (const long p : q.kept_people) missing += genotype[p] < 0;
    return missing;
}

GenotypeCounts hwe_genotypes(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr) {
    GenotypeCounts c;
    for (const long p : q.founders) {
        if (chr == ChromosomeClass::kX && q.male[p]) continue;
        switch (genotype[p]) {
            case 2: ++c.hom_a1; break;
            case 1: ++c.het; break;
            case 0: ++c.hom_a2; break;
            default: break;
        }
    }
    return c;
}

bool mendel_error(int father, int mother, int child, bool male_child_on_x) {
    if (child < 0) return false;
    if (male_child_on_x) return homozygous(child) && homozygous(mother) && child != mother;
    if (child == 1) return homozygous(father) && father == mother;
    const int other = 2 - child;  // the homozygote a parent cannot be
    return father == other || mother == other;
}

namespace {

bool trio_error(const QcTrio& t, const std::vector<std::int8_t>& genotype, ChromosomeClass chr) {
    return mendel_error(genotype[t.father], genotype[t.mother], genotype[t.child],
                        chr == ChromosomeClass::kX && t.child_male);
}

// Off X, what a trio's calls give, by 16 * (father + 1) + 4 * (mother + 1) + child + 1: its
// Mendel error, and its child's transmissions of A1 and A2 when both parents are typed, one
// of them heterozygous, the child typed and the trio without error.
struct TrioCount {
    bool error = false;
    unsigned char t = 0, u = 0;
};
std::array<TrioCount, 64> make_trio_counts() {
    std::array<TrioCount, 64> table{};
    for (int father = -1; father <= 2; ++father)
        for (int mother = -1; mother <= 2; ++mother)
            for (int child = -1; child <= 2; ++child) {
                TrioCount& e = table[static_cast<std::size_t>(16 * (father + 1) + 4 * (mother + 1) + child + 1)];
                e.error = mendel_error(father, mother, child, false);
                if (e.error || father < 0 || mother < 0 || child < 0 || (father != 1 && mother != 1)) continue;
                if (father == 1 && mother == 1) {
                    e.t = static_cast<unsigned char>(child);
                    e.u = static_cast<unsigned char>(2 - child);
                    continue;
                }
                const int hom = father == 1 ? mother : father;
                // The het parent gave A1 to an A1 homozygote, or to a het child of an A2 homozygote.
                const bool a1 = child == 2 || (child == 1 && hom == 0);
                (a1 ? e.t : e.u) = 1;
            }
    return table;
}
const std::array<TrioCount, 64> kTrioCounts = make_trio_counts();

const TrioCount& trio_count(const QcTrio& t, const std::int8_t* g) {
    return kTrioCounts[static_cast<std::size_t>(16 * (g[t.father] + 1) + 4 * (g[t.mother] + 1) + g[t.child] + 1)];
}

}  // namespace

MendelCount mendel_errors(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr) {
    MendelCount m;
    m.trios = static_cast<long>(q.trios.size());
    if (chr == ChromosomeClass::kX) {
        for (const QcTrio& t : q.trios) m.errors += trio_error(t, genotype, chr);
        return m;
    }
    for (const QcTrio& t : q.trios) m.errors += trio_count(t, genotype.data()).error;
    return m;
}

Transmissions transmissions(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr) {
    Transmissions tu;
    if (chr != ChromosomeClass::kX) {  // a family's counts, kept when none of its trios has an error
        for (long f = 0; f < q.families(); ++f) {
            long t = 0, u = 0;
            bool error = false;
            for (long i = q.family_start[f]; i < q.family_start[f + 1]; ++i) {
                const QcTrio& trio = q.trios[static_cast<std::size_t>(i)];
                const TrioCount& e = trio_count(trio, genotype.data());
                error = error || e.error;
                t += trio.child_affected ? e.t : 0;
                u += trio.child_affected ? e.u : 0;
            }
            tu.t += error ? 0 : t;
            tu.u += error ? 0 : u;
        }
        return tu;
    }
    // On X a male's heterozygous call is missing (PLINK's --set-hh-missing): a father is then
    // never heterozygous, and only mothers transmit.
    const auto call = [&](long p) {
        const int g = genotype[p];
        return g == 1 && q.male[p] ? -1 : g;
    };
    for (long f = 0; f < q.families(); ++f) {
        const QcTrio* first = q.trios.data() + q.family_start[f];
        const QcTrio* last = q.trios.data() + q.family_start[f + 1];
        const int father = call(first->father), mother = genotype[first->mother];
        if (father < 0 || mother < 0 || (father != 1 && mother != 1)) continue;
        bool consistent = true;
        for (const QcTrio* t = first; t != last && consistent; ++t) consistent = !trio_error(*t, genotype, chr);
        if (!consistent) continue;
        for (const QcTrio* t = first; t != last; ++t) {
            const int child = call(t->child);
            if (!t->child_affected || child < 0) continue;
            if (father == 1 && mother == 1) {
                tu.t += child;
                tu.u += 2 - child;
                continue;
            }
            const int hom = father == 1 ? mother : father;
            const bool a1 = child == 2 || (child == 1 && hom == 0);
            (a1 ? tu.t : tu.u) += 1;
        }
    }
    return tu;
}

bool maf_kept(double maf, double threshold) { return !(maf < threshold * (1.0 - kEpsilon)); }

bool geno_kept(long missing, long people, double threshold) {
    if (people == 0) return true;
    const double call_rate = static_cast<double>(people - missing) * (1.0 / static_cast<double>(people));
    return !(call_rate < (1.0 - threshold) * (1.0 - kEpsilon));
}

bool hwe_kept(double p, double threshold) { return !(p < threshold * (1.0 - kEpsilon)); }

bool mendel_kept(MendelCount m, double threshold) {
    if (m.trios == 0) return true;
    return !(static_cast<double>(m.errors) / static_cast<double>(m.trios) > threshold * (1.0 + kEpsilon));
}

MarkerQc marker_qc(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr,
                   const QcFilters* filters, bool elsewhere) {
    MarkerQc m;
    if (!elsewhere || (filters && filters->maf)) {
        m.alleles = founder_alleles(q, genotype, chr);
        m.a1_freq = a1_frequency(m.alleles);
        m.maf = minor_allele_frequency(m.alleles);
    }
    if (!filters || filters->geno) m.missing = missing_calls(q, genotype);
    if (!filters || filters->hwe) {
        m.hwe = hwe_genotypes(q, genotype, chr);
        m.hwe_p = hwe_exact_p(m.hwe);
    }
    if (!filters || filters->mendel) m.mendel = mendel_errors(q, genotype, chr);
    if (!elsewhere) m.tdt = transmissions(q, genotype, chr);
    return m;
}

QcVerdict qc_verdict(const MarkerQc& m, long people, const QcFilters& filters) {
    if (filters.geno && !geno_kept(m.missing, people, *filters.geno)) return QcVerdict::kGeno;
    if (filters.hwe && !hwe_kept(m.hwe_p, *filters.hwe)) return QcVerdict::kHwe;
    if (filters.maf && !maf_kept(m.maf, *filters.maf)) return QcVerdict::kMaf;
    if (filters.mendel && !mendel_kept(m.mendel, *filters.mendel)) return QcVerdict::kMendel;
    return QcVerdict::kKept;
}

}  // namespace quillon
