#pragma once
// The heap's pages asked of the system in one call.
//
// A page the program touches for the first time is a page fault.  On a virtual machine one
// costs about 12 µs (against under 1 µs a page populated in bulk), so the tables a scan builds
// before its first marker, a few thousand pages for a study of a few thousand families, cost
// more in faults than in work.  populate_heap(n) takes n bytes from the allocator, has the
// system write-populate their pages in one call and gives them back: with the allocator told
// to keep what is freed (main), the next allocations reuse those pages.

#include <cstddef>
#include <string>

namespace quillon {

// Populates about `bytes` of heap pages (nothing below 256 KiB, at most 32 MiB).  Where the
// system cannot (an older kernel, no memory to spare), the pages come one fault at a time as
// they would have anyway.
void populate_heap(std::size_t bytes);

// The heap a scan's start-up tables take for the study in the .fam `path`, about: 24 bytes
// of tables a byte of .fam (0 when the file cannot be examined; reading it reports that).
std::size_t start_up_heap(const std::string& fam_path);

}  // namespace quillon
