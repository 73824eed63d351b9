// Imputed-like families drawn here (fixed seeds): the dosage transmission statistic is
// calibrated under the null whatever the imputation errors share, the likelihood's Wald test
// when they are independent across members (its assumption) and the population prior is
// divided out, not when it is left in; the statistic finds effects at least as often as hard
// calls.
//
// Imputation as the simulator's (simulate/imputation.hpp): each haplotype's allele a is seen
// as y = a + sigma e (e standard normal), its posterior taken with the allele frequency as
// prior, sigma set for the marker's target r2; a
// child's inherited haplotype keeps its parent's observation, error included, with
// probability `shared`.  The genotype probabilities are the product of two haplotype
// posteriors, rounded to 3 decimals.  One family in four has a second child.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cmath>
#include <thread>
#include <vector>

#include "formats/dosage.hpp"
#include "method/probability_tdt.hpp"
#include "model/probability_fit.hpp"
#include "model/probability_likelihood.hpp"
#include "simulate/imputation.hpp"
#include "support/families.hpp"

namespace quillon {
namespace {

using namespace test_support;
using Lik = std::array<double, 3>;
enum Mode { kPrior, kNoPrior, kHardCall, kBestGuess, kDosage };

struct Draw { double r2 = 0.6, beta = 0.0, shared = 0.5; int nfam = 200; };

// One marker: the two-sided p-value of each mode asked for, NaN otherwise.  The likelihood's
// is the Wald test of the additive coefficient (an intercept the only covariate); hard calls
// leave out families without a child's call or against Mendel.
// The allele frequency is one of 0.15, 0.2, ..., 0.5, sigmas[k] the noise at the k-th.
std::array<double, 5> marker(std::uint64_t seed, const Draw& w, const std::vector<Mode>& modes, const double* sigmas) {
    TestRng rng(seed);
    const int k = rng.between(0, 7);
    const double p = 0.15 + 0.05 * k, sigma = sigmas[k], nu = std::exp(w.beta);
    std::vector<std::vector<Lik>> gps(static_cast<std::size_t>(w.nfam));  // family by family, member by member
    double af = 0.0, people = 0.0;
    for (auto& family : gps) {
        double y[4][2];
        int a[2][2];
        for (int parent = 0; parent < 2; ++parent)
            for (int h = 0; h < 2; ++h) a[parent][h] = rng.uniform() < p, y[parent][h] = a[parent][h] + sigma * rng.normal();
        const int f = a[0][0] + a[0][1], m = a[1][0] + a[1][1], size = rng.uniform() < 0.25 ? 4 : 3;
        const double pp[3] = {phgz(f, m, 0, nu, nu * nu), phgz(f, m, 1, nu, nu * nu), phgz(f, m, 2, nu, nu * nu)};
        for (int c = 2; c < size; ++c) {
            const int g = rng.genotype(pp);
            int i = 0, j = 0;
            do i = rng.between(0, 1), j = rng.between(0, 1);
            while (a[0][i] + a[1][j] != g);
            y[c][0] = rng.uniform() < w.shared ? y[0][i] : a[0][i] + sigma * rng.normal();
            y[c][1] = rng.uniform() < w.shared ? y[1][j] : a[1][j] + sigma * rng.normal();
        }
        for (int j = 0; j < size; ++j) {
            const double h1 = haplotype_posterior(y[j][0], sigma, p), h2 = haplotype_posterior(y[j][1], sigma, p);
            Lik gp = {(1 - h1) * (1 - h2), h1 * (1 - h2) + (1 - h1) * h2, h1 * h2};
            for (double& v : gp) v = std::round(v * 1000) / 1000;
            read_gp(gp.data(), 3, gp);
            af += expected_dosage(family.emplace_back(gp)) / 2, people += 1;
        }
    }
    af /= people;
    const Settings s = newton_settings(make_settings(1, kAdditive, kAdditive));
    std::array<double, 5> out{NAN, NAN, NAN, NAN, NAN};
    for (const Mode mode : modes) {
        const bool hard = mode == kHardCall || mode == kBestGuess;
        std::vector<famdat> fams;
        for (const auto& family : gps) {
            const int n = static_cast<int>(family.size());
            // The dosage statistic reads only the weights and the dosages: fewer allocations.
            famdat fam = mode == kDosage ? famdat{} : make_family(1, 1, std::vector<Member>(n, Member{-1, 1, 1, {1}}));
            if (mode == kDosage) fam.ninfam = n, fam.weight = vector(1, n), fam.weight.fill(1.0);
            fam.glik.assign(static_cast<std::size_t>(n) + 1, Lik{1, 1, 1});
            fam.dosage.assign(static_cast<std::size_t>(n) + 1, NAN);
            std::vector<int> call(static_cast<std::size_t>(n) + 1, -1);
            for (int j = 1; j <= n; ++j) {
                const Lik& gp = family[static_cast<std::size_t>(j - 1)];
                Lik& l = fam.glik[static_cast<std::size_t>(j)];
                fam.dosage[static_cast<std::size_t>(j)] = expected_dosage(gp);
                if (hard) {
                    call[j] = mode == kHardCall ? hard_call(expected_dosage(gp), 0.1) : best_guess(gp);
                    if (call[j] >= 0) l = {0, 0, 0}, l[static_cast<std::size_t>(call[j])] = 1;
                } else {
                    l = floor_vector(mode == kNoPrior ? gp : divide_prior(gp, af), 1e-3);
                }
            }
            // Hard calls: a child's call, and a pair of the parents' calls that fits every child's.
            bool possible = !hard;
            for (int pair = 0; pair < 9 && *std::max_element(call.begin() + 3, call.end()) >= 0; ++pair) {
                const int ff = pair / 3, mm = pair % 3;
                bool fits = (call[1] < 0 || call[1] == ff) && (call[2] < 0 || call[2] == mm);
                for (int c = 3; c <= n; ++c) fits = fits && (call[c] < 0 || phg(ff, mm, call[c]) > 0);
                possible = possible || fits;
            }
            if (possible) fams.push_back(std::move(fam));
        }
        const FamilyTable table = make_table(std::move(fams));
        try {
            if (mode == kDosage) {
                out[mode] = std::erfc(std::fabs(dosage_transmission(table).statistic) / std::sqrt(2.0));
                continue;
            }
            const ProbabilityFit fit = fit_probabilities(s, table);
            const ObservedInformation info = observed_information(s, ProbabilityLikelihood(s, table), fit.fit.ogpars);
            out[mode] = std::erfc(std::fabs(fit.fit.ogpars[1] / std::sqrt(info.subJI[1][1])) / std::sqrt(2.0));
        } catch (const NumericalError&) {  // no p-value: not rejected
        }
    }
    return out;
}

// The rejections in each mode at 0.05 (entries 0..4) and 0.01 (5..9) over `count` markers,
// split over two threads (each marker its own seed).
std::array<double, 10> rejections(std::uint64_t seed, int count, const Draw& w, const std::vector<Mode>& modes) {
    std::vector<std::array<double, 5>> ps(static_cast<std::size_t>(count));
    double sigmas[8];
    for (int k = 0; k < 8; ++k) sigmas[k] = noise_for_r2(w.r2, 0.15 + 0.05 * k);
    const auto run = [&](int first) {
        for (int k = first; k < count; k += 2) ps[static_cast<std::size_t>(k)] = marker(seed + static_cast<std::uint64_t>(k), w, modes, sigmas);
    };
    std::thread other(run, 1);
    run(0), other.join();
    std::array<double, 10> n{};
    for (const auto& p : ps)
        for (std::size_t m = 0; m < 5; ++m) n[m] += p[m] < 0.05, n[5 + m] += p[m] < 0.01;
    return n;
}

// The upper (side 1) or lower (-1) end of the 99.9% interval of a binomial count (normal approximation).
double bound(double n, double alpha, int side) { return n * alpha + side * 3.29 * std::sqrt(n * alpha * (1 - alpha)); }

// Every check of a mode's calibration at r2 0.3, 0.6, 0.9; the Wald test of few informative
// transmissions is conservative (r2 0.3 here): there only no inflation is asserted for it.
void expect_calibrated(Mode mode, int n, Draw w, std::uint64_t seed) {
    for (const double r2 : {0.3, 0.6, 0.9}) {
        w.r2 = r2;
        const auto counts = rejections(seed + static_cast<std::uint64_t>(r2 * 10) * 100000, n, w, {mode});
        for (const double alpha : {0.05, 0.01}) {
            const double count = counts[(alpha < 0.05 ? 5 : 0) + mode];
            std::printf("mode %d, r2 %.1f: %g of %d rejected at %.2f\n", mode, r2, count, n, alpha);
            EXPECT_LE(count, bound(n, alpha, 1)) << r2 << " " << alpha;
            EXPECT_TRUE((mode != kDosage && r2 < 0.5) || count >= bound(n, alpha, -1)) << r2 << " " << alpha << ": " << count;
        }
    }
}

TEST(ProbabilityCalibration, DosageStatisticIsCalibratedUnderSharedErrors) {
    expect_calibrated(kDosage, 2000, {.nfam = 500}, 5000);
}

TEST(ProbabilityCalibration, WaldIsCalibratedWithIndependentErrorsAndThePriorDividedOut) {
    expect_calibrated(kPrior, 500, {.shared = 0.0}, 1000);
    const double raw = rejections(99, 100, {.r2 = 0.3, .shared = 0.0}, {kNoPrior})[kNoPrior];
    EXPECT_GT(raw, bound(100, 0.05, 1));
}

TEST(ProbabilityCalibration, FindsEffectsAtLeastAsOftenAsHardCalls) {
    const int n = 1000;
    const auto counts = rejections(7, n, {.beta = std::log(2.0), .nfam = 150}, {kDosage, kHardCall, kBestGuess});
    const double prob = counts[5 + kDosage] / n;
    for (const Mode hard : {kHardCall, kBestGuess}) {
        const double other = counts[5 + hard] / n;
        std::printf("power at 0.01: %.3f against %.3f\n", prob, other);
        EXPECT_GE(prob, other - 2 * std::sqrt(other * (1 - other) / n)) << hard;
    }
}

}  // namespace
}  // namespace quillon
