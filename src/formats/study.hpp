#pragma once
// A family study as the scan sees it: the individuals of a PLINK .fam file, their covariates
// and weights, and the nuclear families formed from them once, before any marker is read.
//
// Nuclear families: a (father, mother) pair with at least one child in the file (children
// are the lines whose PAT and MAT are not both "0").  Families come in the order of their
// first child in the .fam; members are father, mother, then the children in .fam order.  A
// parent named by a child but absent from the file, or given as "0" while the other parent
// is named, is an untyped placeholder (phenotype missing, covariates 0, weight 0).  A person
// may be a child in one family and a parent in another; half-sibships are separate
// families.  By default only affected children (phenotype 2) enter; with all_children every
// child does.  Children without a covariate line or with a missing covariate are left out; a
// family left with no child is dropped; a family with more than 8 children keeps the first 8.
// With a weight file, a child without a weight (no line, NA or -9) is left out likewise.  A
// parent's missing covariates and weight are written as 0: only the children's enter the
// likelihood and the non-founders statistic.
//
// Pedigree problems are found before any marker is read.  Fatal (InputError naming the file
// and line): an IID twice within one FID, the same person named as father and mother, a
// person who is their own ancestor, an unreadable line.  Warnings (Study::log_lines): a
// parent whose sex contradicts the role, a parent named by a child but found only under
// another FID (taken as a placeholder).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/errors.hpp"

namespace quillon {

class FieldIndex;

// One line of a .fam file.
struct FamPerson {
    std::string fid, iid, father, mother;  // "0" for an unknown parent
    int sex = 0;                           // 1 male, 2 female, 0 unknown
    int phenotype = 0;                     // 0 missing (from 0 or -9), 1 unaffected, 2 affected
    long line = 0;                         // line number in the .fam, from 1
};

// Reads a .fam file (six fields per line, blanks or tabs; blank lines skipped; later fields
// ignored).  Sex 1 or 2, anything else unknown (0).  Phenotype 1 or 2, 0 or -9 missing.
// Throws InputError naming the file and line for a short line, a sex that is not an integer,
// a phenotype other than 1, 2, 0, -9, or an IID that appears twice within one FID.
// (The same IID under two FIDs is allowed; open_vcf refuses it when matching samples.)
// With `index`, it is left holding each person under FieldIndex::hash(fid, iid).
std::vector<FamPerson> read_fam(const std::string& path, FieldIndex* index = nullptr);

// A covariate or weight table: header "FID IID name1 name2 ..." (FID and IID in any letter
// case) then one line per individual with exactly as many fields; blanks or tabs separate;
// blank lines are skipped.  "NA" and any number equal to -9 are missing.  Every other value
// must be a finite decimal number, parsed as the single run parses its covariates and weights
// (parse_finite_double).  InputError naming the file and line for a header without FID IID,
// a line with the wrong number of fields, a value that is not a number, a (FID, IID) twice.
// The rows are kept flat (a few pages for a table of many people, not a few blocks a row).
struct ColumnTable {
    std::vector<std::string> names;  // the columns after FID and IID
    struct Row {
        std::size_t key = 0;  // the FID at keys[key], the IID right after it
        std::uint32_t fid_size = 0, iid_size = 0;
        long line = 0;
    };
    std::vector<Row> rows;
    std::string keys;
    std::vector<double> values;       // row r's column c at r * names.size() + c; NaN where missing
    std::vector<std::string> labels;  // with a text column, row r's text ("" where missing)

