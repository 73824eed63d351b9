// One marker's whole analysis (fit, information matrix, statistics: what a scan does per
// marker) with the direction-set fit and with Newton's method, on 2000 complete trios with
// an intercept and one N(0, 1) covariate, status and covariate models Additive.  The study is
// drawn by the simulator (beta = (0.2, 0.3), seed 4004), written and read back with the
// program's reader.  The counters give the fit's iterations and the objective reached.
// BM_MarkerFit times the fit alone.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "input/pedigree_input.hpp"
#include "model/analysis.hpp"
#include "model/newton.hpp"
#include "simulate/simulate.hpp"

namespace quillon {
namespace {

Settings trio_settings() {
    Settings s;
    s.ncov = 2;
    s.smodeltype = kAdditive;
    s.cmodeltype = kAdditive;
    derive_model_codings(s);
    return s;
}

FamilyTable read_trios() {
    const char* argv[] = {"quillon-simulate", "--seed", "4004", "--families", "2000", "--min-size", "3",
                          "--max-size", "3", "--ncov", "2", "--intercept", "--model", "additive",
                          "--beta", "0.2,0.3"};
    SimulateOptions options;
    std::string error;
    SimulatedStudy study;
    if (!parse_simulate_options(static_cast<int>(std::size(argv)), argv, options, error) ||
        !simulate_study(options, study, error))
        throw std::runtime_error("simulation: " + error);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quillon-bench-trios-" + std::to_string(::getpid()));
    if (!write_study(study, dir.string(), error)) throw std::runtime_error("writing the study: " + error);
    FamilyTable families = read_families(trio_settings(), dir.string());
    std::filesystem::remove_all(dir);
    return families;
}

void BM_MarkerAnalysis(benchmark::State& state) {
    static FamilyTable families = read_trios();
    static const GenotypeTable table = build_genotype_table(largest_family(families));
    Settings s = trio_settings();
    const FitMethod method = state.range(0) == 0 ? FitMethod::kPowell : FitMethod::kNewton;
    s.fit = method;
    Analysis a;
    for (auto _ : state) {
        a = analyse(s, families, table);
        benchmark::ClobberMemory();  // (DoNotOptimize on a double can overwrite it with GCC)
    }
    state.SetLabel(method == FitMethod::kPowell ? "powell" : "newton");
    state.counters["iterations"] = a.fit.iter;
    state.counters["fret"] = a.fit.fret;
    state.counters["fell_back"] = a.fell_back.has_value();
}
BENCHMARK(BM_MarkerAnalysis)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The fit alone: fit_model against fit_model_newton (without the information step both share).
void BM_MarkerFit(benchmark::State& state) {
    static FamilyTable families = read_trios();
    const Settings s = trio_settings();
    for (auto _ : state) {
        const int iter = state.range(0) == 0 ? fit_model(s, families).iter : fit_model_newton(s, families).fit.iter;
        benchmark::DoNotOptimize(iter);
    }
    state.SetLabel(state.range(0) == 0 ? "powell" : "newton");
}
BENCHMARK(BM_MarkerFit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillon
