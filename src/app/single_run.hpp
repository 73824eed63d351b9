#pragma once
// The single run after the data have been read and checked: the likelihood TDT on the
// families, its warnings and report on standard output (the caller flushes it and turns a
// failed write into the exit status).

#include <optional>
#include <string>
#include <vector>

#include "genetics/family.hpp"
#include "model/settings.hpp"
#include "model/x_likelihood.hpp"

namespace quillon {

// Settings the test refuses print "\nERROR: <reason>.\n" and end the run with status 1
// (ProgramExit).  A numerical error of the fit propagates as NumericalError, before anything
// is printed.  With `score` the score tests' columns join the further tests of --pvalues.
// With `x` the families are those of an X marker (read with ChromosomeClass::kX) and the
// X-linked test runs with that model: the same unit, hence the same doubles, as a scan's row.
// With `strata` (the labels of settings.nstrata strata, each family's famdat::stratum set) the
// parents' genotype prior has prevalences per stratum, and the report prints each stratum's.
void run_single(const Settings& settings, FamilyTable& families, bool pvalues, bool score = false,
                const std::optional<XModel>& x = std::nullopt, const std::vector<std::string>& strata = {});

}  // namespace quillon
