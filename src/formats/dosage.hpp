#pragma once
// Uncertain genotypes of one person at one marker: imputation posteriors (GP), dosages (DS)
// and sequencing likelihoods (GL, log10; PL, phred), turned into PLINK 2's hard calls or into
// a likelihood vector P(data | genotype 0, 1, 2).  Genotypes count copies of ALT.  Values come
// as doubles; the VCF reader maps a missing value to NaN and passes only the values present.
// Pure functions: nothing here reads files or allocates.

#include <array>
#include <cstdint>

namespace quillon {

using GenotypeVector = std::array<double, 3>;

// A dosage's storage unit, PLINK 2's: 1/16384 of an allele.
inline constexpr double kDosageUnits = 16384.0;

// PLINK 2's hard call of an ALT dosage d in [0, 2]: d rounded to the nearest 1/16384 (halves
// up), then the genotype h in {0, 1, 2} with |d - h| <= T, else -1.  A d that is NaN or
// outside [0, 2] is -1 too.
int hard_call(double dosage, double threshold);

// How a person's field read.
enum class FieldRead {
    kOk,         // the values are well formed
    kMissing,    // no value (".", or the field absent for the person)
    kMalformed,  // negative, NaN or infinite, a zero sum, a count the field cannot have
};

// GP: P0, P1, P2 (n == 3), or a haploid P0, P1 (n == 2, as for a male on X).  Accepted when
// every value is finite and not negative and the sum is positive: the probabilities are
// divided by their sum (imputation servers round them, so they rarely sum to exactly 1).  A
// haploid pair becomes (P0, 0, P1): the hemizygote as the homozygote.  All NaN: kMissing.
FieldRead read_gp(const double* values, int n, GenotypeVector& p);

// The expected ALT dosage of normalised probabilities, P1 + 2 P2.
double expected_dosage(const GenotypeVector& p);

// DS: one value in [0, 2] (NaN: kMissing).
FieldRead read_ds(const double* values, int n, double& dosage);

// GL (log10 likelihoods, n == 3 or haploid n == 2) or PL (phred-scaled, whole numbers >= 0,
// `phred`): the likelihoods relative to the largest, then divided by their sum.  A GL value
// may be any finite number (+inf or NaN is malformed, -inf a likelihood of 0); a PL value
// must be a whole number from 0 up to 2^31 - 2 (larger ones are malformed).
FieldRead read_likelihoods(const double* values, int n, bool phred, GenotypeVector& l);

// The Hardy-Weinberg frequencies of genotypes 0, 1, 2 at ALT frequency q.
GenotypeVector hardy_weinberg(double q);

// A posterior's population prior taken out: p divided by the Hardy-Weinberg frequencies at
// the ALT frequency q (clamped into [1e-6, 1 - 1e-6] so that no prior is zero), then by its
// sum.
GenotypeVector divide_prior(const GenotypeVector& p, double q);

// The floor against rounded zeros: (1 - e) l + e / 3 for a vector l summing to 1.
GenotypeVector floor_vector(const GenotypeVector& l, double e);

// The most probable genotype (the lowest of ties).
int best_guess(const GenotypeVector& p);

}  // namespace quillon
