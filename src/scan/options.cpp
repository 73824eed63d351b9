#include "scan/options.hpp"

#include <CLI/CLI.hpp>

#include <cctype>
#include <algorithm>
#include <map>
#include <thread>

#include "formats/genotypes.hpp"
#include "input/cli.hpp"
#include "io/line_reader.hpp"

namespace quillon {

namespace {

// The option values as text, checked after CLI11 has split the command line.
struct RawOptions {
    std::string status_model, covariate_model, covar_names, chunk, chr, test, refit_on;
    bool no_intercept = false;
    bool keep_gp_prior = false;
};

void describe(CLI::App& app, ScanOptions& o, RawOptions& raw) {
    app.add_option("--bfile", o.bfile, "PLINK 1 binary fileset PREFIX.bed/.bim/.fam (SNP-major)")->type_name("PREFIX");
    app.add_option("--vcf", o.vcf, "VCF or BCF, plain or bgzipped; needs --fam")->type_name("FILE");
    app.add_option("--fam", o.fam, "pedigree and phenotypes; VCF samples are matched by IID")->type_name("FILE");
    app.add_option("--covar", o.covar, "covariates: header FID IID name..., NA or -9 missing")->type_name("FILE");
    app.add_option("--covar-name", raw.covar_names, "use only these covariate columns, in this order")
        ->type_name("a,b,...");
    app.add_flag("--no-intercept", raw.no_intercept, "no INTERCEPT column of 1s before the covariates");
    app.add_option("--weights", o.weights, "non-founders statistic weights: header FID IID WEIGHT (default 1)")
        ->type_name("FILE");
    app.add_option("--status-model", raw.status_model, "genotype on status: recessive, dominant, additive (1-3)")
        ->type_name("MODEL");
    app.add_option("--covariate-model", raw.covariate_model,
                   "genotype via covariates: none, recessive, dominant, additive (0-3)")
        ->type_name("MODEL");
    app.add_flag("--allow-collinear", o.allow_collinear,
                 "scan even with a constant or collinear covariate (rows warn near_singular)");
    app.add_flag("--all-children", o.all_children, "keep unaffected and missing-phenotype children too");
    app.add_flag("--robust-se", o.robust_se, "also family-clustered (sandwich) SEs and their Wald tests");
    app.add_option("--test", raw.test,
                   "wald (the full fit, the default), score (score tests alone, fast) or score,wald")
        ->type_name("LIST");
    app.add_option("--refit-p", o.refit_p,
                   "score tests on every marker, the full fit only where the score p-value is at most P")
        ->type_name("P")
        ->check(CLI::Range(0.0, 1.0).description(""));
    app.add_option("--refit-on", raw.refit_on, "the score test --refit-p screens with: joint (default) or gxe")
        ->type_name("TEST");
    app.add_option("--fit", o.settings.fit,
                   "newton (the default: exact maximum; falls back to powell) or powell (rows equal the single run's)")
        ->type_name("METHOD")
        ->transform(CLI::CheckedTransformer(
            std::map<std::string, FitMethod>{{"powell", FitMethod::kPowell}, {"newton", FitMethod::kNewton}},
            CLI::ignore_case).description(""));
    app.add_option("--threads", o.threads, "worker threads (default: all cores)")
        ->type_name("N")
        ->check(CLI::Range(1u, 4096u).description(""));
    app.add_option("--chunk", raw.chunk, "only the K-th of N contiguous near-equal blocks of the markers")
        ->type_name("K/N");
    app.add_option("--chr", raw.chr, "chromosomes, e.g. 1-4,22,X")->type_name("LIST");
    // A position's bound said in words: CLI11's own check prints the largest double.
    const CLI::Validator position(
        [](const std::string& v) { return v.starts_with('-') ? "'" + v + "' is negative: a position is 0 or more" : ""; },
        "");
    app.add_option("--from-bp", o.from_bp, "first position (with --chr naming one chromosome)")
        ->type_name("BP")
        ->check(position);
    app.add_option("--to-bp", o.to_bp, "last position (with --chr naming one chromosome)")
        ->type_name("BP")
        ->check(position);
    app.add_option("--extract", o.extract, "only the markers whose IDs the file lists")->type_name("FILE");
    app.add_option("--keep", o.keep, "only the individuals the file lists (FID IID)")->type_name("FILE");
    app.add_option("--remove", o.remove, "leave out the individuals the file lists (FID IID)")->type_name("FILE");
    app.add_option("--strata", o.strata,
                   "a column of --covar read as each family's stratum: prevalences per stratum, not a covariate")
        ->type_name("NAME");
    app.add_flag("--complete-trios", o.complete_trios,
                 "at each marker only families with both parents typed (PLINK's TDT rule)");
    app.add_option("--xchr-model", o.xchr_model,
                   "X: a male's allele counts as 2 copies (2, the default: X inactivation) or as 1 (1, PLINK's)")
        ->type_name("1|2")
        ->check(CLI::IsMember({1, 2}).description(""));
    app.add_flag("--xchr-tie-freq", o.xchr_tie_freq,
                 "X: the fathers' A1 frequency tied to the mothers' instead of a parameter of its own");
    app.add_option("--split-par", o.split_par,
                   "X positions in the pseudo-autosomal regions of this build analysed as autosomal")
        ->type_name("b37|b38|hg19|hg38")
        ->transform(CLI::CheckedTransformer(std::map<std::string, ParBuild>{{"b37", ParBuild::kB37},
                                                                           {"hg19", ParBuild::kB37},
                                                                           {"b38", ParBuild::kB38},
                                                                           {"hg38", ParBuild::kB38}},
                                            CLI::ignore_case)
                        .description(""));
    // The quality-control thresholds, each a fraction.
    const struct {
        const char* flag;
        std::optional<double>* value;
        const char* unit;
        const char* help;
    } thresholds[] = {
        {"--maf", &o.filters.maf, "X", "skip markers whose minor allele frequency in founders is below X"},
        {"--geno", &o.filters.geno, "X", "skip markers whose missing-call rate is above X"},
        {"--hwe", &o.filters.hwe, "P", "skip markers whose Hardy-Weinberg exact p in founders is below P"},
        {"--me", &o.filters.mendel, "X", "skip markers whose Mendel-error rate over trios is above X"}};
    for (const auto& t : thresholds)
        app.add_option(t.flag, *t.value, t.help)->type_name(t.unit)->check(CLI::Range(0.0, 1.0).description(""));
    app.add_option("--genotypes", o.reading.source,
                   "VCF genotypes from gt (the calls), hardcall (PLINK 2's hard calls of GP or DS) or prob "
                   "(likelihoods from GL, PL or GP)")
        ->type_name("MODE")
        ->transform(CLI::CheckedTransformer(std::map<std::string, GenotypeSource>{{"gt", GenotypeSource::kGt},
                                                                                   {"hardcall", GenotypeSource::kHardCall},
                                                                                   {"prob", GenotypeSource::kProbabilities}},
                                            CLI::ignore_case)
                        .description(""));
    app.add_option("--dosage-field", o.reading.field, "the hard calls' field: GP (default) or DS")
        ->type_name("FIELD")
        ->transform(CLI::CheckedTransformer(
                        std::map<std::string, DosageField>{{"GP", DosageField::kGp}, {"DS", DosageField::kDs}},
                        CLI::ignore_case)
                        .description(""));
    app.add_option("--hard-call-threshold", o.reading.hard_call_threshold,
                   "a dosage within T of 0, 1 or 2 is that call, else untyped (default 0.1)")
        ->type_name("T")
        ->check(CLI::Range(0.0, 0.4999999).description(""));
    app.add_option("--gp-floor", o.reading.gp_floor, "each likelihood vector l becomes (1 - E) l + E/3 (default 0.001)")
        ->type_name("E")
        ->check(CLI::Range(0.0, 0.999999).description(""));
    app.add_flag("--keep-gp-prior", raw.keep_gp_prior,
                 "prob: use GP as it is, its population prior left in (biased: for comparison only)");
    app.add_option("--info-field", o.reading.quality_field,
                   "INFO field of the imputation quality (default: the first of R2, DR2, INFO declared)")
        ->type_name("NAME");
    app.add_option("--min-info", o.min_info, "skip markers whose imputation quality is below X")
        ->type_name("X")
        ->check(CLI::Range(0.0, 1e9).description(""));
    app.add_option("--out", o.out, "output prefix: PREFIX.tsv, PREFIX.log, PREFIX.mendel (default quillon)")
        ->type_name("PREFIX");
    app.add_flag("--bgzip", o.bgzip, "PREFIX.tsv.gz (BGZF) and its tabix index instead of PREFIX.tsv; sorted input");
    app.add_option("--ssf", o.ssf,
                   "summary statistics of coefficient TERM (e.g. BETA_SMOKE): PREFIX.ssf.tsv.gz, .tbi, -meta.yaml")
        ->type_name("TERM");
    app.add_option("--build", o.build, "genome assembly of the positions, for --ssf: GRCh38, GRCh37, NCBI36, ...")
        ->type_name("NAME");
    app.add_flag("--quiet", o.quiet, "no progress display");
    app.footer(
        "Exactly one of --bfile and --vcf.  --status-model is required, --covariate-model too\n"
        "when there are covariates besides the intercept (with the intercept alone it is the\n"
        "status model).\n"
        "Exit status: 0 success, 1 data error, 2 usage error.");
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

bool whole_number(const std::string& text, long& value) { return parse_long(text, value) == NumberParse::kOk; }

// Chromosome list: names and numeric ranges "a-b", comma-separated.
bool expand_chromosomes(const std::string& text, std::vector<std::string>& codes) {
    for (const std::string& part : split(text, ',')) {
        if (part.empty()) return false;
        const std::size_t dash = part.find('-');
        if (dash == std::string::npos) {
            codes.push_back(chromosome_code(part));
            continue;
        }
        long lo = 0, hi = 0;
        const std::string a = chromosome_code(part.substr(0, dash)), b = chromosome_code(part.substr(dash + 1));
        if (!whole_number(a, lo) || !whole_number(b, hi) || lo < 0 || hi < lo || hi - lo > 100000) return false;
        for (long c = lo; c <= hi; ++c) codes.push_back(std::to_string(c));
    }
    return true;
}

ScanParse failure(const std::string& text) {
    ScanParse p;
    p.error = "quillon scan: " + text;
    return p;
}

}  // namespace

ScanParse parse_scan_options(int argc, char** argv) {
    ScanParse result;
    ScanOptions& o = result.options;
    o.threads = std::max(1u, std::thread::hardware_concurrency());
    o.settings.cmodeltype = kNone;
    RawOptions raw;
    CLI::App app("quillon scan", "quillon scan");
    describe(app, o, raw);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        o.help = true;
        return result;
    } catch (const CLI::ParseError& e) {
        return failure(std::string(e.what()) + " (see quillon scan --help)");
    }
    o.intercept = !raw.no_intercept;

