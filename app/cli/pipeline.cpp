#include "pipeline.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <numbers>

#include "base/app_folder.h"
#include "base/language.h"
#include "curves/method_commands.h"
#include "model3d/regional.h"
#include "segmentation/corrections.h"
#include "segmentation/placement.h"
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

// The specified defaults, or the proposal (from the given look at the study on), with every option
// the user gave on top.
int choosePlacement(const PipelineArgs& a, Session& s, int fromLook) {
  const bool anyGiven = a.givenCrop || a.givenRotation || a.givenSeptum || a.givenValveRow || a.givenValveAngle ||
                        a.givenInfundibulum;
  const bool allGiven = a.givenCrop && a.givenRotation && a.givenSeptum && a.givenValveRow && a.givenValveAngle;
  Placement p;
  s.placementSource = "default";
  if (a.placement == "auto" && !allGiven) {
    const PlacementProposal proposal = proposePlacement(s.ws.w.study, fromLook);
    if (!proposal.proposed()) {
      std::cerr << "quorvel-cli: " << proposal.why.pick(s.ws.w.options.LANGUE) << '\n';
      return kExitNotPlaced;
    }
    p = proposal.placement;
    s.placementSource = "auto";
    s.proposal = proposal;
  }
  if (a.givenCrop) p.recad_x = a.crop[0], p.recad_y = a.crop[1], p.recad_t = a.crop[2];
  if (a.givenRotation) p.rotation = static_cast<float>(a.rotationDeg * std::numbers::pi / 180.0);
  if (a.givenSeptum) p.septum_plano = a.septum;
  if (a.givenValveRow) p.valves_plano_ = a.valveRow;
  if (a.givenValveAngle) p.valves_angle = static_cast<float>(a.valveAngle);
  if (a.givenInfundibulum) p.infand_plane = a.infundibulum;
  if (anyGiven) s.placementSource = "options";
  s.placement = p;
  std::fprintf(stderr, "placement (%s): square %d,%d side %d, rotation %.1f deg, septum %d, valve row %d, tilt %.1f deg",
               s.placementSource.c_str(), p.recad_x, p.recad_y, p.recad_t, p.rotation * 180.0 / std::numbers::pi,
               p.septum_plano, p.valves_plano_, p.valves_angle);
  if (p.infand_plane >= 0) std::fprintf(stderr, ", infundibulum %d", p.infand_plane);
  std::fprintf(stderr, "\n");
  return 0;
}

// The acquisition opened in the language and re-binning asked for, with the heart rate given (or
// the default) when the file has none. False when the file was refused (the refusal is shown).
bool openForPipeline(const PipelineArgs& a, Workstation& ws, StageClock& clock) {
  StudyWorkspace& w = ws.w;
  w.options.LANGUE = a.language == "fr" ? kFrench : kEnglish;
  w.options.RECH_8 = a.noRebin ? 0 : 1;
  if (!ws.openAcquisition(a.file, acquisitionFilter(a.format, a.file))) return false;
  if (w.study.FREQ_ASKING)
    setHeartRate(w.study, a.heartRate > 0 ? a.heartRate : w.options.DEFAULT_freq, ws.platform, w.options.LANGUE);
  clock.done("load");
  return true;
}

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
  cmd->add_option("--rotation", a.rotationDeg, "In-plane rotation (degrees)")->capture_default_str();
  cmd->add_option("--septum", a.septum, "Column of the septum line")->check(CLI::Range(4, 60))->capture_default_str();
  cmd->add_option("--valve-row", a.valveRow, "Row of the valve-plane line")
      ->check(CLI::Range(4, 60))
      ->capture_default_str();
  cmd->add_option("--valve-angle", a.valveAngle, "Valve tilt (degrees)")
      ->check(CLI::Range(-40.0, 40.0))
      ->capture_default_str();
  cmd->add_option("--infundibulum", a.infundibulum, "First slice of the right ventricle (default: none)");
  cmd->add_option("--heart-rate", a.heartRate, "Heart rate in bpm when the file has none")->check(CLI::Range(1, 1000));
  cmd->add_option("--lang", a.language, "Language of the messages and results: fr or en")
      ->check(CLI::IsMember({"fr", "en"}))
      ->capture_default_str();
  cmd->add_flag("--no-rebin", a.noRebin, "Keep 16 instants instead of re-binning them to 8");
  cmd->add_option("--placement", a.placement,
                  "Placement of the re-orientation when no option gives it: auto (proposed from the study) or default")
      ->check(CLI::IsMember({"auto", "default"}))
      ->capture_default_str();
}

