#include "genetics/transmission.hpp"

namespace quillon {

void missing_genotype() { throw MissingGenotypeError(); }

}  // namespace quillon
