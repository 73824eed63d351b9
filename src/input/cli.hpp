#pragma once
// The command line of scripted runs.
//
// Each setting option given replaces its question of the terminal dialogue (no prompt, no
// echo line); a question whose option is absent is asked as usual, so a run without options
// is the plain dialogue.  Parsing only reads argv: it prints nothing and never ends the run;
// the caller prints the usage error (on standard error, then exit status 2) or the help and
// version texts (standard output, exit status 0).

#include <optional>
#include <string>
#include <string_view>

#include "input/dialogue.hpp"

namespace quillon {

// The largest number of covariates the command line accepts: the same as a typed answer.
inline constexpr long kMaxCliCovariates = kMaxCovariates;

struct CliOptions {
    std::optional<long> ncov;        // --covariates N, 0 <= N <= kMaxCliCovariates
    std::optional<int> smodeltype;   // --status-model: 1 Recessive, 2 Dominant, 3 Additive
    std::optional<int> cmodeltype;   // --covariate-model: 0 None .. 3 Additive
    std::string dir = ".";           // --dir: folder holding the three input files
    bool pvalues = false;            // --pvalues: p-value lines after the report
    FitMethod fit = FitMethod::kPowell;  // --fit newton or powell (the default)
    bool chromosome_x = false;       // --chromosome x (autosome, the default)
    int xchr_model = 2;              // --xchr-model 1 or 2 (needs --chromosome x)
    bool xchr_tie_freq = false;      // --xchr-tie-freq (needs --chromosome x)
    bool score = false;              // --test score (or score,wald): the score tests' columns too
    std::optional<long> strata_column;  // --strata-column K: field K of wcovars.dat is the stratum
    bool help = false;               // --help or -h
    bool version = false;            // --version
};

// Result of parse_command_line: the options, or a usage error.
struct CliParse {
    CliOptions options;  // meaningful only when ok()
    std::string error;   // one line, no newline, starting "quillon: "; empty on success
    bool ok() const { return error.empty(); }
};

// Parses argv[1..argc-1] (argv[0], the program name, is skipped).
//
// Rules:
//  - Options are long options, written "--name value" or "--name=value", and "-h" for
//    --help (the same option: both together are a repeat); --pvalues, --help and --version
//    take no value.
//  - In the "--name value" form an argument starting with "--" is not taken as the value:
//    the option counts as missing its value (write "--dir=--odd" for such a folder).  An
//    empty value ("--dir=" or "--dir ''") counts as missing too.
//  - --covariates: decimal digits only (no sign, no blanks, no trailing characters), value
//    0..kMaxCliCovariates.
//  - --status-model: recessive, dominant, additive (any case) or the digits of 1..3.
//  - --covariate-model: none, recessive, dominant, additive (any case) or the digits of 0..3.
//  - --fit: newton or powell (any case).
//  - --chromosome: x or autosome (any case); --xchr-model 1 or 2 and the flag --xchr-tie-freq
//    only with --chromosome x.
//  - --test: wald, score, score,wald or wald,score (the report always has the full fit).
//  - --strata-column: a field number 1..kMaxCliCovariates + 1 (its bound by N is checked once
//    N is known).
//  - Every option may be given at most once: a repeat is an error, even with the same value,
//    because in a script a second value is more likely a mistake than an intended override.
//  - A covariate model other than None together with --covariates 0 is an error (without
//    covariates the model has nothing to act through).  --covariate-model none with
//    --covariates 0 is accepted.
//  - The first error met, scanning left to right, is the one reported; the consistency
//    check comes after the scan.  A command line with an error is refused whole, even when
//    it also holds --help or --version.
// When both --help and --version are set, the caller shows the help.
CliParse parse_command_line(int argc, char** argv);

// The --help text: usage line, purpose, every option, the three input files and the exit
// statuses.  Ends with a newline.
std::string usage_text();

// The --version text: "quillon <version>\n", the version set in the build.
std::string version_text();

// A model type by name (none, recessive, dominant, additive; any case) or by the digits of
// its number, accepted only within lowest..3 (1 for the status model, 0 for the covariate
// model); nullopt otherwise.  The scan's options take the same values.
std::optional<int> parse_model_type(std::string_view text, int lowest);


}  // namespace quillon
