#pragma once
// Findings of the input stage that are counted instead of reported one record at a time:
// warnings about suspicious but readable data, and the data errors of a failed run.  Each
// kind keeps its count and the place of its first case, and goes to standard error as one
// line (a warning) or as one part of one summary line (the errors, whose messages are on
// standard output as before).

#include <cstdio>
#include <string>

namespace quillon {

enum class InputFileId { kPedigree, kCovariates, kWeights };

enum class InputWarning {
    kExtraPedigreeFields,   // a pedigree line with more than nine fields
    kExtraCovariates,       // a covariate line with more than ncov values
    kSurplusCovariateLines, // lines of wcovars.dat after the last individual's
    kSurplusWeights,        // numbers of wweights.dat after the last individual's weight
    kShiftedWeights,        // a weight line with several numbers in a file of one line per individual
    kNegativeWeight,
    kSexCode,               // a sex code other than 1 or 2
    kRepeatedIndividual,    // an individual identifier repeated within a family
    kReappearingFamily,     // a family identifier that reappears after another family
    kXHeterozygousMale,     // X: a male's two alleles differ
    kXParentSex,            // X: a father coded female or a mother coded male
    kXChildSexUnknown,      // X: a child of unknown sex
    kCount
};

enum class DataFault {
    kPedigreeLineUnusable,  // not nine integers
    kPhenotype,
    kOneAlleleKnown,
    kChildUntyped,
    kAllele,
    kCovariateNotANumber,
    kTooFewCovariates,
    kCovariatesEndEarly,
    kWeightNotANumber,
    kWeightsEndEarly,
    kFamilySize,
    kInconsistentGenotypes,
    kFatherTypedMotherNot,
    kStrata,                // a family whose members' strata differ, or with no stratum
    kCount
};

// Where a finding was made: a line of one of the three files, and its family when known.
struct InputPlace {
    InputFileId file = InputFileId::kPedigree;
    long line = 0;
    long family = 0;
    bool has_family = false;
};

// A summary line follows the error messages only when there are more than this many.
inline constexpr long kErrorSummaryAfter = 10;

class InputTally {
public:
    // `names` are the three files as messages call them, in InputFileId order; `ncov` the
    // number of covariates (for the text of kExtraCovariates).
    InputTally(std::string pedigree, std::string covariates, std::string weights, long ncov);

    // Counts `n` cases of `kind`, the first of them at `place` when it is the kind's first.
    void warn(InputWarning kind, InputPlace place, long n = 1) { add(warnings_[static_cast<int>(kind)], place, n); }
    void error(DataFault kind, InputPlace place) { add(errors_[static_cast<int>(kind)], place, 1); }

    // True when print writes anything: a warning, or more than kErrorSummaryAfter errors.
    bool has_lines() const;

    // Writes one line per kind of warning found, in the order of InputWarning:
    //   "quillon: warning: <what>: <count> (first: <file> line <n>[, family <id>])[; <consequence>]"
    // then, when there were more than kErrorSummaryAfter errors, the summary line
    //   "quillon: <total> data errors: <what>: <count> (first: ...); ..." over every kind found.
    void print(std::FILE* out) const;

private:
    struct Count {
        long count = 0;
        InputPlace first;
    };
    static void add(Count& c, const InputPlace& place, long n) {
        if (c.count == 0) c.first = place;
        c.count += n;
    }
    long total_errors() const;
    std::string where(const InputPlace& place) const;

    std::string names_[3];
    long ncov_;
    Count warnings_[static_cast<int>(InputWarning::kCount)];
    Count errors_[static_cast<int>(DataFault::kCount)];
};

}  // namespace quillon
