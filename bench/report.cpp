// The result report on the segmented phantom: composing the global and local pictures from their
// panels, and encoding each file type. Target: a report composed and encoded well under the
// second the user waits after the save dialog.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "export/report.h"
#include "phantom_session.h"

namespace {

using namespace quorvel;

struct Analysed {
  testing::PhantomSession session;
  Analysed()
      : session(phantom::buildPhantom(phantom::defaultParams()),
                std::filesystem::temp_directory_path() / "quorvel-bench-report") {
    Workstation& ws = session.ws;
    preparePictures(ws.pictures, ws.w.options, kDefaultColourSeed);
    if (!testing::segmentInWorkingPose(ws) || !ws.computeCurves().ok() || !ws.buildModel3D()) std::abort();
  }
  ReportInputs inputs() {
    Workstation& ws = session.ws;
    return {ws.w, ws.seg, ws.curves.vc, ws.curves.settings, ws.model, ws.model3d, ws.pictures};
  }
};
Analysed& analysed() {
  static Analysed a;
  return a;
}

// Arguments: kind (1 global, 2 local), RESEXP_1024 (1 square, 0 wide).
void compose(benchmark::State& state) {
  const ReportInputs in = analysed().inputs();
  for (auto _ : state) {
    Bitmap24 canvas = composeReport(static_cast<ReportKind>(state.range(0)), in, static_cast<int>(state.range(1)));
    benchmark::DoNotOptimize(canvas.pixels.data());
  }
}
BENCHMARK(compose)->Args({1, 1})->Args({1, 0})->Args({2, 1})->Unit(benchmark::kMillisecond);

// Argument: file type (1 bitmap, 2 JPEG, 3 DICOM) of the square global report.
void encode(benchmark::State& state) {
  const ReportInputs in = analysed().inputs();
  const Bitmap24 canvas = composeReport(ReportKind::Global, in, 1);
  for (auto _ : state) {
    auto bytes = reportFileBytes(canvas, static_cast<int>(state.range(0)), in.w.study);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(encode)->Arg(kReportBitmap)->Arg(kReportJpeg)->Arg(kReportDicom)->Unit(benchmark::kMillisecond);

}  // namespace
