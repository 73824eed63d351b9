#include "model/x_fit.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "genetics/x_inheritance.hpp"
#include "model/gradient.hpp"
#include "model/maximum.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "toolkit/minimiser.hpp"

namespace quillon {

namespace {

DVector x_start_values(long n) {
    DVector start = vector(1, static_cast<int>(n));
    for (long i = 1; i <= n; ++i) start[i] = static_cast<double>(i) / 200.0 + 0.15;
    return start;
}

XFit finish_fit(const Settings& s, const XModel& x, DVector theta, double fret, int iter, const FamilyTable& families) {
    XFit r;
    r.fit.ogpars = std::move(theta);
    r.fit.fret = fret;
    r.fit.iter = iter;
    for (long k = 0; k < s.nstrata; ++k) {
        const long end = x_block_end(s, x, k), e1 = end - x_block(x) + 1;
        double g[3];
        prevalences_from(r.fit.ogpars[e1], r.fit.ogpars[e1 + 1], g);
        r.fit.strata_gammma.insert(r.fit.strata_gammma.end(), {g[0], g[1], g[2]});
        r.strata_father.push_back(x_father_frequency(x, g, r.fit.ogpars, end));
    }
    for (int k = 0; k < 3; ++k) r.fit.gammma[k] = r.fit.strata_gammma[static_cast<std::size_t>(k)];
    r.father = r.strata_father[0];
    r.fit.risks = relative_risks(s, r.fit.ogpars, families);
    return r;
}

// One family's share of the information.  Pairs k = 3 a + m; the score vector's entries:
// 0 the status score, 1..m the coefficients, then the prevalences.
class XEnumerator {
public:
    // Each stratum's prior from its mothers' prevalences and fathers' frequency.
    XEnumerator(const Settings& s, const XModel& x, const XFit& fit)
        : s_(s), x_(x), entries_(static_cast<int>(x_parameters(s, x)) + 1),
          child_entries_(static_cast<int>(coefficients(s)) + 1) {
        const bool one = fit.strata_father.empty();  // an XFit of one stratum written by hand
        for (std::size_t k = 0; k < (one ? 1 : fit.strata_father.size()); ++k) {
            set_prior(one ? fit.fit.gammma : &fit.fit.strata_gammma[3 * k], one ? fit.father : fit.strata_father[k]);
            strata_prior_.emplace_back();
            std::copy(std::begin(prior_), std::end(prior_), strata_prior_.back().prior);
            std::copy(&prior_score_[0][0], &prior_score_[0][0] + 18, &strata_prior_.back().score[0][0]);
        }
    }

    void set_prior(const double gammma[3], double father) {
        const double g0 = (1.0 - gammma[1]) - gammma[2];
        for (int a = 0; a <= 1; ++a)
            for (int m = 0; m <= 2; ++m) {
                const int k = 3 * a + m;
                prior_[k] = (a == 1 ? father : 1.0 - father) * gammma[m];
                const double d1 = (m == 0 ? -1.0 / g0 : 0.0) + (m == 1 ? 1.0 / gammma[1] : 0.0);
                const double d2 = (m == 0 ? -1.0 / g0 : 0.0) + (m == 2 ? 1.0 / gammma[2] : 0.0);
                const double dq = a == 1 ? 1.0 / father : -1.0 / (1.0 - father);
                if (x_.tie_freq) {
                    prior_score_[k][0] = d1 + 0.5 * dq;
                    prior_score_[k][1] = d2 + dq;
                } else {
                    prior_score_[k][0] = d1;
                    prior_score_[k][1] = d2;
                    prior_score_[k][2] = dq;
                }
            }
    }

