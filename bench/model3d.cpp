// The 3D model on the segmented phantom (8 instants): full mesh + regional analysis (method 1
// with its regional iterations) + triangulation of both ventricles, on one and two threads and
// for the default and the finest sampling; and the preview mesh of one ventricle and instant.
// Targets: 48 x 48 under 0.5 s on two cores, 120 x 120 under 3 s, preview under 5 ms; the two
// preview frames and the 3D results picture drawn from the model.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "phantom_study.h"
#include "base/scripted_platform.h"
#include "model3d/mesh.h"
#include "model3d/model3d_commands.h"
#include "model3d/regional.h"
#include "model3d/segmental.h"
#include "render/pictures.h"
#include "segmentation/reorient.h"
#include "segmentation/volume_curves.h"

using namespace quorvel;

namespace {

struct Previewed {
  StudyWorkspace w;
  Segmentation seg;
  ScriptedPlatform platform;
  TraceLog log;
  CurveState curves;
  Model3DStudySettings settings3d;
  Model3D m;
  ModelInputs in() const { return {w.study, seg, w.settings.limits, w.settings.reorient, w.options}; }
};

// The default phantom re-oriented, segmented, with its volume curves and preview.
Previewed& previewed() {
  static const std::unique_ptr<Previewed> p = [] {
    auto a = std::make_unique<Previewed>();
    quorvel::testing::loadPhantom(phantom::buildPhantom(phantom::defaultParams()), a->w);
    SegmentationContext c{a->w, a->seg, a->platform, a->log, std::filesystem::temp_directory_path()};
    FICH_VALIDATE(c);
    selectStep(a->w.settings.flow, 1);
    FICH_VALIDATE(c);
    FICH_VALIDATE(c);
    if (!VIDANGE(c, a->curves)) std::abort();
    PREVISU_3D_BUILD(a->in(), a->settings3d.model3d, a->m);
    return a;
  }();
  return *p;
}

// The regional analysis in the end-diastolic frame: segment curves of both ventricles, their
// readings, and the phase of every ventricle voxel. Target: under 100 ms per study.
void BM_SegmentalAnalysis(benchmark::State& state) {
  Previewed& p = previewed();
  for (auto _ : state) {
    const SegmentalAnalysis a = analyseSegments(p.in(), p.m.skel, p.curves.vc.volume_voxels);
    if (!a.valid) state.SkipWithError("invalid");
    benchmark::DoNotOptimize(a.phaseDelayMs);
  }
}
BENCHMARK(BM_SegmentalAnalysis)->Unit(benchmark::kMillisecond);

void BM_Model3D(benchmark::State& state) {
  Previewed& p = previewed();
  p.w.options.DEFAULT_sama = p.w.options.DEFAULT_samr = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  for (auto _ : state) {
    if (!COMPUTE_MODEL_3D(p.in(), p.settings3d.model3d, p.w.settings.curves.TACFIT_switch, p.curves.settings,
                          p.curves.fit, p.settings3d.ranges, p.m, p.platform, nullptr, threads))
      state.SkipWithError("cancelled");
    benchmark::DoNotOptimize(p.m.maps.mesh_fej_mean[0]);
  }
  state.counters["LV_regional_EF"] = p.m.maps.mesh_fej_mean[0];
}

void BM_PreviewMesh(benchmark::State& state) {
  Previewed& p = previewed();
  for (auto _ : state) {
    MAILLAGE_3D_PRE(p.in(), p.settings3d.model3d, p.m, 0, 0, 3, 3);
    benchmark::DoNotOptimize(p.m.mesh.MESHpre_DIS[0]);
  }
}

}  // namespace

BENCHMARK(BM_Model3D)->Args({48, 1})->Args({48, 2})->Args({120, 1})->Args({120, 2})->UseRealTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_PreviewMesh)->Unit(benchmark::kMillisecond);

namespace {
// Both preview frames as every key, slider move or cine tick of the preview redraws them: the
// mesh, and the mesh with the voxels it leaves out; arg 1 adds the atria and edge mode.
void BM_PreviewFrames(benchmark::State& state) {
  Previewed& p = previewed();
  Pictures pictures;
  preparePictures(pictures, p.w.options, kDefaultColourSeed);
  p.settings3d.view3d.showAtria = static_cast<int>(state.range(0));
  p.settings3d.view3d.visu_rendu = state.range(0) ? 0 : 1;
  for (auto _ : state) {
    const int t = static_cast<int>(state.iterations() % p.w.study.Ninst);
    for (int pane = 0; pane < kPreviewPanes; ++pane)
      drawPreview3D(pictures, p.m, p.settings3d, p.w.options, p.w.study, t, pane, true);
    benchmark::DoNotOptimize(pictures.preview3D[1].BMPvisu.pixels.data());
  }
}
}  // namespace
BENCHMARK(BM_PreviewFrames)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

