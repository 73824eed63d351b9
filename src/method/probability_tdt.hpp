#pragma once
// The likelihood transmission/disequilibrium test over uncertain genotypes: the fit of the
// likelihood over each member's genotype-likelihood vector (model/probability_likelihood.hpp)
// to one marker's nuclear families.
//
// Its columns are those of LikelihoodTdt, meaning the same, except where the information
// enters: every standard error, covariance and Wald statistic comes from the observed
// information at the maximum (model/probability_fit.hpp) rather than the enumerated one, so
// the prevalences' standard errors differ from the hard-call test's by design, and the
// non-founders statistic (NFS ...) is NA.  The likelihood ratios and the intercept-only
// model's columns refit the nested models with this likelihood.  There are no score-test
// columns (TestOptions::score is not read): the scan refuses them with probabilities.

#include <string>
#include <vector>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "method/result.hpp"
#include "method/tdt_columns.hpp"
#include "model/settings.hpp"

namespace quillon {

class ProbabilityTdt {
public:
    // `s` with its codings derived; throws SettingsRefused when settings_fault finds a fault.
    explicit ProbabilityTdt(const Settings& s, TestOptions options = {});

    const Settings& settings() const { return s_; }

    Schema schema(const std::vector<std::string>& covariates) const;

    // The fit on the families' likelihood vectors (famdat::glik, which must cover every
    // member; famgeno, npgeno and pgenos are not read).  `table` is not used.  A numerical
    // error gives a failed result, except an allocation failure, which propagates.
    MarkerResult run(FamilyTable& families, const GenotypeTable& table) const;

private:
    Settings s_;
    TestOptions o_;
};

}  // namespace quillon