    // Adds the family's terms to the packed upper triangle `jj` and its non-founders score.
    void add(const famdat& fam, ChildRisks risks, double* jj, double* scoreUb) {
        const auto& st = strata_prior_.at(static_cast<std::size_t>(fam.stratum));
        std::copy(std::begin(st.prior), std::end(st.prior), prior_);
        std::copy(&st.score[0][0], &st.score[0][0] + 18, &prior_score_[0][0]);
        prevalence_at_ = child_entries_ + static_cast<int>(x_block(x_)) * fam.stratum;
        jj_ = jj;
        allowed_ = 0;
        for (int a = 0; a <= 1; ++a)
            for (int m = 0; m <= 2; ++m)
                if ((fam.famgeno[1] == -1 || fam.famgeno[1] == a) && (fam.famgeno[2] == -1 || fam.famgeno[2] == m))
                    allowed_ |= 1U << (3 * a + m);
        kids_.clear();
        for (int j = 3; j <= fam.ninfam; ++j)
            if (x_child_included(fam, j)) kids_.push_back(j);
        const auto nkid = kids_.size();
        const auto ce = static_cast<std::size_t>(child_entries_);
        ph_.assign(nkid * 18, 0.0);
        contrib_.assign(nkid * 18 * ce, 0.0);
        possible_.assign(nkid * 3, 0U);
        const long ncov = s_.ncov;
        for (std::size_t c = 0; c < nkid; ++c) {
            const int j = kids_[c], sex = fam.sex[j];
            const double nu[3] = {1.0, risks.nu1(j), risks.nu2(j)};
            for (int k = 0; k < 6; ++k) {
                if (!(allowed_ & (1U << k))) continue;
                double t[3];
                x_level_transmission(x_, sex, k / 3, k % 3, t);
                const double tt[3] = {t[0], t[1] * nu[1], t[2] * nu[2]};
                const double total = (tt[0] + tt[1]) + tt[2];
                const double q[3] = {tt[0] / total, tt[1] / total, tt[2] / total};
                const double muu1 = expected_coding(s_.cchu1, q);
                const double mu = expected_coding(s_.cch, q);
                for (int g = 0; g <= (sex == 1 ? 1 : 2); ++g) {
                    if (x_transmission(sex, k / 3, k % 3, g) == 0.0) continue;
                    possible_[c * 3 + static_cast<std::size_t>(g)] |= 1U << k;
                    const int r = x_level(x_, sex, g);
                    ph(c, k, g) = q[r];
                    double* e = contribution(c, k, g);
                    e[0] = (static_cast<double>(s_.cchu1[r]) - muu1) * fam.weight[j];
                    for (long i = 1; i <= ncov; ++i) {
                        const double xi = fam.fcovdat[j][i];
                        if (s_.cmodeltype == kNone) {
                            e[i] = xi * ((r == 1 ? 1.0 : 0.0) - q[1]);
                            e[i + ncov] = xi * ((r == 2 ? 1.0 : 0.0) - q[2]);
                        } else {
                            e[i] = xi * (static_cast<double>(s_.cch[r]) - mu);
                        }
                    }
                }
            }
        }
        // The posterior of the family's pairs given its children, and the non-founders score.
        double post[6] = {}, total = 0.0;
        for (int p = 1; p <= fam.npgeno; ++p) {
            const int k = 3 * fam.pgenos[p][1] + fam.pgenos[p][2];
            double prod = 1.0;
            for (std::size_t c = 0; c < nkid; ++c) prod = prod * ph(c, k, fam.famgeno[kids_[c]]);
            post[k] = prod * prior_[k];
            total = total + post[k];
        }
        prod_.assign((nkid + 1) * 6, 0.0);
        sums_.assign((nkid + 1) * 6 * ce, 0.0);
        for (int p = 1; p <= fam.npgeno; ++p) {
            const int k = 3 * fam.pgenos[p][1] + fam.pgenos[p][2];
            const double w = post[k] / total;
            double u = 0.0;
            for (std::size_t c = 0; c < nkid; ++c) u = u + contribution(c, k, fam.famgeno[kids_[c]])[0];
            *scoreUb = *scoreUb + w * u;
            kp_ = k;
            w0p_ = w;
            for (int q = 0; q < 6; ++q) prod_[static_cast<std::size_t>(q)] = 1.0;
            descend(fam, 0, 1.0, allowed_);
        }
    }

private:
    double& ph(std::size_t c, int k, int g) { return ph_[(c * 6 + static_cast<std::size_t>(k)) * 3 + static_cast<std::size_t>(g)]; }
    double* contribution(std::size_t c, int k, int g) {
        return &contrib_[((c * 6 + static_cast<std::size_t>(k)) * 3 + static_cast<std::size_t>(g)) *
                         static_cast<std::size_t>(child_entries_)];
    }
    double* sums_at(std::size_t depth, int k) {
        return &sums_[(depth * 6 + static_cast<std::size_t>(k)) * static_cast<std::size_t>(child_entries_)];
    }

