#include "scan/scan.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <new>
#include <memory>
#include <optional>
#include <stdexcept>

#include "formats/genotypes.hpp"
#include "qc/person_list.hpp"
#include "qc/qc_people.hpp"
#include "io/heap_pages.hpp"
#include "io/interrupt.hpp"
#include "io/output_guard.hpp"
#include "formats/study.hpp"
#include "method/marker_test.hpp"
#include "model/covariate_scale.hpp"
#include "model/settings.hpp"
#include "quillon_version.hpp"
#include "report/tsv_row.hpp"
#include "scan/covariate_check.hpp"
#include "scan/empty_scan.hpp"
#include "scan/marker_loop.hpp"
#include "scan/options.hpp"
#include "scan/score_pass.hpp"
#include "scan/ssf_writer.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

namespace {

// A data fault found before the markers: the message, then exit status 1.
struct Refusal {
    std::string text;
    int status = 1;  // 2 for a usage error found only once the files are read
};

std::string command_line(int argc, char** argv) {
    std::string line = "quillon";
    for (int i = 0; i < argc; ++i) {
        line += ' ';
        line += argv[i];
    }
    return line;
}

bool intercept_alone(const ScanOptions& o, const Study& study) { return o.intercept && study.ncov() == 1; }

Settings scan_settings(const ScanOptions& o, const Study& study) {
    Settings s = o.settings;
    s.ncov = static_cast<long>(study.covariate_names.size());
    if (o.covariate_model_default && !intercept_alone(o, study)) {
        if (s.ncov > 0)
            throw Refusal{"--covariate-model is required with covariates besides the intercept (" +
                              std::to_string(s.ncov - (o.intercept ? 1 : 0)) + " in " + o.covar +
                              "): none, recessive, dominant or additive",
                          2};
        s.cmodeltype = kNone;
    }
    if (!study.strata.empty()) s.nstrata = static_cast<long>(study.strata.size());
    derive_model_codings(s);
    return s;
}

// The families whose parents are not both typed at study level: a parent is typed when the
// .fam names them, --keep/--remove keep them and the genotype file holds them.
struct ParentCounts {
    long families = 0, lacking = 0, none = 0;
};
ParentCounts parent_counts(const Study& study, const std::vector<char>& keep, const GenotypeReader& reader) {
    ParentCounts c;
    const auto typed = [&](long p) { return p >= 0 && keep[static_cast<std::size_t>(p)] && reader.in_file(p); };
    for (const NuclearFamily& f : study.families) {
        const int n = (typed(f.father) ? 1 : 0) + (typed(f.mother) ? 1 : 0);
        ++c.families;
        c.lacking += n < 2;
        c.none += n == 0;
    }
    return c;
}

// Said once (log and standard error) when covariates enter and more than 10% of the families
// lack a typed parent, without --strata or --complete-trios.
std::string pooled_prior_warning(const ScanOptions& o, const Settings& s, const ParentCounts& c) {
    if (s.ncov == 0 || o.complete_trios || !o.strata.empty() || 10 * c.lacking <= c.families) return "";
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%", 100.0 * static_cast<double>(c.lacking) / static_cast<double>(c.families));
    return std::string("Warning: ") + share + " of the families lack a typed parent.  Their untyped parents' "
           "genotypes are averaged over genotype prevalences pooled over the whole sample, as if it were one "
           "randomly mating population.  Under population structure (groups with different allele frequencies) "
           "this biases the coefficients, the covariate (GxE) terms most, while the non-founders statistic stays "
           "calibrated.  Remedies: --complete-trios (families with both parents typed only), --strata NAME "
           "(prevalences per ancestry group or site), or an ancestry covariate tested apart from E.\n";
}

// The strata with their families, and the families without a typed parent, for the log.
std::string strata_log(const ScanOptions& o, const Study& study, const ParentCounts& c) {
    std::string log;
    if (!study.strata.empty()) {
        log += "Strata (column " + o.strata + " of " + o.covar + ", in byte order; prevalences per stratum):";
        for (std::size_t k = 0; k < study.strata.size(); ++k)
            log += (k ? ", " : " ") + study.strata[k] + " " + std::to_string(study.stratum_families[k]) + " families";
        log += "\n";
    }
    if (c.lacking > 0)
        log += "Families lacking a typed parent (the .fam, --keep/--remove and the genotype file): " +
               std::to_string(c.lacking) + " of " + std::to_string(c.families) + "; with no typed parent (no "
               "transmission information): " + std::to_string(c.none) + "\n";
    return log;
}

// The scan's tests, their settings checked once.
TestSelector scan_tests(const Settings& s, const TestOptions& options) {
    try {
        return TestSelector(s, options);
    } catch (const SettingsRefused& e) {
        if (e.check().fault == SettingsFault::kCovariateModelWithoutCovariates)
            throw Refusal{"--covariate-model " + std::string(modedesc[s.cmodeltype]) +
                          " needs covariates, but the covariate file has no columns"};
        throw Refusal{e.check().reason};
    }
}

MarkerFilter marker_filter(const ScanOptions& o) {
    MarkerFilter f;
    f.chr.insert(o.chr.begin(), o.chr.end());
    f.from_bp = o.from_bp;
    f.to_bp = o.to_bp;
    if (!o.extract.empty()) {
        f.extract = read_extract_file(o.extract);
        f.use_extract = true;
    }
    return f;
}

int largest_study_family(const Study& study) {
    std::size_t children = 1;
    for (const NuclearFamily& f : study.families) children = std::max(children, f.children.size());
    return static_cast<int>(std::min<std::size_t>(2 + children, maxfamilysize));
}

// Whether the selection holds a marker analysed as X-linked (named X, outside the
// pseudo-autosomal regions that `par` splits off).
bool selects_x(const Selection& sel, const std::vector<XPlace>& places, ParBuild par) {
    for (const XPlace& x : places) {
        if (pseudo_autosomal(x.bp, par)) continue;
        // The first run that ends after the marker, and whether it holds it.
        const auto run = std::upper_bound(sel.runs.begin(), sel.runs.end(), x.index,
                                          [](long i, const std::pair<long, long>& r) { return i < r.second; });
        if (run != sel.runs.end() && run->first <= x.index) return true;
    }
    return false;
}

const char* const kSonsUninformative =
    "On X with --xchr-model 1 and a recessive model a son's one allele has the relative risk of a "
    "heterozygote, 1: sons carry no information about the effect.\n";

// The X markers' lines of the log: the model, who is left out and what was read as untyped.
// None in a scan without X markers.
std::string x_log(const ScanOptions& o, const Study& study, const LoopTotals& t) {
    if (t.x_markers == 0) return "";
    const StudyCounts& c = study.counts;
    std::string log = "X markers: " + std::to_string(t.x_markers) + "; X model: --xchr-model " +
                      std::to_string(o.xchr_model) +
                      (o.xchr_model == 2 ? " (a male's allele counts as two copies, as under X inactivation)"
                                         : " (a male's allele counts as one copy)") +
                      (o.xchr_tie_freq ? "; the fathers' A1 frequency tied to the mothers'"
                                       : "; the fathers' A1 frequency a parameter of its own (PREV_FATHER_A1)") +
                      (o.split_par == ParBuild::kNone ? ""
                       : o.split_par == ParBuild::kB37 ? "; pseudo-autosomal positions of b37 analysed as autosomal"
                                                       : "; pseudo-autosomal positions of b38 analysed as autosomal") +
                      "\n";
    log += "On X: children of unknown sex left out: " + std::to_string(c.x_unknown_sex_children) +
           "; parents taken in their role's sex (sex unknown or contrary in the .fam): " +
           std::to_string(c.x_parents_role_sex) + "\n";
    log += "On X: heterozygous male calls read as untyped: " + std::to_string(t.x_het_males) + " at " +
           std::to_string(t.x_het_markers) + " markers; haploid calls of females or people of unknown sex read as "
           "untyped: " + std::to_string(t.x_haploid_females) + "\n";
    for (const std::string& line : t.x_het_lines) log += "Heterozygous males of the typed males: " + line + "\n";
    if (static_cast<long>(t.x_het_lines.size()) < t.x_het_markers)
        log += "(only the first " + std::to_string(t.x_het_lines.size()) + " such markers are listed)\n";
    if (t.x_par_like > 0) {
        log += "Warning: at " + std::to_string(t.x_par_like) +
               " X markers more than 1% of the typed males are heterozygous; they may lie in a pseudo-autosomal "
               "region (see --split-par b37|b38|hg19|hg38):";
        for (const std::string& id : t.x_par_like_ids) log += " " + id;
        if (static_cast<long>(t.x_par_like_ids.size()) < t.x_par_like) log += " ...";
        log += "\n";
    }
    return log;
}

std::string shortest(double x) {
    std::string text;
    append_number(text, x);
    return text;
}

// The log's lines on how a VCF's dosages or probabilities were read (none for GT calls).
std::string reading_log(const ScanOptions& o, const LoopTotals& t) {
    const VcfReading& r = o.reading;
    std::string log;
    char line[400];
    if (r.source == GenotypeSource::kHardCall) {
        std::snprintf(line, sizeof line,
                      "Genotypes: hard calls of %s (a dosage rounded to 1/16384 within %s of 0, 1 or 2, else "
                      "untyped; GT where a person has no %s)\n",
                      r.field == DosageField::kDs ? "DS" : "GP", shortest(r.hard_call_threshold).c_str(),
                      r.field == DosageField::kDs ? "DS" : "GP");
        log += line;
    } else if (r.source == GenotypeSource::kProbabilities) {
        std::snprintf(line, sizeof line,
                      "Genotypes: likelihood vectors from GL, else PL, else GP %s; floor %s; GT where a person has "
                      "none\n",
                      r.divide_prior ? "divided by its Hardy-Weinberg prior (at INFO/AF, else the samples' mean dosage)"
                                     : "with its prior left in (--keep-gp-prior)",
                      shortest(r.gp_floor).c_str());
        log += line;
        log += "Standard errors: from the observed information (the negative Hessian of the log-likelihood at "
               "its maximum)\n";
        log += "NFS: the dosage transmission statistic (each child's expected dosage against its parents' mean, "
               "variance from the families' own scores)\n";
        log += "Markers on X skipped (rows skipped:x_probabilities): " +
               std::to_string(t.rows[static_cast<int>(RowKind::kXProbabilities)]) + "\n";
    }
    if (r.source != GenotypeSource::kGt)
        log += "Calls read as untyped for a malformed value: " + std::to_string(t.malformed_calls) +
               "; records without the field (everyone untyped): " + std::to_string(t.field_absent) + "\n";
    if (o.quality_column())
        log += "Imputation quality (column INFO): " +
               (r.quality_field.empty() ? std::string("the first of INFO/R2, DR2, INFO the header declares")
                                        : "INFO/" + r.quality_field) +
               (o.min_info ? "; markers below " + shortest(*o.min_info) + " skipped (rows skipped:low_info)"
                           : std::string()) +
               "\n";
    return log;
}

std::string log_text(const std::string& command, const ScanOptions& o, const Study& study, const Settings& s,
                     const Selection& sel, const LoopTotals& t, const SsfWriter* ssf, double seconds) {
    std::string log = std::string("quillon ") + QUILLON_VERSION + " scan\n" + command + "\n\n";
    for (const std::string& line : study.log_lines) log += line + "\n";
    log += "Covariate columns:";
    for (const std::string& c : study.covariate_names) log += " " + c;
    if (study.covariate_names.empty()) log += " none";
    log += "\nStatus model: " + std::string(modedesc[s.smodeltype]) +
           "; covariate model: " + std::string(modedesc[s.cmodeltype]) + "; parameters: " + std::to_string(s.npars) +
           "\n";
    if (o.covariate_model_default && intercept_alone(o, study))
        log += "Covariate model: not given; with the intercept alone it is the status model's (one coefficient: "
               "the log relative risk per coded genotype)\n";
    log += "Markers in the file: " + std::to_string(sel.file_markers) +
           "; selected: " + std::to_string(sel.filtered);
    if (o.chunks > 1)
        log += "; chunk " + std::to_string(o.chunk) + "/" + std::to_string(o.chunks) + ": " +
               std::to_string(sel.total());
    log += "\nMulti-allelic records skipped (rows skipped:multiallelic): " + std::to_string(t.multiallelic) + "\n";
    if (t.haploid_calls > 0)
        log += "Haploid calls read as untyped (the model is diploid): " + std::to_string(t.haploid_calls) + "\n";
    // With probabilities X markers are skipped (reading_log says how many): no X model ran.
    if (o.reading.source != GenotypeSource::kProbabilities) log += x_log(o, study, t);
    log += reading_log(o, t);
    log += "Rows:";
    for (int k = 0; k < static_cast<int>(RowKind::kCount); ++k)
        if (k < kFirstDosageKind || t.rows[k] > 0)
            log += std::string(k ? ", " : " ") + kRowKindNames[k] + " " + std::to_string(t.rows[k]);
    if (s.fit == FitMethod::kPowell)
        log += "\nRows whose direction-set fit stopped more than 0.001 log-likelihood units short of Newton's maximum "
               "(STATUS short_of_maximum; --fit newton reaches it): " + std::to_string(t.short_of_maximum);
    if (o.refit_p) {
        char refit[160];
        std::snprintf(refit, sizeof refit, "\nRows with the score tests alone (ok:score_only, %s p-value above %g): %ld",
                      o.refit_on_gxe ? "SCORE_GXE" : "SCORE_JOINT", *o.refit_p, t.score_only);
        log += refit;
    }
    log += "\nFamilies left out for a Mendel error (over all markers, listed in " + o.out +
           ".mendel): " + std::to_string(t.mendel_lines) + "; genotypes in " + o.out +
           ".mendel count copies of A1\n";
    for (const std::string& f : t.failures) log += "Failed: " + f + "\n";
    if (static_cast<long>(t.failures.size()) < t.rows[static_cast<int>(RowKind::kFailed)])
        log += "(only the first " + std::to_string(t.failures.size()) + " failed markers are listed)\n";
    for (const std::string& f : t.fallbacks) log += "Fell back to the direction-set fit: " + f + "\n";
    if (static_cast<long>(t.fallbacks.size()) < t.fell_back)
        log += "(only the first " + std::to_string(t.fallbacks.size()) + " fallbacks are listed)\n";
    if (ssf != nullptr) {
        const SsfTally& f = ssf->tally();
        log += "Summary statistics of " + o.ssf + " in " + ssf->path() + ": " + std::to_string(f.rows) +
               " rows; left out: " + std::to_string(f.no_term) + " without " + o.ssf + " or its SE, " +
               std::to_string(f.alleles) + " with alleles not of A, C, G, T, " + std::to_string(f.chromosome) +
               " without a chromosome code 1-25 or a position\n";
        if (f.underflow) log += "p-values below the smallest double: the file gives neg_log_10_p_value\n";
    }
    char elapsed[64];
    std::snprintf(elapsed, sizeof elapsed, "Threads: %u\nElapsed: %.3f s\n", o.threads, seconds);
    return log + elapsed;
}

// The files the scan reads, for the check that no output is one of them.
std::vector<std::string> input_files(const ScanOptions& o) {
    std::vector<std::string> inputs = {o.fam.empty() ? o.bfile + ".fam" : o.fam, o.covar, o.weights, o.extract,
                                       o.keep, o.remove};
    if (o.bfile.empty())
        inputs.push_back(o.vcf);
    else
        inputs.insert(inputs.end(), {o.bfile + ".bed", o.bfile + ".bim"});
    return inputs;
}

// An output (or the lock beside them) that is an input, whatever its spelling: refused
// before anything is read or written, since the outputs replace earlier files of their names.
std::string output_over_input(const ScanOptions& o) {
    for (const char* suffix : {".tsv", ".log", ".mendel", ".lock", ".tsv.gz", ".tsv.gz.tbi", ".ssf.tsv.gz",
                               ".ssf.tsv.gz.tbi", ".ssf.tsv.gz-meta.yaml"})
        for (const std::string& input : input_files(o))
            if (!input.empty() && same_file(o.out + suffix, input))
                return "--out " + o.out + " would write " + o.out + suffix + " over the input " + input +
                       " (the same file); choose another --out";
    return "";
}

const char* const kNfsByDesign =
    "The non-founders statistic is undefined at every marker by the design: with the intercept (or a constant "
    "covariate), every child weighted alike and this covariate model, the status score is a combination of the "
    "coefficients' scores.  Its columns are NA and the rows ok; for the statistic use --no-intercept, or weights "
    "that differ.\n";

// Which selection left no marker, in the options' words.
std::string empty_selection(const ScanOptions& o, const Selection& sel) {
    std::string what;
    const auto add = [&what](const std::string& text) { what += (what.empty() ? "" : ", ") + text; };
    if (!o.chr.empty()) add("--chr");
    if (o.from_bp || o.to_bp) add("--from-bp/--to-bp");
    if (!o.extract.empty()) add("--extract " + o.extract);
    if (sel.file_markers == 0) return "the genotype file holds no marker";
    return "no marker selected: " + (what.empty() ? std::string("the selection") : what) + " matched none of the " +
           std::to_string(sel.file_markers) + " markers of the genotype file";
}

// After a scan in which markers failed: how many, the most common reason and, when a
// covariate is on a large scale (the usual cause), the advice the single run gives.
std::string failure_summary(const Study& study, const LoopTotals& t) {
    const long failed = t.rows[static_cast<int>(RowKind::kFailed)];
    if (failed == 0) return "";
    long analysed = 0;
    for (const RowKind k : {RowKind::kOk, RowKind::kWarning, RowKind::kFailed}) analysed += t.rows[static_cast<int>(k)];
    auto most = t.failure_reasons.begin();
    for (auto it = t.failure_reasons.begin(); it != t.failure_reasons.end(); ++it)
        if (it->second > most->second) most = it;
    std::string text = "quillon scan: " + std::to_string(failed) + " of " + std::to_string(analysed) +
                       " analysed markers failed, most often: " + most->first.substr(most->first.find(':') + 1) +
                       " (" + std::to_string(most->second) + " markers)\n";
    std::vector<const double*> rows;  // the members of the families, in order
    for (const NuclearFamily& f : study.families)
        for (const long p : {f.father, f.mother})
            if (p >= 0) rows.push_back(study.covariates(static_cast<std::size_t>(p)));
    for (const NuclearFamily& f : study.families)
        for (const long c : f.children) rows.push_back(study.covariates(static_cast<std::size_t>(c)));
    if (const std::optional<CovariateScale> w = widest_covariate(rows, study.ncov())) {
        char line[400];
        std::snprintf(line, sizeof line,
                      "quillon scan: covariate %s has mean %.6g and standard deviation %.6g: centre and scale it, "
                      "(value - mean) / SD, and run again.\n",
                      study.covariate_names[static_cast<std::size_t>(w->column)].c_str(), w->mean, w->sd);
        text += line;
    }
    return text;
}

// The closing line: markers analysed, skipped by kind, failed, the time and the files.
std::string closing_summary(const LoopTotals& t, double seconds, const std::vector<std::string>& written) {
    const auto rows = [&t](RowKind k) { return t.rows[static_cast<int>(k)]; };
    std::string text = "quillon scan: " + std::to_string(rows(RowKind::kOk) + rows(RowKind::kWarning)) +
                       " markers analysed (" + std::to_string(rows(RowKind::kWarning)) + " with a warning), " +
                       std::to_string(rows(RowKind::kFailed)) + " failed, skipped:";
    std::string skipped;
    for (int k = static_cast<int>(RowKind::kNonAutosomal); k < static_cast<int>(RowKind::kCount); ++k)
        if (t.rows[k] > 0)
            skipped += (skipped.empty() ? " " : ", ") + std::to_string(t.rows[k]) + " " +
                       std::string(kRowKindNames[k]).substr(8);
    if (t.multiallelic > 0) skipped += (skipped.empty() ? " " : ", ") + std::to_string(t.multiallelic) + " multiallelic";
    text += skipped.empty() ? " none" : skipped;
    char time[64];
    std::snprintf(time, sizeof time, "; %.1f s; wrote", seconds);
    text += time;
    for (const std::string& f : written) text += " " + f;
    return text + "\n";
}

int scan(int argc, char** argv, const ScanOptions& o, const InterruptWatch& interrupt) {
    const auto start = std::chrono::steady_clock::now();
    const OutputLock lock(o.out);
    const std::string fam = !o.fam.empty() ? o.fam : o.bfile + ".fam";
    populate_heap(start_up_heap(fam));
    StudyOptions so;
    so.intercept = o.intercept;
    so.covar_names = o.covar_names;
    so.all_children = o.all_children;
    so.complete_trios = o.complete_trios;
    so.strata = o.strata;
    const Study study = form_study(fam, o.covar, o.weights, so);
    if (study.families.empty()) throw Refusal{no_family_cause(study, fam, o.covar, o.weights)};
    std::vector<std::string> keep_log;
    const std::vector<char> keep = keep_mask(study.people, o.keep, o.remove, keep_log);
    const QcPeople qc = qc_people(study.people, keep);
    for (const std::string& w : study.warnings) std::fprintf(stderr, "quillon scan: warning: %s\n", w.c_str());
    const Settings settings = scan_settings(o, study);
    if (!o.allow_collinear)
        if (const std::string fault = covariate_design_fault(study); !fault.empty())
            throw Refusal{fault + ", or scan anyway with --allow-collinear"};
    TestOptions test_options{.intercept = o.intercept, .robust = o.robust_se, .xchr_model = o.xchr_model,
                             
                             .xchr_tie_freq = o.xchr_tie_freq,
                             .probabilities = o.reading.source == GenotypeSource::kProbabilities,
                             .wald = o.wald, .score = o.score,
                             .refit_p = o.refit_p, .refit_on_gxe = o.refit_on_gxe, .strata = study.strata};
    const TestSelector tests = scan_tests(settings, test_options);
    const MarkerFilter filter = marker_filter(o);
    const std::unique_ptr<GenotypeReader> reader =
        o.bfile.empty() ? open_vcf(o.vcf, study.people, o.reading) : open_bed(o.bfile, study.people);

    const ParentCounts parents = parent_counts(study, keep, *reader);
    const std::string pooled_warning = pooled_prior_warning(o, settings, parents);
    Marker scratch;
    const Selection selection = select_markers(*reader, filter, o.chunk, o.chunks, scratch);
    // (An empty chunk of a selection is no fault: a workflow may cut more chunks than markers.)
    if (selection.filtered == 0) throw Refusal{empty_selection(o, selection)};
    interrupt.check();
    const GenotypeTable table = build_genotype_table(largest_study_family(study));
    // With probabilities NFS is the dosage transmission statistic, defined whatever the design.
    const bool nfs_by_design = o.wald && o.reading.source != GenotypeSource::kProbabilities &&
                               nfs_undefined_by_design(study, settings);
    const std::optional<ScoreLayout> score_layout =
        o.score ? std::optional<ScoreLayout>(std::in_place, study, qc) : std::nullopt;
    const MarkerTest* x_test = tests.select(ChromosomeClass::kX);  // none with the score tests alone
    const bool with_x = x_test != nullptr && selects_x(selection, reader->x_places(), o.split_par);
    const Schema schema = tests.schema(study.covariate_names, with_x);
    const Schema autosome_schema = tests.schema(study.covariate_names);
    const Schema x_schema = x_test != nullptr ? schema_of(*x_test, study.covariate_names) : Schema{};
    ScanContext ctx{study, tests, table, qc, o.filters, keep, o.split_par, nullptr, nullptr, nullptr, nfs_by_design,
                    score_layout ? &*score_layout : nullptr, o.min_info};
    if (with_x) {
        ctx.table_columns = &schema;
        ctx.autosome_columns = &autosome_schema;
        ctx.x_columns = &x_schema;
    }

    std::unique_ptr<SsfWriter> ssf;
    if (!o.ssf.empty()) {
        SsfDescription d{o.ssf, o.build, modedesc[settings.smodeltype], modedesc[settings.cmodeltype],
                         study.covariate_names};
        try {
            ssf = std::make_unique<SsfWriter>(schema, std::move(d), o.out + ".ssf.tsv.gz");
        } catch (const std::invalid_argument& e) {
            throw Refusal{e.what()};
        }
    }
    StagedFile tsv(o.out + (o.bgzip ? ".tsv.gz" : ".tsv"), o.bgzip);
    PendingFile mendel(o.out + ".mendel"), log(o.out + ".log");
    tsv.write((o.bgzip ? "#" : "") + tsv_header(schema, o.quality_column()));
    mendel.write(kMendelHeader);
    Progress progress(selection.total(), !o.quiet);
    OutcomeWriter writer(study, schema, tsv, mendel, ssf.get(), o.bgzip, o.quality_column());
    run_marker_loop(ctx, *reader, selection, o.threads, writer, progress, interrupt);
    progress.finish();
    const LoopTotals& totals = writer.totals();
    // (Nor is a chunk that analyses nothing: other chunks may.)
    if (o.chunks == 1)
        if (const std::string why = nothing_analysed(totals, o.complete_trios); !why.empty())
            throw Refusal{why + "; no result files were written"};
    const std::string failures = failure_summary(study, totals);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string text = log_text(command_line(argc, argv), o, study, settings, selection, totals, ssf.get(), seconds);
    text.insert(text.find("Status model: "), strata_log(o, study, parents));
    std::string notes;
    for (const std::string& line : keep_log) notes += line + "\n";
    for (const std::string& w : study.warnings) notes += "Warning: " + w + "\n";
    notes += pooled_warning;
    if (nfs_by_design) notes += kNfsByDesign;
    const bool sons_warning = totals.x_markers > 0 && tests.x_sons_uninformative();
    if (sons_warning) notes += kSonsUninformative;
    notes += failures;
    text.insert(text.rfind("Threads: "), notes);
    log.write(text);
    tsv.close();
    if (o.bgzip) tsv.build_index(TabixColumns{1, 3, 3, 0});
    if (ssf) ssf->close();
    mendel.close();
    log.close();
    interrupt.check();
    mendel.commit();
    tsv.commit();
    if (ssf) ssf->commit();
    log.commit();
    if (nfs_by_design) std::fprintf(stderr, "quillon scan: %s", kNfsByDesign);
    if (!pooled_warning.empty()) std::fprintf(stderr, "quillon scan: warning: %s", pooled_warning.substr(9).c_str());
    if (sons_warning) std::fprintf(stderr, "quillon scan: warning: %s", kSonsUninformative);
    std::fputs(failures.c_str(), stderr);
    if (!o.quiet) {
        std::vector<std::string> written = {tsv.path(), log.path(), mendel.path()};
        if (ssf) written.push_back(ssf->path());
        std::fputs(closing_summary(totals, seconds, written).c_str(), stderr);
    }
    return 0;
}

}  // namespace

