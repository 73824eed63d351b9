#include "genetics/transmission.hpp"

#include <cstdio>

#include "toolkit/program_exit.hpp"

namespace quillon {

void missing_genotype_stop() {
    std::printf("ERROR: One of the genotypes used to calculate prob(h_j|g)\n");
    std::printf("       is missing\n");
    throw ProgramExit(1);
}

}  // namespace quillon
