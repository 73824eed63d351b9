#pragma once
// The one place where the scan's outcomes become text: the TSV rows, the .mendel lines and
// the tallies of the log, taken from the typed outcomes in file order.

#include <map>
#include <string>
#include <vector>

#include "formats/genotypes.hpp"
#include "formats/study.hpp"
#include "scan/marker_task.hpp"
#include "formats/staged_file.hpp"
#include "io/pending_file.hpp"
#include "scan/marker_order.hpp"
#include "scan/ssf_writer.hpp"

namespace quillon {

// The .mendel file's header line, newline included: its genotypes count copies of A1.
extern const char* const kMendelHeader;

struct LoopTotals {
    long rows[static_cast<int>(RowKind::kCount)] = {};  // by kind
    long multiallelic = 0;                              // records skipped, no row
    long mendel_lines = 0;                              // families listed in .mendel
    long haploid_calls = 0;                             // VCF calls with one allele, read as untyped
    long malformed_calls = 0;                           // VCF values malformed, read as untyped
    long field_absent = 0;                              // VCF records without the field read
    long fell_back = 0;                                 // rows whose Newton fit fell back
    long short_of_maximum = 0;                          // rows whose STATUS says short_of_maximum
    long score_only = 0;                                // rows ok:score_only (--refit-p)
    std::vector<std::string> failures;                  // "SNP: status" of the first failed markers
    std::vector<std::string> fallbacks;                 // "SNP: reason" of the first fallbacks
    std::map<std::string, long> failure_reasons;        // failed markers by their status text
    // X markers (after --split-par), and what their genotypes held (formats/x_genotypes.hpp).
    long x_markers = 0;
    long x_het_males = 0, x_haploid_females = 0;        // calls read as untyped
    long x_het_markers = 0;                             // X markers with a heterozygous male
    std::vector<std::string> x_het_lines;               // "SNP: h of n" of the first of them
    long x_par_like = 0;                                // X markers with more than 1% het males
    std::vector<std::string> x_par_like_ids;            // the first of them
};

// The first this many failed markers and fallbacks are listed in the log.
inline constexpr std::size_t kMarkersListed = 100;

class OutcomeWriter {
public:
    // `ssf`, when given, is handed every row too; with `sorted`, rows out of order (a
    // chromosome's rows apart, or a position below the one before) are refused; with
    // `quality` the rows have the INFO column.
    OutcomeWriter(const Study& study, const Schema& schema, StagedFile& tsv, PendingFile& mendel,
                  SsfWriter* ssf = nullptr, bool sorted = false, bool quality = false)
        : study_(study), schema_(schema), tsv_(tsv), mendel_(mendel), ssf_(ssf), sorted_(sorted), quality_(quality) {}

    // Writes the marker's row and .mendel lines (none for a multi-allelic record) and
    // counts it.  Throws OutputError, and InputError for a row out of order.
    void write(const Marker& marker, const MarkerOutcome& outcome);

    const LoopTotals& totals() const { return totals_; }

private:
    void count_x(const MarkerInfo& info);

    const Study& study_;
    const Schema& schema_;
    StagedFile& tsv_;
    PendingFile& mendel_;
    SsfWriter* ssf_;
    bool sorted_;
    bool quality_;  // the INFO column
    MarkerOrder order_;
    LoopTotals totals_;
    std::string row_, lines_;
};

}  // namespace quillon
