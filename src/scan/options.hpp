#pragma once
// The options of `quillon scan`, PLINK-like, parsed with CLI11.  Parsing only reads argv:
// it prints nothing; the caller prints a usage error (standard error, exit status 2) or the
// help (standard output, exit status 0).

#include <optional>
#include <string>
#include <vector>

#include "formats/genotypes.hpp"
#include "model/settings.hpp"
#include "qc/marker_qc.hpp"

namespace quillon {

// Settings whose fit is Newton's method, the scan's default.
inline Settings newton_settings() {
    Settings s;
    s.fit = FitMethod::kNewton;
    return s;
}

struct ScanOptions {
    std::string bfile;                      // --bfile PREFIX (PREFIX.bed/.bim/.fam)
    std::string vcf;                        // --vcf FILE, with --fam
    std::string fam;                        // --fam FILE (overrides PREFIX.fam with --bfile)
    std::string covar;                      // --covar FILE
    std::vector<std::string> covar_names;   // --covar-name a,b (empty: every column)
    bool intercept = true;                  // cleared by --no-intercept
    std::string weights;                    // --weights FILE
    // --status-model (1..3), --covariate-model (0..3, None when not given), --fit (Newton's
    // method unless --fit powell); the number of covariates comes from the covariate file.
    Settings settings = newton_settings();
    // --covariate-model not given: the status model's, valid only when the covariates are
    // the intercept alone (settled once the covariate file is read).
    bool covariate_model_default = false;
    bool all_children = false;              // --all-children
    bool allow_collinear = false;           // --allow-collinear
    bool robust_se = false;                 // --robust-se
    bool wald = true, score = false;        // --test wald|score|score,wald (default wald)
    std::optional<double> refit_p;          // --refit-p P: the full fit where the score p <= P
    bool refit_on_gxe = false;              // --refit-on gxe (default joint)
    unsigned threads = 1;                   // --threads N (default: all cores)
    long chunk = 1, chunks = 1;             // --chunk K/N
    std::vector<std::string> chr;           // --chr: the chromosome codes asked for
    std::optional<long> from_bp, to_bp;     // --from-bp, --to-bp (inclusive)
    std::string extract;                    // --extract FILE
    std::string keep, remove;               // --keep FILE, --remove FILE (FID IID lists)
    bool complete_trios = false;            // --complete-trios: families with both parents typed
    std::string strata;                     // --strata NAME: the column of --covar read as the stratum
    QcFilters filters;                      // --maf, --geno, --hwe, --me (PLINK 1.9's)
    int xchr_model = 2;                     // --xchr-model: a male's allele as 2 copies or 1
    bool xchr_tie_freq = false;             // --xchr-tie-freq
    ParBuild split_par = ParBuild::kNone;   // --split-par
    // --genotypes, --dosage-field, --hard-call-threshold, --gp-floor (with --vcf): what the
    // VCF's genotypes are read from; --info-field, --min-info: the imputation quality.
    VcfReading reading;
    std::optional<double> min_info;
    // The INFO column: reading dosages or probabilities, or a quality asked for.
    bool quality_column() const {
        return reading.source != GenotypeSource::kGt || min_info || !reading.quality_field.empty();
    }
    std::string out = "quillon";            // --out PREFIX
    bool bgzip = false;                     // --bgzip: PREFIX.tsv.gz and its tabix index
    std::string ssf;                        // --ssf TERM: the coefficient of the summary statistics
    std::string build;                      // --build: their genome assembly (GRCh38, ...)
    bool quiet = false;                     // --quiet
    bool help = false;                      // --help
};

struct ScanParse {
    ScanOptions options;  // meaningful only when ok()
    std::string error;    // one line starting "quillon scan: ", no newline; empty on success
    bool ok() const { return error.empty(); }
};

// Parses argv[1..argc-1] (argv[0] is "scan").  Checks, beyond each value's form: exactly one
// of --bfile and --vcf; --vcf needs --fam; --status-model is required; --covariate-model is
// required with --covar-name, defaults to the status model otherwise (covariate_model_default),
// and with no covariate columns (--no-intercept without --covar) only none is allowed; --from-bp/--to-bp need --chr naming one chromosome; 1 <= K <= N;
// --ssf needs --build and --build needs --ssf; --build names an assembly (GRCh38, GRCh37,
// NCBI36, NCBI35, NCBI34, or hg38, hg19, hg18 in any case), kept as its GRC or NCBI name;
// --test lists wald and score (at least one, each once); --refit-p (0..1) sets both and
// --refit-on needs it; --refit-on gxe needs the intercept.
// --genotypes, --dosage-field, --hard-call-threshold, --gp-floor, --info-field and --min-info
// need --vcf; --dosage-field and --hard-call-threshold need --genotypes hardcall, --gp-floor
// --genotypes prob; --genotypes prob refuses the score tests (--test score, --refit-p) and
// --strata; --strata needs --covar and is not one of --covar-name's columns.
ScanParse parse_scan_options(int argc, char** argv);

// The --help text, ending with a newline.
std::string scan_usage_text();

}  // namespace quillon
