#include "formats/x_genotypes.hpp"

namespace quillon {

void prepare_marker(Marker& m, const std::vector<std::int8_t>& x_sex, const std::vector<char>& keep, ParBuild par) {
    MarkerInfo& info = m.info;
    info.chr_class = chromosome_class(info.chr, info.bp, par);
    info.x_typed_males = info.x_het_males = info.x_haploid_females = 0;
    if (info.chr_class != ChromosomeClass::kX) return;
    info.haploid_calls = 0;
    for (const HaploidCall& h : m.haploid) {
        const auto p = static_cast<std::size_t>(h.person);
        if (!keep[p]) continue;
        if (x_sex[p] == 1)
            m.genotype[p] = static_cast<std::int8_t>(2 * h.allele);
        else
            ++info.x_haploid_females;
    }
    for (std::size_t p = 0; p < m.genotype.size(); ++p) {
        if (x_sex[p] != 1 || m.genotype[p] < 0) continue;
        ++info.x_typed_males;
        info.x_het_males += m.genotype[p] == 1;
    }
}

}  // namespace quillon
