#pragma once
// A marker's genotypes as the scan reads them on X.  The readers give diploid codes (copies
// of the counted allele, 0..2) to everyone; on X a male carries one allele:
//   - a male's homozygous call (0 or 2 copies) or VCF haploid call is his allele;
//   - a male's heterozygous call is untyped in the families (kept as 1 for the quality-control
//     counts, which follow PLINK's X conventions), and counted;
//   - a VCF haploid call of someone not male is untyped, and counted.
// Sex is Study::x_sex (parents by their role).

#include <cstdint>
#include <vector>

#include "formats/genotypes.hpp"

namespace quillon {

// The share of a marker's typed males whose call is heterozygous above which the log warns
// that the marker may lie in a pseudo-autosomal region (see --split-par).
inline constexpr double kHetMaleWarning = 0.01;

// Sets m.info.chr_class from its name and position (`par` splits X) and, on X, reads the
// haploid calls of the people `keep` holds (males' become 0 or 2 copies; others stay
// untyped and are counted in x_haploid_females), counts the kept typed males and their
// heterozygous calls, and clears haploid_calls (they are the males' calls on X, not
// faults).  Elsewhere the haploid calls stay untyped, as the readers left them.
void prepare_marker(Marker& m, const std::vector<std::int8_t>& x_sex, const std::vector<char>& keep, ParBuild par);

// A member's genotype code in an X family: a male's allele (0 or 1; -1 for a heterozygous
// or missing call), a female's diploid code.
inline int x_member_code(int diploid, int sex) {
    if (sex != 1 || diploid < 0) return diploid;
    return diploid == 1 ? -1 : diploid / 2;
}

}  // namespace quillon
