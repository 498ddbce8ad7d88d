// The simulated camera: acquiring and reconstructing a gated study of the phantom, and its parts.
#include <benchmark/benchmark.h>

#include <numeric>

#include "camera/camera_study.h"

namespace quorvel::camera {
namespace {

// The whole simulation of an 8-instant 64 x 64 study (64 angles, 4 iterations x 8 subsets).
void BM_SimulateGatedStudy(benchmark::State& state) {
  const phantom::PhantomParams p = phantom::defaultParams(static_cast<int>(state.range(0)));
  const AcquisitionParams a;
  const ReconParams r;
  for (auto _ : state) benchmark::DoNotOptimize(simulateStudy(p, a, r).projectionCounts);
}
BENCHMARK(BM_SimulateGatedStudy)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(3);

// One projection and one back-projection of every angle, attenuation and collimator modelled.
void BM_ProjectAndBackProject(benchmark::State& state) {
  phantom::PhantomParams p = phantom::defaultParams(64);
  p.fwhm_mm = 0, p.noise = false;
  const AcquisitionParams a;
  const CameraGeometry g = geometryOf(a, p);
  const Projector projector(g, attenuationMap(a, p), &a.collimator);
  std::vector<float> volume(g.volumeSize(), 1.0f), proj(g.projectionSize() * g.angles);
  std::vector<int> angles(g.angles);
  std::iota(angles.begin(), angles.end(), 0);
  for (auto _ : state) {
    projector.forward(volume, proj, angles);
    projector.back(proj, volume, angles);
    benchmark::DoNotOptimize(volume.data());
  }
}
BENCHMARK(BM_ProjectAndBackProject)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::camera
