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

// The study's families laid out flat once per scan for the pass: each family's parents and
// children (Study::people indices) and each child's covariate row.
struct ScoreLayout {
    explicit ScoreLayout(const Study& study);
    std::vector<long> father, mother;      // per family, -1 a placeholder
    std::vector<std::size_t> child_begin;  // family j's children are child_begin[j]..child_begin[j+1]-1
    std::vector<long> child;
    std::vector<double> x;  // child c's covariates at c * ncov
    std::size_t ncov = 0;
};

// True when it settled the marker's outcome (counts, Mendel errors, kind and result); false
// where a family kept has an untyped parent, or the full fit is to run: the caller then takes
// the whole way, which rewrites all of that.
bool score_pass(const ScanContext& ctx, const ScoreLayout& layout, const LikelihoodTdt& test, const Marker& marker,
                MarkerOutcome& out);

}  // namespace quillon
