#pragma once
// Dense linear algebra over 1-based index-range matrices: products, the singular value
// decomposition, and the SVD pseudo-inverse of a square matrix.
//
// Products: every output element is a sum started at 0.0 that adds the products in
// increasing order of the summation index and is stored once; the loops run over output
// rows, then output columns, then the summation index.  The caller allocates the output,
// which must not share storage with an operand.  All sizes count from index 1.

#include "toolkit/nrarray.hpp"

namespace quillon {

// m3 (i1 x i3) = m1 (i1 x i2) . m2 (i2 x i3):  m3[i][j] = sum_{k=1..i2} m1[i][k]*m2[k][j].
void mltmm(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3);
// v3[1..i1] = m1 (i1 x i2) . v2[1..i2]:  v3[i] = sum_{j=1..i2} m1[i][j]*v2[j].
void mltmv(const DMatrix& m1, int i1, int i2, const DVector& v2, DVector& v3);
// m3 (i2 x i3) = m1^T . m2, with m1 i1 x i2 and m2 i1 x i3:  m3[i][j] = sum_{k=1..i1} m1[k][i]*m2[k][j].
void mlttmm(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3);
// m3 (i1 x i3) = m1 . m2^T, with m1 i1 x i2 and m2 i3 x i2:  m3[i][j] = sum_{k=1..i2} m1[i][k]*m2[j][k].
void mltmmt(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3);

// sqrt(a^2 + b^2) computed as the larger magnitude times sqrt(1 + ratio^2), so that it
// neither overflows nor underflows when the result is representable.  pythag(0, 0) = 0.
double pythag(double a, double b);

// Singular value decomposition a = U W V^T of the m x n matrix a (rows and columns from 1),
// by Householder bidiagonalisation and implicitly shifted QR (Golub-Reinsch).
// On return a[1..m][1..n] holds U (orthonormal columns; a column belonging to a zero
// singular value may be zero), w[1..n] the singular values, all >= 0 and NOT sorted, and
// v[1..n][1..n] holds V itself (not its transpose); column j of U and of V belong to w[j].
// No tolerance is used: a quantity x counts as zero when |x| + anorm == anorm, anorm being
// the largest |w[i]| + |superdiagonal[i]| of the bidiagonal form.  A singular value that
// has not converged after 29 QR sweeps ends the run through
// nrerror("no convergence in 30 svdcmp iterations").
void svdcmp(DMatrix& a, int m, int n, DVector& w, DMatrix& v);

// ai[1..n][1..n] = pseudo-inverse of a[1..n][1..n] through its SVD: ai = V W+ U^T; a is not
// changed.  When wmin/wmax < 1.0e-12 (wmin, wmax the smallest and largest singular values)
// the function returns true (the matrix is near singular; it prints nothing) and every
// singular value below wmax*1.0e-12 is dropped (its reciprocal taken as 0).  The zero matrix
// gives 0/0 there, so false, and the zero pseudo-inverse.
bool inversse(const DMatrix& a, int n, DMatrix& ai);

}  // namespace quillon