    // Children c.. of every combination that agrees with the leading ones, under pair kp_.
    void descend(const famdat& fam, std::size_t c, double tm, unsigned pairs) {
        if (c == kids_.size()) {
            leaf(c, tm, pairs);
            return;
        }
        const int sex = fam.sex[kids_[c]];
        for (int g = 0; g <= (sex == 1 ? 1 : 2); ++g) {
            const unsigned next = pairs & possible_[c * 3 + static_cast<std::size_t>(g)];
            if (!(next & (1U << kp_))) continue;  // the enumerated pair cannot have it
            for (int k = 0; k < 6; ++k) {
                if (!(next & (1U << k))) continue;
                prod_[(c + 1) * 6 + static_cast<std::size_t>(k)] = prod_[c * 6 + static_cast<std::size_t>(k)] * ph(c, k, g);
                const double* from = sums_at(c, k);
                const double* add = contribution(c, k, g);
                double* to = sums_at(c + 1, k);
                for (int e = 0; e < child_entries_; ++e) to[e] = from[e] + add[e];
            }
            descend(fam, c + 1, tm * ph(c, kp_, g), next);
        }
    }

    void leaf(std::size_t depth, double tm, unsigned pairs) {
        if (tm == 0.0) return;
        double weight[6] = {}, total = 0.0;
        for (int k = 0; k < 6; ++k) {
            if (!(pairs & (1U << k))) continue;
            weight[k] = prod_[depth * 6 + static_cast<std::size_t>(k)] * prior_[k];
            total = total + weight[k];
        }
        inner_.assign(static_cast<std::size_t>(entries_), 0.0);
        const auto prevalence = static_cast<int>(x_block(x_));
        for (int k = 0; k < 6; ++k) {
            if (!(pairs & (1U << k))) continue;
            const double post = weight[k] / total;
            const double* u = sums_at(depth, k);
            for (int e = 0; e < child_entries_; ++e) inner_[static_cast<std::size_t>(e)] += u[e] * post;
            for (int e = 0; e < prevalence; ++e) inner_[static_cast<std::size_t>(prevalence_at_ + e)] += prior_score_[k][e] * post;
        }
        double* jj = jj_;
        for (std::size_t a = 0; a < inner_.size(); ++a)
            for (std::size_t b = a; b < inner_.size(); ++b) *jj++ += ((inner_[a] * inner_[b]) * tm) * w0p_;
    }

