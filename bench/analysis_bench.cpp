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
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "genetics/family.hpp"
#include "model/fit.hpp"
#include "model/information.hpp"
#include "model/likelihood.hpp"
#include "model/model.hpp"
#include "model/prevalence.hpp"
#include "genetics/patterns.hpp"
#include "input/pedigree_input.hpp"
#include "model/settings.hpp"
#include "genetics/transmission.hpp"
#include "simulate/simulate.hpp"
#include "support/families.hpp"
#include "support/program.hpp"

namespace quillon {
namespace {

using namespace test_support;

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
    theta[5] = stick_parameter(gamma1);
    theta[6] = stick_parameter(gamma2 / (1.0 - gamma1));
    return theta;
}

// kFamilies families of `size` members.
FamilyTable families_of_size(const Settings& s, const DVector& theta, int size, Typing typing) {
    TestRng rng(20240 + static_cast<std::uint64_t>(size));
    std::vector<famdat> families;
    for (long i = 1; i <= kFamilies; ++i) {
        famdat fam = draw_family(rng, i, s, theta, size);
        if (typing != kBothTyped) fam.famgeno[1] = -1;
        if (typing == kBothUntyped) fam.famgeno[2] = -1;
        set_parent_pairs(fam);
        families.push_back(std::move(fam));
    }
    return make_table(std::move(families));
}

const GenotypeTable& genotype_table() {
    static const GenotypeTable table = build_genotype_table();
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

    const TempDir dir;
    if (!write_study(study, dir.path(), error)) throw std::runtime_error("writing the study: " + error);
    FittedStudy study_L;
    study_L.families = read_families(s, dir.path());
    study_L.fit = fit_model(s, study_L.families);
    return study_L;
}

// Built once: the benchmark library calls each benchmark function several times.
const FittedStudy& dataset_L() {
    static const FittedStudy study_L = read_and_fit_L(bench_settings());
    return study_L;
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
