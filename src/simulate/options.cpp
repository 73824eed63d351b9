// quillon-simulate's options: parsing, the checks of their values and combinations, and the
// usage text.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/settings.hpp"
#include "simulate/simulate.hpp"

namespace quillon {

namespace {

constexpr const char* kModelNames[4] = {"none", "recessive", "dominant", "additive"};

// Largest seed magnitude: ran2 works on 32-bit signed states.
constexpr long kMaxSeedMagnitude = 2147483647L;

// Slack allowed when two rates or two prevalences that should sum to at most 1 are given
// as decimals whose binary sum lands a few ulps above 1.
constexpr double kSumSlack = 1e-9;

// ---------------------------------------------------------------------------------------
// Option values.  Every conversion must consume its whole text: "3x", " 3" and "" are
// refused rather than read as 3 or 0.

bool to_long(const char* text, long& value) {
    if (*text == '\0' || std::isspace(static_cast<unsigned char>(*text))) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

bool to_double(const char* text, double& value) {
    if (*text == '\0' || std::isspace(static_cast<unsigned char>(*text))) return false;
    char* end = nullptr;
    const double v = std::strtod(text, &end);  // an overflow gives infinity, refused below
    if (*end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

// A comma-separated list of numbers into list[1..count].
bool to_list(const char* text, DVector& list) {
    long count = 1;
    for (const char* p = text; *p != '\0'; ++p)
        if (*p == ',') ++count;
    DVector values(1, count);
    const std::string s(text);
    std::size_t start = 0;
    for (long i = 1; i <= count; ++i) {
        const std::size_t comma = s.find(',', start);
        const std::string item = s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!to_double(item.c_str(), values[i])) return false;
        start = comma + 1;
    }
    list = std::move(values);
    return true;
}

std::string quoted(const char* text) { return std::string("'") + text + "'"; }

bool set_int_in_range(const char* name, const char* text, long lo, long hi, long& value, std::string& error) {
    if (!to_long(text, value) || value < lo || value > hi) {
        error = std::string(name) + ": expected an integer " + std::to_string(lo) + ".." + std::to_string(hi) +
                ", got " + quoted(text);
        return false;
    }
    return true;
}

bool set_rate(const char* name, const char* text, double& value, std::string& error) {
    if (!to_double(text, value) || value < 0.0 || value > 1.0) {
        error = std::string(name) + ": expected a rate from 0 to 1, got " + quoted(text);
        return false;
    }
    return true;
}

bool set_list(const char* name, const char* text, DVector& list, std::string& error) {
    if (!to_list(text, list)) {
        error = std::string(name) + ": expected a comma-separated list of numbers, got " + quoted(text);
        return false;
    }
    return true;
}

// Checks that a coefficient list that was given has one value per covariate.
bool check_list_length(const char* name, const DVector& list, int ncov, std::string& error) {
    if (list.allocated() && list.size() != ncov) {
        error = std::string(name) + ": " + std::to_string(list.size()) + " coefficient(s) given for " +
                std::to_string(ncov) + " covariate(s)";
        return false;
    }
    return true;
}

// The options of multi-marker studies.
bool parse_marker_option(const std::string& name, const std::string& value_text, SimulateOptions& o,
                         std::string& error) {
    const char* value = value_text.c_str();
    const char* opt = name.c_str();
    long n = 0;
    if (name == "--markers" || name == "--x-markers") {
        if (!set_int_in_range(opt, value, name == "--markers" ? 1 : 0, kSimMaxMarkers, n, error)) return false;
        (name == "--markers" ? o.markers : o.x_markers) = n;
    } else if (name == "--xchr-model") {
        if (!set_int_in_range(opt, value, 1, 2, n, error)) return false;
        o.xchr_model = static_cast<int>(n);
    } else if (name == "--chromosomes") {
        if (!set_int_in_range(opt, value, 1, 22, n, error)) return false;
        o.chromosomes = static_cast<int>(n);
    } else if (name == "--allele-freq") {
        DVector f;
        if (!to_list(value, f) || f.size() != 2 || f[1] < 0.0 || f[1] > f[2] || f[2] > 1.0) {
            error = "--allele-freq: expected two frequencies LO,HI with 0 <= LO <= HI <= 1, got " + quoted(value);
            return false;
        }
        o.allele_freq_given = true;
        o.freq_lo = f[1];
        o.freq_hi = f[2];
    } else if (name == "--imputed-r2") {
        DVector r2;
        o.imputed_r2.clear();
        bool ok = to_list(value, r2);
        for (int i = 1; ok && i <= r2.size(); ++i) {
            ok = r2[i] > 0.0 && r2[i] <= 0.999;
            o.imputed_r2.push_back(r2[i]);
        }
        if (!ok) {
            error = "--imputed-r2: expected a comma-separated list of r2 values in (0, 0.999], got " + quoted(value);
            return false;
        }
    } else if (name == "--shared-error") {
        return set_rate(opt, value, o.shared_error, error);
    } else if (name == "--effect-share" || name == "--untyped-children" || name == "--genotype-errors" ||
               name == "--unaffected-children" || name == "--father-only" || name == "--male-het-errors") {
        double& rate = name == "--effect-share"       ? o.effect_share
                       : name == "--male-het-errors"  ? o.male_het_errors
                       : name == "--untyped-children" ? o.untyped_children
                       : name == "--genotype-errors"  ? o.genotype_errors
                       : name == "--unaffected-children" ? o.unaffected_children
                                                         : o.father_only;
        return set_rate(opt, value, rate, error);
    } else {
        if (value_text.empty()) {
            error = name + ": the file name is empty";
            return false;
        }
        std::string& path = name == "--bfile"  ? o.bfile
                            : name == "--file" ? o.file
                            : name == "--vcf" ? o.vcf
                            : name == "--covar" ? o.covar
                            : name == "--weight-file" ? o.weight_file
                                                      : o.effects;
        path = value_text;
    }
    return true;
}

// The options of population structure: --subpopulations NAMES and the --subpop-* lists.
bool parse_subpop_option(const std::string& name, const std::string& value_text, SimulateOptions& o,
                         std::string& error) {
    auto blank_in = [](const std::string& t) {
        return t.empty() || std::any_of(t.begin(), t.end(), [](unsigned char c) { return std::isspace(c) != 0; });
    };
    if (name == "--subpopulations") {
        o.groups.clear();
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = value_text.find(',', start);
            Subpopulation g;
            g.name = value_text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            const bool taken = std::any_of(o.groups.begin(), o.groups.end(), [&](const Subpopulation& h) { return h.name == g.name; });
            if (blank_in(g.name) || g.name == "NA" || g.name == "-9" || taken) {
                error = "--subpopulations: expected distinct group labels, without blanks, NA or -9, separated by commas, got " +
                        quoted(value_text.c_str());
                return false;
            }
            o.groups.push_back(g);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (o.groups.size() < 2 || o.groups.size() > static_cast<std::size_t>(kSimMaxGroups)) {
            error = "--subpopulations: expected 2.." + std::to_string(kSimMaxGroups) + " groups, got " + quoted(value_text.c_str());
            return false;
        }
        return true;
    }
    if (name == "--subpop-column") {
        if (blank_in(value_text)) {
            error = "--subpop-column: expected a column name without blanks, got " + quoted(value_text.c_str());
            return false;
        }
        o.group_column = value_text;
        return true;
    }
    SubpopulationLists& l = o.subpop_lists;
    std::vector<double>& list = name == "--subpop-share"            ? l.share
                                : name == "--subpop-risk"           ? l.risk
                                : name == "--subpop-shift"          ? l.shift
                                : name == "--subpop-mean"           ? l.mean
                                : name == "--subpop-untyped-father" ? l.untyped_father
                                                                    : l.untyped_parents;
    DVector v;
    if (!set_list(name.c_str(), value_text.c_str(), v, error)) return false;
    list.assign(v.size(), 0.0);
    for (int i = 1; i <= v.size(); ++i) list[static_cast<std::size_t>(i - 1)] = v[i];
    return true;
}

// Builds the groups from the --subpop-* lists; false with a message when one does not fit.
bool build_groups(SimulateOptions& o, std::string& error) {
    const SubpopulationLists& l = o.subpop_lists;
    const std::size_t ng = o.groups.size();
    if (ng == 0) {
        const bool lists = !l.share.empty() || !l.risk.empty() || !l.shift.empty() || !l.mean.empty() ||
                           !l.untyped_father.empty() || !l.untyped_parents.empty() || o.group_column != "GROUP";
        if (lists) error = "the --subpop-* options need --subpopulations NAMES";
        return !lists;
    }
    const int k = o.ncov - (o.intercept ? 1 : 0);  // covariate columns besides the intercept
    struct Check {
        const char* name;
        const std::vector<double>& list;
        double lo, hi;
        bool open_lo;
        const char* range;
        bool means = false;
    };
    for (const Check& c : {Check{"--subpop-share", l.share, 0.0, 1e300, true, "a share above 0"},
                           Check{"--subpop-risk", l.risk, 0.0, 1.0, true, "a risk in (0, 1]"},
                           Check{"--subpop-shift", l.shift, -1.0, 1.0, false, "a shift from -1 to 1"},
                           Check{"--subpop-mean", l.mean, -1e6, 1e6, false, "a mean from -1e6 to 1e6", true},
                           Check{"--subpop-untyped-father", l.untyped_father, 0.0, 1.0, false, "a rate from 0 to 1"},
                           Check{"--subpop-untyped-parents", l.untyped_parents, 0.0, 1.0, false, "a rate from 0 to 1"}}) {
        const bool means = c.means;
        const bool length = c.list.empty() || c.list.size() == ng || (means && k > 0 && c.list.size() == ng * k);
        if (!length || (means && !c.list.empty() && k < 1)) {
            error = std::string(c.name) + ": " + std::to_string(c.list.size()) + " value(s) given for " +
                    std::to_string(ng) + " groups" +
                    (means ? (k < 1 ? ", but the study has no covariate columns besides the intercept"
                                    : " (one per group for the first covariate, or one per group and covariate)")
                           : "");
            return false;
        }
        for (double v : c.list)
            if (v > c.hi || (c.open_lo ? v <= c.lo : v < c.lo)) {
                char text[32];
                std::snprintf(text, sizeof text, "%g", v);
                error = std::string(c.name) + ": expected " + c.range + " per group, got " + text;
                return false;
            }
    }
    std::string column = o.group_column;
    std::transform(column.begin(), column.end(), column.begin(), [](unsigned char c) { return std::toupper(c); });
    for (int c = 1; c <= k; ++c)
        if (o.group_column == "X" + std::to_string(c)) column = "FID";
    if (column == "FID" || column == "IID") {
        error = "--subpop-column: " + o.group_column + " is the name of another column of the --covar file";
        return false;
    }
    for (std::size_t g = 0; g < ng; ++g) {
        Subpopulation& s = o.groups[g];
        s.share = l.share.empty() ? 1.0 : l.share[g];
        s.risk = l.risk.empty() ? 1.0 : l.risk[g];
        s.shift = l.shift.empty() ? 0.0 : l.shift[g];
        s.untyped_father = l.untyped_father.empty() ? o.untyped_father : l.untyped_father[g];
        s.untyped_parents = l.untyped_parents.empty() ? o.untyped_parents : l.untyped_parents[g];
        if (s.untyped_father + s.untyped_parents > 1.0 + kSumSlack) {
            error = "group " + s.name + ": its untyped-father and untyped-parents rates add up to more than 1";
            return false;
        }
        // Column i of the study (the intercept's mean 0); one mean each, or the first covariate's.
        s.mean.assign(static_cast<std::size_t>(o.ncov), 0.0);
        for (int c = 0; c < k && !l.mean.empty(); ++c)
            if (l.mean.size() == ng * k || c == 0)
                s.mean[static_cast<std::size_t>(c + (o.intercept ? 1 : 0))] =
                    l.mean.size() == ng * k ? l.mean[g * k + c] : l.mean[g];
    }
    return true;
}

// The checks that involve more than one option.
bool check_combinations(SimulateOptions& o, std::string& error) {
    if (!build_groups(o, error)) return false;
    const bool genotype_files = !o.bfile.empty() || !o.file.empty() || !o.vcf.empty();
    const bool marker_options = o.markers > 0 || o.x_markers > 0 || o.chromosomes != 1 || o.effect_share > 0.0 ||
                                o.allele_freq_given || o.untyped_children > 0.0 || o.genotype_errors > 0.0 ||
                                o.unaffected_children > 0.0 || o.father_only > 0.0 || o.male_het_errors > 0.0 ||
                                !o.covar.empty() ||
                                !o.weight_file.empty() || !o.effects.empty() || !o.imputed_r2.empty();
    if (marker_options && !genotype_files) {
        error = "the multi-marker options need --bfile PREFIX, --file PREFIX or --vcf FILE";
        return false;
    }
    if (genotype_files && o.chromosome_x) {
        error = "--chromosome x writes the single-marker files as an X marker; with --bfile, --file or --vcf use "
                "--x-markers";
        return false;
    }
    if (o.xchr_model != 2 && !o.chromosome_x && o.x_markers == 0) {
        error = "--xchr-model needs --chromosome x or --x-markers";
        return false;
    }
    if (genotype_files && o.out_given) {
        error = "--out writes the single-marker files; with --bfile, --file or --vcf name each file instead";
        return false;
    }
    if (genotype_files && o.markers == 0) o.markers = 1;
    std::vector<std::string> outputs;  // two under one name would be written over each other
    if (!o.bfile.empty()) outputs.insert(outputs.end(), {o.bfile + ".bed", o.bfile + ".bim", o.bfile + ".fam"});
    if (!o.file.empty()) outputs.insert(outputs.end(), {o.file + ".ped", o.file + ".map"});
    for (const std::string* name : {&o.vcf, &o.covar, &o.weight_file, &o.effects})
        if (!name->empty()) outputs.push_back(*name);
    std::sort(outputs.begin(), outputs.end());
    if (const auto twice = std::adjacent_find(outputs.begin(), outputs.end()); twice != outputs.end()) {
        error = "two of the files to write are named " + *twice;
        return false;
    }
    if (!o.imputed_r2.empty() && o.vcf.empty()) {
        error = "--imputed-r2 writes GP, DS and INFO/R2 to the VCF: it needs --vcf";
        return false;
    }
    if (o.x_markers > o.markers) {
        error = "--x-markers " + std::to_string(o.x_markers) + " is more than --markers " + std::to_string(o.markers);
        return false;
    }
    if (!o.covar.empty() && o.ncov - (o.intercept ? 1 : 0) < 1 && o.groups.empty()) {
        error = "--covar: the study has no covariate columns besides the intercept";
        return false;
    }
    if (o.min_size > o.max_size) {
        error = "--min-size " + std::to_string(o.min_size) + " is larger than --max-size " + std::to_string(o.max_size);
        return false;
    }
    if (o.untyped_father + o.untyped_parents > 1.0 + kSumSlack) {
        error = "--untyped-father and --untyped-parents add up to more than 1";
        return false;
    }
    if (o.intercept && o.ncov < 1) {
        error = "--intercept needs --ncov 1 or more";
        return false;
    }
    if (o.cmodeltype == kNone && o.beta.allocated()) {
        error = "--beta belongs to the recessive, dominant and additive models; use --b1 and --b2 with --model none";
        return false;
    }
    if (o.cmodeltype != kNone && (o.b1.allocated() || o.b2.allocated())) {
        error = "--b1 and --b2 belong to --model none; use --beta with the other models";
        return false;
    }
    if (o.gamma1 + o.gamma2 > 1.0 + kSumSlack) {
        error = "--prevalences: gamma1 + gamma2 is more than 1";
        return false;
    }
    return check_list_length("--beta", o.beta, o.ncov, error) && check_list_length("--b1", o.b1, o.ncov, error) &&
           check_list_length("--b2", o.b2, o.ncov, error);
}

}  // namespace

void print_simulate_usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quillon-simulate [OPTION value]...\n"
                 "Write wpedigree.dat, wcovars.dat and wweights.dat for a study of nuclear families drawn\n"
                 "from quillon's model: parents' genotypes from the prevalences, children's genotypes\n"
                 "from Mendel tilted by the relative risks exp(b1.x) and exp(b2.x) of their covariates.\n"
                 "Options take their value as \"--name value\" or \"--name=value\".\n"
                 "\n"
                 "  --families N            number of families, 1..%ld (default 200)\n"
                 "  --min-size N            smallest family, parents included, 3..10 (default 3)\n"
                 "  --max-size N            largest family, 3..10 (default 6); sizes are uniform in range\n"
                 "  --untyped-father RATE   families with the father untyped, mother typed (default 0)\n"
                 "  --untyped-parents RATE  families with both parents untyped (default 0)\n"
                 "  --missing-phenotype RATE  members with phenotype 0 (default 0); otherwise\n"
                 "                          children have phenotype 2 and parents 1 or 2\n"
                 "  --ncov N                covariate columns, 0..%d (default 0)\n"
                 "  --intercept             covariate column 1 is an intercept column of 1\n"
                 "  --model NAME            covariate model: none, recessive, dominant or additive,\n"
                 "                          or 0..3 (default none)\n"
                 "  --beta LIST             ncov comma-separated coefficients; recessive b1 = 0, b2 = beta;\n"
                 "                          dominant b1 = b2 = beta; additive b1 = beta, b2 = 2 beta\n"
                 "  --b1 LIST, --b2 LIST    the coefficients of genotypes 1 and 2 for --model none\n"
                 "                          (coefficients not given are 0)\n"
                 "  --prevalences G1,G2     prevalences of genotypes 1 and 2 among the parents;\n"
                 "                          genotype 0 has the rest (default 0.42,0.09)\n"
                 "  --weights one|random    weight 1, or uniform in (0.5, 1.5) (default one)\n"
                 "  --out DIR               output folder, created if missing (default .)\n"
                 "  --seed N                random seed; N and -N give the same study, 0 the same as 1\n"
                 "                          (default 12345)\n"
                 "  --chromosome x          the marker is on X: fathers and sons carry one allele, written\n"
                 "                          homozygous; see --xchr-model (default autosome)\n"
                 "  --help                  show this text\n"
                 "\n"
                 "Population structure (both kinds of study): each family belongs to one of two or more groups.\n"
                 "  --subpopulations NAMES  the groups' labels, 2..%d, comma-separated (e.g. pop1,pop2); each\n"
                 "                          person's group label is the last column of the --covar file,\n"
                 "                          named GROUP, and the group's number 1..G the last of wcovars.dat\n"
                 "  --subpop-column NAME    that column's name in the --covar file (default GROUP)\n"
                 "  --subpop-share LIST     each group's share of the population (default equal; relative)\n"
                 "  --subpop-risk LIST      each group's disease risk, in (0, 1] (default equal); a group's\n"
                 "                          share of the families is proportional to share x risk\n"
                 "  --subpop-shift LIST     added to the marker's allele-2 frequency in each group (default 0);\n"
                 "                          parents are in Hardy-Weinberg at that frequency, kept in\n"
                 "                          [0.001, 0.999] (the marker's: --allele-freq, or G1 / 2 + G2)\n"
                 "  --subpop-mean LIST      each group's mean of the first covariate besides the intercept,\n"
                 "                          or of every one (group by group); a covariate is its mean plus\n"
                 "                          N(0, 1) (default 0)\n"
                 "  --subpop-untyped-father LIST, --subpop-untyped-parents LIST\n"
                 "                          each group's untyped-parent rates (default --untyped-father\n"
                 "                          and --untyped-parents)\n"
                 "\n"
                 "Multi-marker studies (the same families, covariates and phenotypes; one genotype draw\n"
                 "per marker) are written instead of the three files when --bfile, --file or --vcf is given:\n"
                 "  --bfile PREFIX          PLINK 1 binary fileset PREFIX.bed/.bim/.fam (A1 = allele 2)\n"
                 "  --file PREFIX           PLINK text fileset PREFIX.ped/.map (every genotype in memory)\n"
                 "  --vcf FILE              VCF 4.2 (ALT = allele 2); BGZF-compressed if FILE ends in .gz\n"
                 "  --covar FILE            covariates \"FID IID X1 X2 ...\", without the intercept column\n"
                 "  --weight-file FILE      weights \"FID IID WEIGHT\"\n"
                 "  --effects FILE          the IDs of the markers drawn with an effect\n"
                 "  --markers M             markers, 1..%ld (default 1)\n"
                 "  --chromosomes C         autosomes 1..C in contiguous blocks, C 1..22 (default 1)\n"
                 "  --x-markers K           the last K markers are on X, code 23 (default 0): fathers and\n"
                 "                          sons carry one allele (written homozygous; haploid in a VCF)\n"
                 "  --xchr-model 1|2        on X a son's allele acts as 1 or 2 copies (default 2)\n"
                 "  --male-het-errors RATE  typed males on X written heterozygous (default 0)\n"
                 "  --effect-share RATE     markers whose children are drawn with b1, b2 (default 0);\n"
                 "                          the others by Mendel alone\n"
                 "  --allele-freq LO,HI     each marker's allele-2 frequency uniform in LO..HI, parents in\n"
                 "                          Hardy-Weinberg (default: --prevalences for every marker)\n"
                 "  --untyped-children RATE children untyped at a marker (default 0)\n"
                 "  --genotype-errors RATE  typed genotypes replaced by another at a marker (default 0)\n"
                 "  --unaffected-children RATE  children of phenotype 1, drawn by Mendel (default 0)\n"
                 "  --father-only RATE      families of an untyped father written with the typed mother\n"
                 "                          as the father and the untyped one as the mother (default 0)\n"
                 "  --imputed-r2 R1,R2,...  an imputed-like VCF: GT (best guess), DS, GP, INFO/R2 and AF\n"
                 "                          from noisy haplotype observations at these r2 values, one per\n"
                 "                          marker in turn (the .bed and .ped keep the true genotypes)\n"
                 "  --shared-error RATE     chance that a child's inherited haplotype carries its parent's\n"
                 "                          observation error (default 0.5)\n"
                 "Untyped parents are absent from the .fam, listed without genotypes, or \"0\" in the\n"
                 "children's lines, in turn; see simulate/marker_study.hpp for the draws.\n",
                 kSimMaxFamilies, kSimMaxCovariates, kSimMaxGroups, kSimMaxMarkers);
}

bool parse_simulate_options(int argc, const char* const* argv, SimulateOptions& o, std::string& error) {
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            error = "unexpected argument " + quoted(arg.c_str());
            return false;
        }
        // "--name=value" or "--name value"; flags take no value.
        std::string name = arg;
        std::string inline_value;
        bool has_inline_value = false;
        const std::size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            inline_value = arg.substr(eq + 1);
            has_inline_value = true;
        }
        if (name == "--help" || name == "--intercept") {
            if (has_inline_value) {
                error = name + " takes no value";
                return false;
            }
            if (name == "--help") {
                o.help = true;
                return true;
            }
            o.intercept = true;
            continue;
        }

        static const char* const kValued[] = {"--families",        "--min-size", "--max-size", "--untyped-father",
                                              "--untyped-parents", "--missing-phenotype",     "--ncov",
                                              "--model",           "--beta",     "--b1",       "--b2",
                                              "--prevalences",     "--weights",  "--out",      "--seed",
                                              "--markers",         "--chromosomes", "--x-markers", "--effect-share",
                                              "--allele-freq",     "--untyped-children", "--genotype-errors",
                                              "--unaffected-children", "--father-only", "--bfile", "--file", "--vcf",
                                              "--xchr-model",      "--male-het-errors", "--chromosome",
                                              "--covar",           "--weight-file", "--effects",
                                              "--imputed-r2",      "--shared-error", "--subpopulations",
                                              "--subpop-share",    "--subpop-risk", "--subpop-shift", "--subpop-mean",
                                              "--subpop-untyped-father", "--subpop-untyped-parents", "--subpop-column"};
        bool known = false;
        for (const char* v : kValued) known = known || name == v;
        if (!known) {
            error = "unknown option " + quoted(name.c_str());
            return false;
        }
        std::string value_text;
        if (has_inline_value) {
            value_text = inline_value;
        } else if (k + 1 < argc) {
            value_text = argv[++k];
        } else {
            error = name + " needs a value";
            return false;
        }
        const char* value = value_text.c_str();
        const char* opt = name.c_str();

        long n = 0;
        if (name == "--families") {
            if (!set_int_in_range(opt, value, 1, kSimMaxFamilies, n, error)) return false;
            o.families = n;
        } else if (name == "--min-size") {
            if (!set_int_in_range(opt, value, kSimMinFamilySize, kSimMaxFamilySize, n, error)) return false;
            o.min_size = static_cast<int>(n);
        } else if (name == "--max-size") {
            if (!set_int_in_range(opt, value, kSimMinFamilySize, kSimMaxFamilySize, n, error)) return false;
            o.max_size = static_cast<int>(n);
        } else if (name == "--untyped-father") {
            if (!set_rate(opt, value, o.untyped_father, error)) return false;
        } else if (name == "--untyped-parents") {
            if (!set_rate(opt, value, o.untyped_parents, error)) return false;
        } else if (name == "--missing-phenotype") {
            if (!set_rate(opt, value, o.missing_phenotype, error)) return false;
        } else if (name == "--ncov") {
            if (!set_int_in_range(opt, value, 0, kSimMaxCovariates, n, error)) return false;
            o.ncov = static_cast<int>(n);
        } else if (name == "--model") {
            int model = -1;
            for (int m = 0; m < 4; ++m)
                if (value_text == kModelNames[m] || value_text == std::to_string(m)) model = m;
            if (model < 0) {
                error = "--model: expected none, recessive, dominant or additive (or 0..3), got " + quoted(value);
                return false;
            }
            o.cmodeltype = model;
        } else if (name == "--beta") {
            if (!set_list(opt, value, o.beta, error)) return false;
        } else if (name == "--b1") {
            if (!set_list(opt, value, o.b1, error)) return false;
        } else if (name == "--b2") {
            if (!set_list(opt, value, o.b2, error)) return false;
        } else if (name == "--prevalences") {
            DVector g;
            if (!to_list(value, g) || g.size() != 2 || g[1] < 0.0 || g[1] > 1.0 || g[2] < 0.0 || g[2] > 1.0) {
                error = "--prevalences: expected two prevalences G1,G2 from 0 to 1, got " + quoted(value);
                return false;
            }
            o.gamma1 = g[1];
            o.gamma2 = g[2];
        } else if (name == "--weights") {
            if (value_text == "one" || value_text == "1") {
                o.random_weights = false;
            } else if (value_text == "random") {
                o.random_weights = true;
            } else {
                error = "--weights: expected one or random, got " + quoted(value);
                return false;
            }
        } else if (name == "--out") {
            if (value_text.empty()) {
                error = "--out: the folder name is empty";
                return false;
            }
            o.out = value_text;
            o.out_given = true;
        } else if (name == "--chromosome") {
            if (value_text != "x" && value_text != "X" && value_text != "autosome") {
                error = "--chromosome: expected x or autosome, got " + quoted(value);
                return false;
            }
            o.chromosome_x = value_text != "autosome";
        } else if (name == "--seed") {
            if (!set_int_in_range(opt, value, -kMaxSeedMagnitude, kMaxSeedMagnitude, n, error)) return false;
            o.seed = n;
        } else if (name.rfind("--subpop", 0) == 0) {
            if (!parse_subpop_option(name, value_text, o, error)) return false;
        } else if (!parse_marker_option(name, value_text, o, error)) {
            return false;
        }
    }
    return check_combinations(o, error);
}

}  // namespace quillon