    if (o.bfile.ends_with(".bed")) o.bfile.resize(o.bfile.size() - 4);  // the fileset's name, not its .bed
    if (o.bfile.empty() == o.vcf.empty()) return failure("give exactly one of --bfile and --vcf");
    if (!o.vcf.empty() && o.fam.empty()) return failure("--vcf needs --fam (the pedigree and phenotypes)");
    const std::pair<const char*, const std::string*> paths[] = {
        {"--bfile", &o.bfile},     {"--vcf", &o.vcf},         {"--fam", &o.fam}, {"--covar", &o.covar},
        {"--weights", &o.weights}, {"--extract", &o.extract}, {"--out", &o.out}, {"--keep", &o.keep},
        {"--remove", &o.remove},   {"--strata", &o.strata}};
    for (const auto& [name, value] : paths)
        if (app.count(name) != 0 && value->empty()) return failure(std::string(name) + " needs a value");
    if (!raw.covar_names.empty()) {
        if (o.covar.empty()) return failure("--covar-name needs --covar");
        o.covar_names = split(raw.covar_names, ',');
        for (const std::string& name : o.covar_names)
            if (name.empty()) return failure("--covar-name: empty column name in '" + raw.covar_names + "'");
    }
    if (!o.strata.empty()) {
        if (o.covar.empty()) return failure("--strata names a column of --covar: it needs --covar");
        if (std::find(o.covar_names.begin(), o.covar_names.end(), o.strata) != o.covar_names.end())
            return failure("--strata " + o.strata + " is the stratum, not a covariate: leave it out of --covar-name");
    }

