#include "method/score_tests.hpp"

#include <vector>

#include "genetics/transmission.hpp"
#include "model/null_fit.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

namespace {

// U_b' [J^-1]_bb U_b at the restricted estimate, b the coefficients tested.
std::optional<double> statistic_at(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                                   bool intercept_free) {
    const std::optional<DVector> theta = restricted_estimate(s, families, intercept_free);
    if (!theta) return std::nullopt;
    const std::optional<ScoreInformation> si = score_information(s, families, table, *theta);
    if (!si) return std::nullopt;
    const auto n = static_cast<std::size_t>(s.npars);
    std::vector<double> w(n, 0.0), scratch(n * n + 2 * n);
    for (long slot = 1; slot <= coefficients(s); ++slot)
        if (!intercept_free || !first_covariate_slot(s, slot))
            w[static_cast<std::size_t>(slot - 1)] = si->score[static_cast<std::size_t>(slot - 1)];
    return inverse_quadratic(si->information.data(), w.data(), n, scratch.data());
}

}  // namespace

ScoreStatistics general_score_statistics(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                                         bool gxe) {
    ScoreStatistics out;
    if (s.ncov == 0) return out;
    try {
        out.joint = statistic_at(s, families, table, false);
        if (gxe && s.ncov >= 2) out.gxe = statistic_at(s, families, table, true);
    } catch (const NumericalError& e) {
        if (e.kind() == NumericalKind::kAllocation) throw;
    } catch (const MissingGenotypeError&) {
    }
    return out;
}

ScoreStatistics score_statistics(const Settings& s, const FamilyTable& families, const GenotypeTable& table, bool gxe) {
    if (std::optional<ScoreStatistics> trios = trio_score_statistics(s, families, gxe)) return *trios;
    return general_score_statistics(s, families, table, gxe);
}

}  // namespace quillon
