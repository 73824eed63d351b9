#pragma once
// Search in a monotone table and a heap sort that carries companion arrays with its key.

#include "toolkit/nrarray.hpp"

namespace quillon {

// Bisection search in the monotone table xx[1..n] (ascending when xx[n] > xx[1], descending
// otherwise).  Writes *j in 0..n such that
//     ascending:  xx[j] <  x <= xx[j+1]   (0 when x <= xx[1], n when x > xx[n]),
//     descending: xx[j] >= x >  xx[j+1]   (0 when x > xx[1],  n when x <= xx[n]),
// with xx[0] and xx[n+1] read as sentinels beyond either end.  n = 0 gives *j = 0 and reads
// nothing.
void locate(const DVector& xx, unsigned long n, double x, unsigned long* j);

// Heap sort of the records 1..n into ascending order of ra, in place.  Record i is
// (ra[i], dk[i], row cens[i], row timme[i]); a record moves as a whole, its two rows by
// exchange of their row handles (the row contents are not copied).  n < 2 changes nothing.
// Records with equal keys end in an order that depends on the input arrangement (the same
// one every time for the same input).
void hpsortjh(unsigned long n, DVector& ra, IVector& dk, IMatrix& cens, DMatrix& timme);

}  // namespace quillon
