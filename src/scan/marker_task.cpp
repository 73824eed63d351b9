#include "scan/marker_task.hpp"

#include <new>

#include "genetics/transmission.hpp"
#include "model/analysis.hpp"
#include "scan/tsv_row.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

const char* const kRowKindNames[static_cast<int>(RowKind::kCount)] = {
    "ok", "warning", "failed", "skipped:non_autosomal", "skipped:no_families", "skipped:monomorphic"};

const char* const kMendelHeader = "FID\tFATHER\tMOTHER\tSNP\tFATHER_GENO\tMOTHER_GENO\tCHILDREN\n";

namespace {

// An error text as one TSV field: tabs and line breaks become blanks.
std::string one_field(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

void append_genotype(std::string& out, const Marker& m, long person) {
    const int g = person < 0 ? -1 : m.genotype[static_cast<std::size_t>(person)];
    if (g < 0)
        out += "NA";
    else
        out += static_cast<char>('0' + g);
}

// A parent's IID, or the name the first child gives a placeholder parent ("0" if none).
const std::string& parent_name(const Study& study, const NuclearFamily& f, long parent, bool father) {
    if (parent >= 0) return study.people[static_cast<std::size_t>(parent)].iid;
    const FamPerson& child = study.people[static_cast<std::size_t>(f.children.front())];
    return father ? child.father : child.mother;
}

void append_mendel(std::string& out, const Study& study, const Marker& m, const MendelError& e) {
    const NuclearFamily& f = study.families[static_cast<std::size_t>(e.family)];
    out += f.fid + '\t' + parent_name(study, f, f.father, true) + '\t' + parent_name(study, f, f.mother, false) +
           '\t' + m.info.id + '\t';
    append_genotype(out, m, f.father);
    out += '\t';
    append_genotype(out, m, f.mother);
    out += '\t';
    for (std::size_t i = 0; i < e.children.size(); ++i) {
        if (i) out += ',';
        out += study.people[static_cast<std::size_t>(e.children[i])].iid + '=';
        append_genotype(out, m, e.children[i]);
    }
    out += '\n';
}

}  // namespace

void analyse_marker(const ScanContext& ctx, const Marker& marker, MarkerFamilies& scratch, MarkerOutcome& out) {
    out.row.clear();
    out.mendel.clear();
    const Settings& s = ctx.settings;
    if (!marker.info.autosomal) {
        out.kind = RowKind::kNonAutosomal;
        append_row(out.row, marker.info, nullptr, s, nullptr, "skipped:non_autosomal");
        return;
    }
    build_marker_families(ctx.study, marker.genotype, scratch);
    for (const MendelError& e : scratch.mendel) append_mendel(out.mendel, ctx.study, marker, e);
    const RowCounts counts{scratch.table.nfam, scratch.children, static_cast<long>(scratch.mendel.size())};
    if (scratch.table.nfam == 0) {
        out.kind = RowKind::kNoFamilies;
        append_row(out.row, marker.info, &counts, s, nullptr, "skipped:no_families");
        return;
    }
    if (scratch.monomorphic) {
        out.kind = RowKind::kMonomorphic;
        append_row(out.row, marker.info, &counts, s, nullptr, "skipped:monomorphic");
        return;
    }
    std::string failure;
    try {
        const Analysis a = analyse(s, scratch.table, ctx.table, ctx.fit);
        std::string status;
        if (a.fell_back) status = "fallback_powell";
        if (a.info.near_singular) status += status.empty() ? "near_singular" : ",near_singular";
        if (!a.nfs.defined) status += status.empty() ? "nfs_undefined" : ",nfs_undefined";
        out.kind = status.empty() ? RowKind::kOk : RowKind::kWarning;
        append_row(out.row, marker.info, &counts, s, &a, status.empty() ? "ok" : "warning:" + status);
        return;
    } catch (const NumericalError& e) {
        // Running out of memory is no property of the marker: it ends the scan.
        if (e.kind() == NumericalKind::kAllocation) throw std::bad_alloc();
        failure = e.what();
    } catch (const MissingGenotypeError& e) {
        failure = e.what();
    }
    out.kind = RowKind::kFailed;
    out.row.clear();
    append_row(out.row, marker.info, &counts, s, nullptr, "failed:" + one_field(failure));
}

}  // namespace quillon
