#include "toolkit/minimiser.hpp"

#include <cmath>
#include <utility>

#include "toolkit/nrerror.hpp"

namespace quillon {

namespace {

constexpr double kGold = 1.618034;       // golden-ratio magnification of mnbrak
constexpr double kGrowthLimit = 100.0;   // largest magnification of a parabolic step
constexpr double kTiny = 1.0e-20;        // floor of the parabolic denominator
constexpr double kCGold = 0.3819660;     // golden-section fraction of brent
constexpr double kZeps = 1.0e-10;        // absolute part of brent's tolerance

// |magnitude| carrying the sign of `sign_source`, where 0 counts as positive.
double with_sign(double magnitude, double sign_source) {
    return sign_source >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

double sqr(double x) { return x * x; }

}  // namespace

LineFunction::LineFunction(const DVector& p, const DVector& xi, int n, const Objective& func)
    : ncom_(n), pcom_(vector(1, n)), xicom_(vector(1, n)), xt_(vector(1, n)), nrfunc_(func) {
    for (int j = 1; j <= n; ++j) {
        pcom_[j] = p[j];
        xicom_[j] = xi[j];
    }
}

double LineFunction::f1dim(double x) {
    for (int j = 1; j <= ncom_; ++j) xt_[j] = pcom_[j] + x * xicom_[j];
    return nrfunc_(xt_);
}

void powell(DVector& p, DMatrix& xi, int n, double ftol, int* iter, double* fret, const Objective& func) {
    DVector pt = vector(1, n);
    DVector ptt = vector(1, n);
    DVector xit = vector(1, n);
    *fret = func(p);
    for (int j = 1; j <= n; ++j) pt[j] = p[j];
    for (*iter = 1;; ++(*iter)) {
        const double fp = *fret;
        int ibig = 0;
        double del = 0.0;  // largest decrease along a single direction
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) xit[j] = xi[j][i];
            const double fptt = *fret;
            linmin(p, xit, n, fret, func);
            // Strict comparison: on a tie the earlier direction stays the largest.
            if (fptt - *fret > del) {
                del = fptt - *fret;
                ibig = i;
            }
        }
        if (2.0 * std::fabs(fp - *fret) <= ftol * (std::fabs(fp) + std::fabs(*fret))) {
            free_vector(xit, 1, n);
            free_vector(ptt, 1, n);
            free_vector(pt, 1, n);
            return;
        }
        if (*iter == kPowellMaxIterations) nrerror("powell exceeding maximum iterations.", NumericalKind::kIterationLimit);
        // Extrapolated point and net displacement of this iteration.
        for (int j = 1; j <= n; ++j) {
            ptt[j] = 2.0 * p[j] - pt[j];
            xit[j] = p[j] - pt[j];
            pt[j] = p[j];
        }
        const double fptt = func(ptt);
        if (fptt < fp) {
            // t = 2 (fp - 2 fret + fptt) (fp - fret - del)^2 - del (fp - fptt)^2, left to right.
            const double t = 2.0 * (fp - 2.0 * (*fret) + fptt) * sqr(fp - *fret - del) - del * sqr(fp - fptt);
            if (t < 0.0) {
                linmin(p, xit, n, fret, func);
                // The direction of largest decrease gives way to the last one, and the
                // displacement just taken becomes the last.  ibig is 0 only when no
                // direction decreased the function (an objective that is not a function of
                // its argument, or a negative ftol); the set is then left as it is.
                if (ibig >= 1)
                    for (int j = 1; j <= n; ++j) {
                        xi[j][ibig] = xi[j][n];
                        xi[j][n] = xit[j];
                    }
            }
        }
    }
}

void linmin(DVector& p, DVector& xi, int n, double* fret, const Objective& func) {
    LineFunction line(p, xi, n, func);
    const LineObjective f1dim = [&line](double x) { return line.f1dim(x); };
    double ax = 0.0;
    double xx = 1.0;
    double bx = 0.0;
    double fa = 0.0;
    double fx = 0.0;
    double fb = 0.0;
    mnbrak(&ax, &xx, &bx, &fa, &fx, &fb, f1dim);
    double xmin = 0.0;
    *fret = brent(ax, xx, bx, f1dim, kLinminTolerance, &xmin);
    for (int j = 1; j <= n; ++j) {
        xi[j] *= xmin;
        p[j] += xi[j];
    }
}

