#pragma once
// The autosomal likelihood transmission/disequilibrium test: the fit of the model to one
// marker's nuclear families, the information at the estimate and the two statistics.
//
// Columns, in order: PREV0 PREV1 PREV1_SE PREV2 PREV2_SE (the parents' genotype prevalences
// and the standard errors of the two free ones), each coefficient with its _SE, _P (two-sided
// normal of coefficient / SE) and _LOG10P, and with --robust-se its _RSE (B1_<cov>...
// B2_<cov>... for the covariate model None, BETA_<cov>... otherwise), NEG_LOGLIK, WALD
// WALD_DF WALD_P WALD_LOG10P (NA without covariates, npars = 2), NFS NFS_DENOM NFS_P
// NFS_LOG10P (NA where the non-founders statistic is not defined), COV_<a>_<b> for every
// pair of coefficients a before b, then
//   GXE_WALD GXE_DF GXE_P GXE_LOG10P          every coefficient but the intercept's = 0
//   LRT_JOINT LRT_JOINT_DF LRT_JOINT_P LRT_JOINT_LOG10P   against every coefficient = 0
//   LRT_GXE LRT_GXE_DF LRT_GXE_P LRT_GXE_LOG10P           against the intercept alone
//   MARG_BETA MARG_SE MARG_P MARG_LOG10P      the intercept-only model's coefficient
//     (MARG_B1 ... MARG_B2 ... under the covariate model None)
// and with --robust-se WALD_ROBUST(_DF, _P, _LOG10P) and GXE_WALD_ROBUST(_DF, _P, _LOG10P).
// Every _LOG10P is -log10 of the p-value before it, computed from the statistic so that it
// stays finite where the p-value underflows to 0.  The GXE, LRT_GXE and MARG columns need
// the intercept (covariate column 1); GXE and LRT_GXE also another covariate.

#include <string>
#include <vector>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "method/result.hpp"
#include "method/tdt_columns.hpp"
#include "model/settings.hpp"

namespace quillon {

class LikelihoodTdt {
public:
    // `s` with its codings derived; throws SettingsRefused when settings_fault finds a fault.
    explicit LikelihoodTdt(const Settings& s, TestOptions options = {});

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
    TestOptions o_;
};

}  // namespace quillon
