#pragma once
// The whole run: settings, input, checks, fit, statistics, report (or, with "scan" as the
// first argument, the genome-wide scan).  Returns the exit status.
// This is the one place that turns ProgramExit and NumericalError into exit statuses.

namespace quillon {

int run_quillon(int argc, char** argv);

}  // namespace quillon
