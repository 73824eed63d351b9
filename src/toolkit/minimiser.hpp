#pragma once
// Direction-set minimisation without derivatives.
//
// powell() minimises func from p along the directions in the columns of xi, line by line
// (linmin: bracket with mnbrak, locate with brent), replacing the direction of largest
// decrease by the sweep's net displacement when the set stays well conditioned.

#include <functional>

#include "toolkit/nrarray.hpp"

namespace quillon {

using Objective = std::function<double(const DVector&)>;
using LineObjective = std::function<double(double)>;

// p[1..n]: start point in, minimum out.  xi[1..n][1..n]: direction set (column i is
// direction i), rewritten.  *iter: iterations used; *fret: func at the returned p.
// More than 200 iterations is fatal ("powell exceeding maximum iterations.").
void powell(DVector& p, DMatrix& xi, int n, double ftol, int* iter, double* fret, const Objective& func);

// Minimises func along xi from p: p moves to the minimum, xi becomes the displacement
// taken, *fret the value there.
void linmin(DVector& p, DVector& xi, int n, double* fret, const Objective& func);

// Brackets a minimum of func starting from the abscissas *ax, *bx.
void mnbrak(double* ax, double* bx, double* cx, double* fa, double* fb, double* fc, const LineObjective& func);

// Brent's method on the bracket (ax, bx, cx); returns f(*xmin).  More than 100 iterations is
// fatal ("Too many iterations in brent").
double brent(double ax, double bx, double cx, const LineObjective& f, double tol, double* xmin);

}  // namespace quillon
