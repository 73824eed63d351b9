#pragma once
// The per-marker tests and the choice among them.  A marker's test follows from the class of
// its chromosome; a test is a class with the interface of LikelihoodTdt (schema, run),
// added as an alternative of MarkerTest with its own file here.

#include "genetics/chromosome.hpp"
#include <string>
#include <variant>
#include <vector>

#include "method/likelihood_tdt.hpp"
#include "method/probability_tdt.hpp"
#include "method/x_linked_tdt.hpp"

namespace quillon {


using MarkerTest = std::variant<LikelihoodTdt, XLinkedTdt, ProbabilityTdt>;

Schema schema_of(const MarkerTest& test, const std::vector<std::string>& covariates);
MarkerResult run_test(const MarkerTest& test, FamilyTable& families, const GenotypeTable& table);

// The values of `r`, a result of a test with the columns `unit`, in the order of the
// columns `table` (a union of the tests' columns): NaN (NA) where the test has no such
// column.  Empty for a failed result.
std::vector<double> place_values(const Schema& table, const Schema& unit, const MarkerResult& r);

// The tests of one scan, each built (and its settings checked) once.
class TestSelector {
public:
    // Throws SettingsRefused.  With options.probabilities autosomes get ProbabilityTdt.
    explicit TestSelector(const Settings& s, TestOptions options = {});

    // The test for a marker on this class of chromosome, or null: the marker is skipped.
    // The score tests are autosomal: with them alone (no full fit) X markers are skipped;
    // so are they with probabilities (the likelihood over uncertain genotypes is autosomal).
    const MarkerTest* select(ChromosomeClass c) const;

    // The columns of the scan's table: the autosomal test's, or with `with_x` (the scan has
    // X markers to analyse) the union of both tests' in one order: the autosomal columns
    // (the score tests' last) with the X test's own, the fathers' frequency and its SE,
    // after PREV2_SE.
    Schema schema(const std::vector<std::string>& covariates, bool with_x = false) const;

    // The X test's warning: sons carry no information under these settings.
    bool x_sons_uninformative() const { return std::get<XLinkedTdt>(x_).sons_uninformative(); }

private:
    MarkerTest autosome_;
    MarkerTest x_;
    bool x_analysed_ = true;
};

}  // namespace quillon
