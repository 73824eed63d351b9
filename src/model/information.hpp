#pragma once
// The information matrix of the score vector at the estimate, by exact enumeration, and
// the statistics built from it.
//
// JJ = sum over families, sum over the family's compatible parental pairs p of
//        w_p * sum over children's genotype combinations c of P(c | p) u(c) u(c)'
// with w_p the posterior of pair p given the observed genotypes, P(c | p) the product of the
// children's tilted transmission probabilities, and u(c) the posterior-weighted average,
// over the pairs that c leaves possible, of the score vector of the family completed by c.
// Row and column 1 belong to the status score; k + 1 to free parameter k.

#include "genetics/family.hpp"
#include "model/fit.hpp"
#include "genetics/patterns.hpp"
#include "model/settings.hpp"
#include "toolkit/nrarray.hpp"

namespace quillon {

struct InformationResult {
    DMatrix JJ;      // 1..npars+1 square
    DMatrix subJ;    // parameter block JJ[2..][2..], 1..npars square
    DMatrix subJI;   // its pseudo-inverse
    DMatrix Jbvg;    // npars x 1: JJ[1][2..]
    DMatrix JbvgT;   // 1 x npars
    DMatrix Jutil3;  // 1 x npars: JbvgT subJI
    DMatrix Jutil4;  // 1 x 1: JbvgT subJI Jbvg
    double scoreUb = 0.0;  // non-founders score
    double waldstat = 0.0;
    int wsdf = 0;
    bool near_singular = false;  // the pseudo-inverse dropped singular values (nothing printed)
};

// Accumulates JJ (upper triangle, then mirrored) and scoreUb over every family, in file
// order.  `JJ` must be allocated 1..npars+1 square.  Reads fit.gammma and fit.risks, which
// must hold the relative risks of these families' children (nrerror otherwise).  Each
// family's children's genotype combinations are counted off in the order of the genotype
// table's rows, the last child fastest; `table` itself is not read.
void accumulate_information(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                            const FitResult& fit, DMatrix& JJ, double* scoreUb);

// The whole step: JJ and scoreUb, the partition, the pseudo-inverse of the parameter block
// (which sets near_singular instead of printing its warning), the Wald statistic c' subJ c over the
// covariate coefficients c = ogpars[1..npars-2] with its degrees of freedom, and JbvgT subJI Jbvg.
InformationResult information_step(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                                   const FitResult& fit);

// The partition of JJ (1..npars+1 square, the status score first) and the statistics of
// information_step, with the estimates ogpars[1..npars] of which the first m are the
// covariate coefficients.
InformationResult partition_information(DMatrix JJ, double scoreUb, const DVector& ogpars, int npars, long m);

// W = c' subJ[1..m][1..m] c, the inner sums over k ascending; and the number of coefficients
// whose information subJ[i][i] is at least 1e-6 of the largest.
double wald_statistic(const DMatrix& subJ, const DVector& ogpars, long m);
int wald_degrees_of_freedom(const DMatrix& subJ, long m);

// The non-founders statistic U / sqrt(V) and its denominator sqrt(V), with
// V = JJ[1][1] - JbvgT subJI Jbvg the variance of the status score left after the
// coefficients.  When the status score is a combination of the coefficients' scores (an
// intercept with every child weighted alike) V is rounding noise: the statistic is defined
// only when V > 1e-9 JJ[1][1] (so never for V negative, zero or not a number).
struct NonFoundersStatistic {
    double statistic;
    double denominator;
    bool defined;
};
NonFoundersStatistic non_founders_statistic(const InformationResult& info);

}  // namespace quillon
