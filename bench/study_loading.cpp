// Opening an acquisition on the digital phantom written as DICOM: header walk, crop and
// re-binning straight from the file's pixel block, rescale, interval, cycle rotation, projection.
// Targets: 8 x 64 x 64 x 64 within 20 ms; 16 x 128 x 128 x 128 (64 MB of pixels) within 150 ms.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>

#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "phantom/phantom.h"
#include "phantom/writers.h"
#include "study/loading.h"

using namespace quorvel;

namespace {

// One file per matrix and instant count, written once per run.
std::filesystem::path phantomFile(int matrix, int instants) {
  static std::map<std::pair<int, int>, std::filesystem::path> files;
  auto& path = files[{matrix, instants}];
  if (path.empty()) {
    phantom::PhantomParams p = phantom::defaultParams(matrix);
    p.instants = instants;
    const auto dir = std::filesystem::temp_directory_path() / "quorvel_bench_loading";
    path = phantom::writeAcquisitions(phantom::buildPhantom(p), dir,
                                      "ph" + std::to_string(matrix) + "_" + std::to_string(instants),
                                      {phantom::OutputFormat::DicomExplicit})
               .at(0);
  }
  return path;
}

// Arguments: matrix side, instants, re-binning of 16 instants to 8 (the default) or not.
void BM_OpenAcquisition(benchmark::State& state) {
  const auto path = phantomFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  ScriptedPlatform platform;
  TraceLog log;
  for (auto _ : state) {
    StudyWorkspace w;
    w.options.RECH_8 = static_cast<int>(state.range(2));
    if (!readAcquisition(path, 1, w, log)) state.SkipWithError("refused");
    benchmark::DoNotOptimize(w.study.DATA.data());
    state.PauseTiming();
    w = StudyWorkspace{};  // the study's release is not part of the load
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) * state.range(0) *
                          state.range(0) * state.range(1) * 2);
}

}  // namespace

BENCHMARK(BM_OpenAcquisition)
    ->ArgNames({"matrix", "instants", "rebin"})
    ->Args({64, 8, 1})
    ->Args({128, 16, 1})
    ->Args({128, 16, 0})
    ->Unit(benchmark::kMillisecond);
