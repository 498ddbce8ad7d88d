#include "ui/workstation.h"

#include "base/app_folder.h"
#include "segmentation/corrections.h"
#include "segmentation/segmentation_texts.h"

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

ReorientOutcome Workstation::validateStep() {
  SegmentationContext c = segmentation();
  const ReorientOutcome outcome = FICH_VALIDATE(c);
  if (const auto refusal = refusalOf(outcome)) show(*refusal);
  return outcome;
}

Status Workstation::computeCurves() {
  SegmentationContext c = segmentation();
  Status status = VIDANGE(c, curves);
  if (!status) show(status.refusal());
  return status;
}

int Workstation::checkVentricles() {
  std::vector<Refusal> absent;
  const int present = VERIF_VENT(segmentation(), &absent);
  for (const Refusal& r : absent) show(r);
  return present;
}

bool Workstation::resegmentCommand() {
  SegmentationContext c = segmentation();
  if (!hasQuantisedStudy(c)) return false;
  if (platform.question(segmentation_texts::kUpdateSegmentation.pick(w.options.LANGUE)) != QuestionAnswer::Ok)
    return false;
  const Status status = resegmentStudy(c);
  if (!status) show(status.refusal());
  return status.ok();
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
