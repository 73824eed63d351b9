#pragma once
// Per-marker quality control and count statistics, PLINK 1.9's definitions, so that the
// thresholds users give PLINK select the same markers here.  Genotypes are one code per .fam
// person (formats/genotypes.hpp: -1 untyped, else copies of A1); people outside the keep mask
// are never looked at.  Nothing here allocates but chromosome_class, which may for a name
// longer than a short string holds.
//
// On X (PLINK's chromosome 23) a male carries one allele: his heterozygous call is missing
// for the allele frequency, the Mendel check and the transmission counts (as after PLINK's
// --set-hh-missing), but a call for the missing-call rate.

#include "genetics/chromosome.hpp"
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "qc/qc_people.hpp"

namespace quillon {


// (chromosome_class, formats/genotypes.hpp: only kX changes the counts; Y, XY and MT calls
// are counted as diploid, as on the autosomes.)

struct AlleleCounts {
    long a1 = 0, a2 = 0;
};

// Allele copies among the typed founders; on X a male counts one copy, his het call none.
AlleleCounts founder_alleles(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr);

// PLINK 1.9's frequencies: the A2 frequency a2 / (a1 + a2) comes first; A1's is 1 minus it and
// the MAF the smaller of the two.  NaN without an allele.
double a2_frequency(AlleleCounts c);
double a1_frequency(AlleleCounts c);
double minor_allele_frequency(AlleleCounts c);

// Untyped calls among the kept people (a male het call on X is a call).
long missing_calls(const QcPeople& q, const std::vector<std::int8_t>& genotype);

struct GenotypeCounts {
    long hom_a1 = 0, het = 0, hom_a2 = 0;
};

// The sample of the Hardy-Weinberg test: every typed founder whatever the phenotype; on X
// the founders who are not male.
GenotypeCounts hwe_genotypes(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr);

// A Mendel error between the calls of a father, mother and child.  On autosomes and for a
// child who is not male on X: the child is typed and either homozygous for an allele of which
// a parent is homozygous for the other, or heterozygous with both parents homozygous for the
// same allele.  For a male child on X only the mother counts: the child and mother are
// homozygous for different alleles.
bool mendel_error(int father, int mother, int child, bool male_child_on_x);

struct MendelCount {
    long errors = 0;  // trios with a Mendel error
    long trios = 0;   // every trio, typed or not
};
MendelCount mendel_errors(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr);

// PLINK 1.9's transmission counts: families with both parents typed and no Mendel error in
// any child; in them every typed affected child's alleles from heterozygous parents, A1
// transmitted (t) or not (u).  A child homozygous for an allele received it from a het
// parent; a het child received from a het parent the allele its homozygous other parent
// lacks; a het child of two het parents counts once each.  On X the Mendel check is
// X's and a male's heterozygous call is missing, so only heterozygous mothers transmit.
struct Transmissions {
    long t = 0, u = 0;
};
Transmissions transmissions(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr);

// The filters, with PLINK 1.9's comparisons: a marker exactly at the threshold is kept, and
// each comparison allows the marker a relative 2^-44 past the threshold.
//   --maf X   removes a MAF below X (a marker without founder alleles is kept)
//   --geno X  removes a missing-call rate above X
//   --hwe P   removes an exact-test p below P
//   --me 1 X  removes a Mendel-error rate (errors / trios) above X
bool maf_kept(double maf, double threshold);
bool geno_kept(long missing, long people, double threshold);
bool hwe_kept(double p, double threshold);
bool mendel_kept(MendelCount m, double threshold);

// Everything above for one marker.
struct MarkerQc {
    AlleleCounts alleles;   // founders'
    double a1_freq = 0;     // NaN without founder alleles
    double maf = 0;         // NaN likewise
    long missing = 0;       // among the kept people
    GenotypeCounts hwe;
    double hwe_p = 1;
    MendelCount mendel;
    Transmissions tdt;
};
// The thresholds a run filters with (none: the filter is off) and the first filter a marker
// fails, in the order PLINK 1.9 applies them.
struct QcFilters {
    std::optional<double> geno, hwe, maf, mendel;
};

// Every count; with `filters`, the counts that only a filter reads (missing calls, the
// Hardy-Weinberg and the Mendel counts) only for the filters given, the others left at
// their defaults.  With `elsewhere` the transmissions, and the founders' alleles unless
// --maf reads them, are left at their defaults for the caller, who counts them otherwise.
MarkerQc marker_qc(const QcPeople& q, const std::vector<std::int8_t>& genotype, ChromosomeClass chr,
                   const QcFilters* filters = nullptr, bool elsewhere = false);
enum class QcVerdict { kKept, kGeno, kHwe, kMaf, kMendel };
QcVerdict qc_verdict(const MarkerQc& m, long people, const QcFilters& filters);

}  // namespace quillon
