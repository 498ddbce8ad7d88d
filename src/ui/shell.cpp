#include "ui/shell.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <tuple>
#include <utility>

#include "base/messages.h"
#include "curves/tacfit.h"
#include "render/curve_plot.h"
#include "render/render_texts.h"
#include "render/view_geometry.h"
#include "model3d/bullseye.h"
#include "exam/exam_texts.h"
#include "export/report.h"
#include "export/spreadsheet.h"
#include "model3d/model3d_commands.h"
#include "segmentation/corrections.h"
#include "segmentation/plausibility.h"
#include "segmentation/undo.h"
#include "study/dicom_reformat.h"
#include "study/study_model.h"
#include "study/study_texts.h"
#include "study/timing.h"
#include "ui/compare_exams.h"
#include "ui/derived_texts.h"
#include "ui/help_texts.h"
#include "ui/model3d_input.h"
#include "ui/reorientation_input.h"
#include "ui/results_stage.h"
#include "ui/segmentation_input.h"
#include "ui/shell_texts.h"

namespace quorvel {

namespace {

namespace texts = shell_texts;

// The status line speaks of the step or stage it was said in.
void clearStatus(Workstation& ws) { ws.platform.textChanged(TextSlot::Status, ""); }

constexpr ScreenSize kMinimumScreen{1024, 768};
// The menu's names of the keys globalKey reads.
constexpr const char *kKeysOpenAcquisition = "Ctrl+O", *kKeysOpenExam = "Shift+O", *kKeysOptions = "Ctrl+P",
                     *kKeysQuit = "Ctrl+Q", *kKeysExportResults = "Ctrl+Shift+K", *kKeysExportTable = "Ctrl+Shift+J";
constexpr int kExitStartup = 1;
constexpr int kFastestPeriod = 101, kSlowestPeriod = 999;  // ms: F2 / F3 bounds
constexpr int kCropShift = 2;                               // W + arrows: file window step
constexpr int kVersionMajor = 1, kVersionMinor = 0, kVersionPatch = 22;

WorkflowState& flow(Workstation& ws) { return ws.w.settings.flow; }
const WorkflowState& flow(const Workstation& ws) { return ws.w.settings.flow; }
int stage(const Workstation& ws) { return ws.shell._MENU_; }
int language(const Workstation& ws) { return ws.w.options.LANGUE; }
bool reprojection(const Workstation& ws) { return ws.w.options.REPROJ != 0; }

bool cineStage(int s) {
  return s == kStageReorientation || s == kStageSegmentation || s == kStagePreview || s == kStageResults3D;
}

void stopTimers(Workstation& ws) {
  flow(ws).preview_run = flow(ws).depol_run = 0;
  ws.platform.stopTimer(TimerId::Cine);
  ws.platform.stopTimer(TimerId::Depolarisation);
}

View viewOf(int s) {
  switch (s) {
    case kStageSegmentation: return View::Segmentation;
    case kStageResults: return View::Curves;
    case kStagePreview: return View::Preview3D;
    case kStageResults3D: return View::Results3D;
    default: return View::Reorientation;
  }
}

// The pictures of stage s changed: both frames of the preview.
void stagePictureChanged(Workstation& ws, int s) {
  if (s == kStagePreview) previewPicturesChanged(ws);
  else ws.platform.pictureChanged(viewOf(s));
}

void hideHelp(Workstation& ws) {
  if (!ws.shell.Whelp_on) return;
  ws.shell.Whelp_on = 0;
  ws.platform.textChanged(TextSlot::Help, "");
}


// Commands that show another stage or replace the study: from the options panel they close it.
bool leavesOptionsPanel(int code) {
  switch (code) {
    case kCmdOpenAcquisition:
    case kCmdOpenExam:
    case kCmdOpenTemplate:
    case kCmdReorientation:
    case kCmdSegmentation:
    case kCmdResults:
    case kCmdPreview:
    case kCmd3D:
    case kCmdUpdateSegmentation:
    case kCmdUpdateSegmental:
    case kCmdReformatFolder:
    case kCmdReformatFolderFdg:
    case kCmdReprojectionMode:
    case kCmdPlacementOnOpen: return true;
    default: return false;
  }
}

// The command that enters stage s (0 for none).
int stageCommand(int s) {
  switch (s) {
    case kStageReorientation: return kCmdReorientation;
    case kStageSegmentation: return kCmdSegmentation;
    case kStageResults: return kCmdResults;
    case kStagePreview: return kCmdPreview;
    case kStageResults3D: return kCmd3D;
    default: return 0;
  }
}

void notAvailable(Workstation& ws) { ws.platform.information(texts::kNotAvailable.pick(language(ws))); }

// The spline matrix of method 5 follows the instant count of the study.
void prepareCurveFits(Workstation& ws) {
  const FitContext ctx = FitContext::from(ws.w.options, ws.w.study.Ninst, ws.w.study.CYCLE, nullptr);
  BUILD_SPLINES_MATRIX(ws.curves.fit, ctx);
}

// ---- stages ----------------------------------------------------------------------------------

void enterReorientation(Workstation& ws) {
  if (!flow(ws).IDB_loaded) return;
  changeStage(ws, kStageReorientation);
}

void enterSegmentation(Workstation& ws) {
  if (!flow(ws).IDB_loaded || flow(ws).stade_axis != 3 || reprojection(ws)) return;
  ws.platform.textChanged(TextSlot::SliceCounter,
                          format(study_texts::kSliceCounter.pick(language(ws)), ws.w.study.NCZ));
  if (!flow(ws).segment_done) {
    SegmentationContext c = ws.segmentation();
    if (const Status segmented = segmentValidatedStudy(c); !segmented) {
      ws.show(segmented.refusal());
      return;
    }
    centreMosaicOnVentricles(ws.mosaic, ws.w.study, ws.w.settings.limits);
  } else if (!segmentationCurrent(ws)) {
    ws.show(segmentationOutOfDate());
    return;
  }
  changeStage(ws, kStageSegmentation);
}

// A segmentation exists but was made on other counts: said, and true.
bool refusedOutOfDate(Workstation& ws) {
  if (reprojection(ws) || !flow(ws).segment_done || segmentationCurrent(ws)) return false;
  ws.show(segmentationOutOfDate());
  return true;
}

// The curves are measured and fitted again when what they are computed from changed since (the
// rule of derived results, when the event ends); in reprojection mode always.
void enterResults(Workstation& ws) {
  if (!flow(ws).IDB_loaded || !(flow(ws).segment_done || reprojection(ws))) return;
  if (refusedOutOfDate(ws)) return;
  if (!reprojection(ws) && !ws.checkVentricles()) return;
  changeStage(ws, kStageResults);
  if (reprojection(ws)) std::ignore = ws.computeReprojectedCurves();  // a refusal has been shown
}

// ---- the 3D stages -------------------------------------------------------------------------------

void changeInstant(Workstation& ws, int delta);

// Pre-visualisation: built when never built or after a change of the segmentation.
void enterPreview(Workstation& ws) {
  WorkflowState& f = flow(ws);
  if (stage(ws) == kStagePreview || !f.segment_done || refusedOutOfDate(ws)) return;
  if (stage(ws) != kStageResults3D && !ws.checkVentricles()) return;
  View3DSettings& view3d = ws.model3d.view3d;
  if (view3d.visu_no == 2) view3d.visu_no = 0;
  if (const Status built = bringCurrent(ws, Derived::Preview); !built) {
    ws.show(built.refusal());
    return;
  }
  changeStage(ws, kStagePreview);
}

bool computeModelNow(Workstation& ws) {
  if (!ws.computeModel3D()) return false;
  flow(ws).build_visu = 1;
  return true;
}

// The confirmation of the 3D computation: the samplings and the method.
std::string proceedQuestion(const Workstation& ws) {
  const int L = language(ws);
  const TacFitSettings& set = ws.curves.settings;
  std::string text = format(texts::kAxialSampling.pick(L), ws.w.options.DEFAULT_sama) +
                     format(texts::kAngularSampling.pick(L), ws.w.options.DEFAULT_samr);
  switch (ws.w.settings.curves.TACFIT_switch) {
    case kMultiHarmonique: return text + format(texts::kMethodHarmonic.pick(L), set.CMH_DEG);
    case kTacFitAlt: return text + format(texts::kMethodPolynomial.pick(L), set.TACFIT_ITmax);
    case kTacFitAffine: return text + texts::kMethodAffine.pick(L);
    case kTacFitSplines: return text + texts::kMethodSplines.pick(L);
    default: return text + format(texts::kMethodReference.pick(L), ws.w.options.TACFIT_ITvol);
  }
}

// The full model with its regional maps: when none matches the preview and the settings, or
// unconditionally for the update command. The preview is brought up to date first.
void enterResults3D(Workstation& ws, bool update) {
  WorkflowState& f = flow(ws);
  if (!f.Previsu_OK || !f.IDB_loaded || !f.segment_done || refusedOutOfDate(ws)) return;
  if (const Status built = bringCurrent(ws, Derived::Preview); !built) {
    ws.show(built.refusal());
    return;
  }
  if (update || !resultCurrent(ws, Derived::Model)) {
    if (ws.platform.question(proceedQuestion(ws), texts::kModelQuestionTitle.pick(language(ws))) != QuestionAnswer::Ok) return;
    if (update) ws.model3d.ranges = MapRanges{};
    if (!computeModelNow(ws)) return;  // cancelled: the model is not shown
  }
  changeStage(ws, kStageResults3D);
}

void previewKey(Workstation& ws, Key key, KeyModifiers) {
  const int v = previewVentricle(ws);
  const int t = ws.w.study.instant;
  const ModelInputs in = ws.modelInputs();
  Model3DSettings& set = ws.model3d.model3d;
  switch (key) {
    case Key::Escape: changeStage(ws, kStageSegmentation); return;
    case Key::Return:
      if (ws.input.X_KDOWN) {
        PREV_UNIFORM_APEX(in, set, ws.model, v, t);
        previewPicturesChanged(ws);
      } else if (!ws.input.V_KDOWN) {
        changeStage(ws, kStageSegmentation);
      }
      return;
    case Key::Left: changeInstant(ws, -1); return;
    case Key::Right:
      // With one ventricle shown the arrow applies its curvature to every instant, as X + Enter.
      if (ws.input.X_KDOWN || previewSlidersActive(ws)) {
        PREV_UNIFORM_APEX(in, set, ws.model, v, t);
        previewPicturesChanged(ws);
      } else {
        changeInstant(ws, 1);
      }
      return;
    case Key::Tab:  // left, right, both
      nextPreviewVentricles(ws);
      return;
    default: return;
  }
}

void results3DKey(Workstation& ws, Key key, KeyModifiers m) {
  Model3DSettings& set = ws.model3d.model3d;
  switch (key) {
    case Key::Return: enterPreview(ws); return;
    case Key::Left:
      if (m.ctrl) ws.shell.inst_depol_min = std::max(ws.shell.inst_depol_min - 1, 0);
      else changeInstant(ws, -1);
      break;
    case Key::Right:
      if (m.ctrl) ws.shell.inst_depol_min = std::min(ws.shell.inst_depol_min + 1, 4 * ws.w.study.Ninst - 1);
      else changeInstant(ws, 1);
      break;
    case Key::D: set.mesh_param = !set.mesh_param; break;  // sector outlines on the surface
    case Key::G:  // sector values over the bull's-eyes (the outline follows when the event ends)
      set.mesh_sect_grad = !set.mesh_sect_grad;
      break;
    case Key::S: set.mesh_Hsect = !set.mesh_Hsect; break;  // bull's-eyes by point or by sector
    case Key::E: set.visu_activ = !set.visu_activ; break;
    case Key::R: set.rendu3D = !set.rendu3D; break;
    case Key::I: ws.w.options.visu_interp = !ws.w.options.visu_interp; break;
    case Key::F4:
      ws.w.options.pal3D = !ws.w.options.pal3D;
      ws.pictures.table3D = {};  // the 3D table is built for one palette kind
      break;
    case Key::F: {  // the sectors of both ventricles follow the layout when the event ends
      static constexpr int kLayouts[] = {13, 17, 19, 25};
      int& layout = ws.w.options.SECT_25;
      const auto* at = std::find(std::begin(kLayouts), std::end(kLayouts), layout);
      layout = at == std::end(kLayouts) || at + 1 == std::end(kLayouts) ? kLayouts[0] : *(at + 1);
      break;
    }
    default: return;
  }
  ws.platform.pictureChanged(View::Results3D);
}

void opened(Workstation& ws, const Status& open) {
  if (!open.ok()) return;
  prepareCurveFits(ws);
  changeStage(ws, kStageReorientation);
  if (ws.w.options.proposePlacementOnOpen) (void)ws.proposePlacementCommand(true);
}

void openAcquisitionCommand(Workstation& ws) {
  stopTimers(ws);
  opened(ws, ws.openAcquisitionCommand());
}

// Enter in the re-orientation stage.
void validateReorientation(Workstation& ws) {
  if (ws.w.study.FREQ_ASKING || !ws.w.study.loaded()) return;
  const int step = flow(ws).fich_axis;
  switch (ws.validateStep()) {
    case ReorientOutcome::Segmented:
      centreMosaicOnVentricles(ws.mosaic, ws.w.study, ws.w.settings.limits);
      enterSegmentation(ws);
      return;
    case ReorientOutcome::ReprojectionValidated: enterResults(ws); return;
    case ReorientOutcome::StepValidated:
      if (flow(ws).fich_axis == step && flow(ws).stade_axis > step + 1 && !reprojection(ws)) {
        const Text next = step == 0 ? texts::kStepVertical : texts::kStepShort;
        ws.platform.textChanged(TextSlot::Status, format(texts::kStepDone.pick(language(ws)), next.pick(language(ws))));
      } else {
        clearStatus(ws);
      }
      if (step == 1 && reprojection(ws)) {
        // The first validation shows the projection; a later one moves to the seed placement.
        if (const Status s = UPDATE_REPROJECTION(ws.w.study, ws.w.settings.reorient, flow(ws), ws.reprojection, ws.log);
            !s) {
          ws.show(s.refusal());
          return;
        }
        if (ws.w.options.VLA_proj == 0)
          ws.w.options.VLA_proj = 1;
        else
          flow(ws).fich_axis = 2;
      }
      ws.platform.pictureChanged(View::Reorientation);
      return;
    default: return;
  }
}

void changeInstant(Workstation& ws, int delta) {
  Study& s = ws.w.study;
  if (s.Ninst <= 0) return;
  s.instant = ((s.instant + delta) % s.Ninst + s.Ninst) % s.Ninst;
  stagePictureChanged(ws, stage(ws));
}

// The section shown in the current re-orientation step: the slice, the column or the row.
void changeSection(Workstation& ws, int delta) {
  Study& s = ws.w.study;
  ReorientSettings& r = ws.w.settings.reorient;
  switch (flow(ws).fich_axis) {
    case 0: s.coupe = std::clamp(s.coupe + delta, 0, std::max(s.NCZ - 1, 0)); break;
    case 1: r.coupevla = std::clamp(r.coupevla + delta, 0, kMatrix - 1); break;
    default: r.coupesag = std::clamp(r.coupesag + delta, 0, kMatrix - 1); break;
  }
  ws.platform.pictureChanged(View::Reorientation);
}

// W held with the arrows: the file is read again through a shifted window, without rescaling.
// Only before the first view is validated: the read replaces the counts the validated steps
// resampled (and the voxel size they set), which nothing would redo.
void shiftCropWindow(Workstation& ws, int dx, int dy) {
  if (flow(ws).stade_axis > 1 || flow(ws).segment_done) {
    ws.show(Refusal::of(RefusalCode::CropAfterValidation, derived_texts::kCropAfterValidation));
    return;
  }
  StudyRecord& s = ws.w.study;
  s.mantrans_x += dx;
  s.mantrans_y += dy;
  Notices notices;
  if (const Status read = LOAD_TOMO_DATA(0, ws.w, ws.log, notices); !read) {
    s.mantrans_x -= dx;
    s.mantrans_y -= dy;
    ws.show(read.refusal());
    return;
  }
  ws.platform.pictureChanged(View::Reorientation);
}

void reorientationKey(Workstation& ws, Key key, KeyModifiers m) {
  ReorientSettings& r = ws.w.settings.reorient;
  const int step = flow(ws).fich_axis;
  auto changed = [&](bool moved) {
    if (moved) ws.platform.pictureChanged(View::Reorientation);
  };
  if (ws.input.W_KDOWN && step == 0) {
    switch (key) {
      case Key::Up: shiftCropWindow(ws, kCropShift, 0); return;
      case Key::Down: shiftCropWindow(ws, -kCropShift, 0); return;
      case Key::Left: shiftCropWindow(ws, 0, kCropShift); return;
      case Key::Right: shiftCropWindow(ws, 0, -kCropShift); return;
      default: break;
    }
  }
  switch (key) {
    case Key::Return: validateReorientation(ws); return;
    case Key::Tab:
      nextStep(flow(ws));
      clearStatus(ws);  // the step it named is shown now
      ws.platform.pictureChanged(View::Reorientation);
      return;
    case Key::Left: changeInstant(ws, -1); return;
    case Key::Right: changeInstant(ws, 1); return;
    case Key::Up:
      if (m.ctrl)
        changed(step == 0 && growSquare(r));
      else
        changeSection(ws, 1);
      return;
    case Key::Down:
      if (m.ctrl)
        changed(step == 0 && shrinkSquare(r));
      else
        changeSection(ws, -1);
      return;
    case Key::PageUp: changed(m.ctrl ? tiltValves(r, step, 1) : movePlaneLine(r, step, 1)); return;
    case Key::PageDown: changed(m.ctrl ? tiltValves(r, step, -1) : movePlaneLine(r, step, -1)); return;
    case Key::H: changed(m.shift && mirrorColumns(ws.w)); return;
    case Key::V:
      if (m.shift) mirrorRowsOrSlices(ws.w), ws.platform.pictureChanged(View::Reorientation);
      return;
    case Key::Space:
      if (step == 1) ws.w.options.VLA_proj = !ws.w.options.VLA_proj, ws.platform.pictureChanged(View::Reorientation);
      return;
    default: return;
  }
}

void segmentationKey(Workstation& ws, Key key, KeyModifiers m) {
  SegmentationContext c = ws.segmentation();
  WorkflowState& f = flow(ws);
  // Keys that act under the pointer act only with the pointer on the mosaic.
  const bool pointed = ws.shell.mouseView == View::Segmentation;
  const int x = ws.shell.mouse_i, y = ws.shell.mouse_j;
  auto mark = [&](int cls) {
    if (pointed) markKeyDown(ws, cls, x, y);
  };
  switch (key) {
    case Key::Return:
      if (m.ctrl && m.shift) {
        closeRetouching(c);
        reclassifyRegions(c);
        return;
      }
      enterPreview(ws);
      return;
    case Key::BackSpace: LOAD_UNDO(kUndoSegmentationRing, c); return;
    case Key::Escape:
      if (m.shift)
        clearExclusionMarks(c);
      else
        mark(kClassExcludedConnected);
      return;
    case Key::Up:
      if (m.ctrl)
        moveValveLine(c, -1);
      else
        mark(kClassExcludedRegion);
      return;
    case Key::Down:
      if (m.ctrl)
        moveValveLine(c, 1);
      else
        mark(kClassOther);
      return;
    case Key::Left:
      if (m.ctrl)
        moveSeptumLine(c, -1);
      else
        changeInstant(ws, -1);
      return;
    case Key::Right:
      if (m.ctrl)
        moveSeptumLine(c, 1);
      else
        changeInstant(ws, 1);
      return;
    case Key::PageUp: changeBrushSize(c, 1); return;
    case Key::PageDown: changeBrushSize(c, -1); return;
    case Key::F5: f.SEG_sel = !f.SEG_sel, ws.platform.pictureChanged(View::Segmentation); return;
    case Key::S:
      if (m.shift) f.disp_seuil = !f.disp_seuil, ws.platform.pictureChanged(View::Segmentation);
      return;
    case Key::V:
      ws.w.settings.reorient.valves_planaff = !ws.w.settings.reorient.valves_planaff;
      ws.platform.pictureChanged(View::Segmentation);
      return;
    case Key::L:
      if (m.ctrl && m.shift)
        unlockInstant(c);
      else if (m.ctrl && pointed)
        unlockSliceAt(ws, x, y);
      else if (!m.ctrl && pointed)
        lockSliceAt(ws, x, y);
      return;
    case Key::C: ws.input.visu_contupdt = 1; return;
    default: return;
  }
}

void resultsKey(Workstation& ws, Key key, KeyModifiers) {
  bool refitted = false;
  switch (key) {
    case Key::Left: refitted = fitMethodCommand(ws, FitCommand::PreviousMethod); break;
    case Key::Right: refitted = fitMethodCommand(ws, FitCommand::NextMethod); break;
    case Key::PageUp: refitted = fitMethodCommand(ws, FitCommand::MoreSetting); break;
    case Key::PageDown: refitted = fitMethodCommand(ws, FitCommand::FewerSetting); break;
    case Key::Return:
      if (reprojection(ws)) {
        flow(ws).fich_axis = 2;
        changeStage(ws, kStageReorientation);
      }
      return;
    default: return;
  }
  if (refitted) showResultTexts(ws);
}

// F1: start or stop the cine; F2 / F3 halve or double its period (the animation's in stage 4).
void cineKey(Workstation& ws, Key key) {
  WorkflowState& f = flow(ws);
  if (!cineStage(stage(ws))) return;
  if (key == Key::F1) {
    if (f.preview_run) {
      f.preview_run = 0;
      ws.platform.stopTimer(TimerId::Cine);
    } else {
      f.depol_run = 0;
      ws.platform.stopTimer(TimerId::Depolarisation);
      f.preview_run = 1;
      ws.platform.startTimer(TimerId::Cine, f.timer_base);
    }
    return;
  }
  const bool animation = stage(ws) == kStageResults3D && !f.preview_run;
  if (!f.preview_run && !animation) return;
  int& period = animation ? f.timer_base2 : f.timer_base;
  if (key == Key::F2 && period >= kFastestPeriod) period /= 2;
  else if (key == Key::F3 && period <= kSlowestPeriod) period *= 2;
  else return;
  if (f.preview_run) ws.platform.startTimer(TimerId::Cine, f.timer_base);
  if (animation && f.depol_run) ws.platform.startTimer(TimerId::Depolarisation, f.timer_base2);
}

void depolarisationKey(Workstation& ws, Key key) {
  if (stage(ws) != kStageResults3D) return;
  WorkflowState& f = flow(ws);
  f.preview_run = 0;
  ws.platform.stopTimer(TimerId::Cine);
  if (key == Key::F6) {
    ws.shell.inst_depol = ws.shell.inst_depol_min;
    f.depol_run = 1;
    ws.platform.startTimer(TimerId::Depolarisation, f.timer_base2);
  } else {
    f.depol_run = 0;
    ws.platform.stopTimer(TimerId::Depolarisation);
  }
}

// ---- exams, templates, options, comments -----------------------------------------------------

void openExamCommand(Workstation& ws) {
  if (!ws.openExamCommand()) return;
  prepareCurveFits(ws);
  changeStage(ws, ws.shell._MENU_);
}

void openTemplateCommand(Workstation& ws) {
  if (!flow(ws).IDB_loaded) {
    ws.platform.information(texts::kOpenDataFirst.pick(language(ws)));
    return;
  }
  if (ws.applyTemplateCommand()) changeStage(ws, kStageSegmentation);
}

// The report of the stage: global from the segmentation (once both ventricles are there) or the
// results, local from the 3D results; the options are saved after it.
void exportResultsCommand(Workstation& ws) {
  const int st = stage(ws);
  if (st != kStageSegmentation && st != kStageResults && st != kStageResults3D) return;
  if (st == kStageSegmentation && !ws.checkVentricles()) return;
  const bool local = st == kStageResults3D;
  for (Derived d : local ? std::vector<Derived>{Derived::Model, Derived::Sectors, Derived::PickedCurves}
                         : std::vector<Derived>{Derived::Curves}) {
    if (const Status s = bringCurrent(ws, d); !s) {
      ws.show(s.refusal());
      return;
    }
  }
  const ReportInputs in{ws.w,     ws.seg,      ws.curves.vc, ws.curves.settings, ws.model, ws.model3d, ws.pictures,
                       &ws.shell.pickedCurves, &ws.segmental, currentIntervals(ws), currentSerialSummary(ws)};
  const Status s = EXPORT_RESULTS_1024(ws.platform, ws.w.options,
                                       st == kStageResults3D ? ReportKind::Local : ReportKind::Global, in);
  if (!s && s.code() != RefusalCode::Cancelled) ws.show(s.refusal());
  SAVE_OPTIONS_FILE(ws.folder, ws.w.options);
  stagePictureChanged(ws, st);
}

// The folder reformat, then the file it wrote opened as the new study.
void reformatCommand(Workstation& ws, int variant) {
  SAVE_OPTIONS_FILE(ws.folder, ws.w.options);
  const ReformatOutcome r = DICOM_REFORMAT(ws.platform, ws.w.options, variant, ws.log);
  if (!r.status) {
    if (r.status.code() != RefusalCode::Cancelled) ws.show(r.status.refusal());
    return;
  }
  opened(ws, ws.openAcquisition(r.path, kFormatDicom));
}

void commentsCommand(Workstation& ws) {
  if (!flow(ws).IDB_loaded) return;
  auto text = ws.platform.editText(study_texts::kComment.pick(language(ws)), flow(ws).comment);
  if (!text) return;
  // Kept as the exam file keeps it: at most its field's bytes, cut between two UTF-8 characters.
  if (text->size() > kExamTextSize) {
    size_t end = kExamTextSize;
    while (end > 0 && (static_cast<unsigned char>((*text)[end]) & 0xC0) == 0x80) --end;
    text->resize(end);
  }
  flow(ws).comment = std::move(*text);
}

void openOptionsPanel(Workstation& ws) {
  ShellState& sh = ws.shell;
  if (stage(ws) == kStageOptions) return;
  const Options& o = ws.w.options;
  sh.OPT_menu = stage(ws);
  sh.SECT_25tmp = o.SECT_25, sh.samatmp = o.DEFAULT_sama, sh.samrtmp = o.DEFAULT_samr, sh.samptmp = o.mesh_samP;
  changeStage(ws, kStageOptions);
}

}  // namespace

// "Valider": back to the stage the panel was opened from, the options saved and every text given
// again in the chosen language. What the changed settings make out of date (curves, preview,
// sectors, the 3D model) is brought current or asked for by the rule of derived results as the
// event ends.
void validateOptionsPanel(Workstation& ws) {
  const EventScope scope(ws);
  if (stage(ws) != kStageOptions) return;
  ws.input.CONTROL_KDOWN = ws.input.SHIFT_KDOWN = 0;
  ws.saveOptions();
  changeStage(ws, ws.shell.OPT_menu);
  setLanguage(ws, ws.w.options.LANGUE);
}

namespace {

// Keys that act in any stage; true when the key was one of them.
bool globalKey(Workstation& ws, Key key, KeyModifiers m) {
  if (m.ctrl && !m.shift && key == Key::O) return runCommand(ws, kCmdOpenAcquisition), true;
  if (m.shift && !m.ctrl && key == Key::O) return runCommand(ws, kCmdOpenExam), true;
  if (m.ctrl && key == Key::P) return runCommand(ws, kCmdOptions), true;
  if (m.ctrl && !m.shift && key == Key::Q) {
    ws.shell.exitRequested = requestExit(ws);
    return true;
  }
  if (m.ctrl && m.shift && key == Key::K) return runCommand(ws, kCmdExportResults), true;
  if (m.ctrl && m.shift && key == Key::J) return runCommand(ws, kCmdExportTable), true;
  switch (key) {
    case Key::H:
      if (m.ctrl || m.shift) return false;  // SHIFT + H mirrors in stage 1
      ws.shell.Whelp_on = 1;
      ws.platform.textChanged(TextSlot::Help, currentHelp(ws));
      return true;
    case Key::F1:
    case Key::F2:
    case Key::F3: cineKey(ws, key); return true;
    case Key::F6:
    case Key::F7: depolarisationKey(ws, key); return true;
    default: return false;
  }
}

}  // namespace

// ---- events ------------------------------------------------------------------------------------

void startUp(Workstation& ws) {
  ws.w.options.LANGUE = kFrench;
  ws.loadOptions();  // written with the defaults when missing
  const int L = language(ws);
  const ScreenSize screen = ws.platform.screenSize();
  if (screen.width < kMinimumScreen.width || screen.height < kMinimumScreen.height)
    ws.platform.fatal(kExitStartup, texts::kStartupTitle.pick(L), texts::kScreenTooSmall.pick(L));
  // Above the minimum every stage can be shown: front ends scroll what does not fit, so a smaller
  // screen than the stages were drawn for needs no notice.
  // Write check: an empty file in the folder and in temp/, each copied onto the other.
  const auto a = ws.folder / "Apf", b = ws.folder / "temp" / "Apf";
  std::error_code ec;
  bool writable = static_cast<bool>(std::ofstream(a)) && static_cast<bool>(std::ofstream(b));
  writable = writable && std::filesystem::copy_file(a, b, std::filesystem::copy_options::overwrite_existing, ec) &&
             std::filesystem::copy_file(b, a, std::filesystem::copy_options::overwrite_existing, ec);
  if (!writable) ws.platform.fatal(kExitStartup, texts::kStartupTitle.pick(L), texts::kNoWriteAccess.pick(L));
  INIT_ACQ_PARAM(ws.w.study, ws.w.settings, ws.w.options);
  resetModel3DSettings(ws.model3d, ws.w.options);
  // The class colours from a fixed seed, so that a session's pictures can be reproduced.
  preparePictures(ws.pictures, ws.w.options, kDefaultColourSeed);
  ws.shell._MENU_ = kStageNone;
  ws.showTitle("");  // an options file may start the session in reprojection mode: said at once
}

void closeHelp(Workstation& ws) { hideHelp(ws); }

void sayImplausibleResults(Workstation& ws) {
  if (ws.w.options.REPROJ || !resultCurrent(ws, Derived::Curves)) return;
  std::string said;
  for (const ImplausibleVentricle& v : implausibleResults(ws.w.study, ws.w.settings.limits, ws.seg, ws.curves.vc,
                                                          ws.w.settings.reorient.septum_plano))
    said += (said.empty() ? "" : " ") + implausibleResultText(v, language(ws));
  if (!said.empty()) ws.platform.textChanged(TextSlot::Status, said);
}

void changeStage(Workstation& ws, int s) {
  // What the status line said belongs to the stage left.
  if (s != ws.shell._MENU_) clearStatus(ws);
  ws.shell._MENU_ = s;
  ws.shell.mouseView.reset();  // a position read on the views of the stage left means nothing here
  hideHelp(ws);
  stagePictureChanged(ws, s);
  if (s == kStageResults) sayImplausibleResults(ws);
}

bool computeModelAsked(Workstation& ws) {
  return ws.platform.question(proceedQuestion(ws), texts::kModelQuestionTitle.pick(language(ws))) == QuestionAnswer::Ok && computeModelNow(ws);
}

bool requestExit(Workstation& ws) {
  if (!ws.developer() && flow(ws).segment_done) {
    // The one box the product shows without a title.
    if (ws.platform.question(texts::kQuitQuestion.pick(language(ws)), "") != QuestionAnswer::Ok) return false;
  }
  stopTimers(ws);
  SAVE_OPTIONS_FILE(ws.folder, ws.w.options);
  removeUndoFiles(ws.folder);  // snapshots of this session's segmentation, megabytes each
  ws.log.WRITE_LOGFILE("\n\n-------       EXIT       -------\n");
  return true;
}

void openAcquisitionFile(Workstation& ws, const std::string& path, int filter) {
  const EventScope scope(ws);
  stopTimers(ws);
  hideHelp(ws);
  opened(ws, ws.openAcquisition(path, filter));
}

void openExamFile(Workstation& ws, const std::filesystem::path& path) {
  const EventScope scope(ws);
  stopTimers(ws);
  hideHelp(ws);
  if (flow(ws).IDB_loaded && ws.platform.question(exam_texts::kOpenNew.pick(language(ws))) != QuestionAnswer::Ok)
    return;
  if (!ws.openExam(path)) return;
  prepareCurveFits(ws);
  changeStage(ws, ws.shell._MENU_);
}

void runCommand(Workstation& ws, int code) {
  const EventScope scope(ws);
  // Every stage and file command stops the cine and the animation first.
  stopTimers(ws);
  hideHelp(ws);
  // Leaving the options panel by another road than its button validates it as the button does.
  if (stage(ws) == kStageOptions && leavesOptionsPanel(code)) {
    validateOptionsPanel(ws);
    if (code == stageCommand(ws.shell.OPT_menu)) return;
  }
  switch (code) {
    case kCmdOpenAcquisition:
      SAVE_OPTIONS_FILE(ws.folder, ws.w.options);
      openAcquisitionCommand(ws);
      return;
    case kCmdReorientation: enterReorientation(ws); return;
    case kCmdSegmentation: enterSegmentation(ws); return;
    case kCmdResults: enterResults(ws); return;
    case kCmdUpdateSegmentation:
      if (stage(ws) == kStageSegmentation) ws.resegmentCommand();
      return;
    case kCmdPreview:
      if (stage(ws) == kStageResults3D)
        changeStage(ws, kStagePreview);
      else
        enterPreview(ws);
      return;
    case kCmd3D: enterResults3D(ws, false); return;
    case kCmdAutoPlacement:
      if (stage(ws) == kStageReorientation) (void)ws.proposePlacementCommand();
      return;
    case kCmdUpdateSegmental:
      if (flow(ws).Previsu_OK) enterResults3D(ws, true);
      return;
    case kCmdFrench:
    case kCmdEnglish:
      setLanguage(ws, code == kCmdFrench ? kFrench : kEnglish);
      clearStatus(ws);  // said in the other language
      SAVE_OPTIONS_FILE(ws.folder, ws.w.options);  // the next start speaks the same language
      return;
    case kCmdExportTable:
      if (flow(ws).vidange_done) std::ignore = ws.exportTableCommand();  // shown
      return;
    case kCmdExportTable17:
      if (!flow(ws).build_visu) return;
      if (ws.w.options.SECT_25 != kTableSectors)
        ws.platform.information(texts::kOnly17Sectors.pick(language(ws)));
      else
        std::ignore = ws.exportSectorTableCommand();  // shown
      return;
    case kCmdAbout:
      ws.platform.information(format(texts::kAbout.pick(language(ws)), kVersionMajor, kVersionMinor, kVersionPatch));
      return;
    case kCmdUserGuide:
      if (!std::filesystem::exists(ws.shell.userGuide))
        ws.platform.warning(format(texts::kGuideMissing.pick(language(ws)), ws.shell.userGuide.string().c_str()));
      else if (!ws.platform.openDocument(ws.shell.userGuide.string()))
        ws.platform.warning(format(texts::kGuideNoViewer.pick(language(ws)), ws.shell.userGuide.string().c_str()));
      return;
    case kCmdOpenExam:
      SAVE_OPTIONS_FILE(ws.folder, ws.w.options);
      openExamCommand(ws);
      return;
    case kCmdSaveExam:
    case kCmdSaveExamAs: std::ignore = ws.saveExamCommand(code == kCmdSaveExamAs); return;  // shown
    case kCmdOpenTemplate: openTemplateCommand(ws); return;
    case kCmdSaveTemplate:
      if (!flow(ws).segment_done) {
        ws.platform.information(texts::kSegmentationFirst.pick(language(ws)));
        return;
      }
      std::ignore = ws.saveExamCommand(true);  // a template is an exam file
      return;
    case kCmdOptions: openOptionsPanel(ws); return;
    case kCmdQuit: ws.shell.exitRequested = requestExit(ws); return;
    case kCmdReprojectionMode:
      // The study open, if any, is read again: back to the re-orientation stage, or none open.
      if (ws.switchReprojectionMode() && flow(ws).IDB_loaded) opened(ws, Status::accepted());
      return;
    case kCmdPlacementOnOpen:
      ws.w.options.proposePlacementOnOpen = !ws.w.options.proposePlacementOnOpen;
      SAVE_OPTIONS_FILE(ws.folder, ws.w.options);
      return;
    case kCmdUncertainty:
      if (Status st = ws.startUncertainty(); !st) ws.show(st.refusal());
      return;
    case kCmdStopUncertainty: ws.stopUncertainty(); return;
    case kCmdCompareExams:
      if (Status st = compareWithEarlierExamsCommand(ws); !st && st.code() != RefusalCode::Cancelled)
        ws.show(st.refusal());
      return;
    case kCmdComments: commentsCommand(ws); return;
    case kCmdExportResults: exportResultsCommand(ws); return;
    case kCmdReformatFolder:
    case kCmdReformatFolderFdg: reformatCommand(ws, code == kCmdReformatFolder ? 1 : 2); return;
    default:
      if (!commandBuilt(code)) notAvailable(ws);
      return;
  }
}

void keyDown(Workstation& ws, Key key, KeyModifiers m) {
  const EventScope scope(ws);
  if (key != Key::H) hideHelp(ws);
  ws.input.CONTROL_KDOWN = m.ctrl;
  ws.input.SHIFT_KDOWN = m.shift;
  if (key == Key::Space) ws.input.SPACE_KDOWN = 1;
  if (key == Key::W) ws.input.W_KDOWN = 1;
  if (key == Key::V) ws.input.V_KDOWN = 1;
  if (key == Key::X) ws.input.X_KDOWN = 1;
  if (key == Key::S) ws.input.S_KDOWN = 1;
  if (key == Key::C) ws.input.cHeld = 1;
  if (key == Key::L) ws.input.lHeld = 1;
  if (key == Key::Q) ws.input.qHeld = 1;
  if (globalKey(ws, key, m) || model3DKey(ws, key, m)) return;
  switch (stage(ws)) {
    case kStageReorientation: reorientationKey(ws, key, m); return;
    case kStageSegmentation: segmentationKey(ws, key, m); return;
    case kStageResults: resultsKey(ws, key, m); return;
    case kStagePreview: previewKey(ws, key, m); return;
    case kStageResults3D: results3DKey(ws, key, m); return;
    case kStageOptions:
      if (key == Key::Return) validateOptionsPanel(ws);
      return;
    default: return;
  }
}

void keyUp(Workstation& ws, Key key, KeyModifiers m) {
  const EventScope scope(ws);
  ws.input.CONTROL_KDOWN = m.ctrl;
  ws.input.SHIFT_KDOWN = m.shift;
  switch (key) {
    case Key::Space: ws.input.SPACE_KDOWN = 0; return;
    case Key::W: ws.input.W_KDOWN = 0; return;
    case Key::V: ws.input.V_KDOWN = 0; return;
    case Key::X: ws.input.X_KDOWN = 0; return;
    case Key::S: ws.input.S_KDOWN = 0; return;
    case Key::L: ws.input.lHeld = 0; return;
    case Key::Q: ws.input.qHeld = 0; return;
    case Key::C:
      ws.input.visu_contupdt = 0;
      ws.input.cHeld = 0;
      return;
    case Key::Up:
    case Key::Down:
    case Key::Escape:
      if (stage(ws) == kStageSegmentation) markKeyUp(ws);
      return;
    default: return;
  }
}

bool releaseHeldKeys(Workstation& ws) {
  const EventScope scope(ws);
  const InputState& in = ws.input;
  const std::pair<bool, Key> held[] = {{in.SPACE_KDOWN != 0, Key::Space}, {in.W_KDOWN != 0, Key::W},
                                       {in.V_KDOWN != 0, Key::V},         {in.X_KDOWN != 0, Key::X},
                                       {in.S_KDOWN != 0, Key::S},         {in.lHeld != 0, Key::L},
                                       {in.qHeld != 0, Key::Q},           {in.cHeld || in.visu_contupdt, Key::C}};
  bool released = false;
  for (const auto& [down, key] : held)
    if (down) keyUp(ws, key, {}), released = true;
  return released;
}

void mousePress(Workstation& ws, View view, int x, int y, MouseButton b, KeyModifiers m) {
  const EventScope scope(ws);
  ws.shell.mouseView = view;
  if (model3DPress(ws, view, x, y, b)) return;
  ws.shell.mouse_i = x, ws.shell.mouse_j = y;
  const bool primary = b == MouseButton::Primary;
  if (view == View::Reorientation && stage(ws) == kStageReorientation) {
    (primary ? ws.shell.leftDown : ws.shell.rightDown) = true;
    const int step = flow(ws).fich_axis;
    if (step == 0) {
      primary ? squarePress(ws, x, y) : squareTurn(ws, x, y);
    } else if (step == 2 && primary) {
      if (reprojection(ws)) {
        const auto [column, slice] = reprojectionSeedAt(x, y, ws.w.study.NCZ);
        placeReprojectionSeed(ws.reprojection, column, slice, ws.w.study.NCZ);
        if (const Status s = REPROJ_TAC(ws.w.study, ws.reprojection, flow(ws), ws.log); !s) ws.show(s.refusal());
      } else {
        infundibulumAt(ws, y);
      }
    }
    ws.platform.pictureChanged(View::Reorientation);
    return;
  }
  if (view == View::Segmentation && stage(ws) == kStageSegmentation) {
    if (ws.input.SPACE_KDOWN) {
      // Space with a button: the pointed region flooded again, or the brush window on its slice.
      if (primary) {
        SegmentationContext c = ws.segmentation();
        const auto v = mosaicVoxelAt(ws.mosaic, ws.w.study.NCZ, ws.w.study.seg_affmin, x, y);
        if (v && ws.seg.LPE.size() == ws.w.study.DATA.size()) {
          SAVE_UNDO(kUndoSegmentationRing, c);
          const int label = ws.seg.LPE[Segmentation::index(ws.w.study.NCZ, ws.w.study.instant, v->slice, v->row, v->col)];
          if (const Status s = splitRegion(c, label); !s) ws.show(s.refusal());
        }
      } else {
        openRetouchingAt(ws, x, y);
      }
      return;
    }
    segButtonPress(ws, b, m, x, y);
    return;
  }
  if (view == View::Retouching && stage(ws) == kStageSegmentation && primary) retouchPress(ws, x, y);
}

void mouseDoubleClick(Workstation& ws, View view, int x, int y, MouseButton b, KeyModifiers m) {
  const EventScope scope(ws);
  if (model3DDoubleClick(ws, view, x, y, b)) return;
  if (view == View::Segmentation && stage(ws) == kStageSegmentation) segDoubleClick(ws, b, m, x, y);
}

void mouseMove(Workstation& ws, View view, int x, int y) {
  const EventScope scope(ws);
  ws.shell.mouseView = view;
  if (model3DMove(ws, view, x, y)) return;
  ws.shell.mouse_i = x, ws.shell.mouse_j = y;
  switch (view) {
    case View::Reorientation:
      if (stage(ws) != kStageReorientation) return;
      if (flow(ws).fich_axis == 0 && ws.shell.leftDown) squareDrag(ws, x, y), ws.platform.pictureChanged(view);
      if (flow(ws).fich_axis == 0 && ws.shell.rightDown) squareTurn(ws, x, y), ws.platform.pictureChanged(view);
      if (flow(ws).fich_axis == 2 && ws.shell.leftDown && !reprojection(ws))
        infundibulumAt(ws, y), ws.platform.pictureChanged(view);
      return;
    case View::Segmentation:
      if (stage(ws) == kStageSegmentation) segMouseMove(ws, x, y);
      return;
    case View::Retouching:
      if (stage(ws) == kStageSegmentation) retouchMove(ws, x, y);
      return;
    case View::CurveLeft:
    case View::CurveRight: {
      if (stage(ws) != kStageResults) return;
      const bool left = view == View::CurveLeft;
      ws.platform.textChanged(left ? TextSlot::CursorLeft : TextSlot::CursorRight,
                              curveCursorText(x, ws.w.study.Ninst, ws.w.study.CYCLE,
                                              left ? ws.curves.vc.vidange_G : ws.curves.vc.vidange_D, language(ws)));
      return;
    }
    default: return;
  }
}

void mouseRelease(Workstation& ws, View view, int, int, MouseButton b) {
  const EventScope scope(ws);
  if (model3DRelease(ws, view, b)) return;
  if (view == View::Reorientation) (b == MouseButton::Primary ? ws.shell.leftDown : ws.shell.rightDown) = false;
  if (view == View::Segmentation && stage(ws) == kStageSegmentation) segButtonRelease(ws);
  if (view == View::Retouching && stage(ws) == kStageSegmentation) retouchRelease(ws);
}

void mouseLeave(Workstation& ws, View view) {
  const EventScope scope(ws);
  if (ws.shell.mouseView == view) ws.shell.mouseView.reset();
}

void mouseWheel(Workstation& ws, View view, int steps, KeyModifiers m) {
  const EventScope scope(ws);
  if (model3DWheel(ws, view, steps)) return;
  if (steps == 0 || view != View::Reorientation || stage(ws) != kStageReorientation) return;
  if (m.shift)
    changeSection(ws, steps > 0 ? 1 : -1);
  else
    changeInstant(ws, steps > 0 ? 1 : -1);
}

void timerTick(Workstation& ws, TimerId id) {
  const EventScope scope(ws);
  switch (id) {
    case TimerId::Cine:
      if (flow(ws).preview_run && cineStage(stage(ws))) changeInstant(ws, 1);
      return;
    case TimerId::Depolarisation:
      if (flow(ws).depol_run && stage(ws) == kStageResults3D) {
        const int steps = 4 * std::max(ws.w.study.Ninst, 1);
        ws.shell.inst_depol = (ws.shell.inst_depol + 1) % steps;
        ws.platform.pictureChanged(View::Results3D);
      }
      return;
    case TimerId::Redraw:
      ws.platform.stopTimer(TimerId::Redraw);
      stagePictureChanged(ws, stage(ws));
      return;
    case TimerId::Background: ws.pollUncertainty(); return;
  }
}

void heartRateAnswered(Workstation& ws, int bpm) {
  const EventScope scope(ws);
  if (!ws.w.study.FREQ_ASKING) return;  // the prompt of a study since replaced
  setHeartRate(ws.w.study, bpm, ws.platform, language(ws));
  prepareCurveFits(ws);
}

void optionNumberTyped(Workstation& ws, OptionNumber field, long typed) {
  const EventScope scope(ws);
  setOptionNumber(ws.w.options, field, typed);
}

bool optionChosen(Workstation& ws, OptionChoice box, int value) {
  const EventScope scope(ws);
  if (!setOptionChoice(ws.w.options, box, value)) return false;
  if (box == OptionChoice::FitMethod) ws.w.settings.curves.TACFIT_switch = value;
  return true;
}

void backgroundColourButton(Workstation& ws) {
  const EventScope scope(ws);
  Options& o = ws.w.options;
  const auto chosen = ws.platform.chooseColour(Rgb{o.BK_r, o.BK_g, o.BK_b});
  if (!chosen) return;
  setBackgroundColour(o, *chosen);
  ws.platform.information(exam_texts::kColourAtRestart.pick(language(ws)));
}

void setThreshold(Workstation& ws, int seuillage) {
  const EventScope scope(ws);
  Study& s = ws.w.study;
  s.seuillage = std::clamp(seuillage, 0, 100);
  s.datamin = static_cast<float>(s.seuillage) * s.datamax / 100.0f;
  EVAL_VLA_PROJ(s, ws.w.projection, projectionSettingsOf(s, ws.w.options));
  ws.platform.pictureChanged(View::Reorientation);
}

int mosaicScrollMax(const Workstation& ws) {
  return std::max(ws.w.study.NCZ - ws.mosaic.NcellH * ws.mosaic.NcellV, 0);
}

void mosaicRoomChanged(Workstation& ws, ScreenSize room) {
  const EventScope scope(ws);
  SegmentationLayout& m = ws.mosaic;
  const int across = std::max(1, room.width / kCellWidth), down = std::max(1, room.height / kCellHeight);
  if (across == m.seg_Xmax && down == m.seg_Ymax) return;
  // The slice in the middle of the cells stays in the middle: the ventricles stay in view.
  const int middle = ws.w.study.seg_affmin + (m.NcellV * m.NcellH) / 2;
  m.seg_Xmax = across, m.seg_Ymax = down;
  if (!ws.w.study.loaded()) return;
  FORMATE_SEGMENT_DISPLAY(m, ws.w.study.NCZ, ws.log);
  ws.w.study.seg_affmin = std::clamp(firstSliceAround(m, ws.w.study, middle), 0, mosaicScrollMax(ws));
  ws.platform.pictureChanged(View::Segmentation);
}

void scrollMosaic(Workstation& ws, int seg_affmin) {
  const EventScope scope(ws);
  seg_affmin = std::clamp(seg_affmin, 0, mosaicScrollMax(ws));
  if (seg_affmin == ws.w.study.seg_affmin) return;
  ws.w.study.seg_affmin = seg_affmin;
  ws.platform.pictureChanged(View::Segmentation);
}

void chooseReorientationStep(Workstation& ws, int step) {
  const EventScope scope(ws);
  if (stage(ws) != kStageReorientation || !selectStep(flow(ws), step)) return;
  hideHelp(ws);
  clearStatus(ws);
  ws.platform.pictureChanged(View::Reorientation);
}

void setLanguage(Workstation& ws, int LANGUE) {
  const EventScope scope(ws);
  if (LANGUE != kFrench && LANGUE != kEnglish) return;
  ws.w.options.LANGUE = LANGUE;
  ws.showTitle(ws.shell.titleName);
  if (!flow(ws).IDB_loaded) return;
  ws.platform.textChanged(TextSlot::SliceCounter, format(study_texts::kSliceCounter.pick(LANGUE), ws.w.study.NCZ));
  DISPLAY_PAT_INFO(ws.w.study, ws.platform, LANGUE);
  if (flow(ws).vidange_done || reprojection(ws)) std::ignore = bringCurrent(ws, Derived::ResultTexts);
  if (ws.shell.Whelp_on) ws.platform.textChanged(TextSlot::Help, currentHelp(ws));
  stagePictureChanged(ws, stage(ws));
}

// ---- what the front end shows -------------------------------------------------------------------

bool commandBuilt(int code) {
  switch (code) {
    case kCmdOpenAcquisition:
    case kCmdReorientation:
    case kCmdSegmentation:
    case kCmdResults:
    case kCmdUpdateSegmentation:
    case kCmdPreview:
    case kCmd3D:
    case kCmdUpdateSegmental:
    case kCmdAutoPlacement:
    case kCmdAbout:
    case kCmdUserGuide:
    case kCmdOpenExam:
    case kCmdSaveExam:
    case kCmdSaveExamAs:
    case kCmdOptions:
    case kCmdComments:
    case kCmdExportTable:
    case kCmdExportTable17:
    case kCmdSaveTemplate:
    case kCmdOpenTemplate:
    case kCmdExportResults:
    case kCmdReformatFolder:
    case kCmdReformatFolderFdg: return true;
    case kCmdFrench:
    case kCmdEnglish:
    case kCmdReprojectionMode:
    case kCmdPlacementOnOpen:
    case kCmdUncertainty:
    case kCmdStopUncertainty:
    case kCmdCompareExams:
    case kCmdQuit: return true;
    default: return false;
  }
}

std::vector<ToolButton> toolBar(const Workstation& ws) {
  const WorkflowState& f = flow(ws);
  const bool reproj = reprojection(ws);
  return {
      {kCmdReorientation, {"Ré-orientation", "Re-orientation"}, f.IDB_loaded != 0},
      {kCmdSegmentation, {"Segmentation", "Segmentation"}, f.stade_axis == 3 && !reproj && f.IDB_loaded != 0},
      {kCmdResults, {"Résultats", "Results"}, f.segment_done != 0},
      {kCmdPreview, {"Pré-visualisation", "Pre-visualisation"}, f.segment_done != 0 && !reproj},
      {kCmd3D, {"Visualisation 3D", "3D-visualisation"}, f.Previsu_OK != 0},
      {kCmdOpenAcquisition, {"Ouvrir Acquisition", "Open Acquisition"}, true},
      {kCmdOpenExam, {"Ouvrir Examen", "Open Exam"}, commandBuilt(kCmdOpenExam)},
      {kCmdSaveExam, {"Enregistrer Examen", "Save Exam"}, commandBuilt(kCmdSaveExam) && f.segment_done != 0},
  };
}

std::vector<Menu> menuBar(const Workstation& ws) {
  const std::vector<ToolButton> bar = toolBar(ws);
  auto enabled = [&](int code) {
    for (const ToolButton& b : bar)
      if (b.code == code) return b.enabled;
    return commandBuilt(code);
  };
  auto item = [&](int code, Text label) { return MenuItem{code, label, enabled(code)}; };
  // The keys globalKey runs them with, shown beside their names.
  auto keyed = [&](int code, Text label, const char* keys) { return MenuItem{code, label, enabled(code), false, false, keys}; };
  const MenuItem placement{kCmdAutoPlacement, texts::kAutoPlacement,
                           stage(ws) == kStageReorientation && ws.placementProposable()};
  return {
      {texts::kMenuFile,
       {keyed(kCmdOpenAcquisition, {"Ouvrir Acquisition", "Open Acquisition"}, kKeysOpenAcquisition),
        item(kCmdReformatFolderFdg, {"Ouvrir Répertoire Dicom (FDG)", ""}),
        keyed(kCmdOpenExam, {"Ouvrir Examen", "Open Exam"}, kKeysOpenExam),
        item(kCmdOpenTemplate, {"Ouvrir Modèle de Traitement", "Open Processing Template"}),
        item(kCmdSaveExam, {"Enregistrer Examen", "Save Exam"}),
        item(kCmdSaveExamAs, {"Enregistrer Examen sous", "Save Exam as"}),
        keyed(kCmdExportResults, {"Exporter compte-rendu", "Export results"}, kKeysExportResults),
        keyed(kCmdExportTable, {"Exporter tableau Excel", "Export Excel table"}, kKeysExportTable),
        item(kCmdExportTable17, {"Exporter tableau Excel (17 sect.)", "Export Excel table (17 sect.)"}),
        item(kCmdExportReprojection, {"Exporter reprojection FDG", ""}),
        MenuItem{kCmdCompareExams, texts::kCompareExamsCommand,
                 stage(ws) == kStageResults && !reprojection(ws) && flow(ws).vidange_done},
        item(kCmdComments, {"Commentaires", "Comments"}), keyed(kCmdQuit, {"Quitter", "Quit"}, kKeysQuit)}},
      {texts::kMenuDisplay,
       {item(kCmdReorientation, {"Ré-orientation", "Re-orientation"}),
        item(kCmdSegmentation, {"Segmentation", "Segmentation"}), item(kCmdResults, {"Résultats", "Results"}),
        item(kCmdPreview, {"Pré-visualisation", "Pre-visualisation"}),
        item(kCmd3D, {"Visualisation 3D", "3D-visualisation"})}},
      {texts::kMenuUpdate,
       {placement, item(kCmdUpdateSegmentation, {"Segmentation ventriculaire", "Ventricular segmentation"}),
        item(kCmdUpdateSegmental, {"Analyse segmentaire", "Segmental analysis"}),
        MenuItem{kCmdUncertainty, texts::kUncertaintyCommand,
                 stage(ws) == kStageResults && !reprojection(ws) && flow(ws).vidange_done},
        MenuItem{kCmdStopUncertainty, texts::kStopUncertaintyCommand, ws.uncertaintyJob.running()}}},
      {texts::kMenuOptions,
       {keyed(kCmdOptions, {"Options", "Options"}, kKeysOptions),
        MenuItem{kCmdFrench, {"Français", "Français"}, language(ws) != kFrench},
        MenuItem{kCmdEnglish, {"English", "English"}, language(ws) != kEnglish},
        MenuItem{kCmdReprojectionMode, texts::kReprojectionMode, true, true, reprojection(ws)},
        MenuItem{kCmdPlacementOnOpen, texts::kPlacementOnOpen, true, true, ws.w.options.proposePlacementOnOpen != 0}}},
      {texts::kMenuHelp,
       {item(kCmdAbout, {"A propos", "About"}), item(kCmdUserGuide, {"Manuel d'utilisation", "User's guide (french only)"})}},
  };
}

bool commandEnabled(const Workstation& ws, int code) {
  for (const ToolButton& b : toolBar(ws))
    if (b.code == code) return b.enabled;
  for (const Menu& menu : menuBar(ws))
    for (const MenuItem& item : menu.items)
      if (item.code == code) return item.enabled;
  return true;
}

std::vector<StepButton> reorientationSteps(const Workstation& ws) {
  const WorkflowState& f = flow(ws);
  const bool shown = stage(ws) == kStageReorientation;
  // The next step: the last one reached while another is shown (Enter validates a step and stays on it).
  auto step = [&](int n, Text label) {
    return StepButton{label, shown && n < f.stade_axis, shown && n == f.fich_axis,
                      shown && n == f.stade_axis - 1 && n != f.fich_axis && n > 0};
  };
  return {step(0, texts::kStepHorizontal), step(1, texts::kStepVertical), step(2, texts::kStepShort)};
}

std::string currentHelp(const Workstation& ws) {
  return helpText(stage(ws), flow(ws).fich_axis, language(ws));
}

}  // namespace quorvel
