// quillon: likelihood transmission/disequilibrium test with covariate-modified genotype
// relative risks, for one two-allele marker in nuclear families.
#include <malloc.h>

#include "app/app.hpp"

int main(int argc, char** argv) {
    // Memory a run frees (the tables read before the markers, a scan's start-up) stays with
    // the allocator for what comes next, instead of going back to the system and being
    // faulted in again page by page: blocks up to 32 MiB come from the heap, whose top is
    // trimmed only beyond 64 MiB.  (A setting the allocator refuses leaves its default.)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    return quillon::run_quillon(argc, argv);
}
