// One fit of an 8-instant volume curve with each method.
// Targets: methods 2, 4, 5 under 50 us; method 1 (15 iterations) and method 3 (20) under 1 ms.
#include <benchmark/benchmark.h>

#include "curves/tacfit_ref.h"
#include "curves/tacfit.h"

namespace {

using namespace quorvel;

// End-systole at 400 ms, ejection fraction 65 %, with a little noise, closed cycle.
constexpr double kCurve[9] = {100.0, 83.9, 56.2, 35.1, 44.0, 64.8, 79.9, 88.1, 100.0};

void fitMethod(benchmark::State& state, int method) {
  FitContext ctx;
  ctx.Ninst = 8;
  ctx.CYCLE = 125.0f;
  TacFitWork s;
  BUILD_SPLINES_MATRIX(s, ctx);  // once per study, not per fit
  const TacFitSettings set{.TACFIT_ITER = 15, .CMH_DEG = 2, .TACFIT_ITmax = 20};
  for (auto _ : state) {
    fitSelectedMethod(method, set, s, kCurve, ctx, /*developer=*/true);
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
  TacFitWork s;
  for (auto _ : state) {
    BUILD_SPLINES_MATRIX(s, ctx);
    benchmark::DoNotOptimize(s.SPmatrix_[0]);
  }
}
BENCHMARK(buildSplinesMatrix16)->Unit(benchmark::kMicrosecond);

}  // namespace