int run_scan(int argc, char** argv) {
    // A closed standard descriptor would be handed to the first file opened, and a library's
    // message on standard error would then land in a result.
    ensure_standard_descriptors();
    const ScanParse parsed = parse_scan_options(argc, argv);
    if (!parsed.ok()) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(scan_usage_text().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (const std::string why = output_over_input(parsed.options); !why.empty()) {
        std::fprintf(stderr, "quillon scan: %s\n", why.c_str());
        return 2;
    }
    std::string error;
    try {
        const InterruptWatch interrupt;  // before any worker thread starts
        try {
            return scan(argc, argv, parsed.options, interrupt);
        } catch (const Interrupted& e) {
            std::fprintf(stderr, "\nquillon scan: stopped by %s; no result files were written\n",
                         e.signal == SIGINT ? "SIGINT" : "SIGTERM");
            return 128 + e.signal;
        }
    } catch (const InputError& e) {
        error = e.what();
    } catch (const OutputError& e) {
        error = e.what();
    } catch (const Refusal& e) {
        if (e.status != 1) {
            std::fprintf(stderr, "quillon scan: %s\n", e.text.c_str());
            return e.status;
        }
        error = e.text;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    } catch (const NumericalError& e) {
        // Running out of memory anywhere (reading, family tables, a fit, any thread) ends
        // the scan; a marker's other numerical errors are its failed: row and end here only
        // when raised outside a test.
        error = e.kind() == NumericalKind::kAllocation ? "out of memory" : std::string("unexpected error: ") + e.what();
    } catch (const std::exception& e) {
        error = std::string("unexpected error: ") + e.what();
    }
    std::fprintf(stderr, "quillon scan: %s\n", error.c_str());
    return 1;
}

}  // namespace quillon
