#include "model/likelihood.hpp"

#include <cmath>
#include <cstdio>

#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "genetics/transmission.hpp"

namespace quillon {

namespace {
[[noreturn]] void refuse(const char* what, long famid, long value) {
    char text[160];
    std::snprintf(text, sizeof text, "loglik: family %ld: %s (%ld)", famid, what, value);
    nrerror(text, NumericalKind::kInvalidSetting);
}
}  // namespace

Likelihood::Likelihood(const Settings& s, const FamilyTable& families) : s_(s) {
    const long ncov = s.ncov;
    const long nfam = families.nfam;
    long nchildren = 0;
    long npairs = 0;
    for (long i = 1; i <= nfam; ++i) {
        const famdat& fam = families[i];
        if (fam.ninfam < 2) refuse("fewer than two members", fam.famid, fam.ninfam);
        if (fam.npgeno < 0 || fam.npgeno > parentpairs)
            refuse("number of parental pairs outside 0..9", fam.famid, fam.npgeno);
        const long nc = fam.ninfam - 2;
        nchildren += nc;
        npairs += fam.npgeno;
        if (nc > flat_.most_children) flat_.most_children = nc;
    }

    Layout& f = flat_;
    f.nfam = nfam;
    f.child_begin.reserve(static_cast<std::size_t>(nfam + 1));
    f.pair_begin.reserve(static_cast<std::size_t>(nfam + 1));
    f.child_geno.reserve(static_cast<std::size_t>(nchildren));
    f.cov.reserve(static_cast<std::size_t>(nchildren * ncov));
    f.pair_f.reserve(static_cast<std::size_t>(npairs));
    f.pair_m.reserve(static_cast<std::size_t>(npairs));
    f.pair_t.reserve(static_cast<std::size_t>(3 * npairs));
    pars_ = DVector(1, 2 * ncov);
    nu1_.resize(static_cast<std::size_t>(f.most_children));
    nu2_.resize(static_cast<std::size_t>(f.most_children));

    bool finite_covariates = true;
    for (long i = 1; i <= nfam; ++i) {
        const famdat& fam = families[i];
        f.child_begin.push_back(static_cast<long>(f.child_geno.size()));
        f.pair_begin.push_back(static_cast<long>(f.pair_f.size()));
        for (int j = 3; j <= fam.ninfam; ++j) {
            const int g = fam.famgeno[j];
            if (g < 0 || g > 2) refuse("child genotype outside 0..2", fam.famid, g);
            f.child_geno.push_back(g);
            for (long k = 1; k <= ncov; ++k) {
                const double x = fam.fcovdat[j][k];
                if (!std::isfinite(x)) finite_covariates = false;
                f.cov.push_back(x);
            }
        }
        for (int k = 1; k <= fam.npgeno; ++k) {
            const int fg = fam.pgenos[k][1];
            const int mg = fam.pgenos[k][2];
            if (fg < -1 || fg > 2) refuse("father's genotype of a parental pair outside -1..2", fam.famid, fg);
            if (mg < -1 || mg > 2) refuse("mother's genotype of a parental pair outside -1..2", fam.famid, mg);
            f.pair_f.push_back(fg);
            f.pair_m.push_back(mg);
            const bool untyped = fg == -1 || mg == -1;
            missing_parent_ = missing_parent_ || untyped;
            for (int cg = 0; cg <= 2; ++cg) f.pair_t.push_back(untyped ? 0.0 : phg(fg, mg, cg));
        }
    }
    f.child_begin.push_back(static_cast<long>(f.child_geno.size()));
    f.pair_begin.push_back(static_cast<long>(f.pair_f.size()));
    risk_form_ = risk_form(s, finite_covariates);
}

void Likelihood::child_risks(const DVector& pars, long c_first, long c_end, double* nu1, double* nu2) const {
    children_risks(risk_form_, s_.ncov, pars, flat_.cov.data() + c_first * s_.ncov, c_end - c_first, nu1, nu2);
}

double Likelihood::operator()(const DVector& ppars) const {
    // The literal evaluation would reach phg with the untyped parent at its first step.
    if (missing_parent_) missing_genotype();

    const long npars = s_.npars;
    expand_coefficients(s_, ppars, pars_);

    double tmpp[3];
    prevalences_from(ppars[npars - 1], ppars[npars], tmpp);

    const Layout& f = flat_;
    double loglkk = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(f.nfam); ++i) {
        const long c_first = f.child_begin[i];
        const long c_end = f.child_begin[i + 1];
        child_risks(pars_, c_first, c_end, nu1_.data(), nu2_.data());

        double tmps = 0.0;
        for (auto p = static_cast<std::size_t>(f.pair_begin[i]); p < static_cast<std::size_t>(f.pair_begin[i + 1]); ++p) {
            const double tf0 = f.pair_t[3 * p];
            const double tf1 = f.pair_t[3 * p + 1];
            const double tf2 = f.pair_t[3 * p + 2];
            double tmpm = 1.0;
            for (long c = c_first; c < c_end; ++c) {
                // phgz: t0, t1, t2 in that order, the child's term over ((t0 + t1) + t2)
                const auto at = static_cast<std::size_t>(c - c_first);
                const double t0 = tf0;
                const double t1 = tf1 * nu1_[at];
                const double t2 = tf2 * nu2_[at];
                const int g = f.child_geno[static_cast<std::size_t>(c)];
                const double tcg = g == 0 ? t0 : (g == 1 ? t1 : t2);
                tmpm = tmpm * (tcg / ((t0 + t1) + t2));
            }
            tmps = tmps + (tmpp[f.pair_f[p]] * tmpp[f.pair_m[p]]) * tmpm;
        }
        loglkk = loglkk + std::log(tmps);
    }
    return -loglkk;
}

}  // namespace quillon
