#include "scan/writer.hpp"

#include <cmath>

#include "formats/x_genotypes.hpp"

namespace quillon {

const char* const kMendelHeader = "FID\tFATHER\tMOTHER\tSNP\tFATHER_A1\tMOTHER_A1\tCHILDREN_A1\n";

namespace {

// On X a male's code is his allele (a heterozygous call untyped), as in the families.
void append_genotype(std::string& out, const Study& study, const Marker& m, long person) {
    int g = person < 0 ? -1 : m.genotype[static_cast<std::size_t>(person)];
    if (g >= 0 && m.info.chr_class == ChromosomeClass::kX)
        g = x_member_code(g, study.x_sex[static_cast<std::size_t>(person)]);
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
    append_genotype(out, study, m, f.father);
    out += '\t';
    append_genotype(out, study, m, f.mother);
    out += '\t';
    for (std::size_t i = 0; i < e.children.size(); ++i) {
        if (i) out += ',';
        out += study.people[static_cast<std::size_t>(e.children[i])].iid + '=';
        append_genotype(out, study, m, e.children[i]);
    }
    out += '\n';
}

}  // namespace

void OutcomeWriter::count_x(const MarkerInfo& info) {
    ++totals_.x_markers;
    totals_.x_het_males += info.x_het_males;
    totals_.x_haploid_females += info.x_haploid_females;
    if (info.x_het_males == 0) return;
    if (totals_.x_het_markers++ < static_cast<long>(kMarkersListed))
        totals_.x_het_lines.push_back(info.id + ": " + std::to_string(info.x_het_males) + " of " +
                                      std::to_string(info.x_typed_males));
    if (static_cast<double>(info.x_het_males) > kHetMaleWarning * static_cast<double>(info.x_typed_males) &&
        totals_.x_par_like++ < static_cast<long>(kMarkersListed))
        totals_.x_par_like_ids.push_back(info.id);
}

void OutcomeWriter::write(const Marker& marker, const MarkerOutcome& o) {
    const MarkerInfo& info = marker.info;
    totals_.haploid_calls += info.haploid_calls;
    totals_.malformed_calls += info.malformed_calls;
    totals_.field_absent += info.field_absent ? 1 : 0;
    if (sorted_)
        if (const std::string fault = order_.check(info.chr, info.bp, info.id); !fault.empty())
            throw InputError("--bgzip needs each chromosome's markers together, in order of position: " + fault);
    if (info.multiallelic) {  // A1 lists every ALT; no count, no test
        ++totals_.multiallelic;
        row_.clear();
        append_skipped_row(row_,
                           RowMarker{info.chr, info.id, info.bp, info.a1, info.a2, std::nan(""), -1, -1, info.quality,
                                     quality_},
                           nullptr, schema_, "skipped:multiallelic");
        tsv_.write(row_);
        return;
    }
    const RowMarker m{info.chr, info.id, info.bp, info.a1,       info.a2,
                      o.qc.a1_freq, o.qc.tdt.t, o.qc.tdt.u, info.quality, quality_};
    const bool analysed = o.kind == RowKind::kOk || o.kind == RowKind::kWarning || o.kind == RowKind::kFailed;
    row_.clear();
    if (analysed)
        append_result_row(row_, m, o.counts, schema_, o.result);
    else  // a marker without a test has no families counted either
        append_skipped_row(row_, m, o.kind == RowKind::kNoFamilies || o.kind == RowKind::kMonomorphic || o.kind == RowKind::kNoTypedParents || o.kind == RowKind::kEmptyStratum ? &o.counts : nullptr, schema_,
                           kRowKindNames[static_cast<int>(o.kind)]);
    tsv_.write(row_);
    if (ssf_ != nullptr)
        ssf_->add(m, o.counts, analysed ? &o.result : nullptr);
    if (!o.mendel.empty()) {
        lines_.clear();
        for (const MendelError& e : o.mendel) append_mendel(lines_, study_, marker, e);
        mendel_.write(lines_);
        totals_.mendel_lines += static_cast<long>(o.mendel.size());
    }
    ++totals_.rows[static_cast<int>(o.kind)];
    if (analysed && !o.result.failed() && o.result.short_of_maximum()) ++totals_.short_of_maximum;
    if (info.chr_class == ChromosomeClass::kX) count_x(info);
    if (analysed && o.result.score_only) ++totals_.score_only;
    if (o.kind == RowKind::kFailed) {
        const std::string status = status_text(o.result);
        ++totals_.failure_reasons[status];
        if (totals_.failures.size() < kMarkersListed) totals_.failures.push_back(info.id + ": " + status);
    }
    if (o.kind == RowKind::kWarning && o.result.fit.outcome == FitOutcome::kFellBack &&
        totals_.fell_back++ < static_cast<long>(kMarkersListed))
        totals_.fallbacks.push_back(info.id + ": " + o.result.fit.reason());
}

}  // namespace quillon
