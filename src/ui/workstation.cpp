#include "ui/workstation.h"

#include "base/app_folder.h"

namespace quorvel {

namespace {

std::filesystem::path preparedFolder(std::filesystem::path folder) {
  ensureApplicationFolder(folder);
  return folder;
}

}  // namespace

Workstation::Workstation(Platform& p, std::filesystem::path f)
    : platform(p), folder(preparedFolder(std::move(f))), log(folder) {}

int Workstation::openAcquisition(const std::filesystem::path& path, int filter) {
  input = InputState{};  // keys held before the file dialog are not held after it
  if (!OPEN_ACQUISITION_PATH(path, filter, w, platform, log)) return 0;
  resetModel3DSettings(model3d, w.options);
  return 1;
}

std::string Workstation::compareMethods(int runs) {
  if (comparison.gauss_hist.empty()) comparison.gauss_hist = loadGaussHist(folder);
  const FitContext ctx = FitContext::from(w.options, kComparisonInstants, 125.0f, nullptr);
  platform.beginProgress("EVAL TACS");
  const std::string report = DO_EVAL_TACS(curves.settings, curves.fit, comparison, ctx, log, runs,
                                          [this](double f) { return platform.progress(f); });
  platform.endProgress();
  return report;
}

}  // namespace quorvel
