#pragma once
// Everything after the data have been read and checked: the fit, the information matrix
// and its statistics, and the report on standard output (the caller flushes it and turns a
// failed write into the exit status).

#include "genetics/family.hpp"
#include "model/settings.hpp"

namespace quillon {

struct AnalysisOptions {
    bool pvalues = false;  // append the p-value lines after the report
    bool newton = false;   // fit by Newton's method (FitMethod::kNewton)
};

void run_analysis(const Settings& settings, FamilyTable& families, const AnalysisOptions& options = {});

}  // namespace quillon
