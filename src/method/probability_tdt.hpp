#pragma once
// The likelihood transmission/disequilibrium test over uncertain genotypes: the fit of the
// likelihood over each member's genotype-likelihood vector (model/probability_likelihood.hpp)
// to one marker's nuclear families.
//
// Its columns are those of LikelihoodTdt, meaning the same, except where the information
// enters: every standard error, covariance and Wald statistic comes from the observed
// information at the maximum (model/probability_fit.hpp) rather than the enumerated one, so
// the prevalences' standard errors differ from the hard-call test's by design, and the
// non-founders statistic (NFS ...) is the dosage transmission statistic below.  The
// likelihood ratios and the intercept-only model's columns refit the nested models with this
// likelihood.  There are no score-test columns (TestOptions::score is not read): the scan
// refuses them with probabilities.
//
// Why a second statistic: imputation errors are shared along haplotypes, so a child's data
// on the haplotype it inherited repeats its parent's; the likelihood takes members' data as
// independent given their genotypes, counts that evidence twice for transmitted haplotypes
// and once for the others, and its Wald test is inflated under no effect.  The dosage
// statistic compares each child's expected dosage with its parents' mean: under no effect
// and random mating a child's data are distributed as a parent's, whatever the errors
// share, so its score has mean 0, and its variance is the families' own.

#include <string>
#include <vector>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "method/result.hpp"
#include "method/tdt_columns.hpp"
#include "model/information.hpp"
#include "model/settings.hpp"

namespace quillon {

// The dosage transmission statistic U / sqrt(V) and sqrt(V): each family with both parents'
// dosages (famdat::dosage, finite) has the score u = sum over its children with a dosage of
// weight x (D_child - (D_father + D_mother) / 2), U sums u and V sums u^2 over the families,
// in file order.  Defined when V > 0.  Copies of ALT whatever the status model; the fit is
// not read.  On hard calls of trios without two heterozygous parents it is the TDT's
// (T - U) / sqrt(T + U).
NonFoundersStatistic dosage_transmission(const FamilyTable& families);

class ProbabilityTdt {
public:
    // `s` with its codings derived; throws SettingsRefused when settings_fault finds a fault.
    explicit ProbabilityTdt(const Settings& s, TestOptions options = {});

    const Settings& settings() const { return s_; }

    Schema schema(const std::vector<std::string>& covariates) const;

    // The fit on the families' likelihood vectors (famdat::glik, which must cover every
    // member; famgeno, npgeno and pgenos are not read), and dosage_transmission.  `table` is
    // not used.  A numerical error gives a failed result, except an allocation failure, which
    // propagates.
    MarkerResult run(FamilyTable& families, const GenotypeTable& table) const;

private:
    Settings s_;
    TestOptions o_;
};

}  // namespace quillon
