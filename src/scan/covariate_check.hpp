#pragma once
// The covariates over the children that can enter (every child of the study's families),
// checked before any marker: a column 0 for every child, a column constant beside the
// intercept (or beside another constant column), or columns collinear with each other
// leave a coefficient without an estimate, so the scan refuses them, naming the columns.

#include <string>

#include "formats/study.hpp"
#include "model/settings.hpp"

namespace quillon {

// Empty when the children's covariate rows have full column rank; otherwise one sentence
// naming the columns at fault.  Rank: the singular values of the cross-product of the
// columns scaled to unit length, the smallest below 1e-12 times the largest counting as 0.
std::string covariate_design_fault(const Study& study);

// True when the design alone leaves the non-founders statistic undefined at every marker: a
// column with one non-zero value for every child that can enter (the intercept), every such
// child weighted alike, and a covariate model of None or the status model's; the status
// score is then a combination of the coefficients' scores.
bool nfs_undefined_by_design(const Study& study, const Settings& settings);

}  // namespace quillon
