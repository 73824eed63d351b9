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
    out.qc = marker_qc(ctx.qc, marker.genotype, chr, &ctx.filters);
    if (ctx.min_info && marker.info.quality < *ctx.min_info) {
        out.kind = RowKind::kLowInfo;
        return;
    }
    if (!marker.dosage.empty()) out.qc.maf = dosage_maf(ctx.qc, marker.dosage, chr);
    switch (qc_verdict(out.qc, static_cast<long>(ctx.qc.kept_people.size()), ctx.filters)) {
        case QcVerdict::kKept: break;
        case QcVerdict::kGeno: out.kind = RowKind::kGeno; return;
        case QcVerdict::kHwe: out.kind = RowKind::kHwe; return;
        case QcVerdict::kMaf: out.kind = RowKind::kMaf; return;
        case QcVerdict::kMendel: out.kind = RowKind::kMendelRate; return;
    }
    if (!marker.likelihood.empty() && chr == ChromosomeClass::kX) {
        out.kind = RowKind::kXProbabilities;
        return;
    }
    const MarkerTest* test = ctx.tests.select(chr);
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
    // The score tests alone, or the screening of --refit-p, need no family table on trios.
    if (const auto* tdt = std::get_if<LikelihoodTdt>(test);
        tdt && ctx.score_layout && tdt->options().score && score_pass(ctx, *ctx.score_layout, *tdt, marker, out)) {
        place();
        return;
    }
    build_marker_families(ctx.study, marker.genotype, marker.likelihood, marker.dosage, scratch, chr);
    out.mendel = scratch.mendel;
    out.counts = {scratch.table.nfam, scratch.children, static_cast<long>(scratch.mendel.size())};
    if (scratch.table.nfam == 0) {
        out.kind = RowKind::kNoFamilies;
        return;
    }
    if (scratch.monomorphic) {
        out.kind = RowKind::kMonomorphic;
        return;
    }
    // No family with a typed parent: the prior alone would carry the parents' genotypes.
    bool typed_parent = false;
    for (long i = 1; i <= scratch.table.nfam && !typed_parent; ++i)
        typed_parent = scratch.table[i].famgeno[1] != -1 || scratch.table[i].famgeno[2] != -1;
    if (!typed_parent) {
        out.kind = RowKind::kNoTypedParents;
        return;
    }
    // With strata, each stratum's prevalences need a family of the marker.
    if (!ctx.study.strata.empty()) {
        std::vector<char> seen(ctx.study.strata.size(), 0);
        for (long i = 1; i <= scratch.table.nfam; ++i) seen[static_cast<std::size_t>(scratch.table[i].stratum)] = 1;
        if (std::find(seen.begin(), seen.end(), 0) != seen.end()) {
            out.kind = RowKind::kEmptyStratum;
            return;
        }
    }
    out.result = run_test(*test, scratch.table, ctx.table);
    place();
    if (ctx.nfs_undefined_by_design) out.result.conditions.nfs_undefined = false;
    out.kind = result_kind(out.result);
}

}  // namespace quillon
