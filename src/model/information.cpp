#include "model/information.hpp"

#include <cmath>
#include <utility>
#include <vector>

#include "model/model.hpp"
#include "genetics/posterior.hpp"
#include "model/score.hpp"
#include "genetics/transmission.hpp"
#include "toolkit/linalg.hpp"
#include "toolkit/nrerror.hpp"

namespace quillon {

namespace {

// Parental pairs k = 1..parentpairs are stored at k - 1.

// Bit k-1 set when pair k can have a child of genotype h / has mother's genotype m.
constexpr unsigned pair_bits(const int (&row)[10]) {
    unsigned bits = 0;
    for (int k = 1; k <= parentpairs; ++k)
        if (row[k] == 1) bits |= 1U << (k - 1);
    return bits;
}
constexpr unsigned kChildMask[3] = {pair_bits(parentgh[0]), pair_bits(parentgh[1]), pair_bits(parentgh[2])};
constexpr unsigned kMotherMask[3] = {pair_bits(parentg[0]), pair_bits(parentg[1]), pair_bits(parentg[2])};
constexpr unsigned kAllPairs = (1U << parentpairs) - 1;

// The pairs of `bits` (pair k + 1 at bit k) in increasing k: `lowest` then drop it.
inline int lowest(unsigned bits) { return __builtin_ctz(bits); }

// Enumerates the children's genotype combinations of one family at a time.
//
// Every quantity that the enumeration multiplies or adds along the children is a fixed
// double once the family and the estimate are fixed: each child's tilted transmission
// probability under each pair and genotype, and its contribution to each entry of the score
// vector.  They are tabulated once per family.  The combinations are visited depth first,
// the first child slowest and the last fastest (the order of the genotype table's rows),
// and the running products and sums over the leading children are carried down the
// recursion, so every combination's probability, pair posteriors and score vectors are
// the very same doubles as a child-by-child evaluation from scratch would give.
class FamilyEnumerator {
public:
    // gammma: gamma0..2 of each stratum in turn.
    FamilyEnumerator(const Settings& s, const double* gammma)
        : s_(s),
          entries_(static_cast<int>(s.npars) + 1),
          child_entries_(static_cast<int>(coefficients(s)) + 1),
          ph_(static_cast<std::size_t>(maxchildren) * parentpairs * 3),
          contrib_(static_cast<std::size_t>(maxchildren) * parentpairs * 3 * child_entries_),
          tm_(maxchildren + 1),
          prod_(static_cast<std::size_t>(maxchildren + 1) * parentpairs),
          sums_(static_cast<std::size_t>(maxchildren + 1) * parentpairs * child_entries_),
          inner_(entries_),
          posterior_(parentpairs),
          strata_gg_(static_cast<std::size_t>(parentpairs * s.nstrata)),
          strata_score_(static_cast<std::size_t>(2 * parentpairs * s.nstrata)) {
        for (long st = 0; st < s.nstrata; ++st) {
            const double* gamma = gammma + 3 * st;
            for (int k = 1; k <= parentpairs; ++k) {
                const int f = gpgenos[k][0];
                const int m = gpgenos[k][1];
                const auto at = static_cast<std::size_t>(parentpairs * st + k - 1);
                strata_gg_[at] = gamma[f] * gamma[m];
                // d log(gamma_f gamma_m) / d gamma1 and d gamma2, with gamma0 = 1 - gamma1 - gamma2.
                const double g0 = (1.0 - gamma[1]) - gamma[2];
                const int n0 = utilg[k][1], n1 = utilg[k][2], n2 = utilg[k][3];
                strata_score_[2 * at] = static_cast<double>(-n0) / g0 + static_cast<double>(n1) / gamma[1];
                strata_score_[2 * at + 1] = static_cast<double>(-n0) / g0 + static_cast<double>(n2) / gamma[2];
            }
        }
        select_stratum(0);
    }

