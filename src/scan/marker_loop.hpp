#pragma once
// The marker loop: reads the selected markers in file order, analyses them on worker
// threads and writes their rows and .mendel lines in file order, whatever the number of
// threads.
//
// The reading thread fills a ring of 4 x threads slots (each a marker buffer and its
// outcome); a worker takes a filled slot, analyses it with its own scratch and marks it
// done; the reading thread writes the oldest slot as soon as it is done and reuses it.
// Memory is therefore the ring's, independent of the marker count.  With one thread the
// markers are analysed in the reading thread.  Workers share only read-only data
// (ScanContext); analyse_marker is pure apart from the worker's scratch, so the rows are
// the same for any thread count.

#include <string>
#include <vector>

#include "formats/genotypes.hpp"
#include "scan/marker_task.hpp"
#include "io/pending_file.hpp"
#include "io/progress.hpp"
#include "scan/selection.hpp"

namespace quillon {

struct LoopTotals {
    long rows[static_cast<int>(RowKind::kCount)] = {};  // by kind
    long multiallelic = 0;                              // records skipped, no row
    long mendel_lines = 0;                              // families listed in .mendel
    long haploid_calls = 0;                             // VCF calls with one allele, read as untyped
    std::vector<std::string> failures;                  // "SNP: text" of the first failed markers
};

// Throws what the reader throws (InputError) and OutputError; a worker's unexpected
// exception is rethrown in the calling thread.  Workers are joined before it returns or
// throws.
LoopTotals run_marker_loop(const ScanContext& ctx, GenotypeReader& reader, const Selection& selection,
                           unsigned threads, PendingFile& tsv, PendingFile& mendel, Progress& progress);

}  // namespace quillon
