#include "scan/score_pass.hpp"

#include "genetics/transmission.hpp"

namespace quillon {

ScoreLayout::ScoreLayout(const Study& study) : ncov(static_cast<std::size_t>(study.ncov())) {
    child_begin.push_back(0);
    for (const NuclearFamily& nf : study.families) {
        father.push_back(nf.father);
        mother.push_back(nf.mother);
        for (const long c : nf.children) {
            child.push_back(c);
            const std::vector<double>& row = study.covariates[static_cast<std::size_t>(c)];
            x.insert(x.end(), row.begin(), row.begin() + static_cast<long>(ncov));
        }
        child_begin.push_back(child.size());
    }
}

bool score_pass(const ScanContext& ctx, const ScoreLayout& layout, const LikelihoodTdt& test, const Marker& marker,
                MarkerOutcome& out) {
    const std::vector<std::int8_t>& genotype = marker.genotype;
    const auto code = [&](long p) { return p < 0 ? -1 : static_cast<int>(genotype[static_cast<std::size_t>(p)]); };
    const bool complete_trios = ctx.study.complete_trios;
    TrioTally tally(test.settings());
    out.mendel.clear();
    long families = 0, children = 0;
    bool allele_1 = false, allele_2 = false;  // a copy of the counted allele / of the other seen
    for (std::size_t j = 0; j + 1 < layout.child_begin.size(); ++j) {
        const int f = code(layout.father[j]), m = code(layout.mother[j]);
        const std::size_t first = layout.child_begin[j], end = layout.child_begin[j + 1];
        bool typed_child = false, possible = true;
        for (std::size_t c = first; c < end; ++c)
            if (const int g = code(layout.child[c]); g != -1) {
                typed_child = true;
                if (f != -1 && m != -1 && phgdat[9 * f + 3 * m + g] == 0.0) possible = false;
            }
        if (!typed_child || (complete_trios && (f == -1 || m == -1))) continue;
        if (f == -1 || m == -1) return false;
        if (!possible) {
            MendelError& e = out.mendel.emplace_back(MendelError{static_cast<long>(j), {}});
            for (std::size_t c = first; c < end; ++c)
                if (code(layout.child[c]) != -1) e.children.push_back(layout.child[c]);
            continue;
        }
        ++families;
        for (const int g : {f, m}) {
            allele_1 = allele_1 || g >= 1;
            allele_2 = allele_2 || g <= 1;
        }
        for (std::size_t c = first; c < end; ++c)
            if (const int g = code(layout.child[c]); g != -1) {
                tally.add(f, m, g, layout.x.data() + c * layout.ncov);
                ++children;
                allele_1 = allele_1 || g >= 1;
                allele_2 = allele_2 || g <= 1;
            }
    }
    out.counts = {families, children, static_cast<long>(out.mendel.size())};
    if (families == 0 || !(allele_1 && allele_2)) {
        out.kind = families == 0 ? RowKind::kNoFamilies : RowKind::kMonomorphic;
        return true;
    }
    std::optional<MarkerResult> r = test.without_full_fit(tally.statistics(test.gxe_score()));
    if (!r) return false;
    out.result = std::move(*r);
    out.kind = result_kind(out.result);
    return true;
}

}  // namespace quillon
