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

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "quillon/family.hpp"
#include "quillon/fit.hpp"
#include "quillon/information.hpp"
#include "quillon/likelihood.hpp"
#include "quillon/model.hpp"
#include "quillon/patterns.hpp"
#include "quillon/pedigree_input.hpp"
#include "quillon/settings.hpp"
#include "quillon/test_families.hpp"
#include "simulate/simulate.hpp"

namespace quillon {
namespace {

using test_support::make_settings;
using test_support::make_table;
using test_support::make_vector;
using test_support::set_parent_pairs;
using test_support::simulate_family;
using test_support::TestRng;

constexpr long kFamilies = 1000;

// Parents' typing of every family of a benchmark: the range argument 1.
enum Typing { kBothTyped = 0, kFatherUntyped = 1, kBothUntyped = 2 };

// b1 = (0.1, 0.3), b2 = (0.2, 0.5), prevalences 0.42, 0.09.
DVector fixed_theta() {
    const auto [eta1, eta2] = test_support::etas_of(0.42, 0.09);
    return make_vector({0.1, 0.3, 0.2, 0.5, eta1, eta2});
}

// kFamilies families of `size` members drawn from the model at theta, parents typed as
// `typing` says, each with its compatible parental pairs listed.
FamilyTable families_of_size(const Settings& s, const DVector& theta, int size, Typing typing) {
    TestRng rng(20240 + static_cast<unsigned>(size));
    std::vector<famdat> families;
    families.reserve(kFamilies);
    for (long i = 1; i <= kFamilies; ++i) {
        famdat fam = simulate_family(rng, i, s, theta, size - 2, 0.0);
        if (typing != kBothTyped) fam.famgeno[1] = -1;
        if (typing == kBothUntyped) fam.famgeno[2] = -1;
        set_parent_pairs(fam);
        families.push_back(std::move(fam));
    }
    return make_table(std::move(families));
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
    static const FittedStudy study_L = read_and_fit_L(make_settings(2, kAdditive, kNone));
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
    const Settings s = make_settings(2, kAdditive, kNone);
    const DVector theta = fixed_theta();
    const FamilyTable families =
        families_of_size(s, theta, static_cast<int>(state.range(0)), static_cast<Typing>(state.range(1)));
    const Likelihood likelihood(s, families);
    for (auto _ : state) benchmark::DoNotOptimize(likelihood(theta));
    state.counters["pairs"] = static_cast<double>(count_pairs(families));
    state.SetLabel(typing_name(static_cast<Typing>(state.range(1))));
}

void BM_LikelihoodL(benchmark::State& state) {
    const Settings s = make_settings(2, kAdditive, kNone);
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
    const Settings s = make_settings(2, kAdditive, kNone);
    const DVector theta = fixed_theta();
    FamilyTable families =
        families_of_size(s, theta, static_cast<int>(state.range(0)), static_cast<Typing>(state.range(1)));
    const FitResult fit = state_at(s, families, theta);
    information_loop(state, s, families, fit);
    state.SetLabel(typing_name(static_cast<Typing>(state.range(1))));
}

// At the estimate, as in the whole run.
void BM_InformationL(benchmark::State& state) {
    const Settings s = make_settings(2, kAdditive, kNone);
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
