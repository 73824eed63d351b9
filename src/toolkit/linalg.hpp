#pragma once
// Dense linear algebra over 1-based index-range matrices: products, the SVD, and the SVD
// pseudo-inverse of a square matrix.
//
// Products: every output element is a sum started at 0.0 that adds the products in
// increasing order of the summation index and is stored once.  Outputs must not share
// storage with an operand.

#include "toolkit/nrarray.hpp"

namespace quillon {

// m3 (i1 x i3) = m1 (i1 x i2) . m2 (i2 x i3)
void mltmm(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3);
// v3[1..i1] = m1 (i1 x i2) . v2[1..i2]
void mltmv(const DMatrix& m1, int i1, int i2, const DVector& v2, DVector& v3);
// m3 (i2 x i3) = m1^T . m2, with m1 i1 x i2 and m2 i1 x i3
void mlttmm(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3);
// m3 (i1 x i3) = m1 . m2^T, with m1 i1 x i2 and m2 i3 x i2
void mltmmt(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3);

// sqrt(a^2 + b^2) without destructive overflow or underflow.
double pythag(double a, double b);

// a (m x n) = U W V^T.  On return a holds U, w[1..n] the singular values (>= 0, unsorted),
// v (n x n) holds V itself.  30 sweeps without convergence on one value is fatal
// ("no convergence in 30 svdcmp iterations").
void svdcmp(DMatrix& a, int m, int n, DVector& w, DMatrix& v);

// ai (n x n) = pseudo-inverse of a (n x n) by SVD; a is unchanged.  When the smallest
// singular value is below 1e-12 of the largest, prints the near-singularity warning on
// standard output and drops those values.
void inversse(const DMatrix& a, int n, DMatrix& ai);

}  // namespace quillon
