#include "pipeline.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <numbers>

#include "base/app_folder.h"
#include "base/language.h"
#include "segmentation/reorient.h"
#include "study/loading.h"
#include "study/timing.h"

namespace quorvel::cli {

namespace {

class StageClock {
 public:
  explicit StageClock(bool on) : on_(on) {}
  void done(const char* stage) {
    const auto now = std::chrono::steady_clock::now();
    if (on_)
      std::fprintf(stderr, "%-16s %7.1f ms\n", stage, std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
  }

 private:
  bool on_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace

Session::Session() : ws(platform, applicationFolder()) {}

int acquisitionFilter(const std::string& format, const std::string& file) {
  if (format == "dicom") return kFormatDicom;
  if (format == "ima") return kFormatIma;
  if (format == "interfile") return kFormatInterfile;
  if (format == "idb") return kFormatIdb;
  return acquisitionFormatOf(file);
}

void addFormatOption(CLI::App* cmd, std::string& format) {
  cmd->add_option("--format", format,
                  "Reader: dicom, ima, interfile or idb (default: by the extension; .img, .hdr, .h33 and .i33 "
                  "are Interfile)")
      ->check(CLI::IsMember({"dicom", "ima", "interfile", "idb"}));
}

void addPipelineOptions(CLI::App* cmd, PipelineArgs& a) {
  addFormatOption(cmd, a.format);
  cmd->add_option("--crop", a.crop, "Row, column and side (voxels) of the in-plane square")
      ->expected(3)
      ->delimiter(',')
      ->capture_default_str();
  cmd->add_option("--rotation", a.rotationDeg, "In-plane rotation (degrees)")
      ->capture_default_str()
      ->each([&a](const std::string&) { a.rotationGiven = true; });
  cmd->add_option("--septum", a.septum, "Column of the septum line")->check(CLI::Range(4, 60))->capture_default_str();
  cmd->add_option("--valve-row", a.valveRow, "Row of the valve-plane line")
      ->check(CLI::Range(4, 60))
      ->capture_default_str();
  cmd->add_option("--valve-angle", a.valveAngle, "Valve tilt (degrees)")
      ->check(CLI::Range(-40.0, 40.0))
      ->capture_default_str()
      ->each([&a](const std::string&) { a.valveAngleGiven = true; });
  cmd->add_option("--infundibulum", a.infundibulum, "First slice of the right ventricle (default: none)");
  cmd->add_option("--heart-rate", a.heartRate, "Heart rate in bpm when the file has none")->check(CLI::Range(1, 1000));
  cmd->add_option("--lang", a.language, "Language of the messages and results: fr or en")
      ->check(CLI::IsMember({"fr", "en"}))
      ->capture_default_str();
  cmd->add_flag("--no-rebin", a.noRebin, "Keep 16 instants instead of re-binning them to 8");
}

std::string checkPipelineArgs(const PipelineArgs& a) {
  const auto& crop = a.crop;
  const int half = crop[2] / 2;
  if (crop[2] < 16 || crop[2] > kMatrix || crop[2] % 2 != 0 || crop[0] - half < 0 || crop[0] + half > kMatrix ||
      crop[1] - half < 0 || crop[1] + half > kMatrix)
    return "--crop needs an even side of 16 to 64 with the square inside the 64 x 64 slice";
  return {};
}

int loadReorientSegment(const PipelineArgs& a, Workstation& ws, bool progress) {
  StudyWorkspace& w = ws.w;
  w.options.LANGUE = a.language == "fr" ? kFrench : kEnglish;
  w.options.RECH_8 = a.noRebin ? 0 : 1;
  StageClock clock(progress);
  // A refusal has been shown, in the language asked for.
  if (!ws.openAcquisition(a.file, acquisitionFilter(a.format, a.file))) return kExitRefused;
  if (w.study.FREQ_ASKING)
    setHeartRate(w.study, a.heartRate > 0 ? a.heartRate : w.options.DEFAULT_freq, ws.platform, w.options.LANGUE);
  clock.done("load");

  ReorientSettings& r = w.settings.reorient;
  r.recad_x = a.crop[0];
  r.recad_y = a.crop[1];
  r.recad_t = a.crop[2];
  r.rotation = static_cast<float>(a.rotationDeg * std::numbers::pi / 180.0);
  r.septum_plano = a.septum;
  if (ws.validateStep() != ReorientOutcome::StepValidated) return kExitNotSegmented;
  selectStep(w.settings.flow, 1);
  r.valves_plano_ = a.valveRow;
  r.valves_angle = static_cast<float>(a.valveAngle);
  if (ws.validateStep() != ReorientOutcome::StepValidated) return kExitNotSegmented;
  if (a.infundibulum >= 0) {
    SegmentationContext c = ws.segmentation();
    setInfundibulumSlice(c, a.infundibulum);
  }
  clock.done("re-orientation");
  if (ws.validateStep() != ReorientOutcome::Segmented) return kExitNotSegmented;
  clock.done("segmentation");
  return 0;
}

int loadReprojectAndFit(const PipelineArgs& a, Workstation& ws, bool progress) {
  StudyWorkspace& w = ws.w;
  w.options.LANGUE = a.language == "fr" ? kFrench : kEnglish;
  w.options.RECH_8 = a.noRebin ? 0 : 1;
  w.options.REPROJ = 1;
  StageClock clock(progress);
  if (!ws.openAcquisition(a.file, acquisitionFilter(a.format, a.file))) return kExitRefused;
  if (w.study.FREQ_ASKING)
    setHeartRate(w.study, a.heartRate > 0 ? a.heartRate : w.options.DEFAULT_freq, ws.platform, w.options.LANGUE);
  clock.done("load");
  ReorientSettings& r = w.settings.reorient;
  if (a.rotationGiven) r.rotation = static_cast<float>(a.rotationDeg * std::numbers::pi / 180.0);
  if (ws.validateStep() != ReorientOutcome::StepValidated) return kExitNotSegmented;
  selectStep(w.settings.flow, 1);
  if (a.valveAngleGiven) r.valves_angle = static_cast<float>(a.valveAngle);
  if (ws.validateStep() != ReorientOutcome::StepValidated) return kExitNotSegmented;
  if (const Status s = UPDATE_REPROJECTION(w.study, w.settings.reorient, w.settings.flow, ws.reprojection, ws.log);
      !s) {
    ws.show(s.refusal());
    return kExitNotSegmented;
  }
  w.settings.flow.fich_axis = 2;
  if (ws.validateStep() != ReorientOutcome::ReprojectionValidated) return kExitNotSegmented;
  clock.done("reprojection");
  if (!ws.computeReprojectedCurves()) return kExitFitFailed;
  clock.done("curves");
  return 0;
}

}  // namespace quorvel::cli
