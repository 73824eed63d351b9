#include "app/fit_hint.hpp"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

namespace quillon {

bool is_iteration_limit(const NumericalError& error) { return error.kind() == NumericalKind::kIterationLimit; }

std::string covariate_scale_hint(const FamilyTable& families, long ncov) {
    if (ncov == 0) return "";
    std::vector<const double*> rows;  // every member of every family, in order
    for (long i = 1; i <= families.nfam; ++i)
        for (long m = 1; m <= families[i].ninfam; ++m) rows.push_back(&families[i].fcovdat[m][1]);
    const std::optional<CovariateScale> widest = widest_covariate(rows, ncov);
    if (!widest) return "";
    char line[320];
    std::snprintf(line, sizeof line,
                  "quillon: covariate %ld (column %ld of wcovars.dat) has mean %.6g and standard deviation %.6g: "
                  "centre and scale it, (value - mean) / SD, and run again.\n",
                  widest->column + 1, widest->column + 1, widest->mean, widest->sd);
    return line;
}

}  // namespace quillon