    // Tabulates the family's per-child values at the estimate, where its children's relative
    // risks are `risks`.
    void prepare(const famdat& fam, ChildRisks risks) {
        select_stratum(fam.stratum);
        nchild_ = fam.ninfam - 2;
        father_typed_ = fam.famgeno[1] != -1;
        const int mg = fam.famgeno[2];
        parent_mask_ = mg == -1 ? kAllPairs : kMotherMask[mg];
        for (int k = 0; k < parentpairs; ++k) pair_finite_[k] = true;
        // Only the pairs the enumeration can reach are tabulated: with a typed father the
        // family's compatible pairs, otherwise those of the mother's genotype.
        unsigned reached = parent_mask_;
        if (father_typed_) {
            reached = 0;
            for (int p = 1; p <= fam.npgeno; ++p) reached |= 1U << (3 * fam.pgenos[p][1] + fam.pgenos[p][2]);
        }
        const long ncov = s_.ncov;
        for (int c = 0; c < nchild_; ++c) {
            const int j = c + 3;
            const double nu1 = risks.nu1(j);
            const double nu2 = risks.nu2(j);
            const double w = fam.weight[j];
            const DVector& x = fam.fcovdat[j];
            for (unsigned left = reached; left != 0; left &= left - 1) {
                const int k = lowest(left) + 1;
                // The pair's three tilted probabilities, computed once: the expected codings
                // (mkmuu1ijg, mkmuijg) and the scores are formed from these same doubles.
                const int f = gpgenos[k][0], m = gpgenos[k][1];
                const double pp[3] = {phgz(f, m, 0, nu1, nu2), phgz(f, m, 1, nu1, nu2), phgz(f, m, 2, nu1, nu2)};
                const double muu1 = expected_coding(s_.cchu1, pp);
                const double mu = expected_coding(s_.cch, pp);
                const double p1 = pp[1];
                const double p2 = pp[2];
                for (int g = 0; g < 3; ++g) {
                    const double p = pp[g];
                    if (!(p - p == 0.0)) pair_finite_[k - 1] = false;  // inf or nan
                    ph(c, k - 1, g) = p;
                    double* e = contribution(c, k - 1, g);
                    e[0] = (static_cast<double>(s_.cchu1[g]) - muu1) * w;
                    if (s_.cmodeltype == kNone) {
                        const double a1 = (g == 1 ? 1.0 : 0.0) - p1;
                        const double a2 = (g == 2 ? 1.0 : 0.0) - p2;
                        for (long i = 1; i <= ncov; ++i) {
                            e[i] = x[i] * a1;
                            e[i + ncov] = x[i] * a2;
                        }
                    } else {
                        const double a1 = static_cast<double>(s_.cch[g]) - mu;
                        for (long i = 1; i <= ncov; ++i) e[i] = x[i] * a1;
                    }
                }
            }
        }
    }

    // For the pair (f, m), prepared: fpi's numerator, prod_j phgz(f, m, g_j, nu1j, nu2j) over the
    // children in order times (gamma_f gamma_m), and status_score's sum from 0.0 of
    // (cchu1[g_j] - E cchu1) w_j, from the tabulated doubles (the very ones they compute).
    double pair_numerator(int f, int m, const IVector& famgeno) {
        const int k = 3 * f + m;
        double prod = 1.0;
        for (int c = 0; c < nchild_; ++c) prod = prod * ph(c, k, famgeno[c + 3]);
        return prod * gg_[k];
    }
    double status_score(int f, int m, const IVector& famgeno) {
        const int k = 3 * f + m;
        double u = 0.0;
        for (int c = 0; c < nchild_; ++c) u = u + contribution(c, k, famgeno[c + 3])[0];
        return u;
    }

    // Adds, for the compatible pair (ffg, mmg) of posterior weight w0p, every combination's
    // ((u_j1 u_j2) P(c|p)) w0p to the packed upper triangle jj (row-major, j1 <= j2).
    //
    // The combinations are the rows k1..k2 of the genotype table, whose last n columns hold
    // the father, the mother and the children's genotypes, the last child changing fastest.
    // Going from one row to the next, only the children from the first changed digit on are
    // applied again; the running values of the children before it are kept.
    void enumerate_pair(const GenotypeTable& table, int ffg, int mmg, double w0p, double* jj) {
        switch (s_.nstrata == 1 ? entries_ : 0) {  // the loops over the entries unrolled for the usual sizes
            case 3: enumerate<3>(table, ffg, mmg, w0p, jj); break;
            case 4: enumerate<4>(table, ffg, mmg, w0p, jj); break;
            case 5: enumerate<5>(table, ffg, mmg, w0p, jj); break;
            case 6: enumerate<6>(table, ffg, mmg, w0p, jj); break;
            default: enumerate<0>(table, ffg, mmg, w0p, jj); break;
        }
    }

private:
    // The prior and its score of stratum st; its prevalence entries follow the children's.
    void select_stratum(int st) {
        if (st < 0 || st >= s_.nstrata)
            nrerror("information: a family's stratum outside the strata", NumericalKind::kInvalidSetting);
        for (int k = 0; k < parentpairs; ++k) {
            const auto at = static_cast<std::size_t>(parentpairs * st + k);
            gg_[k] = strata_gg_[at];
            pair_score_[k][0] = strata_score_[2 * at];
            pair_score_[k][1] = strata_score_[2 * at + 1];
        }
        prevalence_at_ = child_entries_ + 2 * st;
    }

