#pragma once
// A vector for flat arrays that are written in full right after they are sized: growing it
// leaves the new elements of a trivial type uninitialised instead of zeroing them first.

#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillon {

template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    static_assert(std::is_trivially_default_constructible_v<T>);
    using value_type = T;
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}

    // Default-initialisation of a trivial type: nothing to do.
    void construct(T*) noexcept {}
    template <class... A>
    void construct(T* p, A&&... a) {
        std::construct_at(p, std::forward<A>(a)...);
    }
};

template <class T>
using FlatVector = std::vector<T, UninitialisedAllocator<T>>;

}  // namespace quillon
