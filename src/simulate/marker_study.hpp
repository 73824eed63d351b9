#pragma once
// Multi-marker studies: the families of one simulated study (simulate.hpp) with the genotypes
// of many markers, written as a PLINK 1 binary fileset (.bed/.bim/.fam), a PLINK text fileset
// (.ped/.map, the .fam lines followed by two allele letters per marker, "0 0" untyped) and/or
// a VCF, with covariate and weight tables ("FID IID name1 ..." / "FID IID WEIGHT"); with
// --subpopulations the covariate table's last column (GROUP, or --subpop-column) holds each
// person's group label.
//
// The pedigree, covariates, sexes and phenotypes are those simulate_study draws for the
// options; its own genotypes are not written.  Which parents are untyped is the family's
// typing from that draw, at every marker.
//
// The .fam.  Family k has FID "k" and members "k-1" (father), "k-2" (mother), "k-3", ...
// (children, in drawn order); missing phenotypes are written -9.  An untyped parent j of family
// k is, by (k + j) mod 3: 0 absent from the .fam but named by the children, 1 listed with every
// genotype missing (and absent from the VCF), 2 written "0" in the children's PAT or MAT (when
// both parents would be "0", the mother is absent instead).  Families with k mod 4 = 3 list
// their children before their parents.  With father_only, a family whose father is untyped and
// mother typed is written, at that rate, with the two exchanged (the typed parent as the
// father, sex 1), as a father-only typed family; its members are otherwise the same.  With
// unaffected_children, a child with phenotype 2 has phenotype 1 at that rate; its genotypes are
// drawn by Mendel alone (a child of missing phenotype is drawn as an affected one).
//
// Random numbers.  After simulate_study, ran2 is reseeded for each stream from (|seed| or 1,
// stream) through a 64-bit mix, so marker m's genotypes depend only on the options and m:
//   stream 0 (layout)  per family: u (exchange); per member: u (unaffected)
//   stream m (marker m) u (allele frequency), u (effect), then per family, per member in drawn
//                      order: u (genotype), u (untyped child), u (error), u (error kind)
// A parent's genotype is 0, 1 or 2 from the prevalences (--prevalences, or Hardy-Weinberg at
// an allele-2 frequency lo + (hi - lo) u when an allele-frequency range is given; with
// --subpopulations, Hardy-Weinberg at the family's group's frequency, that marker frequency
// plus the group's shift, see group_prevalences); a child's
// is drawn as by simulate_study with the relative risks exp(b1.x), exp(b2.x) when the marker
// has an effect (u < effect_share) and 1, 1 otherwise.  A typed genotype g is replaced, when
// u < genotype_errors, by (g + 1) mod 3 or (g + 2) mod 3 (u < 0.5 or not).
//
// On X (the same draws): the drawn father carries one allele, 1 with the allele-2 frequency
// gamma1 / 2 + gamma2; the mother's genotype is drawn as above; a son receives one of his
// mother's alleles, a daughter her father's and one of her mother's, tilted by the relative
// risks (a daughter's as above; a son's allele 1 by nu2 with xchr_model 2, nu1 with 1).  A
// typed male's allele a is written homozygous (2a copies; in a VCF a haploid call); when
// u < genotype_errors it is the other allele, else when u (error kind) < male_het_errors the
// call is heterozygous.  A father_only exchange writes the mother's draws as the father's.
//
// Markers.  Marker m is "snp<m>"; the first markers - x_markers are spread over chromosomes
// 1..chromosomes in contiguous near-equal blocks, the rest are on 23; base-pair positions are
// 10000, 20000, ... within each chromosome; alleles cycle through (A,G) (C,T) (A,C) (G,T) (A,T)
// (C,G) as (allele 1, allele 2).  The counted allele is allele 2: A1 in the .bim, ALT in the VCF.

#include <string>

#include "simulate/simulate.hpp"

namespace quillon {

// Writes the files named in `options` (bfile, file, vcf, covar, weight_file, effects; a VCF whose
// name ends in ".gz" is BGZF-compressed) for `study`, drawn from the same options.  Each file
// is written under a temporary name (io/pending_file.hpp: an earlier file of the name is
// removed at once) and renamed when every file is complete.  Returns false with a message
// naming the file (or the family, member and marker) on failure.  Shows the markers done on
// standard error when it is a terminal.
bool write_marker_study(const SimulateOptions& options, const SimulatedStudy& study, std::string& error);

}  // namespace quillon
