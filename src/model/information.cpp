#include "model/information.hpp"

#include <array>
#include <cmath>
#include <cstring>
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

// Parental pairs k = 1..parentpairs are stored at k - 1, that is at 3 f + m for the father's
// genotype f and the mother's m.

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

// The prior of the parental pairs, gamma_f gamma_m, and its score, d log(gamma_f gamma_m) /
// d gamma1 and d gamma2, of every stratum.
class PairPrior {
public:
    // gammma: gamma0..2 of each stratum in turn.
    PairPrior(long nstrata, const double* gammma)
        : gg_(static_cast<std::size_t>(parentpairs * nstrata)),
          score_(static_cast<std::size_t>(2 * parentpairs * nstrata)) {
        for (long st = 0; st < nstrata; ++st) {
            const double* gamma = gammma + 3 * st;
            for (int k = 1; k <= parentpairs; ++k) {
                const int f = gpgenos[k][0];
                const int m = gpgenos[k][1];
                const auto at = static_cast<std::size_t>(parentpairs * st + k - 1);
                gg_[at] = gamma[f] * gamma[m];
                // With gamma0 = 1 - gamma1 - gamma2.
                const double g0 = (1.0 - gamma[1]) - gamma[2];
                const int n0 = utilg[k][1], n1 = utilg[k][2], n2 = utilg[k][3];
                score_[2 * at] = static_cast<double>(-n0) / g0 + static_cast<double>(n1) / gamma[1];
                score_[2 * at + 1] = static_cast<double>(-n0) / g0 + static_cast<double>(n2) / gamma[2];
            }
        }
    }
    // Stratum st's: prior(st)[k] of pair k + 1, score(st)[2 k] and [2 k + 1] its two entries.
    const double* prior(int st) const { return &gg_[static_cast<std::size_t>(parentpairs * st)]; }
    const double* score(int st) const { return &score_[static_cast<std::size_t>(2 * parentpairs * st)]; }

private:
    std::vector<double> gg_;
    std::vector<double> score_;
};

// The whole contribution of a trio of typed parents is a function of the pair, the child's
// genotype, weight, covariates and relative risks (with the estimate and the prior fixed):
// the terms added to the triangle, leaf by leaf, and to the status score.  They are kept for
// each pair and genotype, and the next such trio whose child has the very same inputs (bit for
// bit) adds the kept terms again, one by one in the same order: the same additions of the
// same doubles.  In a model without covariates other than the intercept every child's inputs
// are alike.  Where the inputs rarely repeat, the memo turns itself off.
template <int E>
class TrioMemo {
public:
    static constexpr int kTerms = E > 0 ? E * (E + 1) / 2 : 1;
    static constexpr int kKey = 6;  // weight, nu1, nu2 and at most E - 3 <= 3 covariates

    struct Slot {
        double key[kKey];
        double score_term;
        int leaves;
        bool filled = false;
        double terms[3][kTerms];
    };

    // E > 0 only: the entries of the triangle are then fixed.
    explicit TrioMemo(long ncov) : key_size_(3 + static_cast<int>(ncov)), on_(E > 0 && ncov <= E - 3) {}

    bool on() const { return on_; }

    // The slot of pair k and child genotype g, and whether its key is `key`.
    Slot& slot(int k, int g) { return slots_[3 * k + g]; }
    bool matches(const Slot& slot, const double* key) const {
        return slot.filled && std::memcmp(slot.key, key, sizeof slot.key) == 0;
    }
    void set_key(Slot& slot, const double* key) const {
        std::memcpy(slot.key, key, sizeof slot.key);
        slot.leaves = 0;
        slot.filled = false;
    }
    int key_size() const { return key_size_; }

    // Counts a trio; off after kTrial trios of which fewer than half were repeats.
    void count(bool hit) {
        hits_ += hit ? 1 : 0;
        if (++seen_ == kTrial && 2 * hits_ < seen_) on_ = false;
    }

private:
    static constexpr int kTrial = 128;
    const int key_size_;
    bool on_;
    int seen_ = 0;
    int hits_ = 0;
    Slot slots_[3 * parentpairs];
};

// The index 3 f + m of the family's compatible pair p (f, m); a parent untyped there raises
// MissingGenotypeError.
int compatible_pair(const famdat& fam, int p) {
    const int f = fam.pgenos[p][1];
    const int m = fam.pgenos[p][2];
    if (f == -1 || m == -1) missing_genotype();
    return 3 * f + m;
}

