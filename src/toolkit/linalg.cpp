#include "toolkit/linalg.hpp"

#include <cmath>

#include "toolkit/nrerror.hpp"

namespace quillon {

void mltmm(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3) {
    for (int i = 1; i <= i1; ++i)
        for (int j = 1; j <= i3; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= i2; ++k) sum += m1[i][k] * m2[k][j];
            m3[i][j] = sum;
        }
}

void mltmv(const DMatrix& m1, int i1, int i2, const DVector& v2, DVector& v3) {
    for (int i = 1; i <= i1; ++i) {
        double sum = 0.0;
        for (int j = 1; j <= i2; ++j) sum += m1[i][j] * v2[j];
        v3[i] = sum;
    }
}

void mlttmm(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3) {
    for (int i = 1; i <= i2; ++i)
        for (int j = 1; j <= i3; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= i1; ++k) sum += m1[k][i] * m2[k][j];
            m3[i][j] = sum;
        }
}

void mltmmt(const DMatrix& m1, int i1, int i2, const DMatrix& m2, int i3, DMatrix& m3) {
    for (int i = 1; i <= i1; ++i)
        for (int j = 1; j <= i3; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= i2; ++k) sum += m1[i][k] * m2[j][k];
            m3[i][j] = sum;
        }
}

double pythag(double a, double b) {
    const double absa = std::fabs(a);
    const double absb = std::fabs(b);
    if (absa > absb) {
        const double ratio = absb / absa;
        return absa * std::sqrt(1.0 + ratio * ratio);
    }
    if (absb == 0.0) return 0.0;
    const double ratio = absa / absb;
    return absb * std::sqrt(1.0 + ratio * ratio);
}

namespace {

// |magnitude| carrying the sign of `sign_source`, where 0 counts as positive.
double with_sign(double magnitude, double sign_source) {
    return sign_source >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// x is negligible against the bidiagonal form when adding it to anorm changes nothing.
bool negligible(double x, double anorm) { return std::fabs(x) + anorm == anorm; }

// Plane rotation of columns p and q of the rows 1..rows of m:
//     (m[.][p], m[.][q])  <-  (m[.][p]*c + m[.][q]*s,  m[.][q]*c - m[.][p]*s).
void rotate_columns(DMatrix& m, int rows, int p, int q, double c, double s) {
    for (int r = 1; r <= rows; ++r) {
        const double mp = m[r][p];
        const double mq = m[r][q];
        m[r][p] = mp * c + mq * s;
        m[r][q] = mq * c - mp * s;
    }
}

// Phase 1: Householder reduction of a to upper bidiagonal form.
//
// Step i reflects column i (rows i..m) onto its diagonal, then row i (columns i+1..n) onto
// its superdiagonal.  Each segment x is first divided by its scale sum|x_k| (which keeps
// the sum of squares from over- or underflowing); with s = |x|^2, f = x_1 and
// g = -sign(f) sqrt(s), the reflector is H = I + u u^T / h with u = x - g e_1 and
// h = f g - s = -|u|^2 / 2, and it maps x to g e_1.  u stays in the segment's storage
// (multiplied back by the scale) for the accumulation phase.  The diagonal goes to w, the
// superdiagonal to rv1 (rv1[i] = scale * g of row step i-1; rv1[1] = 0).  Returns anorm.
double bidiagonalise(DMatrix& a, int m, int n, DVector& w, DVector& rv1) {
    double g = 0.0;
    double scale = 0.0;
    double anorm = 0.0;
    for (int i = 1; i <= n; ++i) {
        const int l = i + 1;
        rv1[i] = scale * g;
        g = 0.0;
        scale = 0.0;
        double s = 0.0;
        if (i <= m) {
            // Column reflection on a[i..m][i], applied to columns l..n.
            for (int k = i; k <= m; ++k) scale += std::fabs(a[k][i]);
            if (scale != 0.0) {
                for (int k = i; k <= m; ++k) {
                    a[k][i] /= scale;
                    s += a[k][i] * a[k][i];
                }
                double f = a[i][i];
                g = -with_sign(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][i] = f - g;
                for (int j = l; j <= n; ++j) {
                    // column j += (u . column j / h) u
                    s = 0.0;
                    for (int k = i; k <= m; ++k) s += a[k][i] * a[k][j];
                    f = s / h;
                    for (int k = i; k <= m; ++k) a[k][j] += f * a[k][i];
                }
                for (int k = i; k <= m; ++k) a[k][i] *= scale;
            }
        }
        w[i] = scale * g;
        g = 0.0;
        s = 0.0;
        scale = 0.0;
        if (i <= m && i != n) {
            // Row reflection on a[i][l..n], applied to rows l..m.
            for (int k = l; k <= n; ++k) scale += std::fabs(a[i][k]);
            if (scale != 0.0) {
                for (int k = l; k <= n; ++k) {
                    a[i][k] /= scale;
                    s += a[i][k] * a[i][k];
                }
                const double f = a[i][l];
                g = -with_sign(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][l] = f - g;
                for (int k = l; k <= n; ++k) rv1[k] = a[i][k] / h;  // u / h, reused per row
                for (int j = l; j <= m; ++j) {
                    // row j += (row j . u) u / h
                    s = 0.0;
                    for (int k = l; k <= n; ++k) s += a[j][k] * a[i][k];
                    for (int k = l; k <= n; ++k) a[j][k] += s * rv1[k];
                }
                for (int k = l; k <= n; ++k) a[i][k] *= scale;
            }
        }
        const double size = std::fabs(w[i]) + std::fabs(rv1[i]);
        if (size > anorm) anorm = size;
    }
    return anorm;
}

// Phase 2a: V = product of the row reflections, built from the last one backwards.
// Row reflection i is H = I + u u^T / h over indices l..n (l = i+1), with u in a[i][l..n]
// scaled by the scale, and with the scaled h equal to a[i][l] * g, g the superdiagonal
// element rv1[l].  The column u/h is formed as (a[i][j] / a[i][l]) / g: dividing by the
// two factors in turn avoids forming the product, which may underflow.
void accumulate_right(const DMatrix& a, int n, const DVector& rv1, DMatrix& v) {
    double g = 0.0;
    int l = n + 1;
    for (int i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                for (int j = l; j <= n; ++j) v[j][i] = (a[i][j] / a[i][l]) / g;
                for (int j = l; j <= n; ++j) {
                    // column j of V += (u . column j) (u / h)
                    double s = 0.0;
                    for (int k = l; k <= n; ++k) s += a[i][k] * v[k][j];
                    for (int k = l; k <= n; ++k) v[k][j] += s * v[k][i];
                }
            }
            for (int j = l; j <= n; ++j) {
                v[i][j] = 0.0;
                v[j][i] = 0.0;
            }
        }
        v[i][i] = 1.0;
        g = rv1[i];
        l = i;
    }
}

