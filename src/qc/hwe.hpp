#pragma once
// The exact test of Hardy-Weinberg equilibrium.

#include "qc/marker_qc.hpp"

namespace quillon {

// Given n people carrying r copies of the rarer allele, the number of heterozygotes h has
//   P(h) = n! r! (2n - r)! 2^h / ((2n)! h! ((r - h) / 2)! (n - (r + h) / 2)!)
// for h = r mod 2, ..., r.  The p-value is the sum of P(h) over every h no more probable
// than the observed count; probabilities equal to it within a relative 1e-9 count as equal
// (exact ties between counts on either side of the mode do occur).  1 without calls.
double hwe_exact_p(GenotypeCounts c);

}  // namespace quillon
