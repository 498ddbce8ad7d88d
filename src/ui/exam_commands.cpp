// The workstation's exam, template and options operations.
#include <memory>
#include <new>
#include <optional>

#include "base/messages.h"
#include "exam/exam_texts.h"
#include "exam/options_file.h"
#include "export/spreadsheet.h"
#include "model3d/bullseye.h"
#include "model3d/regional.h"
#include "segmentation/undo.h"
#include "study/study_model.h"
#include "study/study_texts.h"
#include "study/timing.h"
#include "ui/derived_texts.h"
#include "ui/shell_texts.h"
#include "ui/workstation.h"

namespace quorvel {

namespace {

constexpr int kFitSettingsUnknown = -1;  // not in the file: the session's settings stay

std::vector<FileFilter> examFilters(int L) { return {{exam_texts::kFilter.pick(L), exam_texts::kPattern}}; }

// Whether a validated step or a segmentation has changed the counts since they were read.
bool reoriented(const StudyWorkspace& w) {
  const WorkflowState& f = w.settings.flow;
  return f.stade_axis > 1 || f.segment_done || w.settings.reorient.records.N_list > 0;
}

}  // namespace

Status reloadAcquisition(const StudyWorkspace& w, StudyWorkspace& next, TraceLog& log) {
  next.options = w.options;
  static_cast<StudyRecord&>(next.study) = w.study;
  Notices ignored;  // shown when the file was opened
  if (Status read = readAcquisition(w.study.chemin_data, w.study.IM_FORMAT, next, log, ignored); !read) return read;
  Study& s = next.study;
  if (!s.HEART_RATE && s.Ninst == w.study.Ninst) {
    s.CARD_FREQ = w.study.CARD_FREQ, s.CARD_FREQ_INT = w.study.CARD_FREQ_INT, s.CYCLE = w.study.CYCLE;
    s.FREQ_ASKING = w.study.FREQ_ASKING;  // a prompt still open asks for this study
  }
  WorkflowState& f = next.settings.flow;
  f.comment = w.settings.flow.comment, f.comment2 = w.settings.flow.comment2;
  f.chemin_save = w.settings.flow.chemin_save, f.SAVE_PATH = w.settings.flow.SAVE_PATH;
  return Status::accepted();
}

namespace {

// Exams keep a segmentation: in reprojection mode they are refused, said with why.
Status refusedInReprojection(Workstation& ws, const Text& why) {
  if (!ws.w.options.REPROJ) return Status::accepted();
  const Refusal r = Refusal::of(RefusalCode::ReprojectionMode, why);
  ws.show(r);
  return r;
}

}  // namespace

Status Workstation::saveExam(const std::filesystem::path& chosen) {
  WorkflowState& flow = w.settings.flow;
  if (!flow.segment_done) {
    const Refusal r = Refusal::of(RefusalCode::NothingToSave, exam_texts::kNothingToSave);
    show(r);
    return r;
  }
  // Its curve comes from a projection the file has no place for: reopened, nothing would match.
  if (Status r = refusedInReprojection(*this, derived_texts::kExamNeedsSegmentation); !r) return r;
  // The file holds labels with the counts they were made on, and only results computed from them.
  if (!segmentationCurrent(*this)) {
    const Refusal r = segmentationOutOfDate();
    show(r);
    return r;
  }
  if (flow.vidange_done) std::ignore = bringCurrent(*this, Derived::Curves);
  PerStudySettings settings = w.settings;
  WorkflowState& stored = settings.flow;
  stored.Previsu_OK = flow.Previsu_OK && resultCurrent(*this, Derived::Preview);
  stored.build_visu = stored.Previsu_OK && flow.build_visu && resultCurrent(*this, Derived::Model) &&
                      bringCurrent(*this, Derived::Sectors).ok();
  if (flow.build_visu && !stored.build_visu)
    platform.information(derived_texts::kModelNotSaved.pick(w.options.LANGUE));
  int stage = shell._MENU_ == 5 ? shell.OPT_menu : shell._MENU_;
  if (stage == 4 && !stored.build_visu) stage = 22;
  if (stage == 22 && !stored.Previsu_OK) stage = 2;
  if (stage == 3 && !stored.vidange_done) stage = 2;

  const std::filesystem::path path = withExamExtension(chosen);
  // The preview arrays hold the sampling they were built with, which sizes them in the file.
  Options options = w.options;
  if (stored.Previsu_OK && model.mesh.mesh_samP_built) options.mesh_samP = model.mesh.mesh_samP_built;
  display.NcellH = mosaic.NcellH, display.NcellV = mosaic.NcellV;
  display.htayaff = mosaic.htayaff, display.vtayaff = mosaic.vtayaff;
  const ExamSource src{stage, w.study, settings, options, seg, curves.vc, curves.settings, model3d, model, display};
  const Status saved = SAVE_EXM_DATA(src, path, log);
  if (!saved) {
    show(saved.refusal());
    return saved;
  }
  flow.chemin_save = path.string();
  flow.SAVE_PATH = 1;
  showTitle(path.filename().string());
  platform.textChanged(TextSlot::Status, format(exam_texts::kSaved.pick(w.options.LANGUE), path.string().c_str()));
  return saved;
}

Status Workstation::saveExamCommand(bool saveAs) {
  const WorkflowState& flow = w.settings.flow;
  if (!flow.segment_done) return saveExam({});  // refused with its message
  if (!saveAs && flow.SAVE_PATH && !flow.chemin_save.empty()) return saveExam(flow.chemin_save);
  const int L = w.options.LANGUE;
  const auto choice = platform.chooseSaveFile(exam_texts::kSaveTitle.pick(L), examFilters(L), 1);
  if (!choice) return Refusal::of(RefusalCode::Cancelled, exam_texts::kCancelled);
  return saveExam(choice->path);
}

Status Workstation::openExam(const std::filesystem::path& path) {
  platform.stopTimer(TimerId::Cine);
  platform.stopTimer(TimerId::Depolarisation);
  if (Status r = refusedInReprojection(*this, derived_texts::kExamOutsideReprojection); !r) return r;
  const Refusal invalid = Refusal::of(RefusalCode::NotAnExam, exam_texts::kInvalid);
  if (!hasExamSignature(path)) {
    show(invalid);
    return invalid;
  }
  // The file is read into a scratch state, so that a refused file changes nothing.
  std::unique_ptr<ExamContent> c;
  Status read;
  std::optional<ProgressScope> wait;
  wait.emplace(platform, exam_texts::kOpening.pick(w.options.LANGUE), ProgressScope::Wait);
  try {
    c = std::make_unique<ExamContent>();
    c->options = w.options;
    INIT_ACQ_PARAM(c->study, c->settings, w.options);
    resetModel3DSettings(c->model3d, w.options);
    c->display = ExamDisplay::forNewStudy(w.options);
    c->fitSettings = curves.settings;
    c->fitSettings.TACFIT_ITER = c->fitSettings.TACFIT_ITmax = kFitSettingsUnknown;
    read = LOAD_EXM_DATA(path, *c, log);
  } catch (const std::bad_alloc&) {
    MOMS(platform, w.options.LANGUE, " DD2 ");
  }
  if (!read) {
    wait.reset();
    show(read.refusal());
    return read;
  }
  wait->advance(0.5);

  if (w.study.FREQ_ASKING) platform.closeHeartRatePrompt();  // it asked for the study replaced now
  w.study = std::move(c->study);
  w.settings = std::move(c->settings);
  w.options = c->options;
  seg = std::move(c->seg);
  curves.vc = c->vc;
  curves.settings.CMH_DEG = c->fitSettings.CMH_DEG;
  // The iteration counts the stored results were computed with (older files do not hold them).
  if (c->fitSettings.TACFIT_ITER != kFitSettingsUnknown) curves.settings.TACFIT_ITER = c->fitSettings.TACFIT_ITER;
  if (c->fitSettings.TACFIT_ITmax != kFitSettingsUnknown) curves.settings.TACFIT_ITmax = c->fitSettings.TACFIT_ITmax;
  model3d = std::move(c->model3d);
  model = std::move(c->model);
  display = std::move(c->display);
  shell._MENU_ = c->_MENU_;
  shell.mouseView.reset();
  input = InputState{};
  w.study.FREQ_ASKING = 0;

  // The working state around what the file holds.
  Study& s = w.study;
  WorkflowState& flow = w.settings.flow;
  flow.IDB_loaded = flow.segment_done = 1;
  flow.SAVE_PATH = 1;
  flow.chemin_save = path.string();
  flow.stade_axis = 3;
  flow.segment_updt1 = flow.segment_updt2 = 0;
  s.chemin_short = path.filename().string();
  fitMosaicToScreen(mosaic, platform.screenSize());
  FORMATE_SEGMENT_DISPLAY(mosaic, s.NCZ, log);
  while (s.seg_affmin > 0 && s.seg_affmin > s.NCZ - mosaic.seg_Xmax * mosaic.seg_Ymax) --s.seg_affmin;
  SegmentationContext sc = segmentation();
  rebuildRegionStatistics(sc);
  EVAL_VLA_PROJ(s, w.projection, projectionSettingsOf(s, w.options));
  s.coupe = s.NCZ / 2;
  w.settings.reorient.coupesag = w.settings.reorient.coupevla = 31;
  // What the file holds was computed from what it holds: its results are current.
  dropDerivedResults();
  segmental = SegmentalAnalysis{};
  if (flow.vidange_done) resultMade(*this, Derived::Curves);
  if (flow.Previsu_OK) rebuildPreviewMesh();
  if (flow.Previsu_OK && flow.build_visu) {
    UPDATE_MESH_MEANSTD(model.maps, &log);
    EVAL_MESH_PALETTES(model.maps, s, model3d.ranges);
    DEFINE_BULLSEYE_BORD(model.eye, w.options.SECT_25, 1, model3d.model3d.mesh_sect_grad);
    analyseSegmentsNow();
    resultMade(*this, Derived::Model);
    resultMade(*this, Derived::Sectors);
  }
  emptyUndo(flow);
  showTitle(s.chemin_short);
  platform.textChanged(TextSlot::SliceCounter, format(study_texts::kSliceCounter.pick(w.options.LANGUE), s.NCZ));
  DISPLAY_PAT_INFO(s, platform, w.options.LANGUE);
  platform.suggestedFileStem = fileStemOf(s);
  return read;
}

Status Workstation::openExamCommand() {
  const int L = w.options.LANGUE;
  if (Status r = refusedInReprojection(*this, derived_texts::kExamOutsideReprojection); !r) return r;
  if (w.settings.flow.IDB_loaded && platform.question(exam_texts::kOpenNew.pick(L)) != QuestionAnswer::Ok)
    return Refusal::of(RefusalCode::Cancelled, exam_texts::kCancelled);
  const auto choice = platform.chooseOpenFile(exam_texts::kOpenTitle.pick(L), examFilters(L), 1);
  if (!choice) return Refusal::of(RefusalCode::Cancelled, exam_texts::kCancelled);
  return openExam(choice->path);
}

Status Workstation::applyTemplate(const std::filesystem::path& path) {
  Status status;
  try {
    auto t = std::make_unique<TemplateRecord>();
    status = readTemplate(path, *t);
    // Replayed on the counts as loaded, never over a re-orientation already applied; the reloaded
    // study replaces the open one only once the template took.
    const bool reload = status && reoriented(w);
    auto scratch = std::make_unique<StudyWorkspace>();
    Segmentation scratchSeg;
    if (reload) status = reloadAcquisition(w, *scratch, log);
    if (status) {
      SegmentationContext c{reload ? *scratch : w, reload ? scratchSeg : seg, platform, log, folder};
      status = LOAD_TTTPARAM(c, *t);
    }
    if (status && reload) {
      w = std::move(*scratch);
      seg = std::move(scratchSeg);
    }
  } catch (const std::bad_alloc&) {
    MOMS(platform, w.options.LANGUE, " DD2 ");
  }
  if (!status) show(status.refusal());
  return status;
}

Status Workstation::switchReprojectionMode() {
  const int L = w.options.LANGUE;
  const bool loaded = w.settings.flow.IDB_loaded != 0;
  if (loaded && reoriented(w) && platform.question(shell_texts::kModeLosesWork.pick(L)) != QuestionAnswer::Ok)
    return Refusal::of(RefusalCode::Cancelled, exam_texts::kCancelled);
  const int mode = w.options.REPROJ ? 0 : 1;
  if (loaded) {
    // Read in the new mode (it decides how the counts are prepared); the open study stays until then.
    Status read;
    auto next = std::make_unique<StudyWorkspace>();
    w.options.REPROJ = mode;
    try {
      read = reloadAcquisition(w, *next, log);
    } catch (const std::bad_alloc&) {
      MOMS(platform, L, " DD1 ");
    }
    if (!read) {
      w.options.REPROJ = 1 - mode;
      show(read.refusal());
      return read;
    }
    input = InputState{};
    w = std::move(*next);
    reprojection = Reprojection{};
    startNewStudy();
  } else {
    w.options.REPROJ = mode;
    showTitle(shell.titleName);
  }
  saveOptions();  // the next start is in the mode chosen
  return Status::accepted();
}

Status Workstation::applyTemplateCommand() {
  const int L = w.options.LANGUE;
  const auto choice = platform.chooseOpenFile(exam_texts::kOpenTitle.pick(L), examFilters(L), 1);
  if (!choice) return Refusal::of(RefusalCode::Cancelled, exam_texts::kCancelled);
  if (platform.question(std::string(exam_texts::kProcessAccording.pick(L)) + choice->path) != QuestionAnswer::Ok)
    return Refusal::of(RefusalCode::Cancelled, exam_texts::kCancelled);
  return applyTemplate(choice->path);
}

int Workstation::loadOptions() {
  if (LOAD_OPTIONS(folder, w.options)) return 1;
  saveOptions();
  return 0;
}

void Workstation::saveOptions() {
  Options& o = w.options;
  deriveOptionCopies(o);
  View3DSettings& v = model3d.view3d;
  v.visu_type = {o.DEFAULT_visu_type[0], o.DEFAULT_visu_type[1]};
  v.visu_coord = o.DEFAULT_visu_coord;
  v.visu_coordz = o.DEFAULT_visu_coordz;
  v.visu_coordv = o.DEFAULT_visu_coordv;
  SAVE_OPTIONS_FILE(folder, o);  // a file that cannot be written leaves the options in memory
  w.study.Defaut_format = o.DEFAULT_format;
}

}  // namespace quorvel