    // enumerate_pair with E entries (0: entries_).
    template <int E>
    void enumerate(const GenotypeTable& table, int ffg, int mmg, double w0p, double* jj) {
        const int n = nchild_ + 2;
        const long k1 = table.powrdx[n - 1] * ffg + table.powrdx[n - 2] * mmg + 1;
        const long k2 = table.powrdx[n - 1] * ffg + table.powrdx[n - 2] * (mmg + 1);
        const int first_child_column = maxfamilysize - n + 3;
        kp_ = 3 * ffg + mmg;
        w0p_ = w0p;
        jj_ = jj;
        tm_[0] = 1.0;
        active_[0] = father_typed_ ? (1U << kp_) : parent_mask_;
        for (unsigned left = active_[0]; left != 0; left &= left - 1) {  // the others are never read
            const int k = lowest(left);
            prod_[k] = 1.0;
            double* sum = sums_at(0, k);
            for (int e = 0; e < child_entries<E>(); ++e) sum[e] = 0.0;
        }
        int valid = 0;  // children 0..valid-1 of the current row are applied
        long r = k1;
        while (r <= k2) {
            const LVector& row = table.GT[r];
            int c = 0;
            while (c < valid && row[first_child_column + c] == digits_[c]) ++c;
            bool skip = false;
            for (; c < nchild_; ++c) {
                const int g = static_cast<int>(row[first_child_column + c]);
                digits_[c] = g;
                // tmphh = tmphh * phgz(father, mother, g, nu1, nu2) for the enumerated pair.
                const double t = tm_[c] * ph(c, kp_, g);
                if (t == 0.0 && pair_finite_[kp_]) {
                    // Zero stays zero when every later factor is finite: every row that shares
                    // these leading children has probability 0 and is skipped.
                    valid = c;
                    r += block_rows(c, table);
                    skip = true;
                    break;
                }
                apply_child<E>(c, g, t);
            }
            if (skip) continue;
            valid = nchild_;
            leaf<E>(active_[nchild_]);
            ++r;
        }
    }

    template <int E>
    int child_entries() const {
        return E > 0 ? E - 2 : child_entries_;
    }

    // Rows that share the first c + 1 children: 3^(children after c).
    long block_rows(int c, const GenotypeTable& table) const {
        const int later = nchild_ - 1 - c;
        return later == 0 ? 1 : table.powrdx[later];
    }

    // Carries the running values from child c - 1 to child c with genotype g.
    template <int E>
    void apply_child(int c, int g, double t) {
        tm_[c + 1] = t;
        const unsigned next = father_typed_ ? active_[c] : (active_[c] & kChildMask[g]);
        active_[c + 1] = next;
        for (unsigned left = next; left != 0; left &= left - 1) {
            const int k = lowest(left);
            // fpi's product over the children under pair k.
            prod_[static_cast<std::size_t>(c + 1) * parentpairs + k] =
                prod_[static_cast<std::size_t>(c) * parentpairs + k] * ph(c, k, g);
            // The score vector's sums over the children under pair k.
            const double* from = sums_at(c, k);
            const double* add = contribution(c, k, g);
            double* to = sums_at(c + 1, k);
            for (int e = 0; e < child_entries<E>(); ++e) to[e] = from[e] + add[e];
        }
    }

    double& ph(int c, int k, int g) { return ph_[(static_cast<std::size_t>(c) * parentpairs + k) * 3 + g]; }
    double* contribution(int c, int k, int g) {
        return &contrib_[((static_cast<std::size_t>(c) * parentpairs + k) * 3 + g) * child_entries_];
    }
    double* sums_at(int depth, int k) {
        return &sums_[(static_cast<std::size_t>(depth) * parentpairs + k) * child_entries_];
    }

