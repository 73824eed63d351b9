#pragma once
// Print routines for index-range vectors (elements 1..k on one line, then "\n") and
// matrices ("\n", then rows 1..k, each with columns 1..l and a "\n").  Formats per element:
//     pd "%10.4lf" (no separator: a value wider than ten characters runs into the next),
//     pl " %10ld", pi " %10d", pf " %10f", pmi " %9d", pmf " %15.10f".
// Standard output by default; `out` redirects (tests).

#include <cstdio>

#include "toolkit/nrarray.hpp"

namespace quillon {

void pd(const DVector& a, int k, std::FILE* out = stdout);
void pl(const LVector& a, int k, std::FILE* out = stdout);
void pi(const IVector& a, int k, std::FILE* out = stdout);
void pf(const DVector& a, int k, std::FILE* out = stdout);
void pmi(const IMatrix& a, int k, int l, std::FILE* out = stdout);
void pmf(const DMatrix& a, int k, int l, std::FILE* out = stdout);

}  // namespace quillon
