#pragma once
// The scan's TSV: its header and one row per marker.
//
// Columns: CHR SNP BP A1 A2 FAMILIES CHILDREN MENDEL_FAMILIES, the test's columns (its
// schema), STATUS.  Numbers are the shortest text that reads back to the same double
// (std::to_chars), whole numbers for degrees of freedom; NA where there is none, and for a
// NaN.  STATUS is ok; warning:<conditions> (fallback_powell, near_singular, nfs_undefined,
// nested_fit_failed, robust_unavailable, score_undefined: those that apply, joined by commas
// in this order), followed by short_of_maximum where the direction-set fit stopped more than
// kShortfallLimit below Newton's maximum (ok:short_of_maximum when nothing else applies);
// failed:<the error's text, tabs and line breaks made blanks>; or the reason the marker was
// skipped; ok:score_only where the full fit was not run (--refit-p).  nested_fit_failed: a maximum of a likelihood ratio was not reached (its columns
// NA); robust_unavailable: --robust-se had no family scores (its columns NA).

#include <string>
#include <string_view>

#include "method/result.hpp"

namespace quillon {

// The marker's own fields.
struct RowMarker {
    std::string_view chr, id;
    long bp = 0;
    std::string_view a1, a2;
    // PLINK 1.9's counts, a reader's check and not the data of the test: the A1 frequency
    // among founders (NaN: none typed) and the TDT's transmissions of A1 and A2.
    double a1_freq = 0.0;
    long t = 0, u = 0;
    // The imputation quality, shown (column INFO after A1_FREQ) only with `show_quality`.
    double quality = 0.0;
    bool show_quality = false;
};

// The family counts of a row.
struct RowCounts {
    long families = 0, children = 0, mendel_families = 0;
};

// x in the shortest text that reads back as the same double (std::to_chars), `na` for a NaN.
void append_number(std::string& out, double x, std::string_view na = "NA");

// The header line, newline included; with `quality` the column INFO after A1_FREQ.
std::string tsv_header(const Schema& schema, bool quality = false);

// The status of an analysed marker, as STATUS shows it.
std::string status_text(const MarkerResult& r);

// Appends the row of an analysed marker, newline included: its numbers (NA when the fit
// failed) and its status.
void append_result_row(std::string& out, const RowMarker& m, const RowCounts& counts, const Schema& schema,
                       const MarkerResult& r);

// Appends the row of a skipped marker: NA numbers (and NA counts when `counts` is null).
void append_skipped_row(std::string& out, const RowMarker& m, const RowCounts* counts, const Schema& schema,
                        std::string_view status);

}  // namespace quillon