// A family of one child and one compatible pair, its father typed.
bool typed_trio(const famdat& fam) { return fam.ninfam == 3 && fam.npgeno == 1 && fam.famgeno[1] != -1; }

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
//
// E > 0: one stratum and E entries (npars + 1), the loops over them unrolled; 0: any.
template <int E>
class FamilyEnumerator {
public:
    FamilyEnumerator(const Settings& s, const PairPrior& prior)
        : s_(s),
          prior_(prior),
          entries_(static_cast<int>(s.npars) + 1),
          child_entries_(static_cast<int>(coefficients(s)) + 1),
          ncov_(s.ncov),
          ph_(static_cast<std::size_t>(maxchildren) * parentpairs * 3),
          contrib_(static_cast<std::size_t>(maxchildren) * parentpairs * 3 * child_entries_),
          prod_(static_cast<std::size_t>(maxchildren + 1) * parentpairs),
          sums_(static_cast<std::size_t>(maxchildren + 1) * parentpairs * child_entries_),
          inner_(entries_),
          memo_(s.ncov) {
        if (E > 0 && (s.nstrata != 1 || entries_ != E))
            nrerror("information: the unrolled enumeration does not fit the settings", NumericalKind::kInvalidSetting);
        if (child_entries_ - 1 != (s.cmodeltype == kNone ? 2 : 1) * ncov_)
            nrerror("information: the coefficients are not those of the covariates", NumericalKind::kInvalidSetting);
        select_stratum(0);
    }

    // Tabulates the family's per-child values at the estimate, where its children's relative
    // risks are `risks` and its compatible pairs `compatible` (pair k + 1 at bit k).  Only
    // the pairs the enumeration can reach are tabulated: with a typed father the compatible
    // pairs, otherwise those of the mother's genotype.
    void prepare(const famdat& fam, ChildRisks risks, unsigned compatible) {
        const bool father_typed = fam.famgeno[1] != -1;
        const int mg = fam.famgeno[2];
        begin_family(fam, fam.ninfam - 2, father_typed,
                     father_typed ? compatible : (mg == -1 ? kAllPairs : kMotherMask[mg]));
        for (int c = 0; c < nchild_; ++c)
            for (unsigned left = possible_; left != 0; left &= left - 1) tabulate(fam, risks, c, lowest(left));
    }

    // The whole contribution of a family of one child whose parents are typed, of pair k,
    // as accumulate_families adds any family's: the most frequent family, so its loops over
    // one child and one pair are written out.
    // With the memo on, its terms are kept in the memo.
    void add_typed_trio(const famdat& fam, ChildRisks risks, int k, double* jj, double* scoreUb) {
        const int g = fam.famgeno[3];
        if (E > 0 && memo_.on()) {
            double key[TrioMemo<E>::kKey];
            trio_key(fam, risks, key);
            auto& slot = memo_.slot(k, g);
            memo_.count(false);
            memo_.set_key(slot, key);
            record_ = &slot;
        }
        begin_family(fam, 1, true, 1U << k);
        tabulate(fam, risks, 0, k);
        // pair_numerator and status_score of the child: (1.0 p) gamma_f gamma_m and 0.0 + u.
        const double numerator = (1.0 * ph(0, k, g)) * gg_[k];
        const double w0p = numerator / (0.0 + numerator);
        const double score_term = w0p * (0.0 + contribution(0, k, g)[0]);
        *scoreUb = *scoreUb + score_term;
        if (record_ == nullptr) {
            enumerate_typed<false>(k, w0p, jj);
        } else {
            enumerate_typed<true>(k, w0p, jj);
            record_->score_term = score_term;
            record_->filled = true;
            record_ = nullptr;
        }
    }

