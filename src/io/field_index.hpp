#pragma once
// An index from keys made of text fields (FID and IID; FID, father and mother) or of numbers
// to the positions of their records, for the tables read once before the markers.  Open
// addressing on the keys' hashes; the keys stay in the records, which the caller compares,
// so that neither an insert nor a look-up allocates.

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace quillon {

class FieldIndex {
public:
    explicit FieldIndex(std::size_t expected = 0) { grow(expected); }

    // The hash of the fields (eight bytes at a time, each field's length mixed in); of a number.
    static std::uint64_t hash(std::string_view a, std::string_view b, std::string_view c = {}) {
        return mix(add(add(add(0x243f6a8885a308d3ull, a), b), c));
    }
    static std::uint64_t hash(std::uint64_t n) { return mix(n + 0x9e3779b97f4a7c15ull); }

    // Room for n keys without growing.
    void reserve(std::size_t n) { grow(n); }

    // The record whose key has hash h and which same(record) recognises; -1 if none.
    template <class Same>
    long find(std::uint64_t h, Same&& same) const {
        const std::uint32_t tag = tag_of(h);
        for (std::size_t i = tag & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.record < 0) return -1;
            if (s.tag == tag && same(s.record)) return s.record;
        }
    }
    // Adds `record` (>= 0) under h unless a record of the same key is there: returns that
    // record, or -1 when `record` was added.
    template <class Same>
    long insert(std::uint64_t h, long record, Same&& same) {
        if (const long r = find(h, same); r >= 0) return r;
        if (record > std::numeric_limits<std::int32_t>::max()) throw std::length_error("an index of over 2^31 records");
        if (2 * (size_ + 1) > slots_.size()) grow(size_ + 1);
        place(tag_of(h), static_cast<std::int32_t>(record));
        ++size_;
        return -1;
    }

private:
    // A key's hash is kept as its low 32 bits, its tag, from which the slot also follows (the
    // table stays below 2^32 slots): eight bytes a slot, half the pages to touch.
    struct Slot {
        std::uint32_t tag = 0;
        std::int32_t record = -1;
    };
    static std::uint64_t add(std::uint64_t h, std::string_view s) {
        const auto step = [&h](std::uint64_t w) {
            h = (h ^ w) * 0x9e3779b97f4a7c15ull;
            h ^= h >> 29;
        };
        std::size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            std::uint64_t w = 0;
            std::memcpy(&w, s.data() + i, 8);
            step(w);
        }
        std::uint64_t w = 0;
        if (i < s.size()) std::memcpy(&w, s.data() + i, s.size() - i);  // (an empty view may have no data)
        step(w ^ static_cast<std::uint64_t>(s.size()) << 56);
        return h;
    }
    static std::uint64_t mix(std::uint64_t h) {
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        return h;
    }
    static std::uint32_t tag_of(std::uint64_t h) { return static_cast<std::uint32_t>(h); }
    void place(std::uint32_t tag, std::int32_t record) {
        std::size_t i = tag & mask_;
        while (slots_[i].record >= 0) i = (i + 1) & mask_;
        slots_[i] = {tag, record};
    }
    // Room for n keys at a load of at most one half.
    void grow(std::size_t n) {
        std::size_t size = 16;
        while (size < 2 * n) size *= 2;
        if (size <= slots_.size()) return;
        std::vector<Slot> old(size);
        old.swap(slots_);
        mask_ = size - 1;
        for (const Slot& s : old)
            if (s.record >= 0) place(s.tag, s.record);
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0, size_ = 0;
};

}  // namespace quillon
