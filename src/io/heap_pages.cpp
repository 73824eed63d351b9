#include "io/heap_pages.hpp"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

namespace quillon {

void populate_heap(std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    constexpr std::size_t kLeast = std::size_t{1} << 18, kMost = std::size_t{1} << 25;
    if (bytes < kLeast) return;
    bytes = std::min(bytes, kMost);
    std::unique_ptr<char[]> block;
    try {
        block = std::make_unique_for_overwrite<char[]>(bytes);
    } catch (const std::bad_alloc&) {
        return;
    }
    const long page = sysconf(_SC_PAGESIZE);
    if (page <= 0) return;
    const auto size = static_cast<std::uintptr_t>(page);
    const auto begin = reinterpret_cast<std::uintptr_t>(block.get());
    const std::uintptr_t first = (begin + size - 1) / size * size, last = (begin + bytes) / size * size;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)bytes;
#endif
}

std::size_t start_up_heap(const std::string& fam_path) {
    struct stat st {};
    if (stat(fam_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return 0;
    return 24 * static_cast<std::size_t>(st.st_size);
}

}  // namespace quillon