    // From family ifam on, the typed trios in a row whose terms the memo holds: their terms
    // added again in a local copy of the triangle (held in registers, not memory), then
    // written back.  Returns the first family not taken; next_risks follows the families taken.
    long replay_trios(const FamilyTable& families, long ifam, const double*& next_risks, double* jj,
                      double* scoreUb) {
        constexpr int kTerms = TrioMemo<E>::kTerms;
        double local[kTerms];
#pragma GCC unroll 21
        for (int e = 0; e < kTerms; ++e) local[e] = jj[e];
        double score = *scoreUb;
        for (; ifam <= families.nfam && memo_.on(); ++ifam) {
            const famdat& fam = families[ifam];
            if (!typed_trio(fam)) break;
            double key[TrioMemo<E>::kKey];
            trio_key(fam, ChildRisks{next_risks}, key);
            const auto& slot = memo_.slot(compatible_pair(fam, 1), fam.famgeno[3]);
            if (!memo_.matches(slot, key)) break;
            memo_.count(true);
            next_risks += 2;
            score = score + slot.score_term;
            for (int leaf = 0; leaf < slot.leaves; ++leaf) {
                const double* term = slot.terms[leaf];
#pragma GCC unroll 21
                for (int e = 0; e < kTerms; ++e) local[e] = local[e] + term[e];
            }
        }
#pragma GCC unroll 21
        for (int e = 0; e < kTerms; ++e) jj[e] = local[e];
        *scoreUb = score;
        return ifam;
    }

    bool memo_on() const { return memo_.on(); }

    // Child c's (member c + 3's) tilted probabilities and contributions under pair k.
    [[gnu::always_inline]] void tabulate(const famdat& fam, ChildRisks risks, int c, int k) {
        const int j = c + 3;
        const double nu1 = risks.nu1(j);
        const double nu2 = risks.nu2(j);
        const double w = fam.weight[j];
        const double* x = fam.fcovdat[j].begin_ptr();  // covariate i at x[i - 1]
        // The pair's three tilted probabilities, computed once: the expected codings
        // (mkmuu1ijg, mkmuijg) and the scores are formed from these same doubles.
        const int f = k / 3, m = k % 3;
        const double pp[3] = {phgz(f, m, 0, nu1, nu2), phgz(f, m, 1, nu1, nu2), phgz(f, m, 2, nu1, nu2)};
        const double muu1 = expected_coding(s_.cchu1, pp);
        const double mu = expected_coding(s_.cch, pp);
        // p - p is 0 for a finite p and nan for an infinite or undefined one.
        if (!(((pp[0] - pp[0]) + (pp[1] - pp[1])) + (pp[2] - pp[2]) == 0.0)) infinite_ |= 1U << k;
        for (int g = 0; g < 3; ++g) {
            ph(c, k, g) = pp[g];
            double* e = contribution(c, k, g);
            e[0] = (static_cast<double>(s_.cchu1[g]) - muu1) * w;
            if (s_.cmodeltype == kNone) {
                const double a1 = (g == 1 ? 1.0 : 0.0) - pp[1];
                const double a2 = (g == 2 ? 1.0 : 0.0) - pp[2];
                for (long i = 1; i <= ncov(); ++i) {
                    e[i] = x[i - 1] * a1;
                    e[i + ncov()] = x[i - 1] * a2;
                }
            } else {
                const double a1 = static_cast<double>(s_.cch[g]) - mu;
                for (long i = 1; i <= ncov(); ++i) e[i] = x[i - 1] * a1;
            }
        }
    }

    // For the pair k (prepared): fpi's numerator, prod_j phgz(f, m, g_j, nu1j, nu2j) over the
    // children in order times (gamma_f gamma_m), and status_score's sum from 0.0 of
    // (cchu1[g_j] - E cchu1) w_j, from the tabulated doubles (the very ones they compute).
    double pair_numerator(int k, const IVector& famgeno) {
        double prod = 1.0;
        for (int c = 0; c < nchild_; ++c) prod = prod * ph(c, k, famgeno[c + 3]);
        return prod * gg_[k];
    }
    double status_score(int k, const IVector& famgeno) {
        double u = 0.0;
        for (int c = 0; c < nchild_; ++c) u = u + contribution(c, k, famgeno[c + 3])[0];
        return u;
    }

