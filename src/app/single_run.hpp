#pragma once
// The single run after the data have been read and checked: the likelihood TDT on the
// families, its warnings and report on standard output (the caller flushes it and turns a
// failed write into the exit status).

#include "genetics/family.hpp"
#include "model/settings.hpp"

namespace quillon {

// Settings the test refuses print "\nERROR: <reason>.\n" and end the run with status 1
// (ProgramExit).  A numerical error of the fit propagates as NumericalError, before anything
// is printed.  With `score` the score tests' columns join the further tests of --pvalues.
void run_single(const Settings& settings, FamilyTable& families, bool pvalues, bool score = false);

}  // namespace quillon