    if (raw.status_model.empty()) return failure("--status-model is required (recessive, dominant or additive)");
    const std::optional<int> smodel = parse_model_type(raw.status_model, 1);
    if (!smodel) return failure("--status-model: '" + raw.status_model + "' is not recessive, dominant, additive, 1, 2 or 3");
    o.settings.smodeltype = *smodel;
    const bool has_covariates = o.intercept || !o.covar.empty();
    if (!raw.covariate_model.empty()) {
        const std::optional<int> cmodel = parse_model_type(raw.covariate_model, 0);
        if (!cmodel)
            return failure("--covariate-model: '" + raw.covariate_model +
                           "' is not none, recessive, dominant, additive, 0, 1, 2 or 3");
        o.settings.cmodeltype = *cmodel;
        if (!has_covariates && o.settings.cmodeltype != kNone)
            return failure("--covariate-model " + raw.covariate_model +
                           " needs covariates, but --no-intercept without --covar leaves none (use none)");
    } else if (has_covariates) {
        // With the intercept alone the covariate model is the status model's; whether the
        // covariate file adds columns is known once it is read.
        if (!o.covar_names.empty())
            return failure("--covariate-model is required with covariates besides the intercept "
                           "(none, recessive, dominant or additive)");
        o.covariate_model_default = true;
        o.settings.cmodeltype = o.settings.smodeltype;
    }

