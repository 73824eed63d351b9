#pragma once
// One marker's work: its families after the per-marker rules, its status, the analysis
// where there is one, its TSV row and its lines of the .mendel file.  Pure with respect to
// everything but the worker's own scratch, so any number of workers may run it at once.

#include <string>

#include "formats/genotypes.hpp"
#include "formats/marker_families.hpp"
#include "formats/study.hpp"
#include "genetics/patterns.hpp"
#include "model/analysis.hpp"
#include "model/settings.hpp"

namespace quillon {

// What every worker reads and none writes.
struct ScanContext {
    const Study& study;
    const Settings& settings;
    const GenotypeTable& table;  // covers the study's largest family
    FitMethod fit = FitMethod::kPowell;
};

enum class RowKind { kOk, kWarning, kFailed, kNonAutosomal, kNoFamilies, kMonomorphic, kCount };

// The status words of the kinds, as the log counts them.
extern const char* const kRowKindNames[static_cast<int>(RowKind::kCount)];

struct MarkerOutcome {
    std::string row;     // the TSV row, newline included
    std::string mendel;  // the marker's .mendel lines (often empty)
    RowKind kind = RowKind::kOk;
};

// The marker's status, in this order: skipped:non_autosomal; skipped:no_families (no family
// left after the rules); skipped:monomorphic; otherwise analyse(): failed:<text> when it
// raises NumericalError or MissingGenotypeError (numbers NA), warning:fallback_powell (Newton's
// method did not converge and the direction-set fit stands in), warning:near_singular,
// warning:nfs_undefined (those that apply joined by commas, in this order), else ok.
void analyse_marker(const ScanContext& ctx, const Marker& marker, MarkerFamilies& scratch, MarkerOutcome& out);

// The .mendel file's header line, newline included.
extern const char* const kMendelHeader;

}  // namespace quillon
