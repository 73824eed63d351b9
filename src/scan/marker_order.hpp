#pragma once
// The order a tabix index needs: each chromosome's rows together, their positions never
// decreasing.  check() is given the rows in file order and names the first that breaks it.

#include <string>
#include <unordered_set>

namespace quillon {

class MarkerOrder {
public:
    // "" while the rows are in order; else how the marker breaks it.
    std::string check(const std::string& chr, long bp, const std::string& id) {
        if (started_ && chr == chr_) {
            if (bp >= bp_) {
                bp_ = bp;
                return "";
            }
            return "marker " + id + " (chromosome " + chr + ", position " + std::to_string(bp) +
                   ") comes after position " + std::to_string(bp_);
        }
        if (!seen_.insert(chr).second)
            return "marker " + id + " (chromosome " + chr + ") comes after markers of another chromosome";
        started_ = true;
        chr_ = chr;
        bp_ = bp;
        return "";
    }

private:
    bool started_ = false;
    std::string chr_;
    long bp_ = 0;
    std::unordered_set<std::string> seen_;
};

}  // namespace quillon
