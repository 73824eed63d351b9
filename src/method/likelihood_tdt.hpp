#pragma once
// The autosomal likelihood transmission/disequilibrium test: the fit of the model to one
// marker's nuclear families, the information at the estimate and the two statistics.
//
// Columns, in order: PREV0 PREV1 PREV1_SE PREV2 PREV2_SE (the parents' genotype prevalences
// and the standard errors of the two free ones; with strata PREV0_<label> PREV1_<label>
// PREV1_<label>_SE PREV2_<label> PREV2_<label>_SE for each stratum), each coefficient with its _SE, _P (two-sided
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
// These are the full fit's columns (TestOptions::wald).  The score tests' columns
// (TestOptions::score, method/score_tests.hpp) follow them:
//   SCORE_JOINT SCORE_JOINT_DF SCORE_JOINT_P SCORE_JOINT_LOG10P   every coefficient = 0
//   SCORE_GXE SCORE_GXE_DF SCORE_GXE_P SCORE_GXE_LOG10P   every coefficient but the intercept's
// Every _LOG10P is -log10 of the p-value before it, computed from the statistic so that it
// stays finite where the p-value underflows to 0.  The GXE, LRT_GXE and MARG columns need
// the intercept (covariate column 1); GXE and LRT_GXE also another covariate.

#include <optional>
#include <string>
#include <vector>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "method/result.hpp"
#include "model/settings.hpp"
#include "model/trio_scores.hpp"

namespace quillon {

// What the test adds to the fit's own columns.
struct TestOptions {
    bool intercept = false;  // covariate column 1 is an intercept
    bool robust = false;     // family-clustered (sandwich) standard errors and Wald tests
    // Chromosome X (x_linked_tdt.hpp): the risk level of a son's allele (2: his one copy acts
    // as a female's two; 1: as one), and whether the fathers' allele frequency is tied to
    // the mothers' (gamma1 / 2 + gamma2) instead of a parameter of its own.
    int xchr_model = 2;
    bool xchr_tie_freq = false;
    bool probabilities = false;  // genotypes as likelihood vectors (famdat::glik): ProbabilityTdt
    bool wald = true;        // the full fit and its columns
    bool score = false;      // the score tests' columns
    // With wald and score: the full fit only where the screening score test's p-value is at
    // most this (or not a number); elsewhere its columns are NA and the result score_only.
    std::optional<double> refit_p = std::nullopt;
    bool refit_on_gxe = false;  // screen with SCORE_GXE_P rather than SCORE_JOINT_P
    // The strata's labels in stratum order (Settings::nstrata of them), each stratum's
    // prevalences in columns of its own; empty without strata.
    std::vector<std::string> strata = {};
};

class LikelihoodTdt {
public:
    // `s` with its codings derived; throws SettingsRefused when settings_fault finds a fault.
    explicit LikelihoodTdt(const Settings& s, TestOptions options = {});

    const Settings& settings() const { return s_; }
    const TestOptions& options() const { return o_; }
    // The score tests' columns as asked (score), with the intercept's test when defined.
    bool gxe_score() const { return o_.intercept && s_.ncov >= 2; }

    // The columns for these covariate names (one per covariate column, s.ncov of them).
    Schema schema(const std::vector<std::string>& covariates) const;

    // analyse() on the families (their findiv rewritten by the fit) with `table`, which must
    // cover the largest family.  The standard errors are sqrt(subJI[k][k]) (k = npars-1,
    // npars for the prevalences, 1..npars-2 for the coefficients).  A numerical error gives
    // a failed result, except an allocation failure, which propagates (as does
    // std::bad_alloc): running out of memory is no property of the marker.
    MarkerResult run(FamilyTable& families, const GenotypeTable& table) const;
    // The same with the score statistics of these families already computed (options().score).
    MarkerResult run(FamilyTable& families, const GenotypeTable& table, const ScoreStatistics& score) const;

    // The result from the score tests alone where they settle it (the score tests asked for
    // without the full fit, or --refit-p's screening not passed); nothing where the full fit
    // is to run.  run() gives the same result from the same statistics.
    std::optional<MarkerResult> without_full_fit(const ScoreStatistics& score) const;

private:
    Schema full_schema(const std::vector<std::string>& covariates) const;
    Schema score_schema() const;
    // The full fit's values into r (r.values empty and r.fit failed on a numerical error).
    void run_full(FamilyTable& families, const GenotypeTable& table, MarkerResult& r) const;
    void append_score(const ScoreStatistics& score, MarkerResult& r) const;

    Settings s_;
    TestOptions o_;
    std::size_t full_columns_ = 0;
};

}  // namespace quillon
