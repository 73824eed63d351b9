#include "toolkit/sort_search.hpp"

#include <utility>

namespace quillon {

void locate(const DVector& xx, unsigned long n, double x, unsigned long* j) {
    if (n == 0) {
        *j = 0;
        return;
    }
    const long last = static_cast<long>(n);
    const bool ascending = xx[last] > xx[1];
    unsigned long jl = 0;      // lower sentinel
    unsigned long ju = n + 1;  // upper sentinel
    while (ju - jl > 1) {
        const unsigned long jm = (ju + jl) >> 1;
        // x lies beyond xx[jm] in the table's direction: x > xx[jm] ascending,
        // x <= xx[jm] descending.
        if ((x > xx[static_cast<long>(jm)]) == ascending)
            jl = jm;
        else
            ju = jm;
    }
    *j = jl;
}

namespace {

struct SortRecords {
    DVector& ra;
    IVector& dk;
    IMatrix& cens;
    DMatrix& timme;

    void exchange(long i, long k) {
        std::swap(ra[i], ra[k]);
        std::swap(dk[i], dk[k]);
        std::swap(cens[i], cens[k]);  // row handles, not row contents
        std::swap(timme[i], timme[k]);
    }

    // Moves record `top` down the heap occupying positions top..bottom until neither child
    // has a larger key.  Both comparisons are strict: of two equal children the left one is
    // taken, and a record whose key equals its larger child's stays.
    void sift_down(long top, long bottom) {
        long parent = top;
        long child = 2 * parent;
        while (child <= bottom) {
            if (child < bottom && ra[child] < ra[child + 1]) ++child;
            if (!(ra[parent] < ra[child])) break;
            exchange(parent, child);
            parent = child;
            child = 2 * parent;
        }
    }
};

}  // namespace

void hpsortjh(unsigned long n, DVector& ra, IVector& dk, IMatrix& cens, DMatrix& timme) {
    if (n < 2) return;
    SortRecords records{ra, dk, cens, timme};
    const long count = static_cast<long>(n);
    // Build the heap: largest key at position 1.
    for (long i = count / 2; i >= 1; --i) records.sift_down(i, count);
    // Move the largest to the end of the shrinking heap and restore the heap.
    for (long last = count; last >= 2; --last) {
        records.exchange(1, last);
        records.sift_down(1, last - 1);
    }
}

}  // namespace quillon
