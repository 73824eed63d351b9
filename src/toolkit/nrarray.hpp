#pragma once
// Index-range vectors and matrices.
//
// IndexVector<T> holds the elements v[nl] .. v[nh] in one block of exactly nh - nl + 1
// elements; v[i] reaches element i - nl of the block, so no pointer outside the block is
// ever formed.  IndexMatrix<T> is an index-range vector of rows, each row its own
// IndexVector<T>; m[i] is the row handle of row i, and two rows are exchanged completely by
// swapping their handles (std::swap(m[i], m[k])), which moves no element.
//
// Ownership is RAII: an array releases its block when it goes out of scope.  The free_*
// routines release early and leave an empty array behind.  Elements are not initialised.
//
// With QUILLON_BOUNDS_CHECK defined (debug and sanitizer builds) every index is checked
// and an index outside the allocated range aborts with a message.
//
// An allocation that cannot be satisfied ends the run through nrerror() with
// "allocation failure in vector()" (vectors) or "allocation failure 1 in matrix()" (the
// row handles) / "allocation failure 2 in matrix()" (a row).

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "toolkit/nrerror.hpp"

namespace quillon {

// The largest single block the allocators will request, in bytes.  A larger request is an
// allocation failure: it cannot be met on any machine this program runs on, and refusing
// it at once is better than letting the system overcommit and fail later.
inline constexpr std::size_t kMaxBlockBytes = std::size_t{1} << 33;  // 8 GiB

namespace detail {
[[noreturn]] inline void index_out_of_range(long i, long lo, long hi) {
    std::fprintf(stderr, "index-range array: index %ld outside %ld..%ld\n", i, lo, hi);
    std::abort();
}

// Number of elements of the range lo..hi, or -1 when the range is invalid or too large
// for elements of `element_size` bytes.
inline long block_length(long lo, long hi, std::size_t element_size) {
    if (hi < lo) return (lo != std::numeric_limits<long>::min() && hi == lo - 1) ? 0 : -1;
    // hi - lo in unsigned arithmetic: exact for every hi >= lo.
    const unsigned long span = static_cast<unsigned long>(hi) - static_cast<unsigned long>(lo);
    if (span >= kMaxBlockBytes / element_size) return -1;
    return static_cast<long>(span + 1UL);
}
}  // namespace detail

template <class T>
class IndexVector {
public:
    IndexVector() = default;

    // Allocates v[nl..nh]; ends the run through nrerror(failure_text) when that fails.
    IndexVector(long nl, long nh, const char* failure_text = kVectorAllocationFailure)
        : lo_(nl), hi_(nh) {
        const long n = detail::block_length(nl, nh, sizeof(T));
        if (n < 0) nrerror(failure_text, NumericalKind::kAllocation);
        try {
            data_ = std::make_unique_for_overwrite<T[]>(static_cast<std::size_t>(n));
        } catch (const std::bad_alloc&) {
            nrerror(failure_text, NumericalKind::kAllocation);
        }
    }

    IndexVector(IndexVector&&) noexcept = default;
    IndexVector& operator=(IndexVector&&) noexcept = default;
    IndexVector(const IndexVector&) = delete;
    IndexVector& operator=(const IndexVector&) = delete;

    T& operator[](long i) {
        check(i);
        return data_[static_cast<std::size_t>(i - lo_)];
    }
    const T& operator[](long i) const {
        check(i);
        return data_[static_cast<std::size_t>(i - lo_)];
    }

    long lo() const { return lo_; }
    long hi() const { return hi_; }
    long size() const { return data_ ? hi_ - lo_ + 1 : 0; }
    bool allocated() const { return static_cast<bool>(data_); }

    // Pointer to the element of index lo() (the start of the block), for tight loops that
    // walk the block from its first element.
    T* begin_ptr() { return data_.get(); }
    const T* begin_ptr() const { return data_.get(); }

    void fill(const T& value) {
        for (long i = lo_; i <= hi_; ++i) (*this)[i] = value;
    }

    void release() {
        data_.reset();
        lo_ = 1;
        hi_ = 0;
    }

private:
    void check([[maybe_unused]] long i) const {
#ifdef QUILLON_BOUNDS_CHECK
        if (!data_ || i < lo_ || i > hi_) detail::index_out_of_range(i, lo_, hi_);
#endif
    }

    long lo_ = 1;
    long hi_ = 0;
    std::unique_ptr<T[]> data_;
};

template <class T>
class IndexMatrix {
public:
    IndexMatrix() = default;

