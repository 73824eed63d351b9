#include "scan/marker_task.hpp"

#include <algorithm>
#include <cmath>

#include "scan/score_pass.hpp"

namespace quillon {

const char* const kRowKindNames[static_cast<int>(RowKind::kCount)] = {
    "ok",          "warning",          "failed",      "skipped:non_autosomal", "skipped:no_families",
    "skipped:monomorphic", "skipped:maf", "skipped:geno", "skipped:hwe",           "skipped:mendel_rate",
    "skipped:low_info",    "skipped:x_probabilities", "skipped:no_typed_parents", "skipped:empty_stratum"};

namespace {
// The minor allele frequency of the founders' expected dosages (PLINK 2's): on X a male's
// dosage counts one allele, half his dosage.  NaN without a founder dosage.
double dosage_maf(const QcPeople& q, const std::vector<double>& dosage, ChromosomeClass chr) {
    double a1 = 0.0, alleles = 0.0;
    for (const long p : q.founders) {
        const double d = dosage[static_cast<std::size_t>(p)];
        if (std::isnan(d)) continue;
        const bool haploid = chr == ChromosomeClass::kX && q.male[p];
        a1 += haploid ? d / 2.0 : d;
        alleles += haploid ? 1.0 : 2.0;
    }
    if (alleles == 0.0) return std::nan("");
    const double f = a1 / alleles;
    return f <= 0.5 ? f : 1.0 - f;
}

}  // namespace

RowKind result_kind(const MarkerResult& r) {
    if (r.failed()) return RowKind::kFailed;
    const bool warned =
        r.fit.outcome == FitOutcome::kFellBack || r.conditions.near_singular || r.conditions.nfs_undefined ||
                        r.conditions.score_undefined;
    return warned ? RowKind::kWarning : RowKind::kOk;
}

void analyse_marker(const ScanContext& ctx, const Marker& marker, MarkerFamilies& scratch, MarkerOutcome& out) {
    out.mendel.clear();
    const ChromosomeClass chr = marker.info.chr_class;  // prepare_marker's
    const MarkerTest* test = ctx.tests.select(chr);
    // The score tests alone, or the screening of --refit-p, need no family table on trios;
    // where the layout allows, that pass also takes the founders' alleles (unless --maf reads
    // them first) and the transmissions.
    const auto* score_test = test && ctx.score_layout ? std::get_if<LikelihoodTdt>(test) : nullptr;
    if (score_test && !score_test->options().score) score_test = nullptr;
    const bool in_pass = score_test && ctx.score_layout->qc_counts && chr == ChromosomeClass::kAutosome &&
                         marker.dosage.empty() && marker.likelihood.empty();
    const bool alleles_in_pass = in_pass && !ctx.filters.maf;
    out.qc = marker_qc(ctx.qc, marker.genotype, chr, &ctx.filters, in_pass);
    const auto count_rest = [&] {  // what marker_qc left to the pass, where the pass did not count it
        if (!in_pass) return;
        if (alleles_in_pass) {
            out.qc.alleles = founder_alleles(ctx.qc, marker.genotype, chr);
            out.qc.a1_freq = a1_frequency(out.qc.alleles);
            out.qc.maf = minor_allele_frequency(out.qc.alleles);
        }
        out.qc.tdt = transmissions(ctx.qc, marker.genotype, chr);
    };
    if (ctx.min_info && marker.info.quality < *ctx.min_info) {
        count_rest();
        out.kind = RowKind::kLowInfo;
        return;
    }
    if (!marker.dosage.empty()) out.qc.maf = dosage_maf(ctx.qc, marker.dosage, chr);
    if (const QcVerdict v = qc_verdict(out.qc, static_cast<long>(ctx.qc.kept_people.size()), ctx.filters);
        v != QcVerdict::kKept) {
        count_rest();
        out.kind = v == QcVerdict::kGeno  ? RowKind::kGeno
                   : v == QcVerdict::kHwe ? RowKind::kHwe
                   : v == QcVerdict::kMaf ? RowKind::kMaf
                                          : RowKind::kMendelRate;
        return;
    }
    if (!marker.likelihood.empty() && chr == ChromosomeClass::kX) {
        out.kind = RowKind::kXProbabilities;
        return;
    }
    if (test == nullptr) {
        out.kind = RowKind::kNonAutosomal;
        return;
    }
    // With X markers in the table, a result's values go to the table's columns.
    const auto place = [&] {
        if (ctx.table_columns == nullptr || out.result.failed()) return;
        const Schema& unit = chr == ChromosomeClass::kX ? *ctx.x_columns : *ctx.autosome_columns;
        if (out.result.values.size() == unit.size())
            out.result.values = place_values(*ctx.table_columns, unit, out.result);
    };
    std::optional<ScoreStatistics> screened;  // the pass's statistics, where the full fit is to run
    if (score_test && score_pass(ctx, *ctx.score_layout, *score_test, marker, out, in_pass ? &out.qc : nullptr,
                                 alleles_in_pass, &screened)) {
        place();
        return;
    }
    if (!screened) count_rest();  // a screening pass counted them already
    build_marker_families(ctx.study, marker.genotype, marker.likelihood, marker.dosage, scratch, chr);
    out.counts = {scratch.table.nfam, scratch.children, static_cast<long>(scratch.mendel.size())};
    out.mendel.swap(scratch.mendel);  // the next build clears what the scratch gets back
    if (scratch.table.nfam == 0) {
        out.kind = RowKind::kNoFamilies;
        return;
    }
    if (scratch.monomorphic) {
        out.kind = RowKind::kMonomorphic;
        return;
    }
    // No family with a typed parent: the prior alone would carry the parents' genotypes.
    if (!scratch.typed_parent) {
        out.kind = RowKind::kNoTypedParents;
        return;
    }
    // With strata, each stratum's prevalences need a family of the marker.
    if (std::find(scratch.stratum_families.begin(), scratch.stratum_families.end(), 0) !=
        scratch.stratum_families.end()) {
        out.kind = RowKind::kEmptyStratum;
        return;
    }
    out.result = screened ? score_test->run(scratch.table, ctx.table, *screened) : run_test(*test, scratch.table, ctx.table);
    place();
    if (ctx.nfs_undefined_by_design) out.result.conditions.nfs_undefined = false;
    out.kind = result_kind(out.result);
}

}  // namespace quillon
