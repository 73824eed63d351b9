#pragma once
// The score tests in closed form for families whose parents are all typed.
//
// With both parents typed the likelihood is the product of the parents' prevalence terms
// and, per child, the tilted transmission T_p(g | x) of its parents' pair p.  The
// prevalences' restricted estimates are the parents' genotype shares whatever the
// coefficients, and the information has no coefficient-prevalence block (each child's
// coefficient score has mean 0 under its pair), so the coefficient block of the inverse
// information is the inverse of the coefficient block.  With coding vectors a_h of the
// covariate model (a_h = cch[h], or (1{h=1}, 1{h=2}) under None) and q_p the tilted
// transmission of pair p at the intercept's coefficients beta (0 under the joint null):
//   U_(r,k) = sum_p sum_g (a_g[r] - E_qp a[r]) Sx_(p,g)[k]      Sx_(p,g) = sum of x over the
//   J_(r,k)(s,l) = sum_p Cov_qp(a)[r][s] Sxx_p[k][l]              children of pair p, genotype g;
//                                                               Sxx_p = sum of x x' over pair p's.
// A pair of homozygous parents transmits one genotype: its children carry no information and
// their sums are never read.  The interaction null fits beta by Newton's method on the tallies of
// covariate column 1, which must be 1 for every child (the intercept).
//
// The tallies are the one pass over the children per marker; nothing is allocated for up to
// 16 covariates.

#include <array>
#include <optional>
#include <vector>

#include "genetics/family.hpp"
#include "model/settings.hpp"

namespace quillon {

struct ScoreStatistics {
    std::optional<double> joint;  // every coefficient 0
    std::optional<double> gxe;    // every coefficient but the intercept's 0 (asked for and defined)
};

// One marker's tallies: the children added in the order of their families and of the children
// within them (the order of the sums), then the statistics.
class TrioTally {
public:
    // `unit_first`: every child added has covariate 1 equal to 1 (the intercept) and its sums
    // are added by add_sums_fixed<N, true>.  `spare`: slots of sums beyond the pairs' (add_sums).
    explicit TrioTally(const Settings& s, bool unit_first = false, std::size_t spare = 0);
    TrioTally(const TrioTally&) = delete;
    TrioTally& operator=(const TrioTally&) = delete;

    // A child of genotype `child` (0..2) of typed parents, its covariate row x[0..ncov-1].  A
    // pair of homozygous parents is tallied too, in sums no statistic reads: the add has no
    // branch on the genotypes.
    void add(int father, int mother, int child, const double* x) {
        const auto p = static_cast<std::size_t>(3 * father + mother), pg = 3 * p + static_cast<std::size_t>(child);
        add_sums(p, pg, x);
        ++n_[pg];
    }
    // An add's sums without its count, the child's pair's at slot p and its pair and genotype's
    // at slot pg: 3 father + mother and 3 p + child as in add, or the spare slots 9 + s and
    // 27 + s (s < spare), which no statistic reads.  The counts come by add_children.
    double* pair_sums(std::size_t p) { return sxx_ + p * tri_; }
    double* genotype_sums(std::size_t pg) { return sx_ + pg * ncov_; }
    void add_sums(std::size_t p, std::size_t pg, const double* x) { add_sums(pair_sums(p), genotype_sums(pg), x); }
    void add_sums(double* sxx, double* sx, const double* x) const {
        switch (ncov_) {
            case 1: add_sums_fixed<1, false>(sxx, sx, x); return;
            case 2: add_sums_fixed<2, false>(sxx, sx, x); return;
            case 3: add_sums_fixed<3, false>(sxx, sx, x); return;
            default: break;
        }
        std::size_t at = 0;
        for (std::size_t k = 0; k < ncov_; ++k) {
            sx[k] += x[k];
            for (std::size_t l = k; l < ncov_; ++l) sxx[at++] += x[k] * x[l];
        }
    }
    // add_sums where ncov is N (each sum gains one term a child, so the unrolled order is the
    // loop's).  `Unit` (the tally's unit_first): the ones of covariate 1 are counted, and
    // statistics() folds the counts in (a sum of ones is exact, and 1 x is x).
    template <std::size_t N, bool Unit>
    static void add_sums_fixed(double* sxx, double* sx, const double* x) {
        std::size_t at = 0;
        for (std::size_t k = 0; k < N; ++k) {
            if (Unit && k == 0) {
                for (std::size_t l = 1; l < N; ++l) sxx[l] += x[l];
                at = N;
                continue;
            }
            sx[k] += x[k];
            for (std::size_t l = k; l < N; ++l) sxx[at++] += x[k] * x[l];
        }
    }
    // `k` more children of pair 3 father + mother and genotype g, 3 pair + g, whose sums came by add_sums.
    void add_children(std::size_t pg, long k) { n_[pg] += k; }
    // The children added of pair 3 father + mother and genotype g, by 3 pair + g.
    long children(std::size_t pg) const { return n_[pg]; }
    // Nothing for a statistic whose information is singular or whose restricted maximum is
    // at infinity; `gxe`: also the interaction test (covariate column 1 the intercept).
    // Called once, after the last add.
    ScoreStatistics statistics(bool gxe);

private:
    // The tilted transmission's mean and covariance of the coding under each pair at beta.
    struct PairMoments {
        double mean[parentpairs][2];
        double cov[parentpairs][2][2];
        double logq[parentpairs][3];
    };
    void moments(const double* beta, PairMoments& pm) const;
    void score_and_information(const PairMoments& pm);
    std::optional<double> statistic(bool others);
    bool fit_intercept(double* beta, PairMoments& pm);  // pm: the moments at 0 on entry
    double loglik(const PairMoments& pm) const;

    const int d_;  // entries of the coding: 2 under the covariate model None, else 1
    const std::size_t ncov_, tri_, m_;
    double a_[3][2] = {};
    double count_[parentpairs] = {};    // children by pair, from n_
    long n_[27] = {};                   // children by 3 pair + genotype
    const bool unit_first_;
    double *sx_, *sxx_, *u_, *w_, *j_, *scratch_;
    std::array<double, 4096> stack_;
    std::vector<double> heap_;  // only for more than about 16 covariates
};

// The tallies of the families.  Nothing unless every family has both parents typed; then nothing for a statistic whose
// information is singular or whose restricted maximum is at infinity.
std::optional<ScoreStatistics> trio_score_statistics(const Settings& s, const FamilyTable& families, bool gxe);

}  // namespace quillon