namespace {
// The steps on one core: 0 meshing (with its skeleton and preview rebuild), 1 regional analysis,
// 2 triangulation.
void BM_Steps(benchmark::State& state) {
  Previewed& p = previewed();
  p.w.options.DEFAULT_sama = p.w.options.DEFAULT_samr = 48;
  const int step = static_cast<int>(state.range(0));
  MAILLAGE_3D(p.in(), p.settings3d.model3d, p.m, nullptr, 1);
  for (auto _ : state) {
    if (step == 0) MAILLAGE_3D(p.in(), p.settings3d.model3d, p.m, nullptr, 1);
    if (step == 1)
      CALCUL_3D(p.in(), p.w.settings.curves.TACFIT_switch, p.curves.settings, p.curves.fit, p.settings3d.ranges, p.m,
                nullptr, nullptr, 1);
    if (step == 2) TRIANGULATION_3D(p.w.study.Ninst, p.m, nullptr);
  }
}
}  // namespace
BENCHMARK(BM_Steps)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

namespace {
// The phantom's model at the default sampling.
Previewed& computed(benchmark::State& state) {
  Previewed& p = previewed();
  p.w.options.DEFAULT_sama = p.w.options.DEFAULT_samr = 48;
  if (!COMPUTE_MODEL_3D(p.in(), p.settings3d.model3d, p.w.settings.curves.TACFIT_switch, p.curves.settings,
                        p.curves.fit, p.settings3d.ranges, p.m, p.platform, nullptr))
    state.SkipWithError("cancelled");
  return p;
}

// The 3D results picture of both ventricles at end-diastole with the ejection-fraction map and
// the 17-sector outlines, as every redraw and cine tick builds it. Target: under 16 ms.
void BM_Results3DPicture(benchmark::State& state) {
  Previewed& p = computed(state);
  Pictures pictures;
  preparePictures(pictures, p.w.options, kDefaultColourSeed);
  p.settings3d.view3d.views[2].visu_axes = 1;
  long covered = 0;
  for (auto _ : state) {
    const int t = static_cast<int>(state.iterations() % p.w.study.Ninst);
    drawResults3D(pictures, p.m, p.settings3d, p.w.options, t);
    benchmark::DoNotOptimize(pictures.visu3D.BMPvisu.pixels.data());
  }
  for (uint8_t tag : pictures.visu3D.VISUV) covered += tag == kTagLeft || tag == kTagRight;
  state.counters["surface_pixels"] = static_cast<double>(covered);
  state.counters["triangles"] = 2.0 * p.m.mesh.Nmeshtri;
}
}  // namespace
BENCHMARK(BM_Results3DPicture)->Unit(benchmark::kMillisecond);

namespace {
// What the results panel redraws besides the view when a window or the map changes: both result
// panels (with a picked curve each) and the bull's-eyes.
void BM_ResultPanels(benchmark::State& state) {
  Previewed& p = computed(state);
  Pictures pictures;
  preparePictures(pictures, p.w.options, kDefaultColourSeed);
  std::array<MeshCurve, 2> curves;
  for (int k = 0; k < 2; ++k) {
    p.m.maps.MC_v[k] = k + 1;
    p.m.maps.MC_ar[k] = p.m.mesh.Nmeshtri / 2;
    curves[k] = EVAL_MESH_CURVE(p.m, k, 0, p.in(), p.w.settings.curves.TACFIT_switch, p.curves.settings, p.curves.fit,
                                false);
  }
  for (auto _ : state) {
    for (int v = 0; v < 2; ++v) drawMapPanel(pictures, p.m, p.settings3d, p.w.options, p.w.study, v, curves[v]);
    drawBullseye(pictures, p.m, p.settings3d, p.w.options, p.w.study);
    benchmark::DoNotOptimize(pictures.bullseye.pixels.data());
  }
}
}  // namespace
BENCHMARK(BM_ResultPanels)->Unit(benchmark::kMillisecond);