    const Settings& s_;
    const XModel& x_;
    const int entries_;        // x_parameters + 1
    const int child_entries_;  // the status score and the coefficients
    double prior_[6] = {};
    double prior_score_[6][3] = {};
    struct StratumPrior {
        double prior[6];
        double score[6][3];
    };
    std::vector<StratumPrior> strata_prior_;
    int prevalence_at_ = 0;  // the entry of the family's stratum's first prevalence score
    unsigned allowed_ = 0;
    std::vector<int> kids_;
    std::vector<double> ph_, contrib_, prod_, sums_, inner_;
    std::vector<unsigned> possible_;
    int kp_ = 0;
    double w0p_ = 0.0;
    double* jj_ = nullptr;
};

}  // namespace

std::optional<XFit> fit_x_newton(const Settings& s, const XModel& x, const FamilyTable& families, const DVector& start,
                                 NewtonStatus* status) {
    const long n = x_parameters(s, x);
    DVector theta = vector(1, static_cast<int>(n));
    for (long i = 1; i <= n; ++i) theta[i] = start[i];
    const XLikelihood objective(s, x, families);
    Derivatives here;
    int iter = 0;
    const NewtonStatus reached = newton_maximise(objective, n, theta, here, iter);
    if (status != nullptr) *status = reached;
    if (reached != NewtonStatus::kConverged) return std::nullopt;
    return finish_fit(s, x, std::move(theta), here.value, iter, families);
}

XFit fit_x_powell(const Settings& s, const XModel& x, const FamilyTable& families) {
    const long n = x_parameters(s, x);
    DVector theta = x_start_values(n);
    DMatrix xii = matrix(1, n, 1, n);
    for (long i = 1; i <= n; ++i)
        for (long j = 1; j <= n; ++j) xii[i][j] = i == j ? 1.0 : 0.0;
    const XLikelihood likelihood(s, x, families);
    const Objective objective = [&likelihood](const DVector& p) { return likelihood.value(p); };
    int iter = 0;
    double fret = 0.0;
    powell(theta, xii, static_cast<int>(n), 1e-6, &iter, &fret, objective);
    return finish_fit(s, x, std::move(theta), fret, iter, families);
}

std::optional<XFit> x_newton_maximum(const Settings& s, const XModel& x, const FamilyTable& families) {
    const DVector start = x_start_values(x_parameters(s, x));
    if (s.fit == FitMethod::kNewton)
        if (std::optional<XFit> r = fit_x_newton(s, x, families, start)) return r;
    const XFit powell_fit = fit_x_powell(s, x, families);
    return fit_x_newton(s, x, families, powell_fit.fit.ogpars);
}

InformationResult x_information_step(const Settings& s, const XModel& x, const FamilyTable& families, const XFit& fit) {
    const int n = static_cast<int>(x_parameters(s, x));
    const auto entries = static_cast<std::size_t>(n + 1);
    std::vector<double> upper(entries * (entries + 1) / 2, 0.0);
    double scoreUb = 0.0;
    XEnumerator enumerator(s, x, fit);
    const double* next_risks = fit.fit.risks.data();
    for (long i = 1; i <= families.nfam; ++i) {
        enumerator.add(families[i], ChildRisks{next_risks}, upper.data(), &scoreUb);
        next_risks += 2 * (families[i].ninfam - 2);
    }
    DMatrix JJ = matrix(1, n + 1, 1, n + 1);
    std::size_t idx = 0;
    for (int a = 1; a <= n + 1; ++a)
        for (int b = a; b <= n + 1; ++b) JJ[a][b] = JJ[b][a] = upper[idx++];
    return partition_information(std::move(JJ), scoreUb, fit.fit.ogpars, n, coefficients(s));
}

DMatrix x_sandwich_covariance(const Settings& s, const XModel& x, const FamilyTable& families, const XFit& fit,
                              const DMatrix& subJI) {
    const XLikelihood objective(s, x, families);
    Derivatives d;
    objective.evaluate(fit.fit.ogpars, d, true);
    return sandwich(d.outer, fit.fit.ogpars, static_cast<int>(x_parameters(s, x)), static_cast<int>(coefficients(s)), subJI,
                    static_cast<int>(s.nstrata));
}

XAnalysis x_analyse(const Settings& s, const XModel& x, const FamilyTable& families) {
    XAnalysis a;
    bool have = false;
    if (s.fit == FitMethod::kNewton) {
        NewtonStatus status = NewtonStatus::kConverged;
        if (std::optional<XFit> r = fit_x_newton(s, x, families, x_start_values(x_parameters(s, x)), &status)) {
            a.fit = std::move(*r);
            have = true;
        } else {
            a.fell_back = status;
        }
    }
    if (!have) a.fit = fit_x_powell(s, x, families);
    a.info = x_information_step(s, x, families, a.fit);
    a.nfs = non_founders_statistic(a.info);
    return a;
}

}  // namespace quillon
