#include "input/pedigree_input.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include "input/data_checks.hpp"
#include "io/line_reader.hpp"
#include "io/text_file.hpp"
#include "toolkit/program_exit.hpp"

namespace quillon {

PedigreeLine parse_pedigree_line(std::string_view line) {
    PedigreeLine p;
    FieldSplitter fields(line, kWhiteSpace);
    std::string_view field;
    for (int i = 1; i <= 9; ++i) {
        if (!fields.next(field)) {
            p.fault = PedigreeLine::Fault::kTooFewFields;
            p.bad_field = i - 1;
            return p;
        }
        const NumberParse r = parse_long(field, p.fields[i]);
        if (r != NumberParse::kOk) {
            p.fault = r == NumberParse::kOutOfRange ? PedigreeLine::Fault::kOutOfRange
                                                    : PedigreeLine::Fault::kNotAnInteger;
            p.bad_field = i;
            return p;
        }
    }
    p.extra_fields = fields.next(field);
    return p;
}

namespace {

struct InputFile {
    std::string path;  // what is opened
    std::string name;  // what messages call it
    FileHandle file;
};

InputFile input_file(const std::string& dir, const char* base) {
    InputFile f;
    if (dir.empty() || dir == ".") {
        f.path = base;
    } else {
        f.path = dir.back() == '/' ? dir + base : dir + "/" + base;
    }
    f.name = f.path;
    return f;
}

// True when the file can be read again from its start (the pedigree is read twice);
// otherwise false, with errno set by the failed seek.
bool rewindable(const InputFile& f) {
    errno = 0;
    return std::fseek(f.file.get(), 0L, SEEK_SET) == 0;
}

[[noreturn]] void stop_on_read_error(const InputFile& f, int error, std::FILE* out) {
    std::fprintf(out, "\nERROR: Cannot read %s: %s\n", f.name.c_str(), std::strerror(error));
    throw ProgramExit(1);
}

[[noreturn]] void stop_on_change(const InputFile& f, std::FILE* out) {
    std::fprintf(out, "\nERROR: %s changed while it was being read.\n", f.name.c_str());
    throw ProgramExit(1);
}

// First pass: the number of families and the size and first line of each, from the usable
// lines only.  Stops with a message when there are more than maxNumberOfFamilies.
struct FamilyCounts {
    long nfam = 0;
    LVector numberInEachFamily;
    LVector first_line;
};

FamilyCounts count_families(const InputFile& ped, std::FILE* out) {
    FamilyCounts c;
    c.numberInEachFamily = lvector(1, maxNumberOfFamilies);
    c.first_line = lvector(1, maxNumberOfFamilies);
    LineReader reader(ped.file.get());
    std::string line;
    long previous = 0;
    while (reader.next(line)) {
        if (is_blank(line)) continue;
        const PedigreeLine p = parse_pedigree_line(line);
        if (p.fault != PedigreeLine::Fault::kNone) continue;
        if (c.nfam == 0 || p.fields[1] != previous) {
            if (c.nfam == maxNumberOfFamilies) {
                std::fprintf(out, "\nERROR: %s holds more than %ld families; at most %ld are allowed.\n",
                             ped.name.c_str(), maxNumberOfFamilies, maxNumberOfFamilies);
                throw ProgramExit(1);
            }
            ++c.nfam;
            c.numberInEachFamily[c.nfam] = 0;
            c.first_line[c.nfam] = reader.line_number();
            previous = p.fields[1];
        }
        ++c.numberInEachFamily[c.nfam];
    }
    if (reader.error() != 0) stop_on_read_error(ped, reader.error(), out);
    return c;
}

// Member arrays for the families whose size the analysis covers; the others keep none.
void allocate_records(const FamilyCounts& c, FamilyTable& t, FamilyNotes& notes) {
    t.nfam = c.nfam;
    t.fam = IndexVector<famdat>(1, c.nfam);
    notes.size = lvector(1, c.nfam);
    notes.first_line = lvector(1, c.nfam);
    notes.allele_fault = ivector(1, static_cast<int>(c.nfam));
    for (long i = 1; i <= c.nfam; ++i) {
        const long n = c.numberInEachFamily[i];
        notes.size[i] = n;
        notes.first_line[i] = c.first_line[i];
        notes.allele_fault[i] = 0;
        famdat& f = t[i];
        f.ninfam = n > INT_MAX ? INT_MAX : static_cast<int>(n);
        if (n < 3 || n > maxfamilysize) continue;
        f.famgeno = ivector(1, f.ninfam);
        f.phenodat = ivector(1, f.ninfam);
        f.sex = ivector(1, f.ninfam);
        f.sex.fill(0);
        f.fcovdat = flmatrix(1, f.ninfam, 1, 0);  // each row is sized once its line is checked
        f.weight = vector(1, f.ninfam);
        f.weight.fill(0.0);
        f.pgenos = imatrix(1, parentpairs, 1, 2);
        f.pgenos.fill(0);
    }
}

// Second pass: every line of the three files side by side, with the line checks.
class SecondPass {
public:
    SecondPass(const Settings& s, InputFile& ped, InputFile& cov, InputFile& wts, FamilyTable& t,
               FamilyNotes& notes, InputTally& tally, std::FILE* out, ChromosomeClass chromosome, long strata_column)
        : s_(s), ped_(ped), cov_(cov), wts_(wts), t_(t), notes_(notes), tally_(tally), out_(out), chromosome_(chromosome),
          weights_(wts.file.get(), kWhiteSpace), strata_column_(strata_column) {
        if (s.ncov > 0 || strata_column > 0) cov_reader_ = std::make_unique<LineReader>(cov.file.get());
        if (strata_column > 0) family_label_.resize(static_cast<std::size_t>(t.nfam) + 1);
    }

