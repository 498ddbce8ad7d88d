#include "ui/workstation.h"

#include <new>
#include <optional>

#include "base/app_folder.h"
#include "base/messages.h"
#include "study/study_texts.h"
#include "ui/shell_texts.h"
#include "study/timing.h"
#include "segmentation/corrections.h"
#include "segmentation/placement.h"
#include "segmentation/segmentation_texts.h"
#include "export/spreadsheet.h"

namespace quorvel {

namespace {

std::filesystem::path preparedFolder(std::filesystem::path folder) {
  ensureApplicationFolder(folder);
  return folder;
}

}  // namespace

Workstation::Workstation(Platform& p, std::filesystem::path f)
    : platform(p), folder(preparedFolder(std::move(f))), log(folder) {
  // A calibration that cannot be used is left aside: no volume is then called calibrated.
  std::string why;
  if (std::filesystem::exists(folder / kCalibrationFileName))
    calibration = readCalibrationFile(folder / kCalibrationFileName, why);
  if (!why.empty() && log.enabled()) log.writef("calibration.json left aside: %s\n", why.c_str());
}

Status Workstation::openAcquisition(const std::filesystem::path& path, int filter) {
  platform.stopTimer(TimerId::Cine);
  platform.stopTimer(TimerId::Depolarisation);
  if (w.study.FREQ_ASKING) {
    platform.closeHeartRatePrompt();
    w.study.FREQ_ASKING = 0;
  }
  input = InputState{};  // keys held before the file dialog are not held after it
  Notices notices;
  Status read;
  try {
    read = readAcquisition(path, filter, w, log, notices);
  } catch (const std::bad_alloc&) {
    MOMS(platform, w.options.LANGUE, " DD1 ");
  }
  for (const Notice& n : notices)
    n.warning ? platform.warning(n.text(w.options.LANGUE)) : platform.information(n.text(w.options.LANGUE));
  if (!read) {
    show(read.refusal());
    return read;
  }
  startNewStudy();
  if (!w.study.HEART_RATE) ASKFOR_CARD_FREQ(w.study, platform, w.options);
  return read;
}

void Workstation::startNewStudy() {
  dropDerivedResults();
  segmental = SegmentalAnalysis{};
  shell.mouseView.reset();
  resetModel3DSettings(model3d, w.options);
  display = ExamDisplay::forNewStudy(w.options);
  fitMosaicToScreen(mosaic, platform.screenSize());
  FORMATE_SEGMENT_DISPLAY(mosaic, w.study.NCZ, log);
  centreMosaic(mosaic, w.study, log);
  platform.textChanged(TextSlot::SliceCounter, format(study_texts::kSliceCounter.pick(w.options.LANGUE), w.study.NCZ));
  showTitle(w.study.chemin_short);
  platform.suggestedFileStem = fileStemOf(w.study);
  DISPLAY_PAT_INFO(w.study, platform, w.options.LANGUE);
  platform.pictureChanged(View::Reorientation);
}

void Workstation::dropDerivedResults() {
  for (int d = 0; d < kDerivedResults; ++d) resultDropped(*this, static_cast<Derived>(d));
  stopUncertainty();
  uncertainty.reset();
  serial.reset();
}

void Workstation::showTitle(std::string name) {
  shell.titleName = std::move(name);
  std::string title = shell.titleName;
  if (w.options.REPROJ)
    title += (title.empty() ? "" : "  ") + std::string(shell_texts::kReprojectionTitle.pick(w.options.LANGUE));
  platform.textChanged(TextSlot::WindowTitle, title);
}

Status Workstation::openAcquisitionCommand() {
  const int L = w.options.LANGUE;
  const auto choice =
      platform.chooseOpenFile(study_texts::kOpenTitle.pick(L), acquisitionFilters(L), w.study.Defaut_format);
  if (!choice) return Refusal::of(RefusalCode::Cancelled, study_texts::kOpenCancelled);
  return openAcquisition(choice->path, choice->filter);
}

bool Workstation::placementProposable() const {
  const WorkflowState& f = w.settings.flow;
  return f.IDB_loaded && f.stade_axis == 1 && f.fich_axis == 0 && !w.options.REPROJ;
}

Status Workstation::proposePlacementCommand(bool asOpened) {
  if (!placementProposable()) return Status::accepted();  // the command is disabled then
  const PlacementProposal proposal = proposePlacement(w.study);
  const int LANGUE = w.options.LANGUE;
  if (!proposal.proposed()) {
    const Refusal refusal = Refusal::of(RefusalCode::NoPlacement, proposal.why);
    if (asOpened)
      platform.textChanged(TextSlot::Status, refusal.text(LANGUE) + shell_texts::kPlaceByHand.pick(LANGUE));
    else
      show(refusal);
    return refusal;
  }
  std::string said = format(shell_texts::kPlacementProposed.pick(LANGUE), proposal.beatToNoise, 100 * proposal.septumDepth);
  for (size_t k = 0; k < proposal.warnings.size(); ++k)
    said += (k == 0 ? shell_texts::kPlacementCheck.pick(LANGUE) : std::string("; ")) +
            placementWarningText(proposal.warnings[k]).pick(LANGUE);
  platform.textChanged(TextSlot::Status, said);
  const Placement& p = proposal.placement;
  applyPlacement(p, w.settings.reorient);
  log.writef("Placement  ::  square %d %d %d  rotation %.4f  septum %d  valves %d  angle %.2f\n", p.recad_x,
             p.recad_y, p.recad_t, p.rotation, p.septum_plano, p.valves_plano_, p.valves_angle);
  platform.pictureChanged(View::Reorientation);
  return Status::accepted();
}

ReorientOutcome Workstation::validateStep() {
  SegmentationContext c = segmentation();
  // The last step re-orients, quantises and floods the study: the window shows from its start.
  std::optional<ProgressScope> wait;
  if (w.settings.flow.fich_axis == 2 && !w.options.REPROJ && w.study.loaded())
    wait.emplace(platform, segmentation_texts::kSegmenting.pick(w.options.LANGUE), ProgressScope::Cancellable);
  const ReorientOutcome outcome = FICH_VALIDATE(c);
  wait.reset();
  if (const auto refusal = refusalOf(outcome)) show(*refusal);
  return outcome;
}

Status Workstation::computeCurves() {
  if (w.options.REPROJ) return computeReprojectedCurves();
  SegmentationContext c = segmentation();
  Status status = VIDANGE(c, curves);
  // A failed fit too: its zero curve is what these inputs give. Without labels nothing was made.
  if (status || status.code() == RefusalCode::FitFailed) resultMade(*this, Derived::Curves);
  if (!status) show(status.refusal());
  return status;
}

Status Workstation::computeReprojectedCurves() {
  // The projection from the current counts and valve plane (the seed placed stays); a refused one
  // leaves no curve rather than the last one.
  Status status = UPDATE_REPROJECTION(w.study, w.settings.reorient, w.settings.flow, reprojection, log);
  if (!status) reprojection.reproj_tac.fill(0.0f);
  SegmentationContext c = segmentation();
  const Status fitted = VIDANGE(c, curves, reprojection.reproj_tac.data());
  if (status) status = fitted;
  resultMade(*this, Derived::Curves);
  if (!status) show(status.refusal());
  return status;
}

void Workstation::buildPreview() {
  PREVISU_3D_BUILD(modelInputs(), model3d.model3d, model);
  resultMade(*this, Derived::Preview);
}

void Workstation::rebuildPreviewMesh() {
  PREVISU_3D_REBUILD(modelInputs(), model3d.model3d, model);
  resultMade(*this, Derived::Preview);
}

bool Workstation::computeModel3D() {
  // The regional fits set their own iteration count; the global curves keep theirs.
  TacFitSettings regional = curves.settings;
  const bool done = COMPUTE_MODEL_3D(modelInputs(), model3d.model3d, w.settings.curves.TACFIT_switch, regional,
                                     curves.fit, model3d.ranges, model, platform, &log);
  for (Derived d : {Derived::Model, Derived::Sectors, Derived::PickedCurves}) resultDropped(*this, d);
  segmental = SegmentalAnalysis{};
  if (done) {
    analyseSegmentsNow();
    resultMade(*this, Derived::Model);
    resultMade(*this, Derived::Sectors);
  }
  return done;
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
