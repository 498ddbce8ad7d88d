// The workstation's exam, template and options operations.
#include <memory>
#include <new>

#include "base/messages.h"
#include "exam/exam_texts.h"
#include "exam/options_file.h"
#include "model3d/bullseye.h"
#include "model3d/regional.h"
#include "segmentation/undo.h"
#include "study/study_model.h"
#include "study/study_texts.h"
#include "study/timing.h"
#include "ui/workstation.h"

namespace quorvel {

namespace {

std::vector<FileFilter> examFilters(int L) { return {{exam_texts::kFilter.pick(L), exam_texts::kPattern}}; }

}  // namespace

Status Workstation::saveExam(const std::filesystem::path& chosen) {
  WorkflowState& flow = w.settings.flow;
  if (!flow.segment_done) {
    const Refusal r = Refusal::of(RefusalCode::NothingToSave, exam_texts::kNothingToSave);
    show(r);
    return r;
  }
  const std::filesystem::path path = withExamExtension(chosen);
  // The preview arrays hold the sampling they were built with, which sizes them in the file.
  Options options = w.options;
  if (flow.Previsu_OK && model.mesh.mesh_samP_built) options.mesh_samP = model.mesh.mesh_samP_built;
  display.NcellH = mosaic.NcellH, display.NcellV = mosaic.NcellV;
  display.htayaff = mosaic.htayaff, display.vtayaff = mosaic.vtayaff;
  const int stage = shell._MENU_ == 5 ? shell.OPT_menu : shell._MENU_;
  const ExamSource src{stage, w.study, w.settings, options, seg, curves.vc, curves.settings, model3d, model, display};
  const Status saved = SAVE_EXM_DATA(src, path, log);
  if (!saved) {
    show(saved.refusal());
    return saved;
  }
  flow.chemin_save = path.string();
  flow.SAVE_PATH = 1;
  platform.textChanged(TextSlot::WindowTitle, path.filename().string());
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
  const Refusal invalid = Refusal::of(RefusalCode::NotAnExam, exam_texts::kInvalid);
  if (!hasExamSignature(path)) {
    show(invalid);
    return invalid;
  }
  // The file is read into a scratch state, so that a refused file changes nothing.
  std::unique_ptr<ExamContent> c;
  Status read;
  try {
    c = std::make_unique<ExamContent>();
    c->options = w.options;
    INIT_ACQ_PARAM(c->study, c->settings, w.options);
    resetModel3DSettings(c->model3d, w.options);
    c->display = ExamDisplay::forNewStudy(w.options);
    c->fitSettings = curves.settings;
    read = LOAD_EXM_DATA(path, *c, log);
  } catch (const std::bad_alloc&) {
    MOMS(platform, w.options.LANGUE, " DD2 ");
  }
  if (!read) {
    show(read.refusal());
    return read;
  }

  w.study = std::move(c->study);
  w.settings = std::move(c->settings);
  w.options = c->options;
  seg = std::move(c->seg);
  curves.vc = c->vc;
  curves.settings.CMH_DEG = c->fitSettings.CMH_DEG;
  model3d = std::move(c->model3d);
  model = std::move(c->model);
  display = std::move(c->display);
  shell._MENU_ = c->_MENU_;
  input = InputState{};

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
  if (flow.Previsu_OK) PREVISU_3D_REBUILD(modelInputs(), model3d.model3d, model);
  if (flow.build_visu) {
    UPDATE_MESH_MEANSTD(model.maps, &log);
    EVAL_MESH_PALETTES(model.maps, s, model3d.ranges);
    DEFINE_BULLSEYE_BORD(model.eye, w.options.SECT_25, 1, model3d.model3d.mesh_sect_grad);
  }
  emptyUndo(flow);
  platform.textChanged(TextSlot::WindowTitle, s.chemin_short);
  platform.textChanged(TextSlot::SliceCounter, format(study_texts::kSliceCounter.pick(w.options.LANGUE), s.NCZ));
  DISPLAY_PAT_INFO(s, platform, w.options.LANGUE);
  return read;
}

Status Workstation::openExamCommand() {
  const int L = w.options.LANGUE;
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
    if (status) {
      SegmentationContext c = segmentation();
      status = LOAD_TTTPARAM(c, *t);
    }
  } catch (const std::bad_alloc&) {
    MOMS(platform, w.options.LANGUE, " DD2 ");
  }
  if (!status) show(status.refusal());
  return status;
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
