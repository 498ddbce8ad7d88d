// Saving and reopening the exam of the analysed phantom (8 instants of 64 slices, with its full 3D
// model): the bytes built in memory, the file written (temporary file, flush to the disk, rename),
// the bytes read back, and the whole open command with the rebuild of the derived tables.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "base/byte_reader.h"
#include "phantom_session.h"
#include "ui/shell.h"

using namespace quorvel;

namespace {

std::filesystem::path benchFolder() {
  const auto dir = std::filesystem::temp_directory_path() / "quorvel-bench-exam";
  std::filesystem::create_directories(dir / "temp");
  return dir;
}

quorvel::testing::PhantomSession& analysed() {
  static const std::unique_ptr<quorvel::testing::PhantomSession> s = [] {
    auto a = std::make_unique<quorvel::testing::PhantomSession>(phantom::buildPhantom(phantom::defaultParams()),
                                                                benchFolder());
    Workstation& ws = a->ws;
    fitMosaicToScreen(ws.mosaic, a->platform.screenSize());
    FORMATE_SEGMENT_DISPLAY(ws.mosaic, ws.w.study.NCZ, ws.log);
    if (!quorvel::testing::segmentInWorkingPose(ws) || !ws.computeCurves() || !ws.buildModel3D()) std::abort();
    ws.w.settings.flow.Previsu_OK = ws.w.settings.flow.build_visu = 1;
    ws.shell._MENU_ = kStageResults3D;
    if (!ws.saveExam(benchFolder() / "bench.qvx")) std::abort();
    return a;
  }();
  return *s;
}

ExamSource sourceOf(Workstation& ws) {
  return {ws.shell._MENU_, ws.w.study, ws.w.settings, ws.w.options, ws.seg, ws.curves.vc, ws.curves.settings,
          ws.model3d, ws.model, ws.display};
}

void BM_ExamEncode(benchmark::State& state) {
  Workstation& ws = analysed().ws;
  size_t size = 0;
  for (auto _ : state) size = encodeExam(sourceOf(ws), "bench.qvx", "01-01-2025").size();
  state.counters["MB"] = static_cast<double>(size) / 1e6;
}

void BM_ExamSave(benchmark::State& state) {
  Workstation& ws = analysed().ws;
  for (auto _ : state)
    if (!SAVE_EXM_DATA(sourceOf(ws), benchFolder() / "bench.qvx", ws.log)) state.SkipWithError("not written");
}

void BM_ExamDecode(benchmark::State& state) {
  analysed();
  const auto bytes = readWholeFile(benchFolder() / "bench.qvx").value();
  for (auto _ : state) {
    auto c = std::make_unique<ExamContent>();
    if (!decodeExam(bytes, *c)) state.SkipWithError("refused");
    benchmark::DoNotOptimize(c->study.DATA.data());
  }
}

void BM_ExamOpen(benchmark::State& state) {
  analysed();
  ScriptedPlatform platform;
  Workstation ws(platform, benchFolder());
  for (auto _ : state)
    if (!ws.openExam(benchFolder() / "bench.qvx")) state.SkipWithError("refused");
}

}  // namespace

BENCHMARK(BM_ExamEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExamSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExamDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExamOpen)->Unit(benchmark::kMillisecond)->UseRealTime();
