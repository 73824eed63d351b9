#pragma once
// quillon-simulate: writes wpedigree.dat, wcovars.dat and wweights.dat for a study of nuclear
// families drawn from the model that quillon fits, or the same families with many markers as
// PLINK and VCF files (simulate/marker_study.hpp).
//
// The model.  Each parent's genotype (copies of allele 2) is an independent draw from the
// prevalences (gamma0, gamma1, gamma2).  Each member gets a covariate row x (an optional
// intercept column of 1, then standard normal columns).  A child's relative risks of
// genotypes 1 and 2 against genotype 0 are nu1 = exp(b1.x) and nu2 = exp(b2.x), and its
// genotype is drawn from phgz(father, mother, g, nu1, nu2): the Mendelian distribution tilted by
// (1, nu1, nu2).  The covariate model ties b1 and b2 to one coefficient vector beta:
//   None:      b1 and b2 given separately
//   Recessive: b1 = 0,    b2 = beta
//   Dominant:  b1 = beta, b2 = beta
//   Additive:  b1 = beta, b2 = beta + beta
// True genotypes are drawn first; typing and phenotypes are then masked: a family has both
// parents untyped, or an untyped father and a typed mother, or both parents typed; a member's
// phenotype is missing (0) at the given rate, otherwise 2 for a child and 1 or 2 for a parent.
// Children are always typed, so every family written passes quillon's data checks.
//
// Population structure (--subpopulations).  Each family belongs to one group, drawn with
// probability proportional to the group's share of the population times its disease risk (the
// families are ascertained through affected children).  Its parents' genotypes are in
// Hardy-Weinberg at the group's allele-2 frequency, gamma1 / 2 + gamma2 plus the group's shift
// (see group_prevalences), each covariate column is the group's mean plus N(0, 1), and the
// group's untyped-parent rates replace the study's.  The group is written as a last column of
// wcovars.dat, its number 1..G (see simulate/marker_study.hpp for the --covar file).
//
// Random numbers.  Everything is drawn from ran2 and gasdev on one seed, in this fixed order,
// so one seed gives the same files on every machine:
//   seeding   ran2 is initialised with idum = -|seed| (seeds s and -s give the same study;
//             0, 1 and -1 all give ran2's seed 1), and a deviate that gasdev saved earlier
//             in the process is discarded, so the first normal comes from a fresh pair
//   for each family f = 1..N:
//     u     with --subpopulations only: the group, draw_group
//     u     family size n = min_size + (int)(u * (max_size - min_size + 1))
//     u     typing: u < untyped_parents -> both parents untyped;
//                   else u < untyped_parents + untyped_father -> father untyped
//     u, u  father's, then mother's genotype: 0 if u < gamma0, 1 if u < gamma0 + gamma1, else 2
//           (with --chromosome x the father's is his allele, draw_x_father)
//     for each member j = 1..n (father, mother, children):
//       gasdev for each covariate column in column order (an intercept column draws nothing);
//             with groups the group's mean of the column is added before rounding
//       u     sex of a child: 1 if u < 0.5, else 2           (unused for the parents)
//       u     phenotype missing when u < missing_phenotype
//       u     observed phenotype of a parent: 1 if u < 0.5, else 2   (unused for children)
//       u     child's genotype: 0 if u < p0, 1 if u < p0 + p1, else 2   (unused for parents;
//             on X draw_x_child, and a male's allele a is written homozygous, 2a copies)
//       u     heterozygote written "1 2" if u < 0.5, else "2 1"     (unused for homozygotes)
//       u     weight 0.5 + u when weights are random                 (unused otherwise)
// Every member consumes the same draws whatever its role and the options, so the rates and
// the weight mode change only what their own draws decide: the same seed gives the same
// families, covariates and genotypes with or without masking.
//
// A covariate value is rounded to the "%.6f" text written to wcovars.dat before it enters
// b.x, so that the file holds exactly the covariates the genotypes were drawn from.

#include <cstdio>
#include <string>
#include <vector>

#include "toolkit/nrarray.hpp"

