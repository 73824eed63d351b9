#pragma once
// The score tests of one marker straight from the study's families and the marker's
// genotypes, without its family table, where every family kept has both parents typed.  The
// families kept, their children and the Mendel errors are those build_marker_families finds
// (with both parents typed a family is left out exactly when a typed child is impossible
// under them), and the children are tallied in its order, so the statistics are the very
// doubles of the test on the marker's family table.

#include "method/likelihood_tdt.hpp"
#include "scan/marker_task.hpp"

namespace quillon {

// True when it settled the marker's outcome (counts, Mendel errors, kind and result); false
// where a family kept has an untyped parent, or the full fit is to run: the caller then takes
// the whole way, which rewrites all of that.
bool score_pass(const ScanContext& ctx, const LikelihoodTdt& test, const Marker& marker, MarkerOutcome& out);

}  // namespace quillon
