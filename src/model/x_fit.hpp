#pragma once
// One X-linked marker's analysis, without printing: the fit of the X model (x_likelihood.hpp),
// the information of the score vector at the estimate by enumeration and the statistics, as
// analysis.hpp does for the autosomes.
//
// The information enumerates, for each pair the family's typed members allow, the children's
// X genotypes (a son's allele, a daughter's genotype), as information.hpp describes; its
// prevalence entries are gamma1, gamma2 and, untied, q_f, so that the standard errors are
// those of the prevalences themselves.

#include <optional>
#include <vector>

#include "genetics/family.hpp"
#include "model/fit.hpp"
#include "model/information.hpp"
#include "model/newton.hpp"
#include "model/settings.hpp"
#include "model/x_likelihood.hpp"

namespace quillon {

struct XFit {
    FitResult fit;       // ogpars 1..x_parameters, gammma the mothers' prevalences (strata_gammma each stratum's)
    double father = 0.0;  // the fathers' frequency of the counted allele (the first stratum's)
    std::vector<double> strata_father;  // each stratum's
};

// Newton's method from `start` (1..x_parameters); nothing when it does not converge (why, in
// *status when given).
std::optional<XFit> fit_x_newton(const Settings& s, const XModel& x, const FamilyTable& families, const DVector& start,
                                 NewtonStatus* status = nullptr);

// The direction-set minimiser from the start values i / 200 + 0.15 (ftol 1e-6).
XFit fit_x_powell(const Settings& s, const XModel& x, const FamilyTable& families);

// The Newton maximum for a likelihood ratio: as newton_maximum (maximum.hpp).
std::optional<XFit> x_newton_maximum(const Settings& s, const XModel& x, const FamilyTable& families);

// JJ (1..x_parameters+1, the status score first) and the non-founders score, by enumeration.
InformationResult x_information_step(const Settings& s, const XModel& x, const FamilyTable& families, const XFit& fit);

// The family-clustered covariance of the estimates (sandwich_covariance of maximum.hpp) at
// `fit`, with subJI its information's pseudo-inverse.
DMatrix x_sandwich_covariance(const Settings& s, const XModel& x, const FamilyTable& families, const XFit& fit,
                              const DMatrix& subJI);

struct XAnalysis {
    XFit fit;
    InformationResult info;
    NonFoundersStatistic nfs;
    std::optional<NewtonStatus> fell_back;  // Newton asked for and not converged
};

// The fit (Newton with s.fit kNewton, falling back to the direction set), the information
// and the non-founders statistic.
XAnalysis x_analyse(const Settings& s, const XModel& x, const FamilyTable& families);

}  // namespace quillon
