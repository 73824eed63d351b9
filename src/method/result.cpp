#include "method/result.hpp"

#include <stdexcept>

namespace quillon {

std::size_t column_index(const Schema& schema, std::string_view name) {
    for (std::size_t c = 0; c < schema.size(); ++c)
        if (schema[c].name == name) return c;
    throw std::out_of_range("no column " + std::string(name));
}

std::string FitStatus::reason() const {
    switch (outcome) {
        case FitOutcome::kFellBack: return describe(newton);
        case FitOutcome::kFailed: return error ? error->what() : "";
        default: return "";
    }
}

}  // namespace quillon
