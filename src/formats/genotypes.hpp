#pragma once
// Genotype files, read one marker at a time into a reused buffer: PLINK 1 binary filesets
// (.bed/.bim, SNP-major) and VCF/BCF through htslib.  The genotype code of a person is the
// number of copies of the counted allele (A1 of the .bim, ALT of a VCF), or -1 untyped.

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/study.hpp"
#include "genetics/chromosome.hpp"

namespace quillon {

struct MarkerInfo {
    std::string chr;  // as written in the file
    std::string id;   // .bim column 2 / VCF ID ("." kept as it is)
    long bp = 0;
    std::string a1, a2;  // counted allele first
    bool autosomal = true;      // false for X, Y, MT (codes 23, 24, 26 or their names)
    bool multiallelic = false;  // VCF records with more than one ALT (genotypes all -1)
    long index = 0;             // 0-based position in the file's marker list
    long haploid_calls = 0;     // VCF: calls with one allele, read as untyped
    // The class the scan analyses the marker as (X split by --split-par); set by the reader
    // from the name alone, refined by prepare_marker (formats/x_genotypes.hpp).
    ChromosomeClass chr_class = ChromosomeClass::kAutosome;
    // On X (prepare_marker): typed males, males with a heterozygous call (untyped in the
    // families), haploid calls of people who are not male (untyped).
    long x_typed_males = 0, x_het_males = 0, x_haploid_females = 0;
    // VCF, reading probabilities or dosages (VcfReading): the record's imputation quality
    // (NaN when it has none or none is read), calls left untyped for a malformed value, and
    // whether the record lacks the field (everyone untyped).
    double quality = std::numeric_limits<double>::quiet_NaN();
    long malformed_calls = 0;
    bool field_absent = false;
};

// A VCF's haploid call: the person (a Study::people index) and the allele (1 the counted
// one, 0 the other).  The call is -1 in Marker::genotype until prepare_marker reads it.
struct HaploidCall {
    long person = 0;
    std::int8_t allele = 0;
};

// A marker's genotypes: genotype[p] for person p of Study::people (-1 untyped, 0, 1, 2).
struct Marker {
    MarkerInfo info;
    std::vector<std::int8_t> genotype;  // sized once, reused for every marker
    std::vector<HaploidCall> haploid;   // VCF: the marker's haploid calls
    // Reading probabilities: per person P(data | 0, 1, 2 copies), (1, 1, 1) without data;
    // otherwise empty.  genotype[p] is then the best guess, -1 without data.
    std::vector<std::array<double, 3>> likelihood;
    // Reading probabilities or dosages: per person the expected dosage (NaN without data),
    // for the allele frequency of --maf; otherwise empty.
    std::vector<double> dosage;
};

// Where a reader's markers named X lie: file index (0-based) and position.
struct XPlace {
    long index = 0, bp = 0;
};

class GenotypeReader {
public:
    virtual ~GenotypeReader() = default;
    // The number of markers in the file (multi-allelic VCF records included).
    virtual long marker_count() const = 0;
    // Reads the next marker in file order into `m` (its buffer reused); false at the end.
    // Throws InputError naming the file and the marker for a truncated or corrupt file.
    virtual bool next(Marker& m) = 0;
    // Positions the reader so that next() returns marker `index` (0-based) onward.
    virtual void seek(long index) = 0;
    // The markers named X, in file order, found when the markers were counted.
    const std::vector<XPlace>& x_places() const { return x_places_; }
    // Whether .fam person p has genotypes in the file at all (a VCF may lack some people).
    bool in_file(long p) const { return in_file_.empty() || in_file_[static_cast<std::size_t>(p)] != 0; }

protected:
    std::vector<XPlace> x_places_;
    std::vector<char> in_file_;  // per .fam person; empty: everyone (a .bed)
};

// The canonical code of a chromosome name, PLINK's way: "chr" prefix dropped, leading
// zeros dropped, X -> 23, Y -> 24, XY/PAR1/PAR2 -> 25, M/MT -> 26 (any case); other names
// as written.
std::string chromosome_code(std::string name);

// False for the chromosomes the autosomal model leaves out: those of codes 23, 24 and 26.
bool is_autosome(std::string_view chr);

// kX for code 23 (X, chrX, 23), kOther for 24 and 26 (Y, MT), else kAutosome (the
// pseudo-autosomal code 25 included).
ChromosomeClass chromosome_class(std::string_view chr);
// The same, with the X positions inside the pseudo-autosomal regions of `par` kAutosome.
ChromosomeClass chromosome_class(std::string_view chr, long bp, ParBuild par);

// PREFIX.bed with PREFIX.bim; `people` is the .fam read for the same prefix.  Checks the
// magic bytes, SNP-major mode, and that the .bed's size matches the .bim and .fam line
// counts, before any marker is read (InputError otherwise).
std::unique_ptr<GenotypeReader> open_bed(const std::string& prefix, const std::vector<FamPerson>& people);

// A VCF or BCF, plain or bgzipped.  Its samples are matched to `people` by IID; a sample
// missing from the .fam, a sample named twice, or a sample whose IID the .fam holds under two
// FIDs is an InputError; a .fam person absent from the VCF is untyped.  GT is read: the
// number of ALT alleles (allele 1) of a diploid call; a call with a missing allele is -1; a
// haploid call (one allele, as for males on X) is -1 too, counted in haploid_calls and kept
// in Marker::haploid (prepare_marker reads a male's on X).  A record without GT leaves
// everyone untyped.
std::unique_ptr<GenotypeReader> open_vcf(const std::string& path, const std::vector<FamPerson>& people);

// What a VCF's genotypes are read from.
enum class GenotypeSource {
    kGt,        // GT, as above
    kHardCall,  // PLINK 2's hard calls of the dosages (GP or DS); GT where a person has none
    kProbabilities,  // likelihood vectors: GL or PL, else GP with its prior divided out
};
enum class DosageField { kGp, kDs };

struct VcfReading {
    GenotypeSource source = GenotypeSource::kGt;
    DosageField field = DosageField::kGp;  // hard calls from GP or DS
    double hard_call_threshold = 0.1;
    double gp_floor = 1e-3;     // the floor of every likelihood vector
    bool divide_prior = true;   // GP divided by its Hardy-Weinberg prior
    // The INFO field holding the imputation quality: the named one (declared in the header,
    // else an InputError), or with `quality_default` the first of R2, DR2, INFO the header
    // declares (none: no quality, or an InputError with `quality_required`).
    std::string quality_field;
    bool quality_default = false;
    bool quality_required = false;
};

// The same, reading `reading`'s fields.  With hard calls or probabilities: a person whose
// field is missing keeps the GT call (PLINK 2's way; a certain vector in probabilities), a
// malformed value leaves the person untyped (counted in malformed_calls), a record without
// the field leaves everyone untyped (field_absent); a header that does not declare the field
// is an InputError naming the first marker and the fields that could be used instead.
// Probabilities come from GL, else PL, else GP; GP is divided by the Hardy-Weinberg
// frequencies at INFO/AF when the header declares it, else at the mean over the samples of
// P1 / 2 + P2; every vector is floored.  On X a male's two values are his haploid genotype;
// of three values his heterozygote is ignored.
std::unique_ptr<GenotypeReader> open_vcf(const std::string& path, const std::vector<FamPerson>& people,
                                         const VcfReading& reading);

}  // namespace quillon
