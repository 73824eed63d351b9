#include "scan/score_pass.hpp"

#include "genetics/transmission.hpp"

namespace quillon {

bool score_pass(const ScanContext& ctx, const LikelihoodTdt& test, const Marker& marker, MarkerOutcome& out) {
    const Study& study = ctx.study;
    const std::vector<std::int8_t>& genotype = marker.genotype;
    const auto code = [&](long p) { return p < 0 ? -1 : static_cast<int>(genotype[static_cast<std::size_t>(p)]); };
    TrioTally tally(test.settings());
    out.mendel.clear();
    long families = 0, children = 0;
    bool allele_1 = false, allele_2 = false;  // a copy of the counted allele / of the other seen
    for (std::size_t j = 0; j < study.families.size(); ++j) {
        const NuclearFamily& nf = study.families[j];
        const int f = code(nf.father), m = code(nf.mother);
        bool typed_child = false, possible = true;
        for (const long c : nf.children)
            if (const int g = code(c); g != -1) {
                typed_child = true;
                if (f != -1 && m != -1 && phgdat[9 * f + 3 * m + g] == 0.0) possible = false;
            }
        if (!typed_child || (study.complete_trios && (f == -1 || m == -1))) continue;
        if (f == -1 || m == -1) return false;
        if (!possible) {
            MendelError& e = out.mendel.emplace_back(MendelError{static_cast<long>(j), {}});
            for (const long c : nf.children)
                if (code(c) != -1) e.children.push_back(c);
            continue;
        }
        ++families;
        for (const int g : {f, m}) {
            allele_1 = allele_1 || g >= 1;
            allele_2 = allele_2 || g <= 1;
        }
        for (const long c : nf.children)
            if (const int g = code(c); g != -1) {
                tally.add(f, m, g, study.covariates[static_cast<std::size_t>(c)].data());
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