    // Adds, for the compatible pair k of posterior weight w0p, every combination's
    // ((u_j1 u_j2) P(c|p)) w0p to the packed upper triangle jj (row-major, j1 <= j2).  The
    // pairs that a combination leaves possible: with a typed father k alone (the typed
    // pair), otherwise those of the mother's genotype that can have each child's genotype.
    void enumerate_pair(int k, double w0p, double* jj) {
        if (father_typed_) {
            enumerate_typed<false>(k, w0p, jj);
            return;
        }
        kp_ = k;
        w0p_ = w0p;
        jj_ = jj;
        tm_[0] = 1.0;
        active_[0] = possible_;
        for (unsigned left = possible_; left != 0; left &= left - 1) {  // the others are never read
            const int q = lowest(left);
            prod_[q] = 1.0;
            clear_sums(q);
        }
        descend<false, false>(0);
    }

private:
    // The memo's key of a trio: its child's weight, risks and covariates.
    void trio_key(const famdat& fam, ChildRisks risks, double* key) const {
        key[0] = fam.weight[3];
        key[1] = risks.nu1(3);
        key[2] = risks.nu2(3);
        const double* x = fam.fcovdat[3].begin_ptr();
        for (int i = 3; i < TrioMemo<E>::kKey; ++i) key[i] = i < memo_.key_size() ? x[i - 3] : 0.0;
    }

    // enumerate_pair with a typed father: the pair k alone.  Keep: each leaf's terms also
    // into the memo's slot being recorded.
    template <bool Keep>
    void enumerate_typed(int k, double w0p, double* jj) {
        kp_ = k;
        w0p_ = w0p;
        jj_ = jj;
        tm_[0] = 1.0;
        clear_sums(k);
        descend<true, Keep>(0);
    }

    int entries() const { return E > 0 ? E : entries_; }
    int child_entries() const { return E > 0 ? E - 2 : child_entries_; }
    long ncov() const {
        if constexpr (E > 0) return s_.cmodeltype == kNone ? (E - 3) / 2 : E - 3;
        return ncov_;
    }

    // The state of a new family of `nchild` children whose enumeration reaches the pairs of
    // `possible`; its tables are then filled by tabulate.
    void begin_family(const famdat& fam, int nchild, bool father_typed, unsigned possible) {
        select_stratum(fam.stratum);
        if (nchild < 1 || nchild > maxchildren)
            nrerror("information: a family without children or with too many", NumericalKind::kInvalidSetting);
        nchild_ = nchild;
        father_typed_ = father_typed;
        possible_ = possible;
        infinite_ = 0;
    }

    // The prior and its score of stratum st; its prevalence entries follow the children's.
    void select_stratum(int st) {
        if (st < 0 || st >= s_.nstrata)
            nrerror("information: a family's stratum outside the strata", NumericalKind::kInvalidSetting);
        gg_ = prior_.prior(st);
        pair_score_ = prior_.score(st);
        prevalence_at_ = child_entries_ + 2 * st;
    }

    void clear_sums(int k) {
        double* sum = sums_at(0, k);
        for (int e = 0; e < child_entries(); ++e) sum[e] = 0.0;
    }

    // Visits the combinations of children c.. (c < nchild_) after children 0..c-1 are
    // applied.  Single: the enumerated pair is the only one possible, whose product over the
    // children is the combination's probability tm_ itself (the same factors in the same order).
    template <bool Single, bool Keep>
    void descend(int c) {
        for (int g = 0; g < 3; ++g) {
            // tmphh = tmphh * phgz(father, mother, g, nu1, nu2) for the enumerated pair.
            const double t = tm_[c] * ph(c, kp_, g);
            // Zero stays zero when every later factor is finite: every combination that
            // shares these leading children has probability 0 and is skipped.
            if (t == 0.0 && (infinite_ & 1U << kp_) == 0) continue;
            tm_[c + 1] = t;
            if constexpr (Single) {
                apply_child(c, kp_, g);
            } else {
                const unsigned next = active_[c] & kChildMask[g];
                active_[c + 1] = next;
                for (unsigned left = next; left != 0; left &= left - 1) {
                    const int k = lowest(left);
                    // fpi's product over the children under pair k.
                    prod_[static_cast<std::size_t>(c + 1) * parentpairs + k] =
                        prod_[static_cast<std::size_t>(c) * parentpairs + k] * ph(c, k, g);
                    apply_child(c, k, g);
                }
            }
            if (c + 1 < nchild_)
                descend<Single, Keep>(c + 1);
            else
                leaf<Single, Keep>();
        }
    }

    // The score vector's sums over the children under pair k, from child c - 1 to child c
    // with genotype g.
    void apply_child(int c, int k, int g) {
        const double* from = sums_at(c, k);
        const double* add = contribution(c, k, g);
        double* to = sums_at(c + 1, k);
        for (int e = 0; e < child_entries(); ++e) to[e] = from[e] + add[e];
    }

