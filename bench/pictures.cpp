// Each picture build of the two-dimensional stages, rebuilt whole on every redraw and cine tick.
// Targets: re-orientation view <= 3 ms, segmentation mosaic of 64 slices <= 8 ms, curve plot <= 1 ms.
#include <benchmark/benchmark.h>

#include <cmath>

#include "render/curve_plot.h"
#include "render/reorientation_view.h"
#include "render/segmentation_view.h"

namespace {

using namespace quorvel;

// 8 instants of 64 slices: a bright ellipsoid on a faint body, labelled as a left ventricle.
struct Scene {
  StudyWorkspace w;
  Segmentation seg;
  Scene() {
    Study& s = w.study;
    s.Ninst = 8;
    s.NCZ = 64;
    s.VOXEL_SIZE_XY = s.VOXEL_SIZE_Z = 0.6f;
    s.datamax = 1000;
    s.coupe = 32;
    s.DATA.assign(static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels, 50.0f);
    seg.LPE.assign(s.DATA.size(), 0);
    seg.AFFECT.assign(s.DATA.size(), 0);
    seg.CORR[1] = kClassLeft;
    seg.CORR[2] = kClassOther;
    for (int t = 0; t < s.Ninst; ++t)
      for (int z = 0; z < s.NCZ; ++z)
        for (int r = 0; r < kMatrix; ++r)
          for (int c = 0; c < kMatrix; ++c) {
            const double d = std::pow((r - 24) / 14.0, 2) + std::pow((c - 40) / 9.0, 2) + std::pow((z - 32) / 20.0, 2);
            const size_t i = Segmentation::index(s.NCZ, t, z, r, c);
            if (d < 1) {
              s.DATA[i] = static_cast<float>(1000 - 500 * d);
              seg.LPE[i] = 1;
            } else {
              seg.LPE[i] = 2;
            }
          }
    seg.struct_max.fill(1000);
    w.settings.limits.limG_sup.fill(50);
    w.settings.limits.limD_sup.fill(50);
    w.settings.limits.limG_inf.fill(14);
    w.settings.limits.limD_inf.fill(14);
  }
};

void reorientationView(benchmark::State& state) {
  Scene scene;
  Pictures pictures;
  TraceLog log;
  scene.w.settings.flow.fich_axis = static_cast<int>(state.range(0));
  for (auto _ : state) {
    BUILD_BMP_FICH(scene.w, pictures.lut, pictures.BMPfich, log);
    benchmark::DoNotOptimize(pictures.BMPfich.pixels.data());
  }
}
BENCHMARK(reorientationView)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void segmentationMosaic64(benchmark::State& state) {
  Scene scene;
  Pictures pictures;
  TraceLog log;
  SegmentationLayout view;
  view.seg_Xmax = view.seg_Ymax = 8;
  FORMATE_SEGMENT_DISPLAY(view, 64, log);
  scene.w.options.seg_interp = static_cast<int>(state.range(0));
  scene.w.settings.flow.N_segsel = 1;
  for (auto _ : state) {
    BUILD_BMP_SEG(0, scene.w, scene.seg, pictures, view, log);
    benchmark::DoNotOptimize(view.BMP.pixels.data());
  }
}
BENCHMARK(segmentationMosaic64)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void curvePlots(benchmark::State& state) {
  VolumeCurves vc;
  for (int x = 0; x < 512; ++x) {
    vc.vidange_G[x] = static_cast<float>(80 + 30 * std::cos(x * 0.0123));
    vc.vidange_D[x] = static_cast<float>(100 + 35 * std::cos(x * 0.0123));
    vc.filling_G[x] = vc.filling_D[x] = static_cast<float>(-2 * std::sin(x * 0.0123));
  }
  for (int i = 0; i <= 8; ++i) vc.volG[i] = vc.volD[i] = 90;
  vc.maxvol = 140;
  vc.filling_ampl = 2;
  Pictures pictures;
  TraceLog log;
  for (auto _ : state) {
    BUILD_BMP_VID(vc, 8, pictures, log);
    benchmark::DoNotOptimize(pictures.BMPvg.pixels.data());
  }
}
BENCHMARK(curvePlots)->Unit(benchmark::kMicrosecond);

}  // namespace
