#include "input/cli.hpp"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "io/line_reader.hpp"
#include "quillon_version.hpp"

namespace quillon {

namespace {

enum class OptionId {
    kCovariates,
    kStatusModel,
    kCovariateModel,
    kDir,
    kPvalues,
    kHelp,
    kVersion,
    kFit,
    kChromosome,
    kXchrModel,
    kXchrTieFreq,
    kTest,
    kStrataColumn
};
constexpr int kOptionCount = 13;  // distinct options (OptionId values)

struct KnownOption {
    std::string_view name;
    OptionId id;
    bool takes_value;
};

// Every spelling of an option; "-h" is the one short spelling, of --help.
constexpr KnownOption kOptions[] = {
    {"--covariates", OptionId::kCovariates, true},
    {"--status-model", OptionId::kStatusModel, true},
    {"--covariate-model", OptionId::kCovariateModel, true},
    {"--dir", OptionId::kDir, true},
    {"--pvalues", OptionId::kPvalues, false},
    {"--help", OptionId::kHelp, false},
    {"-h", OptionId::kHelp, false},
    {"--version", OptionId::kVersion, false},
    {"--fit", OptionId::kFit, true},
    {"--chromosome", OptionId::kChromosome, true},
    {"--xchr-model", OptionId::kXchrModel, true},
    {"--xchr-tie-freq", OptionId::kXchrTieFreq, false},
    {"--test", OptionId::kTest, true},
    {"--strata-column", OptionId::kStrataColumn, true},
};

const KnownOption* find_option(std::string_view name) {
    for (const KnownOption& known : kOptions) {
        if (known.name == name) return &known;
    }
    return nullptr;
}

// A command-line word as it may appear inside a one-line message, in single quotes:
// control characters become '?' (a newline in an argument must not break the line) and
// very long words are cut short.
std::string quoted(std::string_view word) {
    constexpr std::size_t kMaxShown = 60;
    std::string out = "'";
    for (std::size_t i = 0; i < word.size() && i < kMaxShown; ++i) {
        const unsigned char c = static_cast<unsigned char>(word[i]);
        out += (c < 0x20 || c == 0x7f) ? '?' : static_cast<char>(c);
    }
    if (word.size() > kMaxShown) out += "...";
    out += "'";
    return out;
}

// Decimal digits only, at most `max`; no sign, no blanks, nothing after the digits.
std::optional<long> parse_count(std::string_view text, long max) {
    if (text.empty()) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const long digit = c - '0';
        // value*10 + digit > max, tested without forming a product that could overflow
        if (value > max / 10 || value * 10 > max - digit) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// Model names by model-type number, as the options spell them.
constexpr std::string_view kModelNames[4] = {"none", "recessive", "dominant", "additive"};

CliParse failure(std::string text) {
    CliParse result;
    result.error = "quillon: " + std::move(text);
    return result;
}


}  // namespace

std::optional<int> parse_model_type(std::string_view text, int lowest) {
    for (int type = lowest; type <= 3; ++type) {
        if (equals_ignoring_case(text, kModelNames[type])) return type;
    }
    const std::optional<long> number = parse_count(text, 3);
    if (number && *number >= lowest) return static_cast<int>(*number);
    return std::nullopt;
}

CliParse parse_command_line(int argc, char** argv) {
    CliParse result;
    CliOptions& opt = result.options;
    bool seen[kOptionCount] = {};

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
        if (arg.size() < 2 || arg[0] != '-') {
            return failure("unexpected argument " + quoted(arg) + " (see quillon --help)");
        }
        const std::size_t eq = arg.find('=');
        const std::string_view name = arg.substr(0, eq);
        const KnownOption* known = find_option(name);
        if (known == nullptr) {
            return failure("unknown option " + quoted(name) + " (see quillon --help)");
        }
        const std::string option(known->name);
        const int slot = static_cast<int>(known->id);
        if (seen[slot]) return failure("option " + option + " given more than once");
        seen[slot] = true;

        if (!known->takes_value) {
            if (eq != std::string_view::npos) return failure("option " + option + " takes no value");
            switch (known->id) {
                case OptionId::kPvalues: opt.pvalues = true; break;
                case OptionId::kHelp: opt.help = true; break;
                case OptionId::kVersion: opt.version = true; break;
                case OptionId::kXchrTieFreq: opt.xchr_tie_freq = true; break;
                default: break;  // the options with values, handled below
            }
            continue;
        }

        std::string_view value;
        if (eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < argc && argv[i + 1] != nullptr &&
                   !std::string_view(argv[i + 1]).starts_with("--")) {
            value = argv[++i];
        }
        if (value.empty()) return failure("option " + option + " needs a value");

        switch (known->id) {
            case OptionId::kCovariates:
                opt.ncov = parse_count(value, kMaxCliCovariates);
                if (!opt.ncov) {
                    return failure("--covariates: " + quoted(value) +
                                   " is not a whole number from 0 to " +
                                   std::to_string(kMaxCliCovariates));
                }
                break;
            case OptionId::kStatusModel:
                opt.smodeltype = parse_model_type(value, 1);
                if (!opt.smodeltype) {
                    return failure("--status-model: " + quoted(value) +
                                   " is not recessive, dominant, additive, 1, 2 or 3");
                }
                break;
            case OptionId::kCovariateModel:
                opt.cmodeltype = parse_model_type(value, 0);
                if (!opt.cmodeltype) {
                    return failure("--covariate-model: " + quoted(value) +
                                   " is not none, recessive, dominant, additive, 0, 1, 2 or 3");
                }
                break;
            case OptionId::kDir: opt.dir = std::string(value); break;
            case OptionId::kFit:
                if (!equals_ignoring_case(value, "newton") && !equals_ignoring_case(value, "powell"))
                    return failure("--fit: " + quoted(value) + " is not newton or powell");
                opt.fit = equals_ignoring_case(value, "newton") ? FitMethod::kNewton : FitMethod::kPowell;
                break;
            case OptionId::kChromosome:
                if (!equals_ignoring_case(value, "x") && !equals_ignoring_case(value, "autosome"))
                    return failure("--chromosome: " + quoted(value) + " is not x or autosome");
                opt.chromosome_x = equals_ignoring_case(value, "x");
                break;
            case OptionId::kXchrModel:
                if (value != "1" && value != "2") return failure("--xchr-model: " + quoted(value) + " is not 1 or 2");
                opt.xchr_model = value == "1" ? 1 : 2;
                break;
            case OptionId::kTest:
                if (value == "score" || value == "score,wald" || value == "wald,score")
                    opt.score = true;
                else if (value != "wald")
                    return failure("--test: " + quoted(value) + " is not wald, score or score,wald");
                break;
            case OptionId::kStrataColumn:
                opt.strata_column = parse_count(value, kMaxCliCovariates + 1);
                if (!opt.strata_column || *opt.strata_column == 0)
                    return failure("--strata-column: " + quoted(value) + " is not a field number from 1 to " +
                                   std::to_string(kMaxCliCovariates + 1));
                break;
            default: break;  // the flags, handled above
        }
    }
    if (!opt.chromosome_x && (seen[static_cast<int>(OptionId::kXchrModel)] || opt.xchr_tie_freq))
        return failure(std::string(seen[static_cast<int>(OptionId::kXchrModel)] ? "--xchr-model" : "--xchr-tie-freq") +
                       " needs --chromosome x");
    if (opt.chromosome_x && opt.score) return failure("--test score is not available with --chromosome x");

