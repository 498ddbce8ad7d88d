// Opening an acquisition on the digital phantom written as DICOM, Interfile or IDB: header, crop
// and re-binning straight from the file's pixel block (Interfile: its own reader), rescale,
// interval, cycle rotation, projection.
// Targets: 8 x 64 x 64 x 64 within 20 ms in every format; 16 x 128 x 128 x 128 DICOM (64 MB of
// pixels) within 150 ms.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <tuple>

#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "phantom/phantom.h"
#include "phantom/writers.h"
#include "study/loading.h"

using namespace quorvel;

namespace {

constexpr phantom::OutputFormat kFormats[] = {phantom::OutputFormat::DicomExplicit, phantom::OutputFormat::Interfile,
                                               phantom::OutputFormat::Idb};
constexpr int kFilters[] = {kFormatDicom, kFormatInterfile, kFormatIdb};

// One file per matrix, instant count and format, written once per run.
std::filesystem::path phantomFile(int matrix, int instants, int format) {
  static std::map<std::tuple<int, int, int>, std::filesystem::path> files;
  auto& path = files[{matrix, instants, format}];
  if (path.empty()) {
    phantom::PhantomParams p = phantom::defaultParams(matrix);
    p.instants = instants;
    const auto dir = std::filesystem::temp_directory_path() / "quorvel_bench_loading";
    path = phantom::writeAcquisitions(phantom::buildPhantom(p), dir,
                                      "ph" + std::to_string(matrix) + "_" + std::to_string(instants) + "_" +
                                          phantom::formatName(kFormats[format]),
                                      {kFormats[format]})
               .at(0);
  }
  return path;
}

// Arguments: matrix side, instants, re-binning of 16 instants to 8 (the default) or not, format
// (0 DICOM, 1 Interfile, 2 IDB).
void BM_OpenAcquisition(benchmark::State& state) {
  const int format = static_cast<int>(state.range(3));
  const auto path = phantomFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), format);
  ScriptedPlatform platform;
  TraceLog log;
  for (auto _ : state) {
    StudyWorkspace w;
    w.options.RECH_8 = static_cast<int>(state.range(2));
    if (!readAcquisition(path, kFilters[format], w, log)) state.SkipWithError("refused");
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
    ->ArgNames({"matrix", "instants", "rebin", "format"})
    ->Args({64, 8, 1, 0})
    ->Args({64, 8, 1, 1})
    ->Args({64, 8, 1, 2})
    ->Args({64, 16, 1, 1})
    ->Args({64, 16, 1, 2})
    ->Args({128, 16, 1, 0})
    ->Args({128, 16, 0, 0})
    ->Unit(benchmark::kMillisecond);