    if (!raw.test.empty()) {
        o.wald = o.score = false;
        for (const std::string& t : split(raw.test, ',')) {
            bool& flag = t == "wald" ? o.wald : o.score;
            if ((t != "wald" && t != "score") || flag)
                return failure("--test: '" + raw.test + "' is not wald, score or score,wald");
            flag = true;
        }
    }
    if (!raw.refit_on.empty()) {
        if (!o.refit_p) return failure("--refit-on needs --refit-p");
        if (raw.refit_on != "joint" && raw.refit_on != "gxe")
            return failure("--refit-on: '" + raw.refit_on + "' is not joint or gxe");
        o.refit_on_gxe = raw.refit_on == "gxe";
        if (o.refit_on_gxe && !o.intercept) return failure("--refit-on gxe needs the intercept (drop --no-intercept)");
    }
    if (o.refit_p) {
        if (!raw.test.empty() && !(o.wald && o.score))
            return failure("--refit-p computes both tests: leave out --test or give --test score,wald");
        o.wald = o.score = true;
    }
    if (o.robust_se && !o.wald) return failure("--robust-se needs the full fit (--test wald or score,wald)");
    if (!raw.chunk.empty()) {
        const std::vector<std::string> kn = split(raw.chunk, '/');
        if (kn.size() != 2 || !whole_number(kn[0], o.chunk) || !whole_number(kn[1], o.chunks) || o.chunks < 1 ||
            o.chunks > 1000000 || o.chunk < 1 || o.chunk > o.chunks)
            return failure("--chunk: '" + raw.chunk + "' is not K/N with 1 <= K <= N <= 1000000");
    }
    if (!raw.chr.empty() && !expand_chromosomes(raw.chr, o.chr))
        return failure("--chr: '" + raw.chr + "' is not a list of chromosomes such as 1-4,22,X");
    if ((o.from_bp || o.to_bp) && o.chr.size() != 1)
        return failure("--from-bp and --to-bp need --chr naming exactly one chromosome");
    if (o.from_bp && o.to_bp && *o.from_bp > *o.to_bp) return failure("--from-bp is after --to-bp");
    if (app.count("--ssf") != 0 && o.ssf.empty()) return failure("--ssf needs a coefficient column, e.g. BETA_X");
    const bool reading_given = o.reading.source != GenotypeSource::kGt || app.count("--dosage-field") != 0 ||
                               app.count("--hard-call-threshold") != 0 || app.count("--gp-floor") != 0 ||
                               app.count("--info-field") != 0 || o.min_info;
    if (reading_given && o.vcf.empty())
        return failure("--genotypes, --dosage-field, --hard-call-threshold, --gp-floor, --info-field and --min-info "
                       "read a VCF: they need --vcf");
    if ((app.count("--dosage-field") != 0 || app.count("--hard-call-threshold") != 0) &&
        o.reading.source != GenotypeSource::kHardCall)
        return failure(o.reading.source == GenotypeSource::kProbabilities && o.reading.field == DosageField::kDs
                           ? "--dosage-field DS gives one number per person, not the three --genotypes prob needs "
                             "(it reads GL, PL or GP); use --genotypes hardcall"
                           : "--dosage-field and --hard-call-threshold need --genotypes hardcall");
    if ((app.count("--gp-floor") != 0 || raw.keep_gp_prior) && o.reading.source != GenotypeSource::kProbabilities)
        return failure("--gp-floor and --keep-gp-prior need --genotypes prob");
    if (o.score && o.reading.source == GenotypeSource::kProbabilities)
        return failure(std::string("the score tests read hard calls: --genotypes prob gives only the full fit (") +
                       (o.refit_p ? "leave out --refit-p" : "leave out --test or give --test wald") +
                       "), or use --genotypes hardcall");
    if (!o.strata.empty() && o.reading.source == GenotypeSource::kProbabilities)
        return failure("--strata reads hard calls: --genotypes prob takes no strata (use --genotypes hardcall)");
    o.reading.divide_prior = !raw.keep_gp_prior;
    if (app.count("--info-field") != 0 && o.reading.quality_field.empty()) return failure("--info-field needs a value");
    o.reading.quality_default = o.reading.quality_field.empty();
    o.reading.quality_required = o.min_info.has_value();
    if (!o.quality_column()) o.reading.quality_default = false;
    if (o.ssf.empty() != o.build.empty())
        return failure(o.ssf.empty() ? "--build needs --ssf" : "--ssf needs --build (the genome assembly, e.g. GRCh38)");
    if (!o.build.empty()) {
        static const std::map<std::string, std::string> assemblies = {
            {"grch38", "GRCh38"}, {"grch37", "GRCh37"}, {"ncbi36", "NCBI36"}, {"ncbi35", "NCBI35"},
            {"ncbi34", "NCBI34"}, {"hg38", "GRCh38"},   {"hg19", "GRCh37"},   {"hg18", "NCBI36"}};
        std::string key;
        for (const char c : o.build) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto it = assemblies.find(key);
        if (it == assemblies.end())
            return failure("--build: '" + o.build + "' is not GRCh38, GRCh37, NCBI36, NCBI35, NCBI34, hg38, hg19 or hg18");
        o.build = it->second;
    }
    return result;
}

std::string scan_usage_text() {
    ScanOptions o;
    RawOptions raw;
    CLI::App app("Genome-wide scan: one row per marker of a PLINK fileset or a VCF, on all cores.",
                 "quillon scan");
    describe(app, o, raw);
    std::string text = app.help();
    if (!text.ends_with('\n')) text += '\n';
    return text;
}

}  // namespace quillon