    // With strata: each family's label and the wcovars.dat line it came from ("" none).
    struct Label {
        std::string text;
        long line = 0;
    };
    const std::vector<Label>& family_labels() const { return family_label_; }

    // Returns true when no line failed a check.
    bool run();

private:
    void report_unusable(const PedigreeLine& p, long ln);
    // Checks the line of member m of family nfam and stores it; returns its record, or null
    // when the family keeps no member arrays.
    famdat* add_member(const PedigreeLine& p, long ln, long nfam, long m);
    void read_covariates(long ped_line, famdat* record, long nfam, long m);
    void note_label(std::string_view label, long cl, long nfam);
    void read_weight(long ped_line, famdat* record, long m);
    // The warnings of a usable pedigree line: more than nine fields, the sex code, an
    // individual repeated within its family, a family that reappears.
    void note_pedigree_line(const PedigreeLine& p, long ln, bool new_family, long previous);
    // Notes the line of the weight just read: lines holding several numbers.
    void note_weight_line();
    // The lines of wcovars.dat and the numbers of wweights.dat after the last individual's.
    void note_surplus();

    const Settings& s_;
    InputFile& ped_;
    InputFile& cov_;
    InputFile& wts_;
    FamilyTable& t_;
    FamilyNotes& notes_;
    InputTally& tally_;
    std::FILE* out_;
    ChromosomeClass chromosome_;
    std::unique_ptr<LineReader> cov_reader_;
    FieldStream weights_;  // wweights.dat, one weight at a time
    std::string cov_line_;
    std::vector<double> cov_values_;  // scratch: the numbers of one covariate line
    bool cov_ended_ = false;
    bool wts_ended_ = false;
    bool passed_ = true;
    std::unordered_set<long> ended_families_;  // identifiers of the families before the current one
    std::unordered_set<long> individuals_;     // identifiers in the current family
    long ped_lines_ = 0;                       // non-blank pedigree lines, each taking a weight
    long weight_line_ = 0;                     // line of the last weight read
    long weight_lines_ = 0;                    // lines of wweights.dat holding a number
    InputPlace crowded_weight_line_;           // the first weight line with several numbers
    long crowded_weight_lines_ = 0;
    long last_crowded_line_ = 0;
    long strata_column_ = 0;             // field of wcovars.dat holding the stratum, 0 none
    std::vector<Label> family_label_;    // 1..nfam
};

void SecondPass::report_unusable(const PedigreeLine& p, long ln) {
    const char* name = ped_.name.c_str();
    using Fault = PedigreeLine::Fault;
    tally_.error(DataFault::kPedigreeLineUnusable, {InputFileId::kPedigree, ln});
    if (p.fault == Fault::kTooFewFields)
        std::fprintf(out_, "\nERROR: %s line %ld holds %d fields; nine integers are needed.", name, ln, p.bad_field);
    else if (p.fault == Fault::kNotAnInteger)
        std::fprintf(out_, "\nERROR: %s line %ld: field %d is not an integer.", name, ln, p.bad_field);
    else
        std::fprintf(out_, "\nERROR: %s line %ld: field %d is an integer out of range.", name, ln, p.bad_field);
    std::fprintf(out_, " The line is not used.\n");
    passed_ = false;
}

famdat* SecondPass::add_member(const PedigreeLine& p, long ln, long nfam, long m) {
    // A member standing third or later is a child whatever its parent fields say.
    const bool is_child = p.fields[3] != 0 || p.fields[4] != 0 || m >= 3;
    const long phenotype = p.fields[6], a1 = p.fields[8], a2 = p.fields[9];
    const LineCheckResult r = check_pedigree_line(p.fields[1], phenotype, a1, a2, is_child, ped_.name.c_str(), ln, out_);
    if (!r.passed) passed_ = false;
    if (!r.alleles_valid) notes_.allele_fault[nfam] = 1;
    const InputPlace place{InputFileId::kPedigree, ln, p.fields[1], true};
    if (r.bad_phenotype) tally_.error(DataFault::kPhenotype, place);
    if (r.one_allele_known) tally_.error(DataFault::kOneAlleleKnown, place);
    if (r.child_untyped) tally_.error(DataFault::kChildUntyped, place);
    if (!r.alleles_valid) tally_.error(DataFault::kAllele, place);
    famdat& f = t_[nfam];
    if (!f.famgeno.allocated()) return nullptr;  // a family of a size the analysis cannot take
    f.famgeno[m] = r.alleles_valid ? genotype_code(a1, a2, is_child) : -1;
    f.phenodat[m] = phenotype >= 0 && phenotype <= 2 ? static_cast<int>(phenotype) : -1;
    f.sex[m] = p.fields[5] == 1 || p.fields[5] == 2 ? static_cast<int>(p.fields[5]) : 0;
    if (chromosome_ == ChromosomeClass::kX) x_code(f, static_cast<int>(m), &tally_, place);
    return &f;
}

bool SecondPass::run() {
    std::rewind(ped_.file.get());
    LineReader reader(ped_.file.get());
    std::string line;
    long nfam = 0;  // families begun so far
    long m = 0;     // member index within the current family
    long previous = 0;
    while (reader.next(line)) {
        if (is_blank(line)) continue;
        const long ln = reader.line_number();
        const PedigreeLine p = parse_pedigree_line(line);
        famdat* record = nullptr;  // where this line's values go, if anywhere
        if (p.fault != PedigreeLine::Fault::kNone) {
            report_unusable(p, ln);
        } else {
            const bool new_family = nfam == 0 || p.fields[1] != previous;
            note_pedigree_line(p, ln, new_family, previous);
            if (new_family) {
                if (++nfam > t_.nfam) stop_on_change(ped_, out_);
                t_[nfam].famid = previous = p.fields[1];
                m = 0;
            }
            if (++m > notes_.size[nfam]) stop_on_change(ped_, out_);
            record = add_member(p, ln, nfam, m);
        }
        if (cov_reader_) read_covariates(ln, record, nfam, m);
        ++ped_lines_;
        read_weight(ln, record, m);
    }
    if (reader.error() != 0) stop_on_read_error(ped_, reader.error(), out_);
    if (cov_reader_ && cov_reader_->error() != 0) stop_on_read_error(cov_, cov_reader_->error(), out_);
    if (weights_.reader().error() != 0) stop_on_read_error(wts_, weights_.reader().error(), out_);
    if (nfam != t_.nfam || (nfam > 0 && m != notes_.size[nfam])) stop_on_change(ped_, out_);
    note_surplus();
    return passed_;
}

void SecondPass::note_pedigree_line(const PedigreeLine& p, long ln, bool new_family, long previous) {
    const InputPlace place{InputFileId::kPedigree, ln, p.fields[1], true};
    if (p.extra_fields) tally_.warn(InputWarning::kExtraPedigreeFields, place);
    if (p.fields[5] != 1 && p.fields[5] != 2) tally_.warn(InputWarning::kSexCode, place);
    if (new_family) {
        if (!individuals_.empty()) ended_families_.insert(previous);
        if (ended_families_.count(p.fields[1]) != 0) tally_.warn(InputWarning::kReappearingFamily, place);
        individuals_.clear();
    }
    if (!individuals_.insert(p.fields[2]).second) tally_.warn(InputWarning::kRepeatedIndividual, place);
}

void SecondPass::note_weight_line() {
    const long line = weights_.reader().line_number();
    if (line != weight_line_) {
        weight_line_ = line;
        ++weight_lines_;
    } else if (line != last_crowded_line_) {
        last_crowded_line_ = line;
        if (crowded_weight_lines_++ == 0) crowded_weight_line_ = {InputFileId::kWeights, line};
    }
}

void SecondPass::note_surplus() {
    if (cov_reader_ && !cov_ended_) {
        while (cov_reader_->next(cov_line_))
            if (!is_blank(cov_line_))
                tally_.warn(InputWarning::kSurplusCovariateLines, {InputFileId::kCovariates, cov_reader_->line_number()});
        if (cov_reader_->error() != 0) stop_on_read_error(cov_, cov_reader_->error(), out_);
    }
    if (wts_ended_) return;
    std::string_view field;
    while (weights_.next(field)) {
        tally_.warn(InputWarning::kSurplusWeights, {InputFileId::kWeights, weights_.reader().line_number()});
        note_weight_line();
    }
    if (weights_.reader().error() != 0) stop_on_read_error(wts_, weights_.reader().error(), out_);
    // One line per individual, one of them holding several numbers: the weights shift.
    if (crowded_weight_lines_ > 0 && weight_lines_ == ped_lines_)
        tally_.warn(InputWarning::kShiftedWeights, crowded_weight_line_, crowded_weight_lines_);
}

void SecondPass::note_label(std::string_view label, long cl, long nfam) {
    double x = 0.0;
    if (label == "NA" || (parse_finite_double(label, x) == NumberParse::kOk && x == -9.0)) return;
    if (nfam < 1 || nfam >= static_cast<long>(family_label_.size())) return;  // an unusable line's
    Label& have = family_label_[static_cast<std::size_t>(nfam)];
    if (have.text.empty()) {
        have = {std::string(label), cl};
    } else if (have.text != label) {
        std::fprintf(out_, "\nERROR: %s: the members of family %ld are in different strata: %s (line %ld) and %s (line %ld).\n",
                     cov_.name.c_str(), t_[nfam].famid, have.text.c_str(), have.line, std::string(label).c_str(), cl);
        tally_.error(DataFault::kStrata, {InputFileId::kCovariates, cl});
        passed_ = false;
    }
}

void SecondPass::read_covariates(long ped_line, famdat* record, long nfam, long m) {
    if (cov_ended_) return;
    bool have_line = false;
    while (cov_reader_->next(cov_line_)) {
        if (!is_blank(cov_line_)) {
            have_line = true;
            break;
        }
    }
    if (!have_line) {
        if (cov_reader_->error() != 0) stop_on_read_error(cov_, cov_reader_->error(), out_);
        std::fprintf(out_, "\nERROR: %s ends before the covariates of the individual on line %ld of %s.\n",
                     cov_.name.c_str(), ped_line, ped_.name.c_str());
        tally_.error(DataFault::kCovariatesEndEarly, {InputFileId::kPedigree, ped_line});
        cov_ended_ = true;
        passed_ = false;
        return;
    }
    const long cl = cov_reader_->line_number();
    cov_values_.clear();
    FieldSplitter fields(cov_line_, kCovariateSeparators);
    std::string_view field;
    // Only the first ncov numbers are read; the scratch never holds more than the line does.
    bool label_read = strata_column_ == 0;
    long field_number = 0;
    while (static_cast<long>(cov_values_.size()) < s_.ncov && fields.next(field)) {
        if (++field_number == strata_column_) {
            note_label(field, cl, nfam);
            label_read = true;
            continue;
        }
        double v = 0.0;
        const NumberParse r = parse_finite_double(field, v);
        if (r != NumberParse::kOk) {
            std::fprintf(out_, "\nERROR: %s line %ld: covariate %ld is not %s.\n", cov_.name.c_str(), cl,
                         static_cast<long>(cov_values_.size()) + 1,
                         r == NumberParse::kNotFinite ? "a finite number" : "a number");
            tally_.error(DataFault::kCovariateNotANumber, {InputFileId::kCovariates, cl});
            passed_ = false;
            return;
        }
        cov_values_.push_back(v);
    }
    if (!label_read && fields.next(field)) {
        ++field_number;
        note_label(field, cl, nfam);
        label_read = true;
    }
    const long found = static_cast<long>(cov_values_.size());
    if (found < s_.ncov || !label_read) {
        if (strata_column_ > 0)
            std::fprintf(out_, "\nERROR: %s line %ld holds %ld fields; %ld are needed (the stratum in field %ld).\n",
                         cov_.name.c_str(), cl, field_number, s_.ncov + 1, strata_column_);
        else
            std::fprintf(out_, "\nERROR: %s line %ld holds %ld covariates; %ld are needed.\n", cov_.name.c_str(), cl,
                         found, s_.ncov);
        tally_.error(DataFault::kTooFewCovariates, {InputFileId::kCovariates, cl});
        passed_ = false;
        return;
    }
    if (fields.next(field)) tally_.warn(InputWarning::kExtraCovariates, {InputFileId::kCovariates, cl});
    if (record == nullptr || s_.ncov == 0) return;
    DVector row(1, s_.ncov);
    for (long i = 1; i <= s_.ncov; ++i) row[i] = cov_values_[static_cast<std::size_t>(i - 1)];
    record->fcovdat[m] = std::move(row);
}

void SecondPass::read_weight(long ped_line, famdat* record, long m) {
    if (wts_ended_) return;
    std::string_view field;
    if (!weights_.next(field)) {
        if (weights_.reader().error() != 0) stop_on_read_error(wts_, weights_.reader().error(), out_);
        std::fprintf(out_, "\nERROR: %s ends before the weight of the individual on line %ld of %s.\n",
                     wts_.name.c_str(), ped_line, ped_.name.c_str());
        tally_.error(DataFault::kWeightsEndEarly, {InputFileId::kPedigree, ped_line});
        wts_ended_ = true;
        passed_ = false;
        return;
    }
    note_weight_line();
    const InputPlace place{InputFileId::kWeights, weights_.reader().line_number()};
    double w = 0.0;
    const NumberParse r = parse_finite_double(field, w);
    if (r != NumberParse::kOk) {
        std::fprintf(out_, "\nERROR: %s line %ld: the weight of the individual on line %ld of %s is not %s.\n",
                     wts_.name.c_str(), weights_.reader().line_number(), ped_line, ped_.name.c_str(),
                     r == NumberParse::kNotFinite ? "a finite number" : "a number");
        tally_.error(DataFault::kWeightNotANumber, place);
        passed_ = false;
        return;
    }
    if (w < 0.0) tally_.warn(InputWarning::kNegativeWeight, place);
    if (record != nullptr) record->weight[m] = record->phenodat[m] == 0 ? 0.0 : w;  // missing phenotype: no weight
}

}  // namespace

FamilyTable read_families(const Settings& s, const std::string& dir, std::FILE* out, std::FILE* notes_out,
                          ChromosomeClass chromosome, StrataInput* strata) {
    const long strata_column = strata != nullptr ? strata->column : 0;
    InputFile ped = input_file(dir, "wpedigree.dat");
    InputFile cov = input_file(dir, "wcovars.dat");
    InputFile wts = input_file(dir, "wweights.dat");

    // Open every file the run needs before reading any; report each that fails.
    bool opened = true;
    for (InputFile* f : {&ped, &cov, &wts}) {
        if (f == &cov && s.ncov <= 0 && strata_column == 0) continue;
        errno = 0;
        f->file.reset(std::fopen(f->path.c_str(), "r"));
        if (!f->file) {
            std::fprintf(out, "\nERROR: Cannot open %s: %s\n", f->name.c_str(), std::strerror(errno));
            opened = false;
        } else if (f == &ped && !rewindable(*f)) {
            // A pipe opens, but its lines would be gone after the counting pass.
            std::fprintf(out, "\nERROR: Cannot read %s twice: %s. It must be a file, not a pipe.\n", f->name.c_str(),
                         std::strerror(errno));
            opened = false;
        }
    }
    if (!opened) throw ProgramExit(1);

    FamilyTable t;
    FamilyNotes notes;
    {
        const FamilyCounts counts = count_families(ped, out);
        allocate_records(counts, t, notes);
    }  // numberInEachFamily is released here

    InputTally tally(ped.name, cov.name, wts.name, s.ncov);
    SecondPass pass(s, ped, cov, wts, t, notes, tally, out, chromosome, strata_column);
    bool passed = pass.run();
    if (strata_column > 0 && passed) {
        std::vector<std::string>& labels = strata->labels;
        labels.clear();
        for (long i = 1; i <= t.nfam; ++i) {
            const std::string& l = pass.family_labels()[static_cast<std::size_t>(i)].text;
            if (l.empty()) {
                std::fprintf(out, "\nERROR: %s: no member of family %ld has a stratum.\n", cov.name.c_str(), t[i].famid);
                tally.error(DataFault::kStrata, {InputFileId::kCovariates, 0, t[i].famid, true});
                passed = false;
            }
            labels.push_back(l);
        }
        std::vector<std::string> sorted = labels;
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        for (long i = 1; i <= t.nfam; ++i)
            t[i].stratum = static_cast<int>(std::lower_bound(sorted.begin(), sorted.end(), labels[static_cast<std::size_t>(i - 1)]) -
                                            sorted.begin());
        labels = std::move(sorted);
    }
    if (t.nfam == 0) {
        std::fprintf(out, "\nERROR: %s holds no families.\n", ped.name.c_str());
        passed = false;
    }
    if (!check_families(t, notes, ped.name.c_str(), out, &tally, chromosome)) passed = false;
    if (tally.has_lines()) {
        std::fflush(out);  // the messages on `out` come first where both streams share a file
        tally.print(notes_out);
    }
    if (!passed) throw ProgramExit(1);
    return t;
}

}  // namespace quillon