void mnbrak(double* ax, double* bx, double* cx, double* fa, double* fb, double* fc, const LineObjective& func) {
    *fa = func(*ax);
    *fb = func(*bx);
    if (*fb > *fa) {
        // Make the step from a to b go downhill.
        std::swap(*ax, *bx);
        std::swap(*fa, *fb);
    }
    *cx = *bx + kGold * (*bx - *ax);
    *fc = func(*cx);
    while (*fb > *fc) {
        // u: abscissa of the vertex of the parabola through a, b, c.
        const double r = (*bx - *ax) * (*fb - *fc);
        const double q = (*bx - *cx) * (*fb - *fa);
        const double qr = std::fabs(q - r) > kTiny ? std::fabs(q - r) : kTiny;
        double u = *bx - ((*bx - *cx) * q - (*bx - *ax) * r) / (2.0 * with_sign(qr, q - r));
        const double ulim = *bx + kGrowthLimit * (*cx - *bx);
        double fu = 0.0;
        if ((*bx - u) * (u - *cx) > 0.0) {
            // u between b and c.
            fu = func(u);
            if (fu < *fc) {
                *ax = *bx;
                *bx = u;
                *fa = *fb;
                *fb = fu;
                return;
            }
            if (fu > *fb) {
                *cx = u;
                *fc = fu;
                return;
            }
            u = *cx + kGold * (*cx - *bx);
            fu = func(u);
        } else if ((*cx - u) * (u - ulim) > 0.0) {
            // u between c and its limit.
            fu = func(u);
            if (fu < *fc) {
                *bx = *cx;
                *cx = u;
                u = *cx + kGold * (*cx - *bx);
                *fb = *fc;
                *fc = fu;
                fu = func(u);
            }
        } else if ((u - ulim) * (ulim - *cx) >= 0.0) {
            // u at or beyond its limit.
            u = ulim;
            fu = func(u);
        } else {
            u = *cx + kGold * (*cx - *bx);
            fu = func(u);
        }
        *ax = *bx;
        *bx = *cx;
        *cx = u;
        *fa = *fb;
        *fb = *fc;
        *fc = fu;
    }
}

double brent(double ax, double bx, double cx, const LineObjective& f, double tol, double* xmin) {
    double a = ax < cx ? ax : cx;
    double b = ax > cx ? ax : cx;
    double x = bx;  // best point so far
    double w = bx;  // second best
    double v = bx;  // previous value of w
    double fx = f(x);
    double fw = fx;
    double fv = fx;
    double d = 0.0;  // step just taken
    double e = 0.0;  // step taken before the last one
    for (int iter = 1; iter <= kBrentMaxIterations; ++iter) {
        const double xm = 0.5 * (a + b);
        const double tol1 = tol * std::fabs(x) + kZeps;
        const double tol2 = 2.0 * tol1;
        if (std::fabs(x - xm) <= (tol2 - 0.5 * (b - a))) {
            *xmin = x;
            return fx;
        }
        bool golden = true;
        if (std::fabs(e) > tol1) {
            // Trial parabola through x, w, v: the step is p/q.
            const double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) p = -p;
            q = std::fabs(q);
            const double etemp = e;
            e = d;
            // Accept only a step smaller than half the one before last that stays in (a, b).
            if (!(std::fabs(p) >= std::fabs(0.5 * q * etemp) || p <= q * (a - x) || p >= q * (b - x))) {
                golden = false;
                d = p / q;
                const double u = x + d;
                if (u - a < tol2 || b - u < tol2) d = with_sign(tol1, xm - x);
            }
        }
        if (golden) {
            // Golden section into the larger segment.
            e = x >= xm ? a - x : b - x;
            d = kCGold * e;
        }
        const double u = std::fabs(d) >= tol1 ? x + d : x + with_sign(tol1, d);
        const double fu = f(u);  // the one evaluation of the iteration
        if (fu <= fx) {
            if (u >= x)
                a = x;
            else
                b = x;
            v = w;
            w = x;
            x = u;
            fv = fw;
            fw = fx;
            fx = fu;
        } else {
            if (u < x)
                a = u;
            else
                b = u;
            if (fu <= fw || w == x) {
                v = w;
                w = u;
                fv = fw;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    nrerror("Too many iterations in brent", NumericalKind::kIterationLimit);
}

}  // namespace quillon
