#include "scan/selection.hpp"

#include <fstream>

#include "formats/genotypes.hpp"

namespace quillon {

bool MarkerFilter::accepts(const MarkerInfo& m) const {
    if (!chr.empty() && chr.count(chromosome_code(m.chr)) == 0) return false;
    if (from_bp && m.bp < *from_bp) return false;
    if (to_bp && m.bp > *to_bp) return false;
    return !use_extract || extract.count(m.id) != 0;
}

std::unordered_set<std::string> read_extract_file(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw InputError("cannot read the --extract file " + path);
    std::unordered_set<std::string> ids;
    std::string id;
    while (in >> id) ids.insert(id);
    if (in.bad()) throw InputError("cannot read the --extract file " + path);
    return ids;
}

long Selection::total() const {
    long n = 0;
    for (const auto& [b, e] : runs) n += e - b;
    return n;
}

Selection chunk_of(const Selection& all, long k, long n) {
    const long m = all.total();
    // floor(j*M/n) = j*q + floor(j*r/n) with M = q*n + r; j*r < n*n stays small (n <= 1e6)
    const long q = m / n, r = m % n;
    const auto bound = [q, r, n](long j) { return j * q + j * r / n; };
    const long lo = bound(k - 1), hi = bound(k);
    Selection part;
    part.file_markers = all.file_markers;
    part.filtered = all.filtered;
    long seen = 0;
    for (const auto& [b, e] : all.runs) {
        const long from = std::max(lo, seen), to = std::min(hi, seen + (e - b));
        if (from < to) part.runs.emplace_back(b + (from - seen), b + (to - seen));
        seen += e - b;
    }
    return part;
}

Selection select_markers(GenotypeReader& reader, const MarkerFilter& filter, long chunk, long chunks,
                         Marker& scratch) {
    Selection all;
    all.file_markers = reader.marker_count();
    if (!filter.active()) {
        if (all.file_markers > 0) all.runs.emplace_back(0, all.file_markers);
    } else {
        reader.seek(0);
        long position = 0;
        while (reader.next(scratch)) {
            if (filter.accepts(scratch.info)) {
                if (!all.runs.empty() && all.runs.back().second == position)
                    ++all.runs.back().second;
                else
                    all.runs.emplace_back(position, position + 1);
            }
            ++position;
        }
        reader.seek(0);
    }
    all.filtered = all.total();
    return chunk_of(all, chunk, chunks);
}

}  // namespace quillon
