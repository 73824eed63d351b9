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

namespace quillon {


using MarkerTest = std::variant<LikelihoodTdt, ProbabilityTdt>;

Schema schema_of(const MarkerTest& test, const std::vector<std::string>& covariates);
MarkerResult run_test(const MarkerTest& test, FamilyTable& families, const GenotypeTable& table);

// The tests of one scan, each built (and its settings checked) once.
class TestSelector {
public:
    // Throws SettingsRefused.  With options.probabilities autosomes get ProbabilityTdt.
    explicit TestSelector(const Settings& s, TestOptions options = {});

    // The test for a marker on this class of chromosome, or null: the marker is skipped.
    const MarkerTest* select(ChromosomeClass c) const;

    // The columns of the scan's table.
    Schema schema(const std::vector<std::string>& covariates) const;

private:
    MarkerTest autosome_;
};

}  // namespace quillon
