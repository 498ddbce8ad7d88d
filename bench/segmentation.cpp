// The automatic segmentation on the digital phantom: quantisation + flooding + statistics and
// pruning + classification, and the statistics recount that follows every brush stroke.
#include <benchmark/benchmark.h>

#include "../tests/segmentation/phantom_study.h"
#include "base/scripted_platform.h"
#include "segmentation/segment_commands.h"
#include "segmentation/classification.h"
#include "segmentation/region_stats.h"
#include "segmentation/reorient.h"
#include "segmentation/volume_curves.h"
#include "segmentation/watershed.h"

using namespace quorvel;

namespace {

// A phantom study after the default in-plane step (32 square, 2x zoom), ready to quantise.
StudyWorkspace reorientedPhantom(int instants, int slices) {
  phantom::PhantomParams p = phantom::defaultParams();
  p.instants = instants;
  p.slices = slices;
  StudyWorkspace w;
  quorvel::testing::loadPhantom(phantom::buildPhantom(p), w);
  Segmentation seg;
  ScriptedPlatform platform;
  TraceLog log;
  SegmentationContext c{w, seg, platform, log, std::filesystem::temp_directory_path()};
  FICH_VALIDATE(c);
  return w;
}

void BM_FullSegmentation(benchmark::State& state) {
  const StudyWorkspace start = reorientedPhantom(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  TraceLog log;
  int nreg = 0;
  for (auto _ : state) {
    state.PauseTiming();
    StudyWorkspace w = start;
    Segmentation seg;
    state.ResumeTiming();
    RECH_IMAGE(w.study, w.options, seg, log);
    if (SEGMENT(w.study, w.options, w.settings.flow, seg, log) != FloodStatus::Done)
      state.SkipWithError("too many regions");
    SEGMENT_EVAL(w.study, w.settings.reorient, w.settings.limits, w.settings.flow, seg, log);
    nreg = seg.NREG;
    benchmark::DoNotOptimize(seg.CORR.data());
  }
  state.counters["labels"] = nreg;
}

// The re-oriented phantom segmented by validating the last step, with what the commands need.
struct SegmentedPhantom {
  StudyWorkspace w;
  Segmentation seg;
  ScriptedPlatform platform;
  TraceLog log;
  SegmentationContext c{w, seg, platform, log, std::filesystem::temp_directory_path()};
  SegmentedPhantom(int instants, int slices, benchmark::State& state) : w(reorientedPhantom(instants, slices)) {
    w.settings.flow.fich_axis = 2;
    if (FICH_VALIDATE(c) != ReorientOutcome::Segmented) state.SkipWithError("not segmented");
  }
};

void BM_RegionStatisticsRecount(benchmark::State& state) {
  SegmentedPhantom p(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), state);
  for (auto _ : state) {
    RECOUP_CLASS(0, p.w.study.Ninst, p.w.study.NCZ, p.seg, p.log);
    benchmark::DoNotOptimize(p.seg.CARD.data());
  }
}

// Measuring both ventricles at every instant and fitting them (method in the argument).
void BM_VolumeCurves(benchmark::State& state) {
  SegmentedPhantom p(8, 64, state);
  CurveState curves;
  p.w.settings.curves.TACFIT_switch = static_cast<int>(state.range(0));
  for (auto _ : state) {
    VIDANGE(p.c, curves);
    benchmark::DoNotOptimize(curves.vc.G.FES);
  }
}

}  // namespace

BENCHMARK(BM_VolumeCurves)->DenseRange(1, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullSegmentation)->Args({8, 48})->Args({8, 64})->Args({16, 64})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegionStatisticsRecount)->Args({8, 64})->Args({16, 64})->Unit(benchmark::kMillisecond);
