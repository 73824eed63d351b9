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

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// A fault in an input file: what, where.  Thrown by every reader of this folder; the scan
// prints it and ends with status 1.  text() is the whole message, naming the file, the
// line (or marker) and the family where there is one.
class InputError : public std::exception {
public:
    explicit InputError(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// One line of a .fam file.
struct FamPerson {
    std::string fid, iid, father, mother;  // "0" for an unknown parent
    int sex = 0;                           // 1 male, 2 female, 0 unknown
    int phenotype = 0;                     // 0 missing (from 0 or -9), 1 unaffected, 2 affected
    long line = 0;                         // line number in the .fam, from 1
};

// Reads a .fam file (six fields per line, blanks or tabs).  Throws InputError naming the
// file and line for a short line, a non-numeric sex or phenotype, or an IID that appears twice
// within one FID.
std::vector<FamPerson> read_fam(const std::string& path);

// A covariate or weight table: header "FID IID name1 name2 ..." then one line per
// individual; "NA" and "-9" are missing.  Values are kept as the text of the file (so the
// single run, given the same text, parses the same doubles) and as parsed doubles.
struct ColumnTable {
    std::vector<std::string> names;  // the columns after FID and IID
    struct Row {
        std::string fid, iid;
        std::vector<std::string> text;  // one per column
        std::vector<double> value;      // NaN where missing
    };
    std::vector<Row> rows;
};
ColumnTable read_column_table(const std::string& path);

struct StudyOptions {
    bool intercept = true;                  // an INTERCEPT column of 1s first
    std::vector<std::string> covar_names;   // empty: every column of the covariate table, in order
    bool all_children = false;              // keep unaffected and missing-phenotype children
};

// Member of a nuclear family: an index into Study::people, or -1 for a placeholder parent.
struct NuclearFamily {
    std::string fid;
    long father = -1, mother = -1;
    std::vector<long> children;  // at most 8, in .fam order
};

struct Study {
    std::vector<FamPerson> people;             // the .fam, in file order
    std::vector<std::string> covariate_names;  // "INTERCEPT" first unless --no-intercept
    // Per person, the covariate row as text and as doubles (ncov entries each; "1" for the
    // intercept, "0" for placeholders is implied by index -1).  Weight likewise ("1" default).
    std::vector<std::vector<std::string>> covariate_text;
    std::vector<std::vector<double>> covariates;
    std::vector<std::string> weight_text;
    std::vector<double> weight;
    std::vector<NuclearFamily> families;
    // Counts and warnings for the log: every line is a sentence naming file and line.
    std::vector<std::string> log_lines;
};

// Forms the study.  `covar_path` and `weight_path` may be empty.  Throws InputError where
// the families cannot be formed (a covariate header without FID IID, a covariate name that
// does not exist, a non-numeric weight, a person who is their own ancestor, ...).
Study form_study(const std::string& fam_path, const std::string& covar_path, const std::string& weight_path,
                 const StudyOptions& options);

}  // namespace quillon
