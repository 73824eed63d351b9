#include "scan/marker_task.hpp"

#include "scan/score_pass.hpp"

namespace quillon {

const char* const kRowKindNames[static_cast<int>(RowKind::kCount)] = {
    "ok",          "warning",          "failed",      "skipped:non_autosomal", "skipped:no_families",
    "skipped:monomorphic", "skipped:maf", "skipped:geno", "skipped:hwe",           "skipped:mendel_rate"};

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
    switch (qc_verdict(out.qc, static_cast<long>(ctx.qc.kept_people.size()), ctx.filters)) {
        case QcVerdict::kKept: break;
        case QcVerdict::kGeno: out.kind = RowKind::kGeno; return;
        case QcVerdict::kHwe: out.kind = RowKind::kHwe; return;
        case QcVerdict::kMaf: out.kind = RowKind::kMaf; return;
        case QcVerdict::kMendel: out.kind = RowKind::kMendelRate; return;
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
    build_marker_families(ctx.study, marker.genotype, scratch, chr);
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
    out.result = run_test(*test, scratch.table, ctx.table);
    place();
    if (ctx.nfs_undefined_by_design) out.result.conditions.nfs_undefined = false;
    out.kind = result_kind(out.result);
}

}  // namespace quillon