void notePlacementOptions(const CLI::App* cmd, PipelineArgs& a) {
  a.givenCrop = cmd->count("--crop") > 0;
  a.givenRotation = cmd->count("--rotation") > 0;
  a.givenSeptum = cmd->count("--septum") > 0;
  a.givenValveRow = cmd->count("--valve-row") > 0;
  a.givenValveAngle = cmd->count("--valve-angle") > 0;
  a.givenInfundibulum = cmd->count("--infundibulum") > 0;
}

std::string checkPipelineArgs(const PipelineArgs& a) {
  const auto& crop = a.crop;
  const int half = crop[2] / 2;
  if (crop[2] < 16 || crop[2] > kMatrix || crop[2] % 2 != 0 || crop[0] - half < 0 || crop[0] + half > kMatrix ||
      crop[1] - half < 0 || crop[1] + half > kMatrix)
    return "--crop needs an even side of 16 to 64 with the square inside the 64 x 64 slice";
  return {};
}

int loadReorientSegment(const PipelineArgs& a, Session& s, bool progress,
                        const BeforeValidation& beforeValidation) {
  Workstation& ws = s.ws;
  StudyWorkspace& w = ws.w;
  for (int look = 0;; ++look) {
    StageClock clock(progress);
    if (!openForPipeline(a, ws, clock)) return kExitRefused;
    if (const int status = choosePlacement(a, s, look)) return status;
    clock.done("placement");
    const Placement& p = s.placement;
    applyPlacement(p, w.settings.reorient);
    auto validate = [&](int step, ReorientOutcome expected) {
      if (beforeValidation && !beforeValidation(step)) return kExitRefused;
      return ws.validateStep() == expected ? 0 : kExitNotSegmented;
    };
    if (const int status = validate(0, ReorientOutcome::StepValidated)) return status;
    selectStep(w.settings.flow, 1);
    if (const int status = validate(1, ReorientOutcome::StepValidated)) return status;
    if (p.infand_plane >= 0) {
      SegmentationContext c = ws.segmentation();
      setInfundibulumSlice(c, p.infand_plane);
    }
    clock.done("re-orientation");
    if (const int status = validate(2, ReorientOutcome::Segmented)) return status;
    clock.done("segmentation");
    // A proposal that leaves a ventricle out is taken again from a smoother look at the study (a
    // left ventricle that barely beats may vanish in the noise of the first); the study is opened
    // afresh so that nothing of the first attempt remains.
    if (!s.proposal || s.proposal->look + 1 >= kPlacementLooks || VERIF_VENT(ws.segmentation(), nullptr)) return 0;
    std::fprintf(stderr, "placement (auto) leaves a ventricle out: proposing again from a smoother look\n");
  }
}

int loadWithTemplate(const PipelineArgs& a, const std::string& templatePath, Workstation& ws) {
  StageClock clock(true);
  if (!openForPipeline(a, ws, clock)) return kExitRefused;
  if (const Status s = ws.applyTemplate(templatePath); !s)  // the refusal has been shown
    return s.code() == RefusalCode::TooManyRegions ? kExitNotSegmented : kExitRefused;
  clock.done("template");
  return 0;
}

void printPanels(const Workstation& ws, std::ostream& out) {
  const int LANGUE = ws.w.options.LANGUE;
  out << ventriclePanelTitle(1, LANGUE) << '\n' << ventricleResultsText(ws.curves.vc.G, LANGUE) << '\n';
  out << ventriclePanelTitle(2, LANGUE) << '\n' << ventricleResultsText(ws.curves.vc.D, LANGUE) << '\n';
  out << tacfitMethodLabel(ws.w.settings.curves.TACFIT_switch, ws.curves.settings, LANGUE) << '\n';
}

void printModelPanels(const Workstation& ws, std::ostream& out) {
  const int LANGUE = ws.w.options.LANGUE;
  const auto texts = AFFICHAGE_RES_MESH(ws.model, 0, ws.w.study, LANGUE);
  out << ventriclePanelTitle(1, LANGUE) << " 3D\n" << texts[1] << '\n'
      << ventriclePanelTitle(2, LANGUE) << " 3D\n" << texts[0];
}

int loadReprojectAndFit(const PipelineArgs& a, Workstation& ws, bool progress) {
  StudyWorkspace& w = ws.w;
  w.options.REPROJ = 1;
  StageClock clock(progress);
  if (!openForPipeline(a, ws, clock)) return kExitRefused;
  ReorientSettings& r = w.settings.reorient;
  if (a.givenRotation) r.rotation = static_cast<float>(a.rotationDeg * std::numbers::pi / 180.0);
  if (ws.validateStep() != ReorientOutcome::StepValidated) return kExitNotSegmented;
  selectStep(w.settings.flow, 1);
  if (a.givenValveAngle) r.valves_angle = static_cast<float>(a.valveAngle);
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
