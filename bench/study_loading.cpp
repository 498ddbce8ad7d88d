// Loading and preparing a gated study: header walk, voxel extraction, crop, rotation, projection.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "dicom_builder.h"
#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "study/loading.h"

using namespace quorvel;

namespace {

std::filesystem::path makeStudy(int instants, int slices, int side) {
  testing::GatedStudy g;
  g.instants = instants;
  g.slices = slices;
  g.rows = g.columns = side;
  g.value = [](int t, int z, int x, int y) { return static_cast<int16_t>((t * 31 + z * 7 + x * 3 + y) % 500); };
  const auto path = std::filesystem::temp_directory_path() /
                    ("quorvel_bench_" + std::to_string(instants) + "_" + std::to_string(slices) + "_" +
                     std::to_string(side) + ".dcm");
  testing::writeBytes(path, g.file());
  return path;
}

void BM_OpenAcquisition(benchmark::State& state) {
  const auto path = makeStudy(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                              static_cast<int>(state.range(2)));
  ScriptedPlatform platform;
  TraceLog log;
  StudyWorkspace w;
  w.options.RECH_8 = 0;
  for (auto _ : state) {
    if (!OPEN_ACQUISITION_PATH(path, 1, w, platform, log)) state.SkipWithError("refused");
    benchmark::DoNotOptimize(w.study.DATA.data());
  }
  std::filesystem::remove(path);
}

}  // namespace

BENCHMARK(BM_OpenAcquisition)->Args({8, 64, 64})->Args({16, 128, 128})->Unit(benchmark::kMillisecond);
