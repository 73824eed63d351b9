#pragma once
// The autosomal likelihood transmission/disequilibrium test: the fit of the model to one
// marker's nuclear families, the information at the estimate and the two statistics.
//
// Columns, in order: PREV0 PREV1 PREV1_SE PREV2 PREV2_SE (the parents' genotype prevalences
// and the standard errors of the two free ones), each coefficient and its _SE (B1_<cov>...
// B2_<cov>... for the covariate model None, BETA_<cov>... otherwise), NEG_LOGLIK, WALD
// WALD_DF WALD_P (NA without covariates, npars = 2), NFS NFS_DENOM NFS_P (NA where the
// non-founders statistic is not defined).

#include <string>
#include <vector>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "method/result.hpp"
#include "model/settings.hpp"

namespace quillon {

class LikelihoodTdt {
public:
    // `s` with its codings derived; throws SettingsRefused when settings_fault finds a fault.
    explicit LikelihoodTdt(const Settings& s);

    const Settings& settings() const { return s_; }

    // The columns for these covariate names (one per covariate column, s.ncov of them).
    Schema schema(const std::vector<std::string>& covariates) const;

    // analyse() on the families (their findiv rewritten by the fit) with `table`, which must
    // cover the largest family.  The standard errors are sqrt(subJI[k][k]) (k = npars-1,
    // npars for the prevalences, 1..npars-2 for the coefficients).  A numerical error gives
    // a failed result, except an allocation failure, which propagates (as does
    // std::bad_alloc): running out of memory is no property of the marker.
    MarkerResult run(FamilyTable& families, const GenotypeTable& table) const;

private:
    Settings s_;
};

}  // namespace quillon
