// A replacement of the global allocation functions for tests: with QUILLON_FAIL_ALLOCATION=N
// in the environment, the N-th allocation (counted from 1, over all threads) and every later
// one throw std::bad_alloc; with QUILLON_COUNT_ALLOCATIONS set, the count is printed on
// standard error at exit ("allocations: N").  Linked into a copy of quillon, so that running
// out of memory can be produced at every point of a run.
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> count{0};

long fail_at() {
    static const long n = [] {
        const char* text = std::getenv("QUILLON_FAIL_ALLOCATION");
        return text != nullptr ? std::atol(text) : 0L;
    }();
    return n;
}

struct Report {
    ~Report() {
        if (std::getenv("QUILLON_COUNT_ALLOCATIONS") != nullptr) std::fprintf(stderr, "allocations: %ld\n", count.load());
    }
} report;

void* allocate(std::size_t size, std::size_t alignment) {
    const long n = ++count;
    const long limit = fail_at();
    if (limit > 0 && n >= limit) throw std::bad_alloc();
    if (size == 0) size = 1;
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                  : std::malloc(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size, 0); }
void* operator new[](std::size_t size) { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return allocate(size, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocate(size, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
