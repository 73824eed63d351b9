#pragma once
// Covariates on a large scale (a birth year, an income) make a fit crawl: their coefficients
// are tiny and the objective is steep along them.  The single run and the scan name such a
// column when a fit ran out of iterations or markers failed.

#include <optional>
#include <vector>

namespace quillon {

// Columns whose root mean square sqrt(mean^2 + SD^2) is at most this are modest.
inline constexpr double kModestCovariateScale = 10.0;

struct CovariateScale {
    long column = 0;  // 0-based
    double mean = 0.0, sd = 0.0;
};

// Over the rows (each `ncov` values, in the order given), the mean and population standard
// deviation (two passes) of each column; the column with the largest root mean square, the
// first such on ties, when that exceeds kModestCovariateScale; nothing otherwise or without
// rows.
std::optional<CovariateScale> widest_covariate(const std::vector<const double*>& rows, long ncov);

}  // namespace quillon
