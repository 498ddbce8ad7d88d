// One fit of an 8-instant volume curve with each method.
// Targets: methods 2, 4, 5 under 50 us; method 1 (15 iterations) and method 3 (20) under 1 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "curves/refcurve.h"
#include "curves/tacfit.h"

namespace {

using namespace quorvel;

// Method 1 writes TAC.txt into the application folder once: keep it out of the user's folder.
const bool kHomeSet = [] {
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "quorvel_bench_curves";
  std::filesystem::create_directories(home);
  return setenv("QUORVEL_HOME", home.c_str(), 1) == 0;
}();

// End-systole at 400 ms, ejection fraction 65 %, with a little noise, closed cycle.
constexpr double kCurve[9] = {100.0, 83.9, 56.2, 35.1, 44.0, 64.8, 79.9, 88.1, 100.0};

void fitMethod(benchmark::State& state, int method) {
  FitContext ctx;
  ctx.Ninst = 8;
  ctx.CYCLE = 125.0f;
  TacFitState s;
  INIT_TACFITNEW(s);
  BUILD_SPLINES_MATRIX(s, ctx);  // once per study, not per fit
  s.TACFIT_switch = method;
  s.TACFIT_ITER = 15;
  s.TACFIT_ITmax = 20;
  for (auto _ : state) {
    TACFIT_SELECTED(s, kCurve, ctx, /*developer=*/true);
    benchmark::DoNotOptimize(s.out.TACFIT_fes);
    benchmark::DoNotOptimize(s.voc.fes);
  }
}

BENCHMARK_CAPTURE(fitMethod, method0_TACFIT_REF, kTacFitRef)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(fitMethod, method1_TACFIT_NEW_15it, kTacFitNew)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(fitMethod, method2_MULTI_HARMONIQUE, kMultiHarmonique)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(fitMethod, method3_TACFIT_ALT_20it, kTacFitAlt)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(fitMethod, method4_TACFIT_AFFINE, kTacFitAffine)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(fitMethod, method5_TACFIT_SPLINES, kTacFitSplines)->Unit(benchmark::kMicrosecond);

void buildSplinesMatrix16(benchmark::State& state) {
  FitContext ctx;
  ctx.Ninst = 16;
  TacFitState s;
  for (auto _ : state) {
    BUILD_SPLINES_MATRIX(s, ctx);
    benchmark::DoNotOptimize(s.SPmatrix_[0]);
  }
}
BENCHMARK(buildSplinesMatrix16)->Unit(benchmark::kMicrosecond);

}  // namespace
