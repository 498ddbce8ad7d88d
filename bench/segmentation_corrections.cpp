// Corrections by hand on the segmented default phantom (8 instants, 64 slices): every
// interactive operation, the statistics recount that ends a brush stroke, and one undo.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "phantom/phantom.h"
#include "segmentation/classification.h"
#include "segmentation/corrections.h"
#include "segmentation/reorient.h"
#include "segmentation/undo.h"
#include "study/study_model.h"

using namespace quorvel;

namespace {

struct Bench {
  StudyWorkspace w;
  Segmentation seg;
  ScriptedPlatform platform;
  TraceLog log;
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "quorvel_bench_corrections";
  SegmentationContext c{w, seg, platform, log, dir};
  ViewVoxel left{}, right{};  // a voxel of each ventricle at instant 0

  // View position of a voxel of the mosaic (count panel).
  std::pair<int, int> at(const ViewVoxel& v) const {
    const int k = v.slice - w.study.seg_affmin;
    return {(k % w.view.NcellH) * 128 + 2 * v.col, (k / w.view.NcellH) * 128 + 2 * v.row};
  }
};

std::unique_ptr<Bench> segmentedPhantom() {
  auto b = std::make_unique<Bench>();
  std::filesystem::create_directories(b->dir / "temp");
  const phantom::Phantom ph = phantom::buildPhantom(phantom::defaultParams(64));
  Study& s = b->w.study;
  s = Study{};
  s.Ninst = ph.params.instants;
  s.NCZ = ph.params.slices;
  s.VOXEL_SIZE_XY = static_cast<float>(ph.params.pixel_mm / 10);
  s.VOXEL_SIZE_Z = static_cast<float>(ph.params.slice_mm / 10);
  s.VOXS_init = s.VOXEL_SIZE_XY * s.VOXEL_SIZE_XY * s.VOXEL_SIZE_Z;
  s.DATA.assign(ph.counts.begin(), ph.counts.end());
  INIT_ACQ_PARAM(s, b->w.settings, b->w.options);
  b->w.settings.flow.IDB_loaded = 1;
  EVAL_DATA_INTERVAL(s, b->log);
  FORMATE_SEGMENT_DISPLAY(b->w.view, s.NCZ, b->log);
  b->w.settings.reorient.recad_t = 64;
  if (FICH_VALIDATE(b->c) != ReorientOutcome::StepValidated) return nullptr;
  SELECT_STEP(b->w.settings.flow, 1);
  if (FICH_VALIDATE(b->c) != ReorientOutcome::StepValidated) return nullptr;
  if (FICH_VALIDATE(b->c) != ReorientOutcome::Segmented) return nullptr;
  // The largest region of each ventricle, found at the middle slice shown.
  bool foundLeft = false, foundRight = false;
  for (int z = s.seg_affmin; z < s.NCZ && !(foundLeft && foundRight); ++z)
    for (int r = 0; r < kMatrix; ++r)
      for (int col = 0; col < kMatrix; ++col) {
        const int cls = b->seg.CORR[b->seg.LPE[Segmentation::index(s.NCZ, 0, z, r, col)]];
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
  const auto [x, y] = b->at(b->right);
  const auto corr = b->seg.CORR;
  int cls = kClassLeft;
  for (auto _ : state) {
    b->w.settings.flow.butt_down = cls;
    CHOOSE_REG(b->c, x, y);
    cls = cls == kClassLeft ? kClassRight : kClassLeft;
  }
  b->w.settings.flow.butt_down = 0;
  b->seg.CORR = corr;
  EVAL_STRUC_MAX(b->w.study, b->w.settings.limits, b->seg);
}

// A press of the primary button: snapshot, then the assignment.
void BM_AssignPress(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  const auto corr = b->seg.CORR;
  for (auto _ : state) {
    SEG_BUTTON_PRESS(b->c, MouseButton::Primary, {}, x, y);
    SEG_BUTTON_RELEASE(b->c);
    state.PauseTiming();
    b->seg.CORR = corr;
    state.ResumeTiming();
  }
  EVAL_STRUC_MAX(b->w.study, b->w.settings.limits, b->seg);
}

// Slice-only assignment: a new label for one slice, its contacts updated, enclosed regions.
void BM_SliceOnlyAssign(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  const Segmentation before = b->seg;
  for (auto _ : state) {
    b->w.settings.flow.visu_contupdt = 1;
    b->w.settings.flow.butt_down = kClassRight;
    CHOOSE_REG(b->c, x, y);
    state.PauseTiming();
    b->w.settings.flow.visu_contupdt = 0;
    b->w.settings.flow.butt_down = 0;
    b->seg = before;
    state.ResumeTiming();
  }
}

// Escape on a region: snapshot, mark 7, spread through every connected region.
void BM_Exclude(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  const auto corr = b->seg.CORR;
  for (auto _ : state) {
    MARK_KEY_DOWN(b->c, kClassExcludedConnected, x, y);
    MARK_KEY_UP(b->c);
    state.PauseTiming();
    b->seg.CORR = corr;
    state.ResumeTiming();
  }
  EVAL_STRUC_MAX(b->w.study, b->w.settings.limits, b->seg);
}

void BM_LimitChange(benchmark::State& state) {
  NEED_BENCH(state);
  const SliceLimits limits = b->w.settings.limits;
  const auto [x, y] = b->at(b->left);
  bool upper = false;
  for (auto _ : state) {
    SEG_BUTTON_PRESS(b->c, MouseButton::Secondary, {upper, !upper}, x, y);
    upper = !upper;
  }
  b->w.settings.limits = limits;
  EVAL_STRUC_MAX(b->w.study, b->w.settings.limits, b->seg);
}

// Lock button twice: the whole instant frozen, then unlocked.
void BM_LockInstant(benchmark::State& state) {
  NEED_BENCH(state);
  for (auto _ : state) {
    LOCK_BUTTON(b->c);
    LOCK_BUTTON(b->c);
  }
}

void BM_LockSlice(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  for (auto _ : state) {
    LOCK_SLICE(b->c, x, y);
    UNLOCK_SLICE(b->c, x, y);
  }
}

// One dab of the largest brush.
void BM_BrushDab(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  const std::vector<uint16_t> lpe = b->seg.LPE;
  if (!OPEN_RETOUCHE(b->c, x, y)) {
    state.SkipWithError("retouching refused");
    return;
  }
  b->w.settings.flow.Paint_sz = kBrushMax;
  RETOUCHE_MOVE(b->c, 4 * b->left.col, 4 * b->left.row);
  b->w.settings.flow.Paint_on = 1;
  for (auto _ : state) DO_PAINT_SEG(b->c, 4 * b->left.col + 8, 4 * b->left.row);
  if (!b->w.settings.flow.Paint_pending || b->seg.LPE == lpe) state.SkipWithError("nothing was painted");
  b->w.settings.flow.Paint_pending = 0;
  b->w.settings.flow.Paint_on = 0;
  CLOSE_RETOUCHE(b->c);
  b->seg.LPE = lpe;
  REBUILD_REGION_STATISTICS(b->c);
}

// The end of a stroke: full recount of sizes and contacts, then struct_max.
void BM_StrokeRelease(benchmark::State& state) {
  NEED_BENCH(state);
  const auto [x, y] = b->at(b->left);
  if (!OPEN_RETOUCHE(b->c, x, y)) {
    state.SkipWithError("retouching refused");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    RETOUCHE_PRESS(b->c, 4 * b->left.col, 4 * b->left.row);
    state.ResumeTiming();
    RETOUCHE_RELEASE(b->c);
  }
  CLOSE_RETOUCHE(b->c);
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
  for (auto _ : state) SEG_MOUSE_MOVE(b->c, x, y);
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
