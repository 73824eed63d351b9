#include "report/tsv_row.hpp"

#include <charconv>
#include <cmath>

namespace quillon {

namespace {
constexpr const char* kNA = "NA";

void append_integer(std::string& out, long x) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    out.append(buf, r.ptr);
}


void append_start(std::string& out, const RowMarker& m, const RowCounts* counts) {
    out.append(m.chr).append(1, '\t').append(m.id).append(1, '\t');
    append_integer(out, m.bp);
    out.append(1, '\t').append(m.a1).append(1, '\t').append(m.a2);
    for (const long c : {counts ? counts->families : -1, counts ? counts->children : -1,
                         counts ? counts->mendel_families : -1}) {
        out += '\t';
        if (counts)
            append_integer(out, c);
        else
            out += kNA;
    }
    out += '\t';
    append_number(out, m.a1_freq);
    if (m.show_quality) {
        out += '\t';
        append_number(out, m.quality);
    }
    for (const long n : {m.t, m.u}) {  // negative: not counted
        out += '\t';
        if (n < 0)
            out += kNA;
        else
            append_integer(out, n);
    }
}

void append_na(std::string& out, const Schema& schema) {
    for (std::size_t c = 0; c < schema.size(); ++c) out += "\tNA";
}

void append_status(std::string& out, std::string_view status) {
    out += '\t';
    out += status;
    out += '\n';
}
}  // namespace

void append_number(std::string& out, double x, std::string_view na) {
    if (std::isnan(x)) {
        out += na;
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    out.append(buf, r.ptr);
}

std::string tsv_header(const Schema& schema, bool quality) {
    std::string h = "CHR\tSNP\tBP\tA1\tA2\tFAMILIES\tCHILDREN\tMENDEL_FAMILIES\tA1_FREQ";
    h += quality ? "\tINFO\tT\tU" : "\tT\tU";
    for (const Column& c : schema) h += "\t" + c.name;
    return h + "\tSTATUS\n";
}

std::string status_text(const MarkerResult& r) {
    if (r.failed()) {
        std::string text = "failed:" + r.fit.reason();
        for (char& c : text)
            if (c == '\t' || c == '\n' || c == '\r') c = ' ';
        return text;
    }
    if (r.score_only) return "ok:score_only";
    std::string status;
    const auto add = [&status](const char* word) { status += status.empty() ? word : std::string(",") + word; };
    if (r.fit.outcome == FitOutcome::kFellBack) add("fallback_powell");
    if (r.conditions.near_singular) add("near_singular");
    if (r.conditions.nfs_undefined) add("nfs_undefined");
    if (r.conditions.nested_fit_failed) add("nested_fit_failed");
    if (r.conditions.robust_unavailable) add("robust_unavailable");
    if (r.conditions.score_undefined) add("score_undefined");
    const bool warned = !status.empty();
    if (r.short_of_maximum()) add("short_of_maximum");
    return (warned ? "warning:" : status.empty() ? "ok" : "ok:") + status;
}

void append_result_row(std::string& out, const RowMarker& m, const RowCounts& counts, const Schema& schema,
                       const MarkerResult& r) {
    append_start(out, m, &counts);
    if (r.failed()) {
        append_na(out, schema);
    } else {
        for (std::size_t c = 0; c < schema.size(); ++c) {
            out += '\t';
            if (schema[c].kind == ColumnKind::kDegreesOfFreedom && !std::isnan(r.values[c]))
                append_integer(out, static_cast<long>(r.values[c]));
            else
                append_number(out, r.values[c]);
        }
    }
    append_status(out, status_text(r));
}

void append_skipped_row(std::string& out, const RowMarker& m, const RowCounts* counts, const Schema& schema,
                        std::string_view status) {
    append_start(out, m, counts);
    append_na(out, schema);
    append_status(out, status);
}

}  // namespace quillon
