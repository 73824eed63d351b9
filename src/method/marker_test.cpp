#include "method/marker_test.hpp"

#include <limits>

namespace quillon {

Schema schema_of(const MarkerTest& test, const std::vector<std::string>& covariates) {
    return std::visit([&](const auto& t) { return t.schema(covariates); }, test);
}

MarkerResult run_test(const MarkerTest& test, FamilyTable& families, const GenotypeTable& table) {
    return std::visit([&](const auto& t) { return t.run(families, table); }, test);
}

std::vector<double> place_values(const Schema& table, const Schema& unit, const MarkerResult& r) {
    if (r.failed()) return {};
    std::vector<double> values;
    values.reserve(table.size());
    std::size_t from = 0;
    for (const Column& c : table) {
        // Both schemas keep one order: the unit's next column is the table's, or absent.
        if (from < unit.size() && unit[from].name == c.name)
            values.push_back(r.values[from++]);
        else
            values.push_back(std::numeric_limits<double>::quiet_NaN());
    }
    return values;
}

namespace {
MarkerTest autosomal_test(const Settings& s, const TestOptions& options) {
    if (options.probabilities) return ProbabilityTdt(s, options);
    return LikelihoodTdt(s, options);
}
}  // namespace

TestSelector::TestSelector(const Settings& s, TestOptions options)
    : autosome_(autosomal_test(s, options)), x_(XLinkedTdt(s, options)), x_analysed_(options.wald && !options.probabilities) {}

const MarkerTest* TestSelector::select(ChromosomeClass c) const {
    if (c == ChromosomeClass::kAutosome) return &autosome_;
    if (c == ChromosomeClass::kX && x_analysed_) return &x_;
    return nullptr;
}

Schema TestSelector::schema(const std::vector<std::string>& covariates, bool with_x) const {
    Schema table = schema_of(autosome_, covariates);
    if (!with_x || !x_analysed_) return table;
    // Each X column that the autosomal test lacks goes after the X column before it.
    const Schema x = schema_of(x_, covariates);
    std::size_t at = 0;  // the table's position after the last X column placed or found
    for (const Column& c : x) {
        std::size_t found = at;
        while (found < table.size() && table[found].name != c.name) ++found;
        if (found < table.size()) {
            at = found + 1;
        } else {
            table.insert(table.begin() + static_cast<std::ptrdiff_t>(at), c);
            ++at;
        }
    }
    return table;
}

}  // namespace quillon
