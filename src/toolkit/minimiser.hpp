#pragma once
// Direction-set minimisation without derivatives.
//
// powell() minimises func from p by minimising along each direction of a set in turn
// (linmin: bracket with mnbrak, then locate with brent), then along the net displacement of
// the sweep, and replaces the direction of largest decrease by that displacement when the
// set stays well conditioned.  The exact sequence of evaluated points is part of the
// contract: the program's printed results depend on it.

#include <functional>

#include "toolkit/nrarray.hpp"

namespace quillon {

using Objective = std::function<double(const DVector&)>;
using LineObjective = std::function<double(double)>;

// Most powell iterations before the run ends, and most brent iterations per line.
inline constexpr int kPowellMaxIterations = 200;
inline constexpr int kBrentMaxIterations = 100;
// Fractional tolerance that linmin passes to brent.
inline constexpr double kLinminTolerance = 2.0e-4;

// p[1..n]: start point in, minimum out.  xi[1..n][1..n]: the direction set, column i being
// direction i; the caller fills it and powell rewrites it.  ftol: fractional tolerance on
// the function value; an iteration ends the call when
//     2|fp - fret| <= ftol (|fp| + |fret|)
// (fp the value at the iteration's start; no absolute term).  *iter: iterations performed
// (1..200).  *fret: func at the returned p.  An iteration 200 that does not meet the test
// ends the run through nrerror("powell exceeding maximum iterations.").
// func is called with vectors indexed 1..n and must not itself call powell or linmin.
void powell(DVector& p, DMatrix& xi, int n, double ftol, int* iter, double* fret, const Objective& func);

// Minimises func along the line p + x xi (x real): brackets with mnbrak from x = 0 and
// x = 1, locates with brent (tolerance kLinminTolerance).  On return xi[1..n] holds the
// displacement taken (xi times the step found), p[1..n] the new point and *fret the value
// there.
void linmin(DVector& p, DVector& xi, int n, double* fret, const Objective& func);

// The objective restricted to one line: f1dim(x) = func(pcom + x xicom), evaluated at
// xt[j] = pcom[j] + x*xicom[j], j = 1..ncom.  linmin owns one for each line minimisation;
// the evaluation vector is reused rather than allocated per call.
class LineFunction {
public:
    LineFunction(const DVector& p, const DVector& xi, int n, const Objective& func);
    double f1dim(double x);
    double operator()(double x) { return f1dim(x); }

private:
    int ncom_;
    DVector pcom_;
    DVector xicom_;
    DVector xt_;
    const Objective& nrfunc_;
};

// Brackets a minimum of func.  In: *ax, *bx, two distinct abscissas.  Out: *ax, *bx, *cx
// with *bx between the other two and *fb = func(*bx) no greater than *fa = func(*ax) and
// *fc = func(*cx).  Expands by golden-ratio steps (1.618034) with parabolic extrapolation,
// limited to 100 times the current interval; there is no limit on the number of passes.
void mnbrak(double* ax, double* bx, double* cx, double* fa, double* fb, double* fc, const LineObjective& func);

// Brent's method (parabolic interpolation safeguarded by golden-section steps) on the
// bracket ax, bx, cx (bx between the others, f(bx) below f at both).  tol: fractional
// precision; the absolute term 1.0e-10 keeps the tolerance positive at 0.  Writes the
// abscissa of the minimum to *xmin and returns f there.  More than 100 iterations ends the
// run through nrerror("Too many iterations in brent").
double brent(double ax, double bx, double cx, const LineObjective& f, double tol, double* xmin);

}  // namespace quillon
