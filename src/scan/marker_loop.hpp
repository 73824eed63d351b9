#pragma once
// The marker loop: reads the selected markers in file order, analyses them on worker
// threads and writes their rows and .mendel lines in file order, whatever the number of
// threads.
//
// The reading thread fills a ring of 4 x threads slots (each a marker buffer and its
// outcome); a worker takes a filled slot, analyses it with its own scratch and marks it
// done; the reading thread hands the oldest slot to the writer as soon as it is done and
// reuses it.
// Memory is therefore the ring's, independent of the marker count.  With one thread the
// markers are analysed in the reading thread.  Workers share only read-only data
// (ScanContext); analyse_marker is pure apart from the worker's scratch, so the rows are
// the same for any thread count.

#include "formats/genotypes.hpp"
#include "scan/marker_task.hpp"
#include "io/interrupt.hpp"
#include "io/pending_file.hpp"
#include "io/progress.hpp"
#include "scan/selection.hpp"
#include "scan/writer.hpp"

namespace quillon {

// Throws what the reader throws (InputError), OutputError, and Interrupted when `interrupt`
// has seen SIGINT or SIGTERM (checked before each marker is read); a worker's exception (an
// allocation failure, or anything unexpected) is rethrown in the calling thread.  Workers
// are joined before it returns or throws.
void run_marker_loop(const ScanContext& ctx, GenotypeReader& reader, const Selection& selection, unsigned threads,
                     OutcomeWriter& writer, Progress& progress, const InterruptWatch& interrupt);

}  // namespace quillon