    // Allocates m[nrl..nrh][ncl..nch], the row handles first, then each row in order.
    IndexMatrix(long nrl, long nrh, long ncl, long nch)
        : rows_(nrl, nrh, "allocation failure 1 in matrix()") {
        for (long i = nrl; i <= nrh; ++i)
            rows_[i] = IndexVector<T>(ncl, nch, "allocation failure 2 in matrix()");
    }

    IndexMatrix(IndexMatrix&&) noexcept = default;
    IndexMatrix& operator=(IndexMatrix&&) noexcept = default;

    IndexVector<T>& operator[](long i) { return rows_[i]; }
    const IndexVector<T>& operator[](long i) const { return rows_[i]; }

    long row_lo() const { return rows_.lo(); }
    long row_hi() const { return rows_.hi(); }
    bool allocated() const { return rows_.allocated(); }

    void fill(const T& value) {
        for (long i = rows_.lo(); i <= rows_.hi(); ++i) rows_[i].fill(value);
    }

    // Releases every row, from the last to the first, then the row handles.
    void release() {
        for (long i = rows_.hi(); i >= rows_.lo() && rows_.allocated(); --i) rows_[i].release();
        rows_.release();
    }

private:
    IndexVector<IndexVector<T>> rows_;
};

using DVector = IndexVector<double>;
using IVector = IndexVector<int>;
using LVector = IndexVector<long>;
using DMatrix = IndexMatrix<double>;
using IMatrix = IndexMatrix<int>;
using LMatrix = IndexMatrix<long>;

// The allocators, by element type and bound type.
inline DVector vector(int nl, int nh) { return DVector(nl, nh); }
inline IVector ivector(int nl, int nh) { return IVector(nl, nh); }
inline LVector lvector(long nl, long nh) { return LVector(nl, nh); }
inline DMatrix matrix(int nrl, int nrh, int ncl, int nch) { return DMatrix(nrl, nrh, ncl, nch); }
inline DMatrix flmatrix(long nrl, long nrh, long ncl, long nch) { return DMatrix(nrl, nrh, ncl, nch); }
inline IMatrix imatrix(int nrl, int nrh, int ncl, int nch) { return IMatrix(nrl, nrh, ncl, nch); }
inline LMatrix lmatrix(long nrl, long nrh, long ncl, long nch) { return LMatrix(nrl, nrh, ncl, nch); }

// Early release.  The lower bounds must be those of the allocation (a mismatch is a
// programming error and aborts); the upper bounds are accepted and not used.
namespace detail {
[[noreturn]] inline void release_mismatch(long given, long allocated) {
    std::fprintf(stderr, "index-range array released with lower bound %ld, allocated with %ld\n", given,
                 allocated);
    std::abort();
}
template <class T>
void free_vector_any(IndexVector<T>& v, long nl) {
    if (v.allocated() && v.lo() != nl) release_mismatch(nl, v.lo());
    v.release();
}
template <class T>
void free_matrix_any(IndexMatrix<T>& m, long nrl, long ncl) {
    if (m.allocated()) {
        if (m.row_lo() != nrl) release_mismatch(nrl, m.row_lo());
        for (long i = m.row_lo(); i <= m.row_hi(); ++i)
            if (m[i].allocated() && m[i].lo() != ncl) release_mismatch(ncl, m[i].lo());
    }
    m.release();
}
}  // namespace detail

inline void free_vector(DVector& v, int nl, int /*nh*/) { detail::free_vector_any(v, nl); }
inline void free_ivector(IVector& v, int nl, int /*nh*/) { detail::free_vector_any(v, nl); }
inline void free_lvector(LVector& v, long nl, long /*nh*/) { detail::free_vector_any(v, nl); }
inline void free_matrix(DMatrix& m, int nrl, int /*nrh*/, int ncl, int /*nch*/) { detail::free_matrix_any(m, nrl, ncl); }
inline void free_flmatrix(DMatrix& m, long nrl, long /*nrh*/, long ncl, long /*nch*/) {
    detail::free_matrix_any(m, nrl, ncl);
}
inline void free_imatrix(IMatrix& m, int nrl, int /*nrh*/, int ncl, int /*nch*/) { detail::free_matrix_any(m, nrl, ncl); }
inline void free_lmatrix(LMatrix& m, long nrl, long /*nrh*/, long ncl, long /*nch*/) {
    detail::free_matrix_any(m, nrl, ncl);
}

}  // namespace quillon