    double& ph(int c, int k, int g) { return ph_[(static_cast<std::size_t>(c) * parentpairs + k) * 3 + g]; }
    double* contribution(int c, int k, int g) {
        return &contrib_[((static_cast<std::size_t>(c) * parentpairs + k) * 3 + g) * child_entries_];
    }
    double* sums_at(int depth, int k) {
        return &sums_[(static_cast<std::size_t>(depth) * parentpairs + k) * child_entries_];
    }

    template <bool Single, bool Keep>
    void leaf() {
        const double tmphh = tm_[nchild_];
        if (tmphh == 0.0) return;
        std::array<double, (E > 0 ? E : 1)> unrolled;  // E > 0: a local, kept in registers
        double* inner = E > 0 ? unrolled.data() : inner_.data();
        for (int e = 0; e < entries(); ++e) inner[e] = 0.0;
        if constexpr (Single) {
            const double posterior = tmphh * gg_[kp_];
            const double total = 0.0 + posterior;
            const double post = posterior / total;
            // Both weights exactly 1 (a finite non-zero posterior over itself, the typed pair's
            // weight likewise): x * 1.0 is x, so the products by them are left out.
            if (post == 1.0 && w0p_ == 1.0) {
                add_pair<true>(inner, kp_, post);
                add_outer<Keep, true>(inner, tmphh);
                return;
            }
            add_pair<false>(inner, kp_, post);
        } else {
            // Posterior of the pairs the combination leaves possible, in increasing pair index.
            const unsigned pairs = active_[nchild_];
            const double* prod = &prod_[static_cast<std::size_t>(nchild_) * parentpairs];
            double total = 0.0;
            for (unsigned left = pairs; left != 0; left &= left - 1) {
                const int k = lowest(left);
                posterior_[k] = prod[k] * gg_[k];
                total = total + posterior_[k];
            }
            for (unsigned left = pairs; left != 0; left &= left - 1) {
                const int k = lowest(left);
                add_pair<false>(inner, k, posterior_[k] / total);
            }
        }
        add_outer<Keep, false>(inner, tmphh);
    }

    // inner += u_k post: pair k's score vector, the children's sums then its prior's score
    // (Unit: post is 1.0, by which the products are the very scores).
    template <bool Unit>
    void add_pair(double* inner, int k, double post) {
        const auto times = [post](double x) { return Unit ? x : x * post; };
        const double* u = sums_at(nchild_, k);
        const int ce = child_entries();
#pragma GCC unroll 8
        for (int e = 0; e < ce; ++e) inner[e] = inner[e] + times(u[e]);
        const int pe = E > 0 ? ce : prevalence_at_;  // E > 0: one stratum
        inner[pe] = inner[pe] + times(pair_score_[2 * k]);
        inner[pe + 1] = inner[pe + 1] + times(pair_score_[2 * k + 1]);
    }

    // jj += (u u' tmphh) w0p over the packed upper triangle, row by row; the terms also kept
    // in the memo's slot when a typed trio is being recorded (Unit: w0p is 1.0).
    template <bool Keep, bool Unit>
    void add_outer(const double* inner, double tmphh) {
        double* kept = Keep ? record_->terms[record_->leaves++] : nullptr;
        const int n = entries();
        double* jj = jj_;
#pragma GCC unroll 8
        for (int j1 = 0; j1 < n; ++j1) {
            const double u1 = inner[j1];
#pragma GCC unroll 8
            for (int j2 = j1; j2 < n; ++j2) {
                const double term = Unit ? (u1 * inner[j2]) * tmphh : ((u1 * inner[j2]) * tmphh) * w0p_;
                *jj = *jj + term;
                if constexpr (Keep) *kept++ = term;
                ++jj;
            }
        }
    }

    const Settings& s_;
    const PairPrior& prior_;
    const int entries_;        // npars + 1
    const int child_entries_;  // coefficients + 1: the entries that depend on the children
    const long ncov_;
    const double* gg_ = nullptr;          // the current stratum's prior, pair k at k
    const double* pair_score_ = nullptr;  // and its score, pair k at 2 k and 2 k + 1
    int prevalence_at_ = 0;               // the entry of the current stratum's gamma1 score

