#pragma once
// Summary statistics in the GWAS Catalog's tab-separated format (GWAS-SSF v1.0): one
// coefficient's estimate, standard error and p-value per marker, BGZF-compressed with a
// tabix index and a YAML metadata file beside it:
//   PREFIX.ssf.tsv.gz, PREFIX.ssf.tsv.gz.tbi, PREFIX.ssf.tsv.gz-meta.yaml.
//
// Columns: chromosome base_pair_location effect_allele other_allele beta standard_error
// effect_allele_frequency p_value variant_id rsid n.  chromosome is 1-22, 23 for X (and
// PLINK's XY and pseudo-autosomal codes), 24 for Y, 25 for MT; effect_allele is A1, the
// counted allele; variant_id is chromosome_position_A2_A1; rsid the marker's ID when it is
// rs and digits; n the analysed children; #NA where there is no value; the frequency is A1_FREQ
// (among founders, PLINK 1.9's).  p_value is TERM_P where the row has that column, else the two-sided
// normal p of beta / SE (the same number).  When any p-value is below the smallest double the
// column is neg_log_10_p_value instead, for every row (computed from beta / SE in log space
// where p underflows).
//
// Rows are left out, and counted, when the coefficient or its SE is NA (skipped and failed
// markers too), when an allele is not A, C, G and T letters, and when the chromosome has no
// code above or the position is below 1.  The rows kept must be sorted: each chromosome's
// rows together, positions never decreasing; else InputError names the first marker out of
// order.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "formats/staged_file.hpp"
#include "method/result.hpp"
#include "report/tsv_row.hpp"
#include "scan/marker_order.hpp"

namespace quillon {

// What the metadata file says about the analysis.
struct SsfDescription {
    std::string term;             // the coefficient column, e.g. BETA_SMOKE
    std::string genome_assembly;  // GRCh38, ...
    std::string status_model, covariate_model;
    std::vector<std::string> covariates;
};

struct SsfTally {
    long rows = 0;
    long no_term = 0;       // coefficient or SE NA
    long alleles = 0;       // an allele not [ACGT]+
    long chromosome = 0;    // no chromosome code, or a position below 1
    long largest_n = 0;     // the largest n of the rows
    bool underflow = false; // a p-value below the smallest double
};

// The GWAS-SSF code of a chromosome name (1-25), or 0 when it has none.
int ssf_chromosome(const std::string& chr);

class SsfWriter {
public:
    // Throws std::invalid_argument naming the coefficient columns when `d.term` is not one of
    // `schema`, and OutputError when the scratch file of the rows cannot be made.
    SsfWriter(const Schema& schema, SsfDescription d, std::string path);

    // A marker's row; `result` null for a skipped marker or a failed fit.  Throws InputError
    // for a row out of order, OutputError.
    void add(const RowMarker& m, const RowCounts& counts, const MarkerResult* result);

    // Writes the three files under temporary names; commit() renames them.  Throws OutputError.
    void close();
    void commit();

    const SsfTally& tally() const { return tally_; }
    const std::string& path() const { return path_; }

private:
    SsfDescription d_;
    std::string path_;
    std::size_t beta_ = 0, se_ = 0, p_ = 0;
    bool has_p_ = false;
    SsfTally tally_;
    MarkerOrder order_;
    // The kept rows before the p-value column is chosen: "fields before it \t p \t -log10 p
    // \t fields after it".
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> scratch_;
    std::string line_;
    std::unique_ptr<StagedFile> data_;
    std::unique_ptr<PendingFile> meta_;
};

}  // namespace quillon
