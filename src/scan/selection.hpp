#pragma once
// Which markers a scan analyses: PLINK's subsets (--chr, --from-bp, --to-bp, --extract),
// then one of N contiguous near-equal blocks of the markers they leave (--chunk K/N).  The
// selection is kept as runs of consecutive file positions, so its size follows the number
// of gaps, not the number of markers.

#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "formats/genotypes.hpp"

namespace quillon {

struct MarkerFilter {
    std::unordered_set<std::string> chr;      // chromosome codes (chromosome_code); empty: all
    std::optional<long> from_bp, to_bp;       // inclusive bounds
    std::unordered_set<std::string> extract;  // marker IDs
    bool use_extract = false;

    bool active() const { return !chr.empty() || from_bp || to_bp || use_extract; }
    bool accepts(const MarkerInfo& m) const;
};

// The IDs of an --extract file: whitespace-separated words.  Throws InputError when the
// file cannot be read.
std::unordered_set<std::string> read_extract_file(const std::string& path);

struct Selection {
    std::vector<std::pair<long, long>> runs;  // [begin, end) file positions, ascending
    long file_markers = 0;                    // markers in the file
    long filtered = 0;                        // markers the filter accepts
    long total() const;                       // markers in the runs
};

// Block k (1-based) of n of the runs' markers in order: positions [floor((k-1)M/n),
// floor(kM/n)) of the M markers.
Selection chunk_of(const Selection& all, long k, long n);

// The filter's markers of the file (one pass over it with `scratch` when the filter is
// active; none otherwise), then the chunk.  Leaves the reader at its start.
Selection select_markers(GenotypeReader& reader, const MarkerFilter& filter, long chunk, long chunks,
                         Marker& scratch);

}  // namespace quillon
