// The automatic segmentation on the digital phantom: quantisation + flooding + statistics and
// pruning + classification, and the statistics recount that follows every brush stroke.
#include <benchmark/benchmark.h>

#include <memory>

#include "phantom_session.h"
#include "segmentation/classification.h"
#include "segmentation/region_stats.h"
#include "segmentation/reorient.h"
#include "segmentation/volume_curves.h"
#include "segmentation/watershed.h"

using namespace quorvel;

namespace {

using quorvel::testing::PhantomSession;

const std::filesystem::path kFolder = std::filesystem::temp_directory_path() / "quorvel_bench_segmentation";

std::unique_ptr<PhantomSession> phantomSession(int instants, int slices) {
  phantom::PhantomParams p = phantom::defaultParams();
  p.instants = instants;
  p.slices = slices;
  return std::make_unique<PhantomSession>(phantom::buildPhantom(p), kFolder);
}

// A phantom study after the default in-plane step (32 square, 2x zoom), ready to quantise.
StudyWorkspace reorientedPhantom(int instants, int slices) {
  auto p = phantomSession(instants, slices);
  p->ws.validateStep();
  return p->ws.w;
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

// The phantom re-oriented by the default in-plane step and segmented by validating the last step.
std::unique_ptr<PhantomSession> segmentedPhantom(int instants, int slices, benchmark::State& state) {
  auto p = phantomSession(instants, slices);
  p->ws.validateStep();
  p->ws.w.settings.flow.fich_axis = 2;
  if (p->ws.validateStep() != ReorientOutcome::Segmented) state.SkipWithError("not segmented");
  return p;
}

void BM_RegionStatisticsRecount(benchmark::State& state) {
  auto p = segmentedPhantom(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), state);
  Workstation& ws = p->ws;
  for (auto _ : state) {
    RECOUP_CLASS(0, ws.w.study.Ninst, ws.w.study.NCZ, ws.seg, ws.log);
    benchmark::DoNotOptimize(ws.seg.CARD.data());
  }
}

// Measuring both ventricles at every instant and fitting them (method in the argument).
void BM_VolumeCurves(benchmark::State& state) {
  auto p = segmentedPhantom(8, 64, state);
  Workstation& ws = p->ws;
  ws.w.settings.curves.TACFIT_switch = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (!ws.computeCurves()) state.SkipWithError("fit failed");
    benchmark::DoNotOptimize(ws.curves.vc.G.FES);
  }
}

}  // namespace

BENCHMARK(BM_VolumeCurves)->DenseRange(1, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullSegmentation)->Args({8, 48})->Args({8, 64})->Args({16, 64})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegionStatisticsRecount)->Args({8, 64})->Args({16, 64})->Unit(benchmark::kMillisecond);
