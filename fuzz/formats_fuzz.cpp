// Coverage-guided fuzz target for the formats layer: the .fam, .bim, .bed, covariate and
// weight readers, the family formation and each marker's family table (see formats_case.hpp
// for the input layout and the checks).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats_case.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quillon::fuzz::FormatsCase fuzz_case;  // its folder lives as long as the process
    fuzz_case.run(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
