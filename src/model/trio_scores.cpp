#include "model/trio_scores.hpp"

#include <cmath>

#include "genetics/transmission.hpp"
#include "model/null_fit.hpp"

namespace quillon {

namespace {
// Heterozygous in at least one parent: the pairs whose children are tallied.
constexpr bool informative(int p) { return p / 3 == 1 || p % 3 == 1; }
}  // namespace

TrioTally::TrioTally(const Settings& s, bool unit_first, std::size_t spare)
    : d_(s.cmodeltype == kNone ? 2 : 1), ncov_(static_cast<std::size_t>(s.ncov)), tri_(ncov_ * (ncov_ + 1) / 2),
      m_(static_cast<std::size_t>(d_) * ncov_), unit_first_(unit_first) {
    for (int h = 0; h < 3; ++h) {
        a_[h][0] = d_ == 2 ? (h == 1 ? 1.0 : 0.0) : static_cast<double>(s.cch[h]);
        a_[h][1] = d_ == 2 ? (h == 2 ? 1.0 : 0.0) : 0.0;
    }
    const std::size_t sums = (27 + spare) * ncov_ + (parentpairs + spare) * tri_;
    const std::size_t need = sums + 2 * m_ + 2 * m_ * m_ + 2 * m_;
    double* buffer = stack_.data();
    if (need > stack_.size()) {
        heap_.resize(need);
        buffer = heap_.data();
    }
    sx_ = buffer;
    sxx_ = sx_ + (27 + spare) * ncov_;
    u_ = sx_ + sums;
    w_ = u_ + m_;
    j_ = w_ + m_;
    scratch_ = j_ + m_ * m_;
    std::fill(sx_, u_, 0.0);
}

ScoreStatistics TrioTally::statistics(bool gxe) {
    ScoreStatistics out;
    if (ncov_ == 0) return out;
    for (std::size_t pg = 0; pg < 27; ++pg) {
        count_[pg / 3] += static_cast<double>(n_[pg]);
        if (!unit_first_) continue;
        sx_[pg * ncov_] += static_cast<double>(n_[pg]);
        sxx_[pg / 3 * tri_] += static_cast<double>(n_[pg]);
    }
    PairMoments pm;
    const double zero[2] = {0.0, 0.0};
    moments(zero, pm);
    score_and_information(pm);
    out.joint = statistic(false);
    if (gxe && ncov_ >= 2) {
        double beta[2];
        if (fit_intercept(beta, pm)) {
            score_and_information(pm);
            out.gxe = statistic(true);
        }
    }
    return out;
}

// Moments of the coding under each informative pair at beta (d_ entries).
void TrioTally::moments(const double* beta, PairMoments& pm) const {
    double nu[3] = {1.0, 0.0, 0.0};
    for (int h = 1; h < 3; ++h) nu[h] = std::exp(a_[h][0] * beta[0] + a_[h][1] * beta[1]);
    for (int p = 0; p < parentpairs; ++p) {
        if (!informative(p)) continue;
        double t[3], total = 0.0;
        for (int h = 0; h < 3; ++h) {
            t[h] = phgdat[3 * p + h] * nu[h];
            total += t[h];
        }
        double q[3], e[2] = {0.0, 0.0};
        for (int h = 0; h < 3; ++h) {
            q[h] = t[h] / total;
            pm.logq[p][h] = std::log(q[h]);
            e[0] += q[h] * a_[h][0];
            e[1] += q[h] * a_[h][1];
        }
        double c[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
        for (int h = 0; h < 3; ++h) {
            const double r0 = a_[h][0] - e[0], r1 = a_[h][1] - e[1];
            c[0][0] += q[h] * r0 * r0;
            c[0][1] += q[h] * r0 * r1;
            c[1][1] += q[h] * r1 * r1;
        }
        pm.mean[p][0] = e[0];
        pm.mean[p][1] = e[1];
        pm.cov[p][0][0] = c[0][0];
        pm.cov[p][0][1] = pm.cov[p][1][0] = c[0][1];
        pm.cov[p][1][1] = c[1][1];
    }
}

// U and J of every coefficient at the moments.
void TrioTally::score_and_information(const PairMoments& pm) {
    std::fill(u_, u_ + m_, 0.0);
    std::fill(j_, j_ + m_ * m_, 0.0);
    for (int p = 0; p < parentpairs; ++p) {
        if (!informative(p) || count_[p] == 0.0) continue;
        for (int g = 0; g < 3; ++g) {
            const double* sx = sx_ + static_cast<std::size_t>(3 * p + g) * ncov_;
            for (int r = 0; r < d_; ++r) {
                const double e = a_[g][r] - pm.mean[p][r];
                for (std::size_t k = 0; k < ncov_; ++k) u_[static_cast<std::size_t>(r) * ncov_ + k] += e * sx[k];
            }
        }
        const double* sxx = sxx_ + static_cast<std::size_t>(p) * tri_;
        for (int r = 0; r < d_; ++r)
            for (int q = 0; q < d_; ++q) {
                const double c = pm.cov[p][r][q];
                std::size_t at = 0;
                for (std::size_t k = 0; k < ncov_; ++k)
                    for (std::size_t l = k; l < ncov_; ++l, ++at) {
                        const double v = c * sxx[at];
                        j_[(static_cast<std::size_t>(r) * ncov_ + k) * m_ + static_cast<std::size_t>(q) * ncov_ + l] += v;
                        if (l != k)
                            j_[(static_cast<std::size_t>(r) * ncov_ + l) * m_ + static_cast<std::size_t>(q) * ncov_ + k] += v;
                    }
            }
    }
}

// U' J^-1 U over the coefficients, those of covariate column 1 left out with `others`.
std::optional<double> TrioTally::statistic(bool others) {
    for (std::size_t i = 0; i < m_; ++i) w_[i] = others && i % ncov_ == 0 ? 0.0 : u_[i];
    return inverse_quadratic(j_, w_, m_, scratch_);
}

// The intercept's restricted maximum by Newton's method on the tallies of column 1, from 0.
bool TrioTally::fit_intercept(double* beta, PairMoments& pm) {
    beta[0] = beta[1] = 0.0;
    double f = loglik(pm);
    for (int iter = 0; iter < 100; ++iter) {
        double g[2] = {0.0, 0.0}, h[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
        for (int p = 0; p < parentpairs; ++p) {
            if (!informative(p) || count_[p] == 0.0) continue;
            for (int r = 0; r < d_; ++r) {
                for (int gg = 0; gg < 3; ++gg)
                    g[r] += (a_[gg][r] - pm.mean[p][r]) * sx_[static_cast<std::size_t>(3 * p + gg) * ncov_];
                for (int q = 0; q < d_; ++q) h[r][q] += pm.cov[p][r][q] * count_[p];
            }
        }
        double step[2] = {0.0, 0.0};
        if (d_ == 1) {
            if (!(h[0][0] > 0.0)) return false;
            step[0] = g[0] / h[0][0];
        } else {
            const double det = h[0][0] * h[1][1] - h[0][1] * h[1][0];
            if (!(det > 0.0) || !(h[0][0] > 0.0)) return false;
            step[0] = (h[1][1] * g[0] - h[0][1] * g[1]) / det;
            step[1] = (h[0][0] * g[1] - h[1][0] * g[0]) / det;
        }
        const double decrease = g[0] * step[0] + g[1] * step[1];
        if (std::fmax(std::fabs(step[0]), std::fabs(step[1])) < 1e-10 && decrease < 1e-12) return true;
        double t = 1.0, trial[2];
        for (int halving = 0;; ++halving) {
            if (halving == 60) return false;
            trial[0] = beta[0] + t * step[0];
            trial[1] = beta[1] + t * step[1];
            moments(trial, pm);
            const double ft = loglik(pm);
            if (std::isfinite(ft) && ft >= f - 1e-12 * std::fabs(f)) {
                f = ft;
                break;
            }
            t *= 0.5;
        }
        beta[0] = trial[0];
        beta[1] = trial[1];
        if (!std::isfinite(beta[0]) || !std::isfinite(beta[1]) || std::fabs(beta[0]) > 50.0 ||
            std::fabs(beta[1]) > 50.0)
            return false;
    }
    return false;
}

// The children's log-likelihood at the moments' beta, from the column-1 tallies (counts).
double TrioTally::loglik(const PairMoments& pm) const {
    double f = 0.0;
    for (int p = 0; p < parentpairs; ++p) {
        if (!informative(p)) continue;
        for (int g = 0; g < 3; ++g) {
            const double n = sx_[static_cast<std::size_t>(3 * p + g) * ncov_];
            if (n != 0.0) f += n * pm.logq[p][g];
        }
    }
    return f;
}

std::optional<ScoreStatistics> trio_score_statistics(const Settings& s, const FamilyTable& families, bool gxe) {
    TrioTally tally(s);
    for (long i = 1; i <= families.nfam; ++i) {
        const famdat& fam = families[i];
        if (fam.famgeno[1] == -1 || fam.famgeno[2] == -1 || fam.npgeno != 1) return std::nullopt;
        for (int j = 3; j <= fam.ninfam; ++j) tally.add(fam.famgeno[1], fam.famgeno[2], fam.famgeno[j], &fam.fcovdat[j][1]);
    }
    return tally.statistics(gxe);
}

}  // namespace quillon
