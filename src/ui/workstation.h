#pragma once
// One session of the workstation: every piece of state the stages work on, owned in one place,
// and the operations the stages call. The desktop, the command line, the tests and the
// benchmarks each construct one; nothing else assembles this bundle.
#include <filesystem>
#include <optional>
#include <string>

#include "base/platform.h"
#include "base/trace_log.h"
#include "exam/exam_file.h"
#include "exam/template_file.h"
#include "curves/method_comparison.h"
#include "model3d/model3d_commands.h"
#include "model3d/model3d_settings.h"
#include "model3d/model3d_state.h"
#include "model3d/regional.h"
#include "model3d/segmental.h"
#include "render/pictures.h"
#include "render/segmentation_layout.h"
#include "base/refusal.h"
#include "segmentation/corrections.h"
#include "segmentation/reorient.h"
#include "segmentation/reprojection.h"
#include "segmentation/segment_commands.h"
#include "segmentation/volume_curves.h"
#include "study/loading.h"
#include "ui/background_uncertainty.h"
#include "ui/derived_results.h"
#include "ui/volume_calibration.h"

namespace quorvel {

// Keys and buttons held, and the drag under way: the user interface's own state. The key flags
// are reset with every study.
struct InputState {
  int CONTROL_KDOWN = 0, SHIFT_KDOWN = 0, SPACE_KDOWN = 0, V_KDOWN = 0, W_KDOWN = 0, F_KDOWN = 0, B_KDOWN = 0,
      X_KDOWN = 0, S_KDOWN = 0;
  int cHeld = 0, lHeld = 0, qHeld = 0;  // preview: contrast, luminosity, smoothing letter held
  int butt_down = 0;      // class the mouse or key action under way applies (0 none)
  int butt_down_tmp = 0;  // butt_down saved while a marking key is held
  int visu_contupdt = 0;  // slice-only modifier held: assignments change the pointed slice only
  SliceDragLabels sliceDrag;  // labels issued by the slice-only drag under way
  // Where a drag of the re-orientation square began, in view pixels.
  int dragStartX = 0, dragStartY = 0;
};

// The shell's own state: the stage, the panel shown, the animation steps, the last pointer position
// on the current view (the brush ring follows it), whether the user asked to quit.
struct ShellState {
  int _MENU_ = 0;
  int OPT_menu = 0;
  int Whelp_on = 0;
  int inst_depol = 0, inst_depol_min = 0;
  int mouse_i = -1, mouse_j = -1;
  // The view the pointer position was read on; none once the stage changed or the pointer left.
  // Keys that act under the pointer act only when it is on their view.
  std::optional<View> mouseView;
  int eventDepth = 0;  // events under way (one event may run others: a key runs a command)
  bool leftDown = false, rightDown = false;  // buttons held on the re-orientation picture
  bool turning = false, zooming = false;     // drag armed on a 3D view
  // A press on the 3D results: where, and whether the pointer went on to turn the view (a click
  // picks a point, a drag only turns).
  int pressX = 0, pressY = 0;
  bool dragged = false;
  int panelBound = -1;                       // the result-panel bound a held button sets (PanelBound)
  std::array<MeshCurve, 2> pickedCurves{};   // the picked points' curves: [0] left, [1] right ventricle
  bool exitRequested = false;
  // The settings held when the options panel opened, to see what its validation changed.
  int SECT_25tmp = 0, samatmp = 0, samrtmp = 0, samptmp = 0;
  std::filesystem::path userGuide;  // the HTML guide the user's-guide command opens
  std::string titleName;            // the file named in the window title
};

// The acquisition of w read again from its file into next, as the open command leaves it, keeping
// what the user gave this study: the heart rate asked for, the comments, the exam it is saved in.
Status reloadAcquisition(const StudyWorkspace& w, StudyWorkspace& next, TraceLog& log);

class Workstation {
 public:
  // Creates the application folder (and its temp/) when missing; the developer trace log is on
  // when the folder holds work_version.txt.
  Workstation(Platform& platform, std::filesystem::path folder);
  Workstation(const Workstation&) = delete;
  Workstation& operator=(const Workstation&) = delete;

  Platform& platform;
  const std::filesystem::path folder;
  TraceLog log;

  StudyWorkspace w;  // the study, its per-study settings, the options, the view data
  SegmentationLayout mosaic;
  Pictures pictures;  // the pictures of the stages and their colour tables
  Segmentation seg;
  CurveState curves;
  MethodComparison comparison;
  Model3DStudySettings model3d;
  Model3D model;
  SegmentalAnalysis segmental;  // made with the sectors, from the same inputs as the model
  Reprojection reprojection;
  InputState input;
  ShellState shell;
  ExamDisplay display;  // display settings an exam carries for views that keep them
  ResultLedger ledger;  // what each derived result was computed from
  std::optional<UncertaintyReport> uncertainty;  // the results' 95 % intervals (Derived::Uncertainty)
  std::optional<SerialSummary> serial;           // against the previous exam (Derived::Serial)
  // The site's volume calibration from the application folder: calibrated volumes beside the results.
  std::optional<VolumeCalibration> calibration;

  bool developer() const { return log.enabled(); }
  SegmentationContext segmentation() { return SegmentationContext{w, seg, platform, log, folder}; }

  // ---- operations of the stages --------------------------------------------------------------

