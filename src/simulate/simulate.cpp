#include "simulate/simulate.hpp"

#include <cstdio>
#include <string>

#include "simulate/marker_study.hpp"

namespace quillon {

int simulate_main(int argc, char** argv) {
    SimulateOptions options;
    std::string error;
    if (!parse_simulate_options(argc, argv, options, error)) {
        std::fprintf(stderr, "quillon-simulate: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        print_simulate_usage(stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    SimulatedStudy study;
    const bool genotype_files = !options.bfile.empty() || !options.file.empty() || !options.vcf.empty();
    if (!simulate_study(options, study, error) ||
        !(genotype_files ? write_marker_study(options, study, error) : write_study(study, options.out, error))) {
        std::fprintf(stderr, "quillon-simulate: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace quillon
