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

TestSelector::TestSelector(const Settings& s, TestOptions options)
    : autosome_(LikelihoodTdt(s, options)), x_(XLinkedTdt(s, options)) {}

const MarkerTest* TestSelector::select(ChromosomeClass c) const {
    if (c == ChromosomeClass::kAutosome) return &autosome_;
    if (c == ChromosomeClass::kX) return &x_;
    return nullptr;
}

Schema TestSelector::schema(const std::vector<std::string>& covariates, bool with_x) const {
    return schema_of(with_x ? x_ : autosome_, covariates);
}

}  // namespace quillon