    std::string_view fid(const Row& r) const { return {keys.data() + r.key, r.fid_size}; }
    std::string_view iid(const Row& r) const { return {keys.data() + r.key + r.fid_size, r.iid_size}; }
    double value(std::size_t r, std::size_t c) const { return values[r * names.size() + c]; }
};
// A column named `text_column` is kept as text alone (in labels; its values NaN): a label
// such as a stratum, "NA" or a number equal to -9 missing (label "").  With `numbers` named,
// only those columns must hold numbers; the others are not read (their values NaN).
ColumnTable read_column_table(const std::string& path, const std::string& text_column = "",
                              const std::vector<std::string>& numbers = {});

// The fewest nuclear families a stratum needs: its prevalences are estimated from its own
// parents' genotypes.
inline constexpr long kMinStratumFamilies = 10;

struct StudyOptions {
    bool intercept = true;                  // an INTERCEPT column of 1s first
    std::vector<std::string> covar_names;   // empty: every column of the covariate table, in order
    bool all_children = false;              // keep unaffected and missing-phenotype children
    bool complete_trios = false;            // at each marker, only families with both parents typed
    std::string strata = {};                // a column of the covariate table read as the stratum, "" none
};

// Member of a nuclear family: an index into Study::people, or -1 for a placeholder parent.
struct NuclearFamily {
    std::string fid;
    long father = -1, mother = -1;
    std::vector<long> children;  // at most 8, in .fam order
};

// What forming the study did, for the log.
struct StudyCounts {
    long individuals = 0;        // lines of the .fam
    long families = 0;           // nuclear families formed (with at least one child)
    long children = 0;           // children entered
    long placeholders = 0;       // untyped placeholder parents in the families
    long left_unaffected = 0;    // children left out: not affected (without all_children)
    long left_no_covariates = 0; // children left out: no covariate line or a missing covariate
    long left_no_weight = 0;     // children left out: no weight line or a missing weight
    long left_beyond_8 = 0;      // children left out past the first 8 of a family
    long dropped_no_child = 0;   // families dropped: no child left
    long unmatched_rows = 0;     // covariate and weight lines of no .fam individual
    // On X (Study::x_sex): children of unknown sex, left out of every X marker; parents whose
    // .fam sex is unknown or contradicts their role, taken in the role's sex.
    long x_unknown_sex_children = 0;
    long x_parents_role_sex = 0;
    long dropped_no_stratum = 0;  // families dropped: no member with a stratum (with strata)
};

struct Study {
    std::vector<FamPerson> people;             // the .fam, in file order
    std::vector<std::string> covariate_names;  // "INTERCEPT" first unless --no-intercept
    // Per person, the covariate row: ncov() doubles, 1 for the intercept, then the chosen
    // columns (0 for the columns of a person without a complete covariate line, who can only
    // be a parent), person p's at covariates(p).  Weights likewise: 1 for everyone without a
    // weight file; with one, the file's value, or 0 for a person without a weight.
    // Placeholders (index -1) have no entry: their covariates and weight are 0.
    std::vector<double> covariate_rows;
    std::vector<double> weight;
    std::vector<NuclearFamily> families;
    // Per person, the sex taken on X: a family's father is male and its mother female (the
    // role's sex, whatever the .fam says); everyone else has the .fam's sex (0 unknown).
    std::vector<std::int8_t> x_sex;
    StudyCounts counts;
    bool complete_trios = false;  // StudyOptions::complete_trios, a rule of each marker's families
    // The counts as sentences, then every warning (naming file and line), for the log.
    std::vector<std::string> log_lines;
    // Warnings a user must see at once (standard error and the log): negative weights.
    std::vector<std::string> warnings;

    // With strata: their labels in byte order, each family's stratum (an index into
    // strata) and each stratum's number of families.
    std::vector<std::string> strata;
    std::vector<int> family_stratum;
    std::vector<long> stratum_families;

    long ncov() const { return static_cast<long>(covariate_names.size()); }
    const double* covariates(std::size_t p) const { return covariate_rows.data() + p * covariate_names.size(); }
};

// Forms the study.  `covar_path` and `weight_path` may be empty.  With options.strata the
// column of that name (not a covariate, nor chosen as one) gives each family its stratum
// from any member (father, mother, children) that has one; InputError naming the family and
// both labels when two members differ, naming a label that is not a column name's part
// (letters, digits, '_', '.'; at most 32), naming a stratum of fewer than
// kMinStratumFamilies families.  A family with no member holding a stratum is dropped
// (counts.dropped_no_stratum).  Throws InputError where
// the families cannot be formed (a covariate header without FID IID, a covariate name that
// does not exist or is named twice, a weight table with other than one column, a
// non-numeric weight, a person who is their own ancestor, ...).
Study form_study(const std::string& fam_path, const std::string& covar_path, const std::string& weight_path,
                 const StudyOptions& options);

}  // namespace quillon
