#pragma once
// A scan that would analyse nothing is a fault, not a result: the most likely cause, named
// from what forming the study counted and from the rows' kinds, for the message of exit 1.

#include <string>

#include "formats/study.hpp"
#include "scan/writer.hpp"

namespace quillon {

// Why no nuclear family could be formed (study.families is empty): parents absent from
// every line of the pedigree, or the children left out for their phenotype (0/1 coding
// named), covariates or weights, the largest count first.
std::string no_family_cause(const Study& study, const std::string& fam, const std::string& covar,
                            const std::string& weights);

// Empty when a marker was analysed (ok, warning or failed); otherwise the rows by kind and
// the cause the most common kind points to.
std::string nothing_analysed(const LoopTotals& totals, bool complete_trios);

}  // namespace quillon