    int nchild_ = 0;
    bool father_typed_ = false;
    unsigned possible_ = 0;  // the pairs the enumeration reaches, prepared
    unsigned infinite_ = 0;  // pairs with an infinite or undefined probability

    std::vector<double> ph_;
    std::vector<double> contrib_;
    std::vector<double> prod_;
    std::vector<double> sums_;
    std::vector<double> inner_;
    double tm_[maxchildren + 1] = {};
    double posterior_[parentpairs] = {};

    unsigned active_[maxchildren + 1] = {};  // pairs still possible after each child
    int kp_ = 0;
    double w0p_ = 0.0;
    double* jj_ = nullptr;

    TrioMemo<E> memo_;
    typename TrioMemo<E>::Slot* record_ = nullptr;  // the typed trio being recorded
};

// The index 3 f + m of the family's compatible pair p (f, m); a parent untyped there raises
// MissingGenotypeError.

// accumulate_information over the families into the packed upper triangle `upper`.
template <int E>
void accumulate_families(const Settings& s, const FamilyTable& families, const PairPrior& prior,
                         const double* next_risks, double* upper, double* scoreUb) {
    FamilyEnumerator<E> enumerator(s, prior);
    double posterior[parentpairs + 1];
    int pair[parentpairs + 1];
    for (long ifam = 1; ifam <= families.nfam; ++ifam) {
        if (E > 0 && enumerator.memo_on()) {
            ifam = enumerator.replay_trios(families, ifam, next_risks, upper, scoreUb);
            if (ifam > families.nfam) break;
        }
        const famdat& fam = families[ifam];
        const ChildRisks risks{next_risks};
        next_risks += 2 * (fam.ninfam - 2);
        if (typed_trio(fam)) {
            enumerator.add_typed_trio(fam, risks, compatible_pair(fam, 1), upper, scoreUb);
            continue;
        }
        unsigned compatible = 0;
        for (int p = 1; p <= fam.npgeno; ++p) {
            pair[p] = compatible_pair(fam, p);
            compatible |= 1U << pair[p];
        }
        enumerator.prepare(fam, risks, compatible);
        // The pairs' posterior weights (fpi's).
        double total = 0.0;
        for (int p = 1; p <= fam.npgeno; ++p) {
            posterior[p] = enumerator.pair_numerator(pair[p], fam.famgeno);
            total = total + posterior[p];
        }
        for (int p = 1; p <= fam.npgeno; ++p) posterior[p] = posterior[p] / total;
        for (int p = 1; p <= fam.npgeno; ++p) {
            // Non-founders score: the status score of the observed children, averaged over
            // the parental pairs with their posterior weights.
            *scoreUb = *scoreUb + posterior[p] * enumerator.status_score(pair[p], fam.famgeno);
            enumerator.enumerate_pair(pair[p], posterior[p], upper);
        }
    }
}

}  // namespace

void accumulate_information(const Settings& s, const FamilyTable& families, const GenotypeTable& /*table*/,
                            const FitResult& fit, DMatrix& JJ, double* scoreUb) {
    const int entries = static_cast<int>(s.npars) + 1;
    std::vector<double> upper(static_cast<std::size_t>(entries) * (entries + 1) / 2, 0.0);
    if (fit.strata_gammma.empty() && s.nstrata != 1)
        nrerror("information: the fit holds no prevalences of the strata", NumericalKind::kInvalidSetting);
    const PairPrior prior(s.nstrata, fit.strata_gammma.empty() ? fit.gammma : fit.strata_gammma.data());
    std::size_t children = 0;
    for (long ifam = 1; ifam <= families.nfam; ++ifam) children += static_cast<std::size_t>(families[ifam].ninfam - 2);
    if (fit.risks.size() != 2 * children)
        nrerror("information: the fit's relative risks are not those of the families", NumericalKind::kInvalidSetting);
    const double* risks = fit.risks.data();
    switch (s.nstrata == 1 ? entries : 0) {
        case 3: accumulate_families<3>(s, families, prior, risks, upper.data(), scoreUb); break;
        case 4: accumulate_families<4>(s, families, prior, risks, upper.data(), scoreUb); break;
        case 5: accumulate_families<5>(s, families, prior, risks, upper.data(), scoreUb); break;
        case 6: accumulate_families<6>(s, families, prior, risks, upper.data(), scoreUb); break;
        default: accumulate_families<0>(s, families, prior, risks, upper.data(), scoreUb); break;
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
