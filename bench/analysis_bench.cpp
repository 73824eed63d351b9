// The two costs of a run that grow with the data:
//  - one evaluation of the minimiser's objective (the flat Likelihood evaluator), which the
//    fit repeats a few thousand times;
//  - the information step (accumulate_information), once per run, whose enumeration of the
//    children's genotype combinations grows as 3^children.
// Each per family size 3..10, on 1000 families of that size with both parents typed, the
// father untyped, or both parents untyped (1, up to 3, up to 9 compatible pairs); and on the
// whole-run dataset L of bench/run (10000 families of 3..10 members), read from the files
// the simulator writes, as the program reads them.  Two covariates (intercept + 1), covariate
// model None, status model Additive, at a fixed parameter vector.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>

#include <unistd.h>

#include "genetics/family.hpp"
#include "model/fit.hpp"
#include "model/information.hpp"
#include "model/likelihood.hpp"
#include "model/model.hpp"
#include "genetics/patterns.hpp"
#include "input/pedigree_input.hpp"
#include "model/settings.hpp"
#include "genetics/transmission.hpp"
#include "simulate/simulate.hpp"

namespace quillon {
namespace {

constexpr long kFamilies = 1000;
constexpr long kNcov = 2;

// Parents' typing of every family of a benchmark: the range argument 1.
enum Typing { kBothTyped = 0, kFatherUntyped = 1, kBothUntyped = 2 };

// Two covariates, status model Additive, covariate model None: npars = 2 * 2 + 2.
Settings bench_settings() {
    Settings s;
    s.ncov = kNcov;
    s.smodeltype = kAdditive;
    s.cmodeltype = kNone;
    derive_model_codings(s);
    return s;
}

// b1 = (0.1, 0.3), b2 = (0.2, 0.5), and eta1, eta2 of the prevalences gamma1 = 0.42,
// gamma2 = 0.09 (the inverse of the arctangent map, up to rounding).
DVector fixed_theta() {
    const double gamma1 = 0.42;
    const double gamma2 = 0.09;
    DVector theta = vector(1, 6);
    theta[1] = 0.1;
    theta[2] = 0.3;
    theta[3] = 0.2;
    theta[4] = 0.5;
    theta[5] = std::tan(gamma1 * 3.14159 - 1.570795);
    theta[6] = std::tan(gamma2 / (1.0 - gamma1) * 3.14159 - 1.570795);
    return theta;
}

// Fixed-seed draws that do not depend on the standard library's distributions.
class BenchRng {
public:
    explicit BenchRng(std::uint64_t seed) : engine_(seed) {}
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }  // [0, 1)
    double normal() {                                                               // Box-Muller
        const double u1 = 1.0 - uniform();
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
    // 0, 1 or 2 with probabilities p[0], p[1], p[2].
    int pick(const double p[3]) {
        const double u = uniform();
        return u < p[0] ? 0 : (u < p[0] + p[1] ? 1 : 2);
    }

private:
    std::mt19937_64 engine_;
};

// One family of `size` members drawn from the model at theta, laid out as the input stage
// leaves a record (covariate column 1 an intercept, column 2 standard normal; every member
// affected with weight 1), then its parents masked as `typing` says and its compatible
// parental pairs listed as the fit lists them.
famdat draw_family(BenchRng& rng, long famid, const Settings& s, const DVector& theta, int size, Typing typing) {
    famdat fam;
    fam.famid = famid;
    fam.ninfam = size;
    fam.famgeno = ivector(1, size);
    fam.phenodat = ivector(1, size);
    fam.fcovdat = matrix(1, size, 1, static_cast<int>(kNcov));
    fam.findiv = matrix(1, size, 1, 10);
    fam.findiv.fill(0.0);
    fam.pgenos = imatrix(1, 9, 1, 2);
    fam.pgenos.fill(0);
    for (int j = 1; j <= size; ++j) {
        fam.phenodat[j] = 2;
        fam.findiv[j][4] = 1.0;
        fam.fcovdat[j][1] = 1.0;
        fam.fcovdat[j][2] = rng.normal();
    }
    double gamma[3];
    prevalences_from(theta[s.npars - 1], theta[s.npars], gamma);
    fam.famgeno[1] = rng.pick(gamma);
    fam.famgeno[2] = rng.pick(gamma);
    mkfindiv(s, theta, fam);
    for (int j = 3; j <= size; ++j) {
        double p[3];
        for (int g = 0; g <= 2; ++g) p[g] = phgz(fam.famgeno[1], fam.famgeno[2], g, fam.findiv[j][2], fam.findiv[j][3]);
        fam.famgeno[j] = rng.pick(p);
    }
    if (typing != kBothTyped) fam.famgeno[1] = -1;
    if (typing == kBothUntyped) fam.famgeno[2] = -1;
    ParentPairs pairs;
    gx(fam.famgeno, fam.ninfam, fam.famid, pairs);
    fam.npgeno = pairs.unpgeno;
    for (int k = 1; k <= pairs.unpgeno; ++k) {
        fam.pgenos[k][1] = pairs.upgenos[k][1];
        fam.pgenos[k][2] = pairs.upgenos[k][2];
    }
    return fam;
}

// kFamilies families of `size` members.
FamilyTable families_of_size(const Settings& s, const DVector& theta, int size, Typing typing) {
    BenchRng rng(20240 + static_cast<std::uint64_t>(size));
    FamilyTable t;
    t.nfam = kFamilies;
    t.fam = IndexVector<famdat>(1, kFamilies);
    for (long i = 1; i <= kFamilies; ++i) t.fam[i] = draw_family(rng, i, s, theta, size, typing);
    return t;
}

// The fitted state at theta, as the information step finds it after the fit: findiv of
// every member and gammma belong to theta.
FitResult state_at(const Settings& s, FamilyTable& families, const DVector& theta) {
    FitResult fit;
    fit.ogpars = vector(1, static_cast<int>(s.npars));
    for (int i = 1; i <= s.npars; ++i) fit.ogpars[i] = theta[i];
    prevalences_from(theta[s.npars - 1], theta[s.npars], fit.gammma);
    for (long i = 1; i <= families.nfam; ++i) mkfindiv(s, theta, families[i]);
    return fit;
}

const GenotypeTable& genotype_table() {
    static const GenotypeTable table = [] {
        GenotypeTable t = allocate_genotype_table();
        IVector BB = ivector(1, maxfamilysize);
        BB.fill(0);
        makeGT(t, BB, 0);
        return t;
    }();
    return table;
}

// Dataset L of bench/run, fitted: the same simulator options and seed, written to a scratch
// folder, read back with the program's reader and fitted as the program fits it (which also
// lists each family's compatible pairs).  Keep these options identical to bench/run's.
struct FittedStudy {
    FamilyTable families;
    FitResult fit;
};

FittedStudy read_and_fit_L(const Settings& s) {
    const char* argv[] = {"quillon-simulate", "--seed", "2002", "--families", "10000", "--min-size", "3",
                          "--max-size", "10", "--untyped-father", "0.2", "--untyped-parents", "0.1",
                          "--ncov", "2", "--intercept", "--model", "none", "--b1", "0,0.3", "--b2", "0,0.5",
                          "--weights", "random"};
    SimulateOptions options;
    std::string error;
    if (!parse_simulate_options(static_cast<int>(std::size(argv)), argv, options, error))
        throw std::runtime_error("simulator options: " + error);
    SimulatedStudy study;
    if (!simulate_study(options, study, error)) throw std::runtime_error("simulation: " + error);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quillon-bench-L-" + std::to_string(::getpid()));
    if (!write_study(study, dir.string(), error)) throw std::runtime_error("writing the study: " + error);
    FittedStudy study_L;
    study_L.families = read_families(s, dir.string());
    std::filesystem::remove_all(dir);
    study_L.fit = fit_model(s, study_L.families);
    return study_L;
}

// Built once: the benchmark library calls each benchmark function several times.
const FittedStudy& dataset_L() {
    static const FittedStudy study_L = read_and_fit_L(bench_settings());
    return study_L;
}

// The minimiser's start values theta[i] = i / 200 + 0.15.
DVector start_values(const Settings& s) {
    DVector theta = vector(1, static_cast<int>(s.npars));
    for (int i = 1; i <= s.npars; ++i) theta[i] = static_cast<double>(i) / 200.0 + 0.15;
    return theta;
}

const char* typing_name(Typing typing) {
    switch (typing) {
        case kBothTyped: return "parents typed";
        case kFatherUntyped: return "father untyped";
        case kBothUntyped: return "parents untyped";
    }
    return "";
}

long count_pairs(const FamilyTable& families) {
    long pairs = 0;
    for (long i = 1; i <= families.nfam; ++i) pairs += families[i].npgeno;
    return pairs;
}

// ---- one Likelihood evaluation ----

void BM_LikelihoodBySize(benchmark::State& state) {
    const Settings s = bench_settings();
    const DVector theta = fixed_theta();
    const FamilyTable families =
        families_of_size(s, theta, static_cast<int>(state.range(0)), static_cast<Typing>(state.range(1)));
    const Likelihood likelihood(s, families);
    for (auto _ : state) benchmark::DoNotOptimize(likelihood(theta));
    state.counters["pairs"] = static_cast<double>(count_pairs(families));
    state.SetLabel(typing_name(static_cast<Typing>(state.range(1))));
}

void BM_LikelihoodL(benchmark::State& state) {
    const Settings s = bench_settings();
    const FamilyTable& families = dataset_L().families;
    const DVector theta = start_values(s);
    const Likelihood likelihood(s, families);
    for (auto _ : state) benchmark::DoNotOptimize(likelihood(theta));
    state.counters["pairs"] = static_cast<double>(count_pairs(families));
}

// ---- the information step ----

void information_loop(benchmark::State& state, const Settings& s, const FamilyTable& families,
                      const FitResult& fit) {
    const GenotypeTable& table = genotype_table();
    DMatrix JJ = matrix(1, static_cast<int>(s.npars) + 1, 1, static_cast<int>(s.npars) + 1);
    for (auto _ : state) {
        double scoreUb = 0.0;
        accumulate_information(s, families, table, fit, JJ, &scoreUb);
        benchmark::DoNotOptimize(scoreUb);
        benchmark::ClobberMemory();
    }
    state.counters["pairs"] = static_cast<double>(count_pairs(families));
}

void BM_InformationBySize(benchmark::State& state) {
    const Settings s = bench_settings();
    const DVector theta = fixed_theta();
    FamilyTable families =
        families_of_size(s, theta, static_cast<int>(state.range(0)), static_cast<Typing>(state.range(1)));
    const FitResult fit = state_at(s, families, theta);
    information_loop(state, s, families, fit);
    state.SetLabel(typing_name(static_cast<Typing>(state.range(1))));
}

// At the estimate, as in the whole run.
void BM_InformationL(benchmark::State& state) {
    const Settings s = bench_settings();
    information_loop(state, s, dataset_L().families, dataset_L().fit);
}

void by_size_and_typing(benchmark::internal::Benchmark* b) {
    b->ArgNames({"size", "typing"});
    b->ArgsProduct({benchmark::CreateDenseRange(3, 10, 1), {kBothTyped, kFatherUntyped, kBothUntyped}});
}

BENCHMARK(BM_LikelihoodBySize)->Apply(by_size_and_typing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LikelihoodL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InformationBySize)->Apply(by_size_and_typing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InformationL)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillon
