#pragma once
// The likelihood transmission/disequilibrium test on chromosome X: the X model
// (model/x_likelihood.hpp) fitted to one marker's nuclear families, the information at the
// estimate and the statistics, with the columns of the autosomal test (likelihood_tdt.hpp)
// and, after PREV2_SE, PREV_FATHER_A1 and PREV_FATHER_A1_SE: the fathers' frequency of the
// counted allele and its standard error (NA with the tied frequency, which has no parameter
// of its own).  PREV0..PREV2 are the mothers' genotype prevalences.
//
// The families are those of an X marker: member 1 the father (a male: code 0 or 1, his
// allele), member 2 the mother (0..2), children of known sex (a son 0 or 1, a daughter 0..2),
// -1 untyped; each has passed x_store_consistent_pairs.

#include <string>
#include <vector>

#include "genetics/family.hpp"
#include "genetics/patterns.hpp"
#include "method/likelihood_tdt.hpp"
#include "method/result.hpp"
#include "model/settings.hpp"
#include "model/x_likelihood.hpp"

namespace quillon {

class XLinkedTdt {
public:
    // `s` with its codings derived; throws SettingsRefused when settings_fault finds a fault.
    explicit XLinkedTdt(const Settings& s, TestOptions options = {});

    const Settings& settings() const { return s_; }
    XModel model() const { return x_; }

    // A son's allele at risk level 1 under a Recessive status or covariate model: nu_1 = 1 and
    // a recessive status coding give a son nothing to tell.
    bool sons_uninformative() const;

    Schema schema(const std::vector<std::string>& covariates) const;

    // The analysis; a numerical error gives a failed result except an allocation failure,
    // which propagates.  `table` is not read: the X information enumerates by itself.
    MarkerResult run(FamilyTable& families, const GenotypeTable& table) const;

private:
    Settings s_;
    TestOptions o_;
    XModel x_;
};

}  // namespace quillon