// Phase 2b: U = product of the column reflections, built in place in a from the last one
// backwards.  With g = 1/w[i], the scaled reflection of column i is applied to the later
// columns as column j += ((u . column j) / a[i][i]) g u (a[i][i] * w[i] being the scaled h),
// and column i itself becomes u g plus e_i.  A zero diagonal leaves e_i as column i.
void accumulate_left(DMatrix& a, int m, int n, const DVector& w) {
    const int last = m < n ? m : n;
    for (int i = last; i >= 1; --i) {
        const int l = i + 1;
        double g = w[i];
        for (int j = l; j <= n; ++j) a[i][j] = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            for (int j = l; j <= n; ++j) {
                double s = 0.0;
                for (int k = l; k <= m; ++k) s += a[k][i] * a[k][j];
                const double f = (s / a[i][i]) * g;
                for (int k = i; k <= m; ++k) a[k][j] += f * a[k][i];
            }
            for (int j = i; j <= m; ++j) a[j][i] *= g;
        } else {
            for (int j = i; j <= m; ++j) a[j][i] = 0.0;
        }
        a[i][i] += 1.0;
    }
}

// Phase 3 helper: w[l-1] is negligible, so the superdiagonal element rv1[l] is chased out
// along row l-1 by rotations of the pairs (l-1, i), i = l..k, applied to the columns of U.
void cancel_superdiagonal(DMatrix& a, int m, DVector& w, DVector& rv1, int l, int k, double anorm) {
    const int nm = l - 1;
    double c = 0.0;
    double s = 1.0;
    for (int i = l; i <= k; ++i) {
        const double f = s * rv1[i];
        rv1[i] = c * rv1[i];
        if (negligible(f, anorm)) break;
        const double g = w[i];
        double h = pythag(f, g);
        w[i] = h;
        h = 1.0 / h;
        c = g * h;
        s = -f * h;
        rotate_columns(a, m, nm, i, c, s);
    }
}

