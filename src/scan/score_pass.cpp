#include "scan/score_pass.hpp"

#include <algorithm>

#include "genetics/transmission.hpp"

namespace quillon {

namespace {

// Of a typed genotype: bit 0 a copy of the counted allele, bit 1 a copy of the other.
constexpr unsigned kAlleles[3] = {2u, 3u, 1u};

bool possible(int father, int mother, int child) { return phgdat[9 * father + 3 * mother + child] != 0.0; }

// The table of the trio pass; `complete_trios` skips a trio with an untyped parent.
std::array<TrioAction, kTrioKeys> trio_actions(bool complete_trios) {
    std::array<TrioAction, kTrioKeys> table{};
    for (int f = -1; f <= 2; ++f)
        for (int m = -1; m <= 2; ++m)
            for (int c = -1; c <= 2; ++c) {
                const std::size_t key = trio_key(f, m, c);
                TrioAction& a = table[key];
                std::int32_t a1 = 0, a2 = 0, t = 0, u = 0;
                for (const int g : {f, m})
                    if (g >= 0) {
                        a1 += g;
                        a2 += 2 - g;
                    }
                if (c < 0 || (complete_trios && (f < 0 || m < 0))) {
                    a.kind = TrioAction::kSkip;
                } else if (f < 0 || m < 0) {
                    a.kind = TrioAction::kUntypedParent;
                } else if (!possible(f, m, c)) {
                    a.kind = TrioAction::kMendel;
                } else {
                    a.kind = TrioAction::kTally;
                    if (f == 1 && m == 1) {
                        t = c;
                        u = 2 - c;
                    } else if (f == 1 || m == 1) {
                        // The het parent gave A1 to an A1 homozygote, or to a het child of an A2 homozygote.
                        const int hom = f == 1 ? m : f;
                        (c == 2 || (c == 1 && hom == 0) ? t : u) = 1;
                    }
                }
                a.counts = {a1, a2, t, u};
                const bool informative = a.kind == TrioAction::kTally && (f == 1 || m == 1);
                a.pg = static_cast<std::uint8_t>(a.kind == TrioAction::kTally ? 9 * f + 3 * m + c : 0);
                const std::size_t spare = key % kSpareSlots;
                a.pair_slot = static_cast<std::uint8_t>(informative ? static_cast<std::size_t>(3 * f + m) : parentpairs + spare);
                a.genotype_slot = static_cast<std::uint8_t>(informative ? a.pg : 27 + spare);
            }
    return table;
}

// Whether qc's founders are the trios' parents, each once, and qc's transmission families
// these trios, one affected child each (of `people` in the .fam).
bool same_qc_trios(const std::vector<ScoreLayout::Trio>& trios, const QcPeople& qc, std::size_t people) {
    if (qc.trios.size() != trios.size() || static_cast<std::size_t>(qc.families()) != trios.size() ||
        qc.founders.size() != 2 * trios.size())
        return false;
    std::vector<long> trio_of(people, -1);  // per person: the trio of which they are the child
    std::vector<char> parent(people, 0);
    for (std::size_t j = 0; j < trios.size(); ++j) {
        const ScoreLayout::Trio& t = trios[j];
        if (t.father < 0 || t.mother < 0) return false;  // a placeholder: in no trio of qc's
        trio_of[static_cast<std::size_t>(t.child)] = static_cast<long>(j);
        for (const std::int32_t p : {t.father, t.mother})
            if (parent[static_cast<std::size_t>(p)]++ != 0) return false;
    }
    for (const QcTrio& t : qc.trios) {  // each matched once
        const long j = trio_of[static_cast<std::size_t>(t.child)];
        if (!t.child_affected || j < 0 || trios[static_cast<std::size_t>(j)].father != t.father ||
            trios[static_cast<std::size_t>(j)].mother != t.mother)
            return false;
        trio_of[static_cast<std::size_t>(t.child)] = -1;
    }
    for (const long f : qc.founders)  // as many as the parents, who are distinct
        if (parent[static_cast<std::size_t>(f)] == 0) return false;
    return true;
}

// The pass over trios (ScoreLayout::trio), in family order, on the calls `genotype` (one past
// the last person's a placeholder's -1); N covariates (0: any number) and, with `Unit`, the
// first 1 for every child.  Each trio's covariates go to its key's slots whatever becomes of
// it, so the loop has no branch, and the trios are counted by key; what the keys make of the
// trios (counts, Mendel errors, an untyped parent) comes after it.
template <std::size_t N, bool Unit>
bool trio_pass(const ScoreLayout& layout, const std::int8_t* genotype, TrioTally& tally, MarkerOutcome& out,
               MarkerQc& qc) {
    const TrioAction* actions = layout.actions.data();
    const std::size_t ncov = N == 0 ? layout.ncov : N;
    const auto key_of = [genotype](const ScoreLayout::Trio& t) {  // trio_key's
        const std::ptrdiff_t f = genotype[t.father], m = genotype[t.mother], c = genotype[t.child];
        return static_cast<std::size_t>(16 * f + 4 * m + c + 21);
    };
    struct alignas(32) KeySums {  // where a key's trios' sums go, and how many it has
        double *pair, *genotype;
        long trios;
    };
    std::array<KeySums, kTrioKeys> sums{};
    for (std::size_t key = 0; key < kTrioKeys; ++key)
        sums[key] = {tally.pair_sums(actions[key].pair_slot), tally.genotype_sums(actions[key].genotype_slot), 0};
    const double* x = layout.x.data();
    for (const ScoreLayout::Trio& trio : layout.trio) {
        KeySums& s = sums[key_of(trio)];
        ++s.trios;
        if constexpr (N == 0)
            tally.add_sums(s.pair, s.genotype, x);
        else
            TrioTally::add_sums_fixed<N, Unit>(s.pair, s.genotype, x);
        x += ncov;
    }
    long total[4] = {0, 0, 0, 0};
    bool mendel = false;
    for (std::size_t key = 0; key < kTrioKeys; ++key) {
        const long k = sums[key].trios;
        if (k == 0) continue;
        const TrioAction& a = actions[key];
        if (a.kind == TrioAction::kUntypedParent) return false;
        mendel = mendel || a.kind == TrioAction::kMendel;
        if (a.kind == TrioAction::kTally) tally.add_children(a.pg, k);
        for (int i = 0; i < 4; ++i) total[i] += k * a.counts[static_cast<std::size_t>(i)];
    }
    for (std::size_t j = 0; mendel && j < layout.trio.size(); ++j)
        if (actions[key_of(layout.trio[j])].kind == TrioAction::kMendel)
            out.mendel.push_back(MendelError{static_cast<long>(j), {layout.trio[j].child}});
    qc.alleles = {total[0], total[1]};
    qc.tdt = {total[2], total[3]};
    return true;
}

using TrioPass = bool (*)(const ScoreLayout&, const std::int8_t*, TrioTally&, MarkerOutcome&, MarkerQc&);
TrioPass trio_pass_for(std::size_t ncov, bool unit) {
    switch (ncov) {
        case 1: return unit ? trio_pass<1, true> : trio_pass<1, false>;
        case 2: return unit ? trio_pass<2, true> : trio_pass<2, false>;
        case 3: return unit ? trio_pass<3, true> : trio_pass<3, false>;
        default: return trio_pass<0, false>;
    }
}

}  // namespace

ScoreLayout::ScoreLayout(const Study& study, const QcPeople& qc) : ncov(static_cast<std::size_t>(study.ncov())) {
    child_begin.push_back(0);
    bool trios = true;
    for (const NuclearFamily& nf : study.families) {
        father.push_back(static_cast<std::int32_t>(nf.father));
        mother.push_back(static_cast<std::int32_t>(nf.mother));
        for (const long c : nf.children) {
            child.push_back(static_cast<std::int32_t>(c));
            const double* row = study.covariates(static_cast<std::size_t>(c));
            x.insert(x.end(), row, row + ncov);
        }
        child_begin.push_back(static_cast<std::uint32_t>(child.size()));
        trios = trios && nf.children.size() == 1;
    }
    if (!trios) return;
    for (std::size_t j = 0; j < father.size(); ++j) trio.push_back({father[j], mother[j], child[j]});
    actions = trio_actions(study.complete_trios);
    unit_first = ncov > 0;
    for (std::size_t c = 0; c < child.size() && unit_first; ++c) unit_first = x[c * ncov] == 1.0;
    qc_counts = same_qc_trios(trio, qc, study.people.size());
    const auto none = static_cast<std::int32_t>(study.people.size());
    for (Trio& t : trio)
        for (std::int32_t* parent : {&t.father, &t.mother})
            if (*parent < 0) {
                *parent = none;
                placeholders = true;
            }
}

bool score_pass(const ScanContext& ctx, const ScoreLayout& layout, const LikelihoodTdt& test, const Marker& marker,
                MarkerOutcome& out, MarkerQc* qc, bool alleles, std::optional<ScoreStatistics>* screened) {
    const std::int8_t* genotype = marker.genotype.data();
    const auto code = [genotype](std::int32_t p) { return p < 0 ? -1 : static_cast<int>(genotype[p]); };
    const bool complete_trios = ctx.study.complete_trios;
    const std::size_t ncov = layout.ncov;
    const bool unit = !layout.trio.empty() && layout.unit_first && ncov >= 1 && ncov <= 3;
    TrioTally tally(test.settings(), unit, layout.trio.empty() ? 0 : kSpareSlots);
    out.mendel.clear();
    long families = 0, children = 0;
    unsigned seen = 0;  // kAlleles of the families' members
    if (!layout.trio.empty()) {
        MarkerQc counts;
        std::vector<std::int8_t> calls;  // the marker's and a placeholder's
        if (layout.placeholders) {
            calls.reserve(marker.genotype.size() + 1);
            calls.assign(marker.genotype.begin(), marker.genotype.end());
            calls.push_back(-1);
        }
        if (!trio_pass_for(ncov, unit)(layout, layout.placeholders ? calls.data() : genotype, tally, out, counts))
            return false;
        for (int f = 0; f < 3; ++f)  // the families tallied, and the alleles of their members
            for (int m = 0; m < 3; ++m)
                for (int g = 0; g < 3; ++g)
                    if (const long k = tally.children(static_cast<std::size_t>(9 * f + 3 * m + g)); k > 0) {
                        families += k;
                        seen |= kAlleles[f] | kAlleles[m] | kAlleles[g];
                    }
        children = families;
        if (qc != nullptr) {
            qc->tdt = counts.tdt;
            if (alleles) {
                qc->alleles = counts.alleles;
                qc->a1_freq = a1_frequency(counts.alleles);
                qc->maf = minor_allele_frequency(counts.alleles);
            }
        }
    } else {
        for (std::size_t j = 0; j + 1 < layout.child_begin.size(); ++j) {
            const int f = code(layout.father[j]), m = code(layout.mother[j]);
            const std::uint32_t first = layout.child_begin[j], end = layout.child_begin[j + 1];
            bool typed_child = false, consistent = true;
            for (std::uint32_t c = first; c < end; ++c)
                if (const int g = genotype[layout.child[c]]; g >= 0) {
                    typed_child = true;
                    if (f >= 0 && m >= 0 && !possible(f, m, g)) consistent = false;
                }
            if (!typed_child || (complete_trios && (f < 0 || m < 0))) continue;
            if (f < 0 || m < 0) return false;
            if (!consistent) {
                MendelError& e = out.mendel.emplace_back(MendelError{static_cast<long>(j), {}});
                for (std::uint32_t c = first; c < end; ++c)
                    if (genotype[layout.child[c]] >= 0) e.children.push_back(layout.child[c]);
                continue;
            }
            ++families;
            seen |= kAlleles[f] | kAlleles[m];
            for (std::uint32_t c = first; c < end; ++c)
                if (const int g = genotype[layout.child[c]]; g >= 0) {
                    tally.add(f, m, g, layout.x.data() + c * ncov);
                    ++children;
                    seen |= kAlleles[g];
                }
        }
    }
    out.counts = {families, children, static_cast<long>(out.mendel.size())};
    if (families == 0 || seen != 3u) {
        out.kind = families == 0 ? RowKind::kNoFamilies : RowKind::kMonomorphic;
        return true;
    }
    const ScoreStatistics score = tally.statistics(test.gxe_score());
    std::optional<MarkerResult> r = test.without_full_fit(score);
    if (!r) {
        if (screened != nullptr) *screened = score;
        return false;
    }
    out.result = std::move(*r);
    out.kind = result_kind(out.result);
    return true;
}

}  // namespace quillon
