#pragma once
// The whole run: settings, input, checks, fit, statistics, report.  Returns the exit status.
// This is the one place that turns ProgramExit and NumericalError into exit statuses.

namespace quillon {

int run_quillon(int argc, char** argv);

}  // namespace quillon
