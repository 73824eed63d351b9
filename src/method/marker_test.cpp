#include "method/marker_test.hpp"

namespace quillon {

Schema schema_of(const MarkerTest& test, const std::vector<std::string>& covariates) {
    return std::visit([&](const auto& t) { return t.schema(covariates); }, test);
}

MarkerResult run_test(const MarkerTest& test, FamilyTable& families, const GenotypeTable& table) {
    return std::visit([&](const auto& t) { return t.run(families, table); }, test);
}

namespace {
MarkerTest autosomal_test(const Settings& s, const TestOptions& options) {
    if (options.probabilities) return ProbabilityTdt(s, options);
    return LikelihoodTdt(s, options);
}
}  // namespace

TestSelector::TestSelector(const Settings& s, TestOptions options) : autosome_(autosomal_test(s, options)) {}

const MarkerTest* TestSelector::select(ChromosomeClass c) const {
    return c == ChromosomeClass::kAutosome ? &autosome_ : nullptr;
}

Schema TestSelector::schema(const std::vector<std::string>& covariates) const {
    return schema_of(autosome_, covariates);
}

}  // namespace quillon
