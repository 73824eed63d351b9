#pragma once
// The scan's TSV: its header and one row per marker.
//
// Columns: CHR SNP BP A1 A2 FAMILIES CHILDREN MENDEL_FAMILIES PREV0 PREV1 PREV1_SE PREV2
// PREV2_SE, each coefficient and its _SE (B1_<cov>... B2_<cov>... for the covariate model
// None, BETA_<cov>... otherwise), NEG_LOGLIK WALD WALD_DF WALD_P NFS NFS_DENOM NFS_P STATUS.
// Numbers are the shortest text that reads back to the same double (std::to_chars); NA
// where there is none, and for a NaN.

#include <string>
#include <string_view>
#include <vector>

#include "formats/genotypes.hpp"
#include "model/analysis.hpp"
#include "model/settings.hpp"

namespace quillon {

// The header line, newline included.
std::string tsv_header(const Settings& s, const std::vector<std::string>& covariate_names);

// The family counts of a row; absent (NA) for a marker whose families were not formed.
struct RowCounts {
    long families = 0, children = 0, mendel_families = 0;
};

// Appends one row, newline included.  `counts` null: NA counts; `a` null: NA numbers.
// With a, the numbers are those of the report: prevalences gammma[0..2], the standard
// errors sqrt(subJI[k][k]) (k = npars-1, npars for the prevalences, 1..npars-2 for the
// coefficients), fret, and, with covariates (npars > 2), the Wald statistic with its
// degrees of freedom and chi-square upper tail; the non-founders statistic, its denominator
// and two-sided normal p-value where it is defined.
void append_row(std::string& out, const MarkerInfo& info, const RowCounts* counts, const Settings& s,
                const Analysis* a, std::string_view status);

// Appends x in the shortest round-trip form, or NA for a NaN.
void append_number(std::string& out, double x);

}  // namespace quillon