// Phase 3 helper: one implicitly shifted QR sweep over the unreduced block l..k.
// The shift is the eigenvalue of the trailing 2x2 of B^T B nearer to its last diagonal
// element (x, y, z the diagonal elements w[l], w[k-1], w[k]; g, h the superdiagonal
// elements rv1[k-1], rv1[k]).  The bulge is chased down by alternating right rotations
// (applied to V) and left rotations (applied to U).
void qr_sweep(DMatrix& a, int m, int n, DVector& w, DVector& rv1, DMatrix& v, int l, int k) {
    const int nm = k - 1;
    double x = w[l];
    double y = w[nm];
    double z = w[k];
    double g = rv1[nm];
    double h = rv1[k];
    double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
    g = pythag(f, 1.0);
    f = ((x - z) * (x + z) + h * ((y / (f + with_sign(g, f))) - h)) / x;
    double c = 1.0;
    double s = 1.0;
    for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = rv1[i];
        y = w[i];
        h = s * g;
        g = c * g;
        // Right rotation of columns j, i zeroes the bulge h against f.
        z = pythag(f, h);
        rv1[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        rotate_columns(v, n, j, i, c, s);
        // Left rotation of rows j, i zeroes the new bulge h against f.
        z = pythag(f, h);
        w[j] = z;
        if (z != 0.0) {
            z = 1.0 / z;
            c = f * z;
            s = h * z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        rotate_columns(a, m, j, i, c, s);
    }
    rv1[l] = 0.0;
    rv1[k] = f;
    w[k] = x;
}

// Phase 3: diagonalisation of the bidiagonal form, one singular value at a time from the
// last.  Each pass looks for a split l (rv1[l] negligible) or a negligible w[l-1] (then
// rv1[l] is cancelled first); l == k means w[k] has converged.  rv1[1] is 0 by
// construction, so the search always stops at l = 1; it stops there explicitly as well,
// because with a NaN in the matrix anorm is NaN and no comparison holds.
void diagonalise(DMatrix& a, int m, int n, DVector& w, DVector& rv1, DMatrix& v, double anorm) {
    for (int k = n; k >= 1; --k) {
        for (int its = 1; its <= 30; ++its) {
            bool split_at_superdiagonal = false;
            int l = k;
            for (; l >= 1; --l) {
                if (l == 1 || negligible(rv1[l], anorm)) {
                    split_at_superdiagonal = true;
                    break;
                }
                if (negligible(w[l - 1], anorm)) break;
            }
            if (!split_at_superdiagonal) cancel_superdiagonal(a, m, w, rv1, l, k, anorm);
            if (l == k) {
                const double z = w[k];
                if (z < 0.0) {
                    // Singular values are made non-negative; V's column absorbs the sign.
                    w[k] = -z;
                    for (int j = 1; j <= n; ++j) v[j][k] = -v[j][k];
                }
                break;
            }
            if (its == 30) nrerror("no convergence in 30 svdcmp iterations", NumericalKind::kNoConvergence);
            qr_sweep(a, m, n, w, rv1, v, l, k);
        }
    }
}

}  // namespace

void svdcmp(DMatrix& a, int m, int n, DVector& w, DMatrix& v) {
    DVector rv1 = vector(1, n);
    const double anorm = bidiagonalise(a, m, n, w, rv1);
    accumulate_right(a, n, rv1, v);
    accumulate_left(a, m, n, w);
    diagonalise(a, m, n, w, rv1, v, anorm);
    free_vector(rv1, 1, n);
}

bool inversse(const DMatrix& a, int n, DMatrix& ai) {
    DVector w = vector(1, n);
    DMatrix v = matrix(1, n, 1, n);
    DMatrix athis = matrix(1, n, 1, n);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            athis[i][j] = a[i][j];
            ai[i][j] = 0.0;
            v[i][j] = 0.0;
        }

    svdcmp(athis, n, n, w, v);  // athis now holds U

    double wmax = w[1];
    double wmin = w[1];
    for (int i = 2; i <= n; ++i) {
        if (w[i] > wmax) wmax = w[i];
        if (w[i] < wmin) wmin = w[i];
    }
    // For the zero matrix wmin/wmax is 0/0: the comparison is false and nothing is dropped.
    const bool near_singular = wmin / wmax < 1.0e-12;
    if (near_singular) {
        for (int i = 1; i <= n; ++i)
            if (w[i] < wmax * 1.0e-12) w[i] = 0.0;
    }

    // athis <- U^T
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= i; ++j) {
            const double t = athis[i][j];
            athis[i][j] = athis[j][i];
            athis[j][i] = t;
        }
    // Row i of U^T times 1/w[i], or times 0.0 for a dropped value (so a non-finite entry of U
    // still propagates exactly as a multiplication would).
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            if (w[i] != 0.0)
                athis[i][j] = athis[i][j] * (1.0 / w[i]);
            else
                athis[i][j] = athis[i][j] * 0.0;
        }
    mltmm(v, n, n, athis, n, ai);  // ai = V W+ U^T

    free_matrix(athis, 1, n, 1, n);
    free_matrix(v, 1, n, 1, n);
    free_vector(w, 1, n);
    return near_singular;
}

}  // namespace quillon
