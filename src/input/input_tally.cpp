#include "input/input_tally.hpp"

#include <iterator>
#include <utility>

namespace quillon {

namespace {

struct WarningText {
    const char* what;
    const char* consequence;  // "" or "; ..."
};

// In the order of InputWarning; kExtraCovariates takes ncov twice.
constexpr WarningText kWarnings[] = {
    {"pedigree lines with more than nine fields", "; the fields after the ninth are ignored"},
    {"covariate lines with more than %ld values", "; only the first %ld are read"},
    {"covariate lines after the last individual's", "; they are ignored"},
    {"numbers after the last individual's weight", "; they are ignored"},
    {"weight lines with more than one number, in a file of one line per individual",
     "; the weights are read in order, so the later ones shift to earlier individuals"},
    {"negative weights", ""},
    {"sex codes other than 1 or 2", ""},
    {"individual identifiers repeated within a family", ""},
    {"family identifiers that reappear after another family", "; each run of lines is a family of its own"},
    {"males with two different alleles on X", "; they are taken as untyped"},
    {"parents whose sex code contradicts their role on X", "; each is taken in the sex of the role"},
    {"children of unknown sex on X", "; they are left out of the analysis"},
};

// In the order of DataFault.
constexpr const char* kErrors[] = {
    "pedigree lines that are not nine integers",
    "phenotypes other than 0, 1 or 2",
    "individuals with one allele known",
    "children with an unknown genotype",
    "alleles other than 0, 1 or 2",
    "covariates that are not finite numbers",
    "covariate lines with too few numbers",
    "covariate file ending before an individual",
    "weights that are not finite numbers",
    "weight file ending before an individual",
    "families of the wrong size",
    "families with inconsistent genotypes",
    "families with the father typed and the mother not",
    "families with members in different strata or none",
};

static_assert(std::size(kWarnings) == static_cast<std::size_t>(InputWarning::kCount));
static_assert(std::size(kErrors) == static_cast<std::size_t>(DataFault::kCount));

std::string formatted(const char* pattern, long n) {
    char text[200];
    std::snprintf(text, sizeof text, pattern, n);
    return text;
}

}  // namespace

InputTally::InputTally(std::string pedigree, std::string covariates, std::string weights, long ncov)
    : names_{std::move(pedigree), std::move(covariates), std::move(weights)}, ncov_(ncov) {}

std::string InputTally::where(const InputPlace& place) const {
    std::string text = "(first: " + names_[static_cast<int>(place.file)] + " line " + std::to_string(place.line);
    if (place.has_family) text += ", family " + std::to_string(place.family);
    return text + ")";
}

long InputTally::total_errors() const {
    long total = 0;
    for (const Count& c : errors_) total += c.count;
    return total;
}

bool InputTally::has_lines() const {
    for (const Count& c : warnings_)
        if (c.count > 0) return true;
    return total_errors() > kErrorSummaryAfter;
}

void InputTally::print(std::FILE* out) const {
    for (int k = 0; k < static_cast<int>(InputWarning::kCount); ++k) {
        const Count& c = warnings_[k];
        if (c.count == 0) continue;
        std::fprintf(out, "quillon: warning: %s: %ld %s%s\n", formatted(kWarnings[k].what, ncov_).c_str(), c.count,
                     where(c.first).c_str(), formatted(kWarnings[k].consequence, ncov_).c_str());
    }
    const long total = total_errors();
    if (total <= kErrorSummaryAfter) return;
    std::string line = "quillon: " + std::to_string(total) + " data errors";
    const char* separator = ": ";
    for (int k = 0; k < static_cast<int>(DataFault::kCount); ++k) {
        const Count& c = errors_[k];
        if (c.count == 0) continue;
        line += separator + std::string(kErrors[k]) + ": " + std::to_string(c.count) + " " + where(c.first);
        separator = "; ";
    }
    std::fprintf(out, "%s\n", line.c_str());
}

}  // namespace quillon