namespace quillon {

// Limits of the options.  The families and family sizes are those quillon reads; 100
// covariates are far more than a study of this kind fits.
inline constexpr long kSimMaxFamilies = 10000;
inline constexpr int kSimMinFamilySize = 3;
inline constexpr int kSimMaxFamilySize = 10;
inline constexpr int kSimMaxCovariates = 100;
inline constexpr long kSimMaxMarkers = 10000000;

inline constexpr int kSimMaxGroups = 20;
// A group's allele-2 frequency, the marker's plus the group's shift, is kept in this range.
inline constexpr double kSimMinGroupFrequency = 0.001;

// One subpopulation: its label (the group column's value), its share of the population and
// disease risk (a drawn family is of group g with probability proportional to share x risk),
// the shift of its allele-2 frequency, its covariates' means (one per covariate column, the
// intercept's 0), and its untyped-parent rates.
struct Subpopulation {
    std::string name;
    double share = 1.0;
    double risk = 1.0;
    double shift = 0.0;
    std::vector<double> mean;  // [0..ncov-1]
    double untyped_father = 0.0;
    double untyped_parents = 0.0;
};

// The --subpop-* lists as given (empty: not given).
struct SubpopulationLists {
    std::vector<double> share, risk, shift, mean, untyped_father, untyped_parents;
};

struct SimulateOptions {
    long families = 200;
    int min_size = 3;
    int max_size = 6;
    double untyped_father = 0.0;     // rate of families with an untyped father, mother typed
    double untyped_parents = 0.0;    // rate of families with both parents untyped
    double missing_phenotype = 0.0;  // rate of members with phenotype 0
    int ncov = 0;
    bool intercept = false;  // covariate column 1 is all 1
    int cmodeltype = 0;      // 0 None, 1 Recessive, 2 Dominant, 3 Additive
    DVector beta;            // 1..ncov when given (models 1..3)
    DVector b1;              // 1..ncov when given (model None)
    DVector b2;              // 1..ncov when given (model None)
    double gamma1 = 0.42;    // prevalence of genotype 1
    double gamma2 = 0.09;    // prevalence of genotype 2
    bool random_weights = false;
    std::string out = ".";
    long seed = 12345;
    bool help = false;
    bool out_given = false;

    // Multi-marker studies (see simulate/marker_study.hpp); written only when bfile, file or
    // vcf is given, and then instead of the three files.
    long markers = 0;            // 0: not asked (1 when a genotype file is asked for)
    int chromosomes = 1;         // autosomes 1..chromosomes, contiguous near-equal blocks
    long x_markers = 0;          // the last x_markers markers lie on X (code 23)
    double effect_share = 0.0;   // markers whose children are drawn with b1, b2
    bool allele_freq_given = false;
    double freq_lo = 0.0, freq_hi = 0.0;  // allele-2 frequency range (Hardy-Weinberg)
    double untyped_children = 0.0;     // children untyped, per marker
    double genotype_errors = 0.0;      // typed genotypes replaced by another, per marker
    double unaffected_children = 0.0;  // children with .fam phenotype 1 (drawn by Mendel)
    bool chromosome_x = false;         // --chromosome x: the three files hold an X marker
    int xchr_model = 2;                // on X a son's allele acts as 2 copies or as 1
    double male_het_errors = 0.0;      // typed males on X written heterozygous, per marker
    double father_only = 0.0;          // one-untyped-parent families written with the typed
                                       // parent as the father
    std::string bfile, file, vcf, covar, weight_file, effects;
    // Imputed-like VCFs (simulate/imputation.hpp): marker m's target r2 is
    // imputed_r2[(m - 1) % size] (empty: GT calls only); shared_error the chance that a
    // child's observation of an inherited haplotype is its parent's.
    std::vector<double> imputed_r2;
    double shared_error = 0.5;