    template <int E>
    void leaf(unsigned pairs) {
        const int entries = E > 0 ? E : entries_;
        const int ce = child_entries<E>();
        const double tmphh = tm_[nchild_];
        if (tmphh == 0.0) return;
        const double* prod = &prod_[static_cast<std::size_t>(nchild_) * parentpairs];
        // Posterior of the pairs the combination leaves possible, in increasing pair index.
        double total = 0.0;
        for (unsigned left = pairs; left != 0; left &= left - 1) {
            const int k = lowest(left);
            posterior_[k] = prod[k] * gg_[k];
            total = total + posterior_[k];
        }
        double* inner = inner_.data();
#pragma GCC unroll 8
        for (int e = 0; e < entries; ++e) inner[e] = 0.0;
        for (unsigned left = pairs; left != 0; left &= left - 1) {
            const int k = lowest(left);
            const double post = posterior_[k] / total;
            const double* u = sums_at(nchild_, k);
#pragma GCC unroll 8
            for (int e = 0; e < ce; ++e) inner[e] = inner[e] + u[e] * post;
            const int pe = E > 0 ? ce : prevalence_at_;  // E > 0: one stratum
            inner[pe] = inner[pe] + pair_score_[k][0] * post;
            inner[pe + 1] = inner[pe + 1] + pair_score_[k][1] * post;
        }
        add_outer<E>(inner, tmphh);
    }

    // jj += (u u' tmphh) w0p over the packed upper triangle, row by row (E > 0: E entries,
    // unrolled; 0: entries_).
    template <int E>
    void add_outer(const double* inner, double tmphh) {
        const int entries = E > 0 ? E : entries_;
        double* jj = jj_;
#pragma GCC unroll 8
        for (int j1 = 0; j1 < entries; ++j1) {
            const double u1 = inner[j1];
#pragma GCC unroll 8
            for (int j2 = j1; j2 < entries; ++j2) {
                *jj = *jj + ((u1 * inner[j2]) * tmphh) * w0p_;
                ++jj;
            }
        }
    }

    const Settings& s_;
    const int entries_;        // npars + 1
    const int child_entries_;  // coefficients + 1: the entries that depend on the children
    double gg_[parentpairs] = {};
    double pair_score_[parentpairs][2] = {};
    int prevalence_at_ = 0;  // the entry of the current stratum's gamma1 score

    int nchild_ = 0;
    bool father_typed_ = false;
    unsigned parent_mask_ = kAllPairs;
    bool pair_finite_[parentpairs] = {};

    std::vector<double> ph_;
    std::vector<double> contrib_;
    std::vector<double> tm_;
    std::vector<double> prod_;
    std::vector<double> sums_;
    std::vector<double> inner_;
    std::vector<double> posterior_;
    std::vector<double> strata_gg_;     // gg_ of stratum st at 9 st
    std::vector<double> strata_score_;  // pair_score_ of stratum st at 18 st

