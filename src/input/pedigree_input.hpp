#pragma once
// Reading the three input files into one famdat record per family.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "genetics/chromosome.hpp"
#include "genetics/family.hpp"
#include "model/settings.hpp"

namespace quillon {

// One line of wpedigree.dat: nine integers separated by white space (anything after the
// ninth is ignored).  fields[1..9]: family, individual, father, mother, sex, phenotype, an
// unused field, first allele, second allele.
struct PedigreeLine {
    enum class Fault { kNone, kTooFewFields, kNotAnInteger, kOutOfRange };
    Fault fault = Fault::kNone;
    int bad_field = 0;  // the field at fault (1..9), or the number of fields found
    long fields[10] = {};
    bool extra_fields = false;  // a tenth field follows the nine integers
};
PedigreeLine parse_pedigree_line(std::string_view line);

// Reads dir/wpedigree.dat, dir/wcovars.dat (only when s.ncov > 0) and dir/wweights.dat
// ("." is the current folder, and messages then name the files without a folder).
//
// Lines holding only white space are skipped in wpedigree.dat and wcovars.dat.  The k-th
// other line of wpedigree.dat describes one individual and takes the k-th other line of
// wcovars.dat and the k-th number of wweights.dat (white space of any kind separates the
// weights).  A family is a maximal run of usable pedigree lines with the same family field;
// member 1 is the father, member 2 the mother, the others children.
//
// Every check is made and every message printed on `out` before the run ends:
//  - a file that cannot be opened or read, or a wpedigree.dat that cannot be read twice
//    (a pipe): the file and the system's reason (nothing else is read);
//  - more than maxNumberOfFamilies families: the limit (nothing else is read);
//  - per line, in file order: a pedigree line that does not begin with nine integers (the
//    line is then not used); the line checks of check_pedigree_line; a covariate line with
//    fewer than ncov numbers, a field that is not a number or not finite (space, comma and
//    tab separate the numbers; runs of them count as one; later fields are ignored); a
//    weight that is not a finite number; a wcovars.dat or wweights.dat that ends too early
//    (said once);
//  - no usable pedigree line: the file holds no families;
//  - the family checks of check_families.
// Suspicious but readable data is counted, not refused (see InputTally): a pedigree line with
// more than nine fields or a sex code other than 1 or 2, an individual identifier repeated
// within its family, a family identifier that reappears after another family, a covariate
// line with more than ncov values, non-blank lines of wcovars.dat or numbers of
// wweights.dat after the last individual's, negative weights, and a weight line holding
// several numbers when wweights.dat has as many lines holding numbers as wpedigree.dat has
// non-blank lines (the weights then shift).  A byte-order mark opening a file is skipped
// (LineReader).  Once everything is read, the warnings (one line per kind) and, after more
// than kErrorSummaryAfter error messages, one summary line of the errors go to `notes_out`,
// after `out` is flushed.
// When any check failed, throws ProgramExit(1) after all messages.
//
// On success every family has 3..maxfamilysize members, and famid, ninfam, famgeno,
// phenodat, fcovdat (ninfam x ncov; rows with no columns when ncov is 0), weight (0 for a
// member of phenotype 0) and pgenos (parentpairs x 2, zeroed, for the fit to fill) are set.
// Covariate storage is allocated row by row, only for lines found to hold ncov numbers, so
// an absurd ncov costs nothing but its error messages.
// With `chromosome` kX the marker is read as an X marker (check_families, x_codes).
//
// With `strata` (column >= 1) each line of wcovars.dat holds ncov + 1 fields, field `column`
// the member's stratum: a label (any text without separators; "NA" or a number equal to -9
// none), the others the covariates in order.  A family's stratum comes from any member that
// has one; members that disagree are an error naming the family, both labels and their
// lines, as is a family with no stratum.  On success strata->labels holds the labels in byte
// order and each family's famdat::stratum its index.
struct StrataInput {
    long column = 0;                  // 1-based field of wcovars.dat; 0 none
    std::vector<std::string> labels;  // out: the strata, sorted
};
FamilyTable read_families(const Settings& s, const std::string& dir, std::FILE* out = stdout,
                          std::FILE* notes_out = stderr, ChromosomeClass chromosome = ChromosomeClass::kAutosome,
                          StrataInput* strata = nullptr);

}  // namespace quillon