    // Population structure (--subpopulations): groups[0..G-1], empty without.  The lists as
    // given are kept in subpop_lists until the checks build the groups from them.
    std::vector<Subpopulation> groups;
    std::string group_column = "GROUP";
    SubpopulationLists subpop_lists;
};

// Parses argv[1..argc-1] (GNU long options "--name value" or "--name=value") into `options`,
// then checks every value and their combinations.  Returns true on success; otherwise
// false with a one-line message (no newline) in `error`.  With --help it returns true and
// sets options.help without checking the rest.
bool parse_simulate_options(int argc, const char* const* argv, SimulateOptions& options, std::string& error);

// Writes the usage text.
void print_simulate_usage(std::FILE* out);

// The expanded coefficients b1[1..ncov], b2[1..ncov] of the options' covariate model;
// coefficients not given are 0.
void expand_coefficients(const SimulateOptions& options, DVector& b1, DVector& b2);

// Genotype of a founder from a uniform u in (0, 1): 0 if u < gamma0, 1 if
// u < gamma0 + gamma1, else 2.
int draw_founder_genotype(double u, double gamma0, double gamma1);

// The group of a family (1..G) from a uniform u in (0, 1): the first g whose cumulative
// weight share x risk, over the total, exceeds u.
int draw_group(double u, const std::vector<Subpopulation>& groups);

// The Hardy-Weinberg prevalences (gamma1, gamma2) of group g (1..G) at a marker of allele-2
// frequency p: the group's frequency p + shift, kept in [kSimMinGroupFrequency,
// 1 - kSimMinGroupFrequency].
void group_prevalences(const Subpopulation& group, double p, double& gamma1, double& gamma2);

// Genotype of a child of parents (fg, mg) with relative risks nu1, nu2 from a uniform u in
// (0, 1), with p_g = phgz(fg, mg, g, nu1, nu2): 0 if u < p0, 1 if u < p0 + p1, else 2.
// A genotype of probability 0 is never returned for u in (0, 0.99999988].  Returns -1 when
// the probabilities are not finite (a relative risk overflowed, or all that are possible
// underflowed to 0).
int draw_child_genotype(int fg, int mg, double nu1, double nu2, double u);

// On X: a father's allele from a uniform u in (0, 1), 1 with the allele-2 frequency
// gamma1 / 2 + gamma2 (0 if u < 1 - that frequency); a child's X genotype (a son's allele, a
// daughter's diploid code) given the father's allele and the mother's genotype, P(g)
// proportional to x_transmission and to the relative risk of g: (1, nu1, nu2) for a daughter,
// 1 and nu2 (xchr_model 2) or nu1 (xchr_model 1) for a son's alleles 0 and 1, returned as
// draw_child_genotype returns; -1 when the probabilities are not finite.
int draw_x_father(double u, double gamma1, double gamma2);
int draw_x_child(int sex, int father, int mother, double nu1, double nu2, int xchr_model, double u);

// One simulated family, members 1..ninfam (father, mother, children).
struct SimFamily {
    long famid = 0;
    int ninfam = 0;
    int group = 0;    // 1..G with --subpopulations, else 0
    IVector sex;      // 1..ninfam
    IVector pheno;    // 1..ninfam: 0 missing, 1, 2
    IVector allele1;  // 1..ninfam: 0 untyped, 1, 2
    IVector allele2;
    DMatrix covars;   // 1..ninfam x 1..ncov
    DVector weight;   // 1..ninfam
};

struct SimulatedStudy {
    long nfam = 0;
    int ncov = 0;
    bool random_weights = false;
    int groups = 0;              // G with --subpopulations
    IndexVector<SimFamily> fam;  // 1..nfam
};

// Draws the whole study from checked options in the order documented above.  Returns true
// on success; false with a message in `error` when a child's genotype probabilities are not
// finite (coefficients so large that a relative risk overflows).  The result depends only
// on the options: earlier draws in the same process do not shift it.
bool simulate_study(const SimulateOptions& options, SimulatedStudy& study, std::string& error);

// Creates `folder` if it is missing and writes wpedigree.dat, wcovars.dat (ncov values per
// line, "%.6f", then the family's group 1..G with --subpopulations; an empty line per member
// when there is neither) and wweights.dat ("1", or "%.6f"
// for random weights) in it.  Returns false with a message naming the file on failure.
bool write_study(const SimulatedStudy& study, const std::string& folder, std::string& error);

// The program: options, draw, write.  Returns the exit status: 0 on success (and for
// --help), 2 for invalid options, 1 when the study cannot be drawn or written.  Messages
// go to standard error as one line each.
int simulate_main(int argc, char** argv);

}  // namespace quillon