    int digits_[maxchildren] = {};
    unsigned active_[maxchildren + 1] = {};  // pairs still possible after each child
    int kp_ = 0;
    double w0p_ = 0.0;
    double* jj_ = nullptr;
};

}  // namespace

void accumulate_information(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                            const FitResult& fit, DMatrix& JJ, double* scoreUb) {
    const int entries = static_cast<int>(s.npars) + 1;
    std::vector<double> upper(static_cast<std::size_t>(entries) * (entries + 1) / 2, 0.0);
    if (fit.strata_gammma.empty() && s.nstrata != 1)
        nrerror("information: the fit holds no prevalences of the strata", NumericalKind::kInvalidSetting);
    FamilyEnumerator enumerator(s, fit.strata_gammma.empty() ? fit.gammma : fit.strata_gammma.data());
    double posterior[parentpairs + 1];
    std::size_t children = 0;
    for (long ifam = 1; ifam <= families.nfam; ++ifam) children += static_cast<std::size_t>(families[ifam].ninfam - 2);
    if (fit.risks.size() != 2 * children)
        nrerror("information: the fit's relative risks are not those of the families", NumericalKind::kInvalidSetting);
    const double* next_risks = fit.risks.data();
    for (long ifam = 1; ifam <= families.nfam; ++ifam) {
        const famdat& fam = families[ifam];
        const int n = fam.ninfam;
        const ChildRisks risks{next_risks};
        next_risks += 2 * (n - 2);
        for (int p = 1; p <= fam.npgeno; ++p)
            if (fam.pgenos[p][1] == -1 || fam.pgenos[p][2] == -1) missing_genotype();
        enumerator.prepare(fam, risks);
        // The pairs' posterior weights (fpi's).
        double total = 0.0;
        for (int p = 1; p <= fam.npgeno; ++p) {
            posterior[p] = enumerator.pair_numerator(fam.pgenos[p][1], fam.pgenos[p][2], fam.famgeno);
            total = total + posterior[p];
        }
        for (int p = 1; p <= fam.npgeno; ++p) posterior[p] = posterior[p] / total;
        for (int p = 1; p <= fam.npgeno; ++p) {
            const int ffg = fam.pgenos[p][1];
            const int mmg = fam.pgenos[p][2];
            // Non-founders score: the status score of the observed children, averaged over
            // the parental pairs with their posterior weights.
            *scoreUb = *scoreUb + posterior[p] * enumerator.status_score(ffg, mmg, fam.famgeno);
            enumerator.enumerate_pair(table, ffg, mmg, posterior[p], upper.data());
        }
    }
    std::size_t idx = 0;
    for (int j1 = 1; j1 <= entries; ++j1)
        for (int j2 = j1; j2 <= entries; ++j2) JJ[j1][j2] = upper[idx++];
    for (int j1 = 1; j1 <= entries; ++j1)
        for (int j2 = j1; j2 <= entries; ++j2) JJ[j2][j1] = JJ[j1][j2];
}

double wald_statistic(const DMatrix& subJ, const DVector& ogpars, long m) {
    double waldstat = 0.0;
    for (long i = 1; i <= m; ++i) {
        double sum = 0.0;
        for (long k = 1; k <= m; ++k) sum = sum + ogpars[k] * subJ[i][k];
        waldstat = waldstat + ogpars[i] * sum;
    }
    return waldstat;
}

int wald_degrees_of_freedom(const DMatrix& subJ, long m) {
    double largest = 0.0;
    for (long i = 1; i <= m; ++i)
        if (subJ[i][i] >= largest) largest = subJ[i][i];
    int df = 0;
    for (long i = 1; i <= m; ++i)
        if (subJ[i][i] >= 1e-6 * largest) ++df;
    return df;
}

InformationResult information_step(const Settings& s, const FamilyTable& families, const GenotypeTable& table,
                                   const FitResult& fit) {
    const int npars = static_cast<int>(s.npars);
    DMatrix JJ = matrix(1, npars + 1, 1, npars + 1);
    JJ.fill(0.0);
    double scoreUb = 0.0;
    accumulate_information(s, families, table, fit, JJ, &scoreUb);
    return partition_information(std::move(JJ), scoreUb, fit.ogpars, npars, coefficients(s));
}

InformationResult partition_information(DMatrix JJ, double scoreUb, const DVector& ogpars, int npars, long m) {
    InformationResult r;
    r.JJ = std::move(JJ);
    r.scoreUb = scoreUb;
    r.subJ = matrix(1, npars, 1, npars);
    r.subJI = matrix(1, npars, 1, npars);
    r.Jbvg = matrix(1, npars, 1, 1);
    r.JbvgT = matrix(1, 1, 1, npars);
    r.Jutil3 = matrix(1, 1, 1, npars);
    r.Jutil4 = matrix(1, 1, 1, 1);
    for (int j1 = 1; j1 <= npars; ++j1) {
        r.Jbvg[j1][1] = r.JJ[1][j1 + 1];
        r.JbvgT[1][j1] = r.JJ[1][j1 + 1];
        for (int j2 = 1; j2 <= npars; ++j2) r.subJ[j1][j2] = r.JJ[j1 + 1][j2 + 1];
    }
    r.near_singular = inversse(r.subJ, npars, r.subJI);

    r.waldstat = wald_statistic(r.subJ, ogpars, m);
    r.wsdf = wald_degrees_of_freedom(r.subJ, m);

    mltmm(r.JbvgT, 1, npars, r.subJI, npars, r.Jutil3);
    mltmm(r.Jutil3, 1, npars, r.Jbvg, 1, r.Jutil4);
    return r;
}

NonFoundersStatistic non_founders_statistic(const InformationResult& info) {
    const double v = info.JJ[1][1] - info.Jutil4[1][1];
    return {info.scoreUb / std::sqrt(v), std::sqrt(v), v > 1.0e-9 * info.JJ[1][1]};
}

}  // namespace quillon