    // Without covariates the genotype has nothing to act through but status.
    if (opt.ncov && *opt.ncov == 0 && opt.cmodeltype && *opt.cmodeltype != 0) {
        return failure("--covariate-model " + std::string(kModelNames[*opt.cmodeltype]) +
                       " needs covariates, but --covariates is 0 (use none)");
    }
    return result;
}

std::string usage_text() {
    return "Usage: quillon [--covariates N] [--status-model MODEL] [--covariate-model MODEL]\n"
           "               [--dir DIR] [--fit METHOD] [--pvalues] [--test LIST] [-h | --help] [--version]\n"
           "               [--chromosome x [--xchr-model 1|2] [--xchr-tie-freq]] [--strata-column K]\n"
           "       quillon scan ...   (every marker of a PLINK fileset or VCF: quillon scan --help)\n"
           "\n"
           "Likelihood transmission/disequilibrium test with covariates for one two-allele\n"
           "marker in nuclear families.\n"
           "\n"
           "Each setting given as an option replaces its question; the others are asked on\n"
           "the terminal.\n"
           "  --covariates N           covariate columns per individual, intercept included (0 or more)\n"
           "  --status-model MODEL     genotype on status: recessive, dominant, additive (1-3)\n"
           "  --covariate-model MODEL  genotype via covariates: none, recessive, dominant, additive (0-3)\n"
           "  --dir DIR                folder of the three input files (default: the current folder)\n"
           "  --fit METHOD             powell (direction set, the default) or newton (exact maximum;\n"
           "                           falls back to powell, with a warning, when it does not converge)\n"
           "  --pvalues                print the p-values of the two statistics after the report\n"
           "  --chromosome x           the marker is on chromosome X: fathers and sons carry one\n"
           "                           allele (a male's alleles 1 1 or 2 2; two different ones are\n"
           "                           taken as untyped), mothers and daughters two\n"
           "  --xchr-model 1|2         a son's allele acts like two copies in a daughter (2, the\n"
           "                           default) or like one (1)\n"
           "  --xchr-tie-freq          the fathers' allele frequency is that of the mothers\n"
           "                           (default: a parameter of its own)\n"
           "  --test LIST              wald (the default) or score (or score,wald): with --pvalues\n"
           "                           the score tests too, among the further tests\n"
           "  --strata-column K        field K of wcovars.dat (N + 1 fields) is the family's stratum,\n"
           "                           not a covariate: the parents' genotype prevalences per stratum\n"
           "  -h, --help               print this help and exit\n"
           "  --version                print the version and exit\n"
           "A value may also be written --option=VALUE.  Each option may be given once.\n"
           "Model names are case-insensitive.  A covariate model other than none needs N > 0.\n"
           "\n"
           "Input files, in DIR:\n"
           "  wpedigree.dat  one line per individual: family, individual, father, mother, sex,\n"
           "                 phenotype, an unused integer, allele 1, allele 2\n"
           "  wcovars.dat    the individual's N covariate values, one line per pedigree line\n"
           "  wweights.dat   the individual's weight, one number per pedigree line\n"
           "\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  data error or numerical error\n"
           "  2  usage error\n";
}

std::string version_text() { return std::string("quillon ") + QUILLON_VERSION + "\n"; }

}  // namespace quillon