  // Opens an acquisition (filter 1 or 4 DICOM, 2 IDB, 3 Interfile): on success every per-study
  // setting is reset, the study replaced and the heart rate asked when the file had none; on
  // refusal nothing changes. Notices and the refusal are shown.
  Status openAcquisition(const std::filesystem::path& path, int filter);
  // The same through the open-file dialog; false when the user cancelled.
  Status openAcquisitionCommand();
  // What every newly read study starts with: no derived result, the views reset, its texts shown.
  void startNewStudy();
  // Reprojection mode on or off (the options file keeps it). A study open is read again from its
  // file, keeping its heart rate and comments: what was done on it was done in the other mode, so
  // the user confirms first when anything was. A refusal or a cancel changes nothing.
  Status switchReprojectionMode();
  // The window title: the file named, marked when the reprojection mode is on.
  void showTitle(std::string name);
  // Shows a refusal to the user, in the language of the options.
  void show(const Refusal& r) { platform.warning(r.text(w.options.LANGUE)); }

  // Whether the automatic placement may be proposed: a study is open in the re-orientation, none of
  // whose steps has been validated (the proposal reads the study as loaded).
  bool placementProposable() const;
  // Proposes the placement of the study as loaded and puts it into the settings of the three
  // steps (square, rotation, septum line, valve line and tilt) for the user to check and
  // validate, as if placed by hand; the status line says how clearly the study showed it and what
  // to check. A refusal changes nothing: shown in a box when asked for, in the status line when
  // proposed as the study opened.
  Status proposePlacementCommand(bool asOpened = false);
  // Validates the current re-orientation step (segments on the last one); a refusal is shown.
  ReorientOutcome validateStep();
  // Measures and fits both volume curves (VIDANGE), or in reprojection mode the reprojected one; a
  // failed fit is shown and returned.
  Status computeCurves();
  // Reprojection mode, once step 2 is validated: the projection made again from the current counts
  // and valve plane, the left ventricle grown from the seed on it and its curve fitted (the right
  // ventricle's is zero). Refusals are shown.
  Status computeReprojectedCurves();
  // The inputs every 3D routine reads.
  // The regional analysis in the end-diastolic frame, from the model's skeleton as it is now.
  void analyseSegmentsNow() { segmental = analyseSegments(modelInputs(), model, curves.vc.volume_voxels); }
  ModelInputs modelInputs() const {
    return ModelInputs{w.study, seg, w.settings.limits, w.settings.reorient, w.options};
  }
  // The preview of every instant (skeletons, valve planes, preview mesh).
  void buildPreview();
  // The preview's skeletons and mesh again after a change of its sampling, keeping its valve
  // planes and apices.
  void rebuildPreviewMesh();
  // The full model under its wait window: mesh, regional fits with the method of the study,
  // triangulation, bull's-eye. False when the user cancelled (the model is then dropped).
  bool computeModel3D();
  // Both, as the command line builds the model.
  bool buildModel3D() {
    buildPreview();
    return computeModel3D();
  }
  // The presence check of both ventricles at every instant; each missing one is shown. 1 or 0.
  int checkVentricles();
  // Asks "Update segmentation ?" and on OK floods the study again; refusals are shown.
  bool resegmentCommand();
  // The method comparison of the developer tools; the report, empty when cancelled.
  std::string compareMethods(int runs = kComparisonRuns);

  // ---- exams, templates, options -------------------------------------------------------------

  // Saves the exam at path (".qvx" appended when missing). Refused without a segmentation
  // (NothingToSave) or when the file cannot be written (ExamNotWritten: the previous file at path
  // is intact). The refusal is shown; on success path becomes the exam's path.
  Status saveExam(const std::filesystem::path& path);
  // "Save" (asks for a path only when none is known) and "save as" (always asks).
  Status saveExamCommand(bool saveAs);
  // Opens the exam at path: the whole working state replaced by the file's and the derived tables
  // rebuilt (region statistics, grid, projection, preview, map statistics, undo emptied), the
  // stage the exam was saved in restored into shell._MENU_. A refused file is shown and changes
  // nothing.
  Status openExam(const std::filesystem::path& path);
  // Confirmation when a study is loaded, the open dialog, then openExam.
  Status openExamCommand();
  // Applies the template at path to the open study (see LOAD_TTTPARAM); a study already
  // re-oriented is read again from its file first, so that the template's steps start from the
  // counts as loaded. Refusals are shown.
  Status applyTemplate(const std::filesystem::path& path);
  // The dialog and the confirmation, then applyTemplate.
  Status applyTemplateCommand();
  // ---- spreadsheet exports --------------------------------------------------------------------

  // The results table through the save dialog; the 17-sector table after the patient form, then
  // the save dialog. Cancelled when the user cancelled; other refusals are shown.
  Status exportTableCommand();
  Status exportSectorTableCommand();

  // The options file of the application folder: read (1) or missing (0, then written with the
  // current options).
  int loadOptions();
  // SAVE_OPTIONS: the working copies and the 3D view settings from the options, the file written.
  void saveOptions();

  // ---- the uncertainty of the results, measured in the background ------------------------------

  // Starts measuring it on a copy of the current results' inputs (refused without current curves
  // or in reprojection mode); the Background timer polls it.
  Status startUncertainty(int halvings = kDefaultHalvings);
  // The poll: progress shown in the results panels; once finished, the intervals kept when the
  // results are still those measured, otherwise dropped with the status line saying so.
  void pollUncertainty();
  void stopUncertainty();

  // Every derived result dropped, the intervals and comparison with them (a new study or exam).
  void dropDerivedResults();

  // Last: stopped and joined before anything it copied from goes.
  BackgroundUncertainty uncertaintyJob;
};

}  // namespace quorvel
