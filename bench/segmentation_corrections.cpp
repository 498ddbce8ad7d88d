// Corrections by hand on the segmented default phantom (8 instants, 64 slices): every
// interactive operation, the statistics recount that ends a brush stroke, and one undo.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "phantom_session.h"
#include "render/view_geometry.h"
#include "segmentation/classification.h"
#include "segmentation/corrections.h"
#include "segmentation/undo.h"
#include "ui/segmentation_input.h"

using namespace quorvel;

namespace {

const std::filesystem::path kFolder = std::filesystem::temp_directory_path() / "quorvel_bench_corrections";

struct Bench {
  explicit Bench(const phantom::Phantom& ph) : session(ph, kFolder) {}
  quorvel::testing::PhantomSession session;
  Workstation& ws = session.ws;
  SegmentationContext c = ws.segmentation();
  SliceVoxel left{}, right{};  // a voxel of each ventricle at instant 0

  // View position of a voxel of the mosaic (count panel).
  std::pair<int, int> at(const SliceVoxel& v) const { return mosaicPixelOf(ws.mosaic, ws.w.study.seg_affmin, v, false); }
};

std::unique_ptr<Bench> segmentedPhantom() {
  auto b = std::make_unique<Bench>(phantom::buildPhantom(phantom::defaultParams(64)));
  if (!quorvel::testing::segmentInWorkingPose(b->ws)) return nullptr;
  const Study& s = b->ws.w.study;
  // The largest region of each ventricle, found at the middle slice shown.
  bool foundLeft = false, foundRight = false;
  for (int z = s.seg_affmin; z < s.NCZ && !(foundLeft && foundRight); ++z)
    for (int r = 0; r < kMatrix; ++r)
      for (int col = 0; col < kMatrix; ++col) {
        const int cls = b->ws.seg.CORR[b->ws.seg.LPE[Segmentation::index(s.NCZ, 0, z, r, col)]];
        if (cls == kClassLeft && !foundLeft) b->left = {z, r, col}, foundLeft = true;
        if (cls == kClassRight && !foundRight) b->right = {z, r, col}, foundRight = true;
      }
  if (!foundLeft || !foundRight) return nullptr;
  return b;
}

Bench* shared() {
  static std::unique_ptr<Bench> b = segmentedPhantom();
  return b.get();
}

#define NEED_BENCH(state)                                   \
  Bench* b = shared();                                      \
  if (!b) {                                                 \
    state.SkipWithError("phantom could not be segmented");  \
    return;                                                 \
  }

// Whole-region class change with the enclosed-region rule and struct_max (no snapshot).
void BM_ChooseRegion(benchmark::State& state) {
  NEED_BENCH(state);
  const auto corr = b->ws.seg.CORR;
  int cls = kClassLeft;
  for (auto _ : state) {
    CHOOSE_REG(b->c, cls, b->right, false);
    cls = cls == kClassLeft ? kClassRight : kClassLeft;
  }
  b->ws.seg.CORR = corr;
  EVAL_STRUC_MAX(b->ws.w.study, b->ws.w.settings.limits, b->ws.seg);
}

// A press of the primary button: snapshot, then the assignment.
void BM_AssignPress(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  const auto corr = b->ws.seg.CORR;
  for (auto _ : state) {
    segButtonPress(b->ws, MouseButton::Primary, {}, x, y);
    segButtonRelease(b->ws);
    state.PauseTiming();
    b->ws.seg.CORR = corr;
    state.ResumeTiming();
  }
  EVAL_STRUC_MAX(b->ws.w.study, b->ws.w.settings.limits, b->ws.seg);
}

// Slice-only assignment: a new label for one slice, its contacts updated, enclosed regions.
void BM_SliceOnlyAssign(benchmark::State& state) {
  NEED_BENCH(state);
  const Segmentation before = b->ws.seg;
  for (auto _ : state) {
    CHOOSE_REG(b->c, kClassRight, b->left, true);
    state.PauseTiming();
    b->ws.seg = before;
    state.ResumeTiming();
  }
}

// Escape on a region: snapshot, mark 7, spread through every connected region.
void BM_Exclude(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  const auto corr = b->ws.seg.CORR;
  for (auto _ : state) {
    markKeyDown(b->ws, kClassExcludedConnected, x, y);
    markKeyUp(b->ws);
    state.PauseTiming();
    b->ws.seg.CORR = corr;
    state.ResumeTiming();
  }
  EVAL_STRUC_MAX(b->ws.w.study, b->ws.w.settings.limits, b->ws.seg);
}

void BM_LimitChange(benchmark::State& state) {
  NEED_BENCH(state);
  const SliceLimits limits = b->ws.w.settings.limits;
  const auto [x, y] = b->at(b->left);
  bool upper = false;
  for (auto _ : state) {
    segButtonPress(b->ws, MouseButton::Secondary, {upper, !upper}, x, y);
    upper = !upper;
  }
  b->ws.w.settings.limits = limits;
  EVAL_STRUC_MAX(b->ws.w.study, b->ws.w.settings.limits, b->ws.seg);
}

// Lock button twice: the whole instant frozen, then unlocked.
void BM_LockInstant(benchmark::State& state) {
  NEED_BENCH(state);
  for (auto _ : state) {
    toggleInstantLock(b->c);
    toggleInstantLock(b->c);
  }
}

void BM_LockSlice(benchmark::State& state) {
  NEED_BENCH(state);
  for (auto _ : state) {
    lockSlice(b->c, b->left.slice);
    unlockSlice(b->c, b->left.slice);
  }
}

// One dab of the largest brush.
void BM_BrushDab(benchmark::State& state) {
  NEED_BENCH(state);
  const std::vector<uint16_t> lpe = b->ws.seg.LPE;
  if (!openRetouching(b->c, b->left.slice)) {
    state.SkipWithError("retouching refused");
    return;
  }
  b->ws.w.settings.flow.Paint_sz = kBrushMax;
  pickPaintLabel(b->c, b->left);
  b->ws.w.settings.flow.Paint_on = 1;
  const SliceVoxel dab{b->left.slice, b->left.row, b->left.col + 2};
  for (auto _ : state) DO_PAINT_SEG(b->c, dab);
  if (!b->ws.w.settings.flow.paintPending || b->ws.seg.LPE == lpe) state.SkipWithError("nothing was painted");
  b->ws.w.settings.flow.paintPending = 0;
  b->ws.w.settings.flow.Paint_on = 0;
  closeRetouching(b->c);
  b->ws.seg.LPE = lpe;
  rebuildRegionStatistics(b->c);
}

// The end of a stroke: full recount of sizes and contacts, then struct_max.
void BM_StrokeRelease(benchmark::State& state) {
  NEED_BENCH(state);
  if (!openRetouching(b->c, b->left.slice)) {
    state.SkipWithError("retouching refused");
    return;
  }
  const auto [rx, ry] = retouchPixelOf(b->left);
  for (auto _ : state) {
    state.PauseTiming();
    retouchPress(b->ws, rx, ry);
    state.ResumeTiming();
    retouchRelease(b->ws);
  }
  closeRetouching(b->c);
}

void BM_SaveUndo(benchmark::State& state) {
  NEED_BENCH(state);
  for (auto _ : state) benchmark::DoNotOptimize(SAVE_UNDO(kUndoSegmentationRing, b->c));
}

// One undo: the snapshot read back, statistics recounted, struct_max recomputed.
void BM_Undo(benchmark::State& state) {
  NEED_BENCH(state);
  for (auto _ : state) {
    state.PauseTiming();
    SAVE_UNDO(kUndoSegmentationRing, b->c);
    state.ResumeTiming();
    if (LOAD_UNDO(kUndoSegmentationRing, b->c) != 1) state.SkipWithError("undo refused");
  }
}

void BM_PresenceCheck(benchmark::State& state) {
  NEED_BENCH(state);
  for (auto _ : state) benchmark::DoNotOptimize(VERIF_VENT(b->c));
}

void BM_Hover(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  for (auto _ : state) segMouseMove(b->ws, x, y);
}

}  // namespace

BENCHMARK(BM_ChooseRegion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignPress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SliceOnlyAssign)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Exclude)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LimitChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LockInstant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LockSlice)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BrushDab)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StrokeRelease)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveUndo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Undo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresenceCheck)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hover)->Unit(benchmark::kMicrosecond);
