#pragma once
// One marker's work (read and made ready by prepare_marker, formats/x_genotypes.hpp): its
// families after the per-marker rules, the test its chromosome
// calls for and the test's result, as data.  Pure with respect to everything but the
// worker's own scratch, so any number of workers may run it at once.  Only the writer
// (scan/writer.hpp) turns outcomes into text.

#include <optional>
#include <vector>

#include "formats/genotypes.hpp"
#include "formats/marker_families.hpp"
#include "formats/study.hpp"
#include "genetics/patterns.hpp"
#include "method/marker_test.hpp"
#include "qc/marker_qc.hpp"
#include "report/tsv_row.hpp"

namespace quillon {

struct ScoreLayout;

// What every worker reads and none writes.
struct ScanContext {
    const Study& study;
    const TestSelector& tests;
    const GenotypeTable& table;  // covers the study's largest family
    const QcPeople& qc;          // the kept people, founders and trios
    const QcFilters& filters;
    const std::vector<char>& keep;  // per .fam person: kept (--keep, --remove)
    ParBuild par = ParBuild::kNone;  // --split-par
    // With X markers the table's columns are the union of the tests' (TestSelector::schema):
    // the table's and each test's own, whose results are placed in the table's columns.
    // Null without X markers.
    const Schema* table_columns = nullptr;
    const Schema* autosome_columns = nullptr;
    const Schema* x_columns = nullptr;
    // The design alone leaves the non-founders statistic undefined: said once, not per row.
    bool nfs_undefined_by_design = false;
    // The study laid out for the score pass (scan/score_pass.hpp), when the tests include it.
    const ScoreLayout* score_layout = nullptr;
    std::optional<double> min_info;  // --min-info: the imputation quality a marker needs
};

enum class RowKind {
    kOk, kWarning, kFailed, kNonAutosomal, kNoFamilies, kMonomorphic, kMaf, kGeno, kHwe, kMendelRate, kLowInfo,
    kXProbabilities, kNoTypedParents, kEmptyStratum, kCount
};
// The kinds from kLowInfo on (those only VCFs read for dosages or probabilities have, no typed
// parent at all, a stratum without a family): the log lists them when they occur.
inline constexpr int kFirstDosageKind = static_cast<int>(RowKind::kLowInfo);

// The status words of the kinds, as the log counts them and as STATUS shows the skipped.
extern const char* const kRowKindNames[static_cast<int>(RowKind::kCount)];

struct MarkerOutcome {
    RowKind kind = RowKind::kOk;
    RowCounts counts;                  // all but kNonAutosomal
    std::vector<MendelError> mendel;   // families left out for a Mendel error
    MarkerResult result;               // kOk, kWarning, kFailed
    MarkerQc qc;                       // every marker's counts, PLINK 1.9's
};

// The marker's quality-control counts, then its kind, in this order: kLowInfo (its imputation
// quality below --min-info; a marker without one is kept); kMaf, kGeno, kHwe, kMendelRate
// (the first filter it fails, PLINK's order; with dosages the MAF is that of the founders'
// expected dosages, PLINK 2's); kXProbabilities (likelihood vectors on X, which no test
// reads yet); kNonAutosomal (no test for its chromosome);
// kNoFamilies (no family left after the rules); kMonomorphic; otherwise the test's result
// decides: kFailed (a numerical error), kWarning (a fallback or a condition), else kOk.
// An allocation failure propagates (NumericalError of kind kAllocation, std::bad_alloc).
void analyse_marker(const ScanContext& ctx, const Marker& marker, MarkerFamilies& scratch, MarkerOutcome& out);

// kFailed (a numerical error), kWarning (a fallback or a condition), else kOk.
RowKind result_kind(const MarkerResult& r);

}  // namespace quillon
