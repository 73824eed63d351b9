#pragma once
// The genome-wide scan: `quillon scan`.

namespace quillon {

// Runs `quillon scan` with its arguments (argv[0] is "scan"); returns the exit status.
int run_scan(int argc, char** argv);

}  // namespace quillon
