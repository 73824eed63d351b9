#include "model/likelihood.hpp"

#include <cmath>
#include <cstdio>

#include "model/model.hpp"
#include "genetics/transmission.hpp"

namespace quillon {

namespace {
[[noreturn]] void refuse(const char* what, long famid, long value) {
    char text[160];
    std::snprintf(text, sizeof text, "loglik: family %ld: %s (%ld)", famid, what, value);
    nrerror(text);
}
}  // namespace

Likelihood::Likelihood(const Settings& s, const FamilyTable& families) : s_(s), nfam_(families.nfam) {
    const long ncov = s.ncov;
    long nchildren = 0;
    long npairs = 0;
    long most_children = 0;
    for (long i = 1; i <= nfam_; ++i) {
        const famdat& fam = families[i];
        if (fam.ninfam < 2) refuse("fewer than two members", fam.famid, fam.ninfam);
        if (fam.npgeno < 0 || fam.npgeno > 9) refuse("number of parental pairs outside 0..9", fam.famid, fam.npgeno);
        const long nc = fam.ninfam - 2;
        nchildren += nc;
        npairs += fam.npgeno;
        if (nc > most_children) most_children = nc;
    }

    child_begin_ = lvector(1, nfam_ + 1);
    pair_begin_ = lvector(1, nfam_ + 1);
    child_geno_ = IVector(1, nchildren);
    cov_ = DVector(1, nchildren * ncov);
    pair_f_ = IVector(1, npairs);
    pair_m_ = IVector(1, npairs);
    pair_t_ = DVector(1, 3 * npairs);
    pars_ = DVector(1, 2 * ncov);
    nu1_ = DVector(1, most_children);
    nu2_ = DVector(1, most_children);

    bool finite_covariates = true;
    long c = 0;
    long p = 0;
    for (long i = 1; i <= nfam_; ++i) {
        const famdat& fam = families[i];
        child_begin_[i] = c + 1;
        pair_begin_[i] = p + 1;
        for (int j = 3; j <= fam.ninfam; ++j) {
            ++c;
            const int g = fam.famgeno[j];
            if (g < 0 || g > 2) refuse("child genotype outside 0..2", fam.famid, g);
            child_geno_[c] = g;
            for (long k = 1; k <= ncov; ++k) {
                const double x = fam.fcovdat[j][k];
                if (!std::isfinite(x)) finite_covariates = false;
                cov_[(c - 1) * ncov + k] = x;
            }
        }
        for (int k = 1; k <= fam.npgeno; ++k) {
            ++p;
            const int f = fam.pgenos[k][1];
            const int m = fam.pgenos[k][2];
            if (f < -1 || f > 2) refuse("father's genotype of a parental pair outside -1..2", fam.famid, f);
            if (m < -1 || m > 2) refuse("mother's genotype of a parental pair outside -1..2", fam.famid, m);
            pair_f_[p] = f;
            pair_m_[p] = m;
            if (f == -1 || m == -1) {
                missing_parent_ = true;
                pair_t_[3 * p - 2] = pair_t_[3 * p - 1] = pair_t_[3 * p] = 0.0;
            } else {
                for (int cg = 0; cg <= 2; ++cg) pair_t_[3 * p - 2 + cg] = phg(f, m, cg);
            }
        }
    }
    child_begin_[nfam_ + 1] = c + 1;
    pair_begin_[nfam_ + 1] = p + 1;
    if (s.cmodeltype == kDominant) risk_form_ = RiskForm::kEqualRisks;
    if (s.cmodeltype == kRecessive && finite_covariates) risk_form_ = RiskForm::kUnitNu1;
}

double Likelihood::operator()(const DVector& ppars) const {
    // The literal evaluation would reach phg with the untyped parent at its first step.
    if (missing_parent_) missing_genotype_stop();

    const long ncov = s_.ncov;
    const long npars = s_.npars;
    expand_coefficients(s_, ppars, pars_);

    double tmpp[3];
    prevalences_from(ppars[npars - 1], ppars[npars], tmpp);

    double loglkk = 0.0;
    for (long i = 1; i <= nfam_; ++i) {
        const long c_first = child_begin_[i];
        const long c_end = child_begin_[i + 1];

        // The children's relative risks, summed as mkfindiv sums them:
        // nu1 = exp(sum_k b1[k] x[k]), nu2 = exp(sum_k b2[k] x[k]) from 0.0 in ascending k.
        for (long c = c_first; c < c_end; ++c) {
            const long row = (c - 1) * ncov;
            const long at = c - c_first + 1;
            switch (risk_form_) {
                case RiskForm::kGeneral: {
                    double sum1 = 0.0;
                    double sum2 = 0.0;
                    for (long k = 1; k <= ncov; ++k) {
                        const double x = cov_[row + k];
                        sum1 += pars_[k] * x;
                        sum2 += pars_[ncov + k] * x;
                    }
                    nu1_[at] = std::exp(sum1);
                    nu2_[at] = std::exp(sum2);
                    break;
                }
                case RiskForm::kEqualRisks: {
                    double sum = 0.0;
                    for (long k = 1; k <= ncov; ++k) sum += pars_[k] * cov_[row + k];
                    nu1_[at] = std::exp(sum);
                    nu2_[at] = nu1_[at];
                    break;
                }
                case RiskForm::kUnitNu1: {
                    double sum2 = 0.0;
                    for (long k = 1; k <= ncov; ++k) sum2 += pars_[ncov + k] * cov_[row + k];
                    nu1_[at] = 1.0;
                    nu2_[at] = std::exp(sum2);
                    break;
                }
            }
        }

        double tmps = 0.0;
        for (long p = pair_begin_[i]; p < pair_begin_[i + 1]; ++p) {
            const double tf0 = pair_t_[3 * p - 2];
            const double tf1 = pair_t_[3 * p - 1];
            const double tf2 = pair_t_[3 * p];
            double tmpm = 1.0;
            for (long c = c_first; c < c_end; ++c) {
                // phgz: t0, t1, t2 in that order, the child's term over ((t0 + t1) + t2)
                const double t0 = tf0;
                const double t1 = tf1 * nu1_[c - c_first + 1];
                const double t2 = tf2 * nu2_[c - c_first + 1];
                const int g = child_geno_[c];
                const double tcg = g == 0 ? t0 : (g == 1 ? t1 : t2);
                tmpm = tmpm * (tcg / ((t0 + t1) + t2));
            }
            tmps = tmps + (tmpp[pair_f_[p]] * tmpp[pair_m_[p]]) * tmpm;
        }
        loglkk = loglkk + std::log(tmps);
    }
    return -loglkk;
}

}  // namespace quillon
