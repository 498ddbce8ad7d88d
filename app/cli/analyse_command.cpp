// quorvel-cli analyse [FILE]: the main job. Loads an acquisition (the digital phantom when none is
// given), re-orients and segments it, checks both ventricles, fits their volume curves and prints
// the two result panels as the results stage shows them; --json writes them with the curves,
// --pictures the pictures of the stages as PNG files.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "base/byte_reader.h"
#include "commands.h"
#include "curves/method_commands.h"
#include "export/report.h"
#include "export/spreadsheet.h"
#include "pipeline.h"
#include "ui/results_json.h"
#include "ui/volume_calibration.h"
#include "render/curve_plot.h"
#include "render/map_panels.h"
#include "render/png_io.h"
#include "render/segmental_view.h"
#include "render/update_bmp.h"
#include "ui/model3d_input.h"
#include "ui/shell.h"
#include "ui/uncertainty.h"
#include "segmentation/corrections.h"
#include "segmentation/placement.h"
#include "segmentation/placement_texts.h"
#include "segmentation/plausibility.h"
#include "segmentation/volume_curves.h"
#include "model3d/model3d_commands.h"
#include "model3d/regional.h"
#ifdef QUORVEL_HAVE_PHANTOM
#include "phantom/phantom.h"
#include "phantom/writers.h"
#endif

namespace quorvel::cli {

namespace {

struct AnalyseArgs {
  PipelineArgs pipeline;
  bool checkOnly = false;
  int method = 1;
  int iterations = -1;  // methods 1 and 3; -1 keeps the default
  int harmonics = -1;   // method 2
  std::string json;
  std::string pictures;  // folder of the PNG pictures; empty: none
  std::string saveExam;      // the exam written after the analysis
  std::string templateExam;  // an exam whose re-orientation and segmentation are replayed
  bool reprojection = false;
  bool model3d = false;  // also the preview and the full 3D model
  int sectors = 17, axial = 48, angular = 48;
  std::string xls, xls17;  // spreadsheet tables to write
  std::vector<std::string> patient;  // key=value fields of the 17-sector table
  std::string report;                // the global report picture (.bmp, .jpg or .dcm)
  int reportCanvas = 1024;           // 1024 (1024 x 1024) or 1536 (1536 x 1092)
  std::vector<int> uncertainty;      // given: the thinnings (none written: the default)
  bool uncertaintyAsked = false;
  std::string calibrationFile;                 // a volume calibration to show beside the volumes
  std::optional<VolumeCalibration> calibration;  // read from it when the options are checked
};

// The calibration file read and checked; empty when usable, else why not.
std::string readCalibration(AnalyseArgs& a) {
  if (a.calibrationFile.empty()) return {};
  std::string why;
  a.calibration = readCalibrationFile(a.calibrationFile, why);
  return a.calibration ? std::string() : "--calibration " + a.calibrationFile + ": " + why;
}

// Each ventricle's point at the middle of its drawn surface (both ventricles, end-diastole, the
// ejection-fraction map), picked as a click there would be, so that the result panels and the
// local report show a regional curve.
void pickSurfaceMiddles(Workstation& ws) {
  Model3DStudySettings s = ws.model3d;
  s.model3d.mesh_double = 1;
  s.model3d.mesh_visu = 0;
  s.model3d.visu_activ = 0;
  s.model3d.rendu3D = 0;
  drawResults3D(ws.pictures, ws.model, s, ws.w.options, 0);
  const Visu3DBuffers& b = ws.pictures.visu3D;
  for (int v = 0; v < 2; ++v) {
    long rows = 0, cols = 0, n = 0;
    for (int k = 0; k < kVisuSide * kVisuSide; ++k)
      if (b.VISUV[k] == kTagLeft + v) rows += k / kVisuSide, cols += k % kVisuSide, ++n;
    const auto hit = n ? pickTriangle(b, static_cast<int>(rows / n), static_cast<int>(cols / n)) : std::nullopt;
    ws.model.maps.MC_v[v] = hit && hit->ventricle == v + 1 ? v + 1 : 0;
    ws.model.maps.MC_ar[v] = hit ? hit->triangle : 0;
  }
  refreshPickedCurves(ws);
}

// FILE-local.ext beside FILE.ext.
std::filesystem::path localReportPath(const std::filesystem::path& global) {
  return global.parent_path() / (global.stem().string() + "-local" + global.extension().string());
}

// The report pictures asked for: the global one, and with the 3D model the local one.
int writeReports(const AnalyseArgs& a, Workstation& ws, const ResultUncertainties* uncertainty) {
  if (a.report.empty()) return 0;
  preparePictures(ws.pictures, ws.w.options, kDefaultColourSeed);
  const ReportInputs in{ws.w,     ws.seg,        ws.curves.vc, ws.curves.settings,
                        ws.model, ws.model3d,    ws.pictures,  a.model3d ? &ws.shell.pickedCurves : nullptr,
                        a.model3d ? &ws.segmental : nullptr, uncertainty};
  const int type = reportTypeOf(a.report), canvas = a.reportCanvas == 1024 ? 1 : 0;
  std::vector<std::pair<std::filesystem::path, ReportKind>> files{{a.report, ReportKind::Global}};
  if (a.model3d) files.emplace_back(localReportPath(a.report), ReportKind::Local);
  for (const auto& [path, kind] : files) {
    const auto start = std::chrono::steady_clock::now();
    const Status st = writeReport(path, type, composeReport(kind, in, canvas), ws.w.study, kind == ReportKind::Global ? 1 : 2);
    std::fprintf(stderr, "%-16s %7.1f ms\n", kind == ReportKind::Global ? "report" : "local report",
                 std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!st) {
      ws.show(st.refusal());
      return kExitRefused;
    }
  }
  return 0;
}

// The spreadsheet tables asked for; 0 or the exit status to give.
int writeTables(const AnalyseArgs& a, Workstation& ws, const ResultUncertainties* uncertainty) {
  const TableInputs in{ws.w.study, ws.curves.vc, ws.model.maps, ws.model.eye, &ws.segmental, uncertainty};
  PatientFields fields;
  for (const std::string& kv : a.patient) fields[patientFieldIndex(kv.substr(0, kv.find('=')))] = kv.substr(kv.find('=') + 1);
  const std::pair<const std::string*, std::string> tables[] = {
      {&a.xls, resultsTable(in)}, {&a.xls17, sectorTable(in, fields, INIT_EXCEL_ETIKETS())}};
  for (const auto& [path, bytes] : tables) {
    if (path->empty()) continue;
    if (const Status st = writeTable(tablePath(*path), bytes); !st) {
      ws.show(st.refusal());
      return kExitRefused;
    }
  }
  return 0;
}

// --patient values: key=value with a key of the 17-sector dialog.
std::string checkPatientFields(const std::vector<std::string>& fields) {
  for (const std::string& kv : fields)
    if (kv.find('=') == std::string::npos || patientFieldIndex(kv.substr(0, kv.find('='))) < 0) {
      std::string keys;
      for (const PatientField& f : kPatientFields) keys += std::string(keys.empty() ? "" : ", ") + f.key;
      return "--patient takes key=value with a key among: " + keys;
    }
  return {};
}

// Where the valve planes and apexes came from, the empty curves and refused fits: what the run
// found, which an exam does not keep.
nlohmann::json modelNotesJson(const StudyWorkspace& w, const Model3D& m) {
  nlohmann::json j;
  for (int v = 0; v < 2; ++v) {
    std::vector<std::string> source;
    for (int t = 0; t < w.study.Ninst; ++t)
      source.push_back(m.skel.valve_source[v + 1][t] == kValveLine ? "valve line" : "voxels");
    j["valve_source"].push_back(source);
    j["valve_voxels"].push_back(std::vector<int>(m.skel.valve_voxels[v + 1].begin(),
                                                 m.skel.valve_voxels[v + 1].begin() + w.study.Ninst));
    std::vector<std::string> apex;
    for (int t = 0; t < w.study.Ninst; ++t) {
      const int a = m.skel.apex_source[v + 1][t];
      apex.push_back(a == kApexFarthest ? "farthest voxels" : a == kApexKept ? "kept" : "beyond distance");
    }
    j["apex_source"].push_back(apex);
    j["regional_empty_curves"].push_back(m.maps.regional_empty_curves[v]);
    j["regional_failed_fits"].push_back(m.maps.regional_failed_fits[v]);
    j["regional_empty_warning"].push_back(tooManyEmptyCurves(m, v));
  }
  return j;
}

// The default phantom, written once into the application folder.
std::string bundledPhantom(const std::filesystem::path& folder) {
#ifdef QUORVEL_HAVE_PHANTOM
  const auto dir = folder / "temp" / "phantom";
  const auto file = dir / "phantom_el.dcm";
  if (!std::filesystem::exists(file)) {
    std::cerr << "Writing the digital phantom into " << dir.string() << "\n";
    std::filesystem::create_directories(dir);
    phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams()), dir, "phantom",
                               {phantom::OutputFormat::DicomExplicit});
  }
  return file.string();
#else
  (void)folder;
  return {};
#endif
}

nlohmann::json placementJson(const Session& s) {
  const Placement& p = s.placement;
  nlohmann::json j = {{"recad_x", p.recad_x},           {"recad_y", p.recad_y},
                      {"recad_t", p.recad_t},           {"rotation", p.rotation},
                      {"septum_plano", p.septum_plano}, {"valves_plano_", p.valves_plano_},
                      {"valves_angle", p.valves_angle}, {"source", s.placementSource}};
  if (p.infand_plane >= 0) j["infand_plane"] = p.infand_plane;
  if (s.proposal) {
    const PlacementProposal& q = *s.proposal;
    j["beat_to_noise"] = q.beatToNoise;
    j["septum_depth"] = q.septumDepth;
    j["confidence"] = placementConfidence(q);
    j["checks"] = nlohmann::json::array();
    for (PlacementWarning w : q.warnings) j["checks"].push_back(placementWarningText(w).en);
  }
  return j;
}

// The figures the quality checks after segmentation read.
nlohmann::json qualityJson(const Workstation& ws) {
  const QualityFigures q = qualityFigures(ws.w.study, ws.w.settings.limits, ws.seg, ws.curves.vc,
                                          ws.w.settings.reorient.septum_plano);
  return {{"against_share", {q.againstShare[0], q.againstShare[1]}},
          {"septum_flank", q.septumFlank}};
}

// Reprojection mode: the left ventricle only, with the mode's own re-orientation defaults.
int runReprojected(const AnalyseArgs& a, Workstation& ws) {
  try {
    if (const int status = loadReprojectAndFit(a.pipeline, ws, true)) return status;
  } catch (const FatalExit& e) {
    return e.code;
  }
  const int LANGUE = ws.w.options.LANGUE;
  std::cout << ventriclePanelTitle(1, LANGUE) << '\n' << ventricleResultsText(ws.curves.vc.G, LANGUE) << '\n';
  std::cout << tacfitMethodLabel(ws.w.settings.curves.TACFIT_switch, ws.curves.settings, LANGUE) << '\n';
  if (!a.json.empty()) {
    const std::string text = resultsJson(ws).dump(2) + "\n";
    if (!writeFileAtomically(a.json, std::string_view(text))) {
      std::cerr << "quorvel-cli: cannot write " << a.json << '\n';
      return kExitRefused;
    }
  }
  return 0;
}

// The pictures of the stages, each as the user sees it: the three re-orientation steps just
// before their validation, the end-diastole mosaic, the two volume curves and, with the 3D
// model, its preview, results view, bull's-eyes and segments.
class PictureFolder {
 public:
  PictureFolder(std::filesystem::path dir, Workstation& ws) : dir_(std::move(dir)), ws_(ws) {}

  bool open() {
    std::error_code ec;
    std::filesystem::create_directories(dir_, ec);
    if (!std::filesystem::is_directory(dir_)) return failed(dir_);
    preparePictures(ws_.pictures, ws_.w.options, kDefaultColourSeed);
    return true;
  }
  bool reorientation(int step) {
    redraw(1);
    return write("reorientation-" + std::to_string(step) + ".png", ws_.pictures.BMPfich);
  }
  // The end-diastole mosaic over the slices that hold a ventricle, one more on either side.
  bool segmentation() {
    const Study& s = ws_.w.study;
    int first = s.NCZ, last = -1;
    for (int z = 0; z < s.NCZ; ++z)
      for (int i = 0; i < kSliceVoxels; ++i) {
        const int cls = ws_.seg.CORR[ws_.seg.LPE[Segmentation::index(s.NCZ, 0, z, 0, 0) + i] % kLabelSlots];
        if (cls == kClassLeft || cls == kClassRight) {
          first = std::min(first, z);
          last = std::max(last, z);
        }
      }
    first = last < 0 ? 0 : std::max(first - 1, 0);
    last = last < 0 ? s.NCZ - 1 : std::min(last + 1, s.NCZ - 1);
    ws_.mosaic.seg_Xmax = ws_.mosaic.seg_Ymax = 12;  // room for every slice of a study
    FORMATE_SEGMENT_DISPLAY(ws_.mosaic, last - first + 1, ws_.log);
    ws_.w.study.seg_affmin = first;
    BUILD_BMP_SEG(0, ws_.w, ws_.seg, ws_.pictures, ws_.mosaic, ws_.log);
    return write("segmentation.png", ws_.mosaic.BMP);
  }
  bool curves() {
    redraw(3);
    return write("curves.png", curvesPicture(ws_.pictures, ws_.curves.vc, ws_.w.options.LANGUE));
  }
  // End-diastole: the preview of both ventricles, the results view of both with the
  // ejection-fraction map, and the bull's-eyes of that map.
  bool model3d() {
    Model3DStudySettings& s = ws_.model3d;
    s.view3d.visu_no = 2;  // both ventricles
    s.model3d.mesh_double = 1;
    s.model3d.mesh_visu = 0;
    s.model3d.visu_activ = 0;
    s.model3d.rendu3D = 0;
    const Options& opt = ws_.w.options;
    return write("preview.png", drawPreview3D(ws_.pictures, ws_.model, s, opt, ws_.w.study, 0, 0, false)) &&
           write("model3d.png", drawResults3D(ws_.pictures, ws_.model, s, opt, 0)) &&
           write("bullseye.png", drawBullseye(ws_.pictures, ws_.model, s, opt, ws_.w.study)) &&
           write("segmental.png", segmentalPicture(ws_.segmental, opt.LANGUE)) && panels();
  }
  // The result panels of that map with the curves picked at the middle of each drawn surface.
  bool panels() {
    const Options& opt = ws_.w.options;
    const MapPanelInputs in{ws_.model.maps, ws_.model3d.ranges, ws_.w.study, ws_.pictures.table3D,
                            ws_.pictures.PAL_map, 0, opt.pal3D, opt.LANGUE};
    return write("model3d-panels.png",
                 mapPanelsPicture(in, AFFICHAGE_RES_MESH(ws_.model, 0, ws_.w.study, opt.LANGUE), ws_.shell.pickedCurves));
  }

 private:
  void redraw(int stage) {
    UPDATE_BMP(stage, PictureSources{ws_.w, ws_.seg, ws_.curves.vc}, ws_.mosaic, ws_.pictures, ws_.log);
  }
  bool write(const std::string& name, const Bitmap24& picture) {
    return writePng(dir_ / name, picture) || failed(dir_ / name);
  }
  static bool failed(const std::filesystem::path& path) {
    std::cerr << "quorvel-cli: cannot write " << path.string() << '\n';
    return false;
  }

  std::filesystem::path dir_;
  Workstation& ws_;
};

// How much the ejection fractions move with the placement, timed.
PlacementSensitivity measureAndPrintSensitivity(const AnalysisRecipe& recipe, const Workstation& ws) {
  const auto start = std::chrono::steady_clock::now();
  const PlacementSensitivity s = measurePlacementSensitivity(recipe, resultVectorOf(ws.curves.vc), ws.folder);
  std::fprintf(stderr, "%-16s %7.1f ms (%d runs, %d failed)\n", "placement check",
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
               s.runs + s.failedRuns, s.failedRuns);
  return s;
}

// The uncertainty of the global results, timed, printed under the panels.
UncertaintyReport measureAndPrintUncertainty(const AnalysisRecipe& recipe, const Workstation& ws, int halvings) {
  const auto start = std::chrono::steady_clock::now();
  const UncertaintyReport r =
      measureUncertainty(recipe, resultVectorOf(ws.curves.vc), halvings, kUncertaintySeed, ws.folder);
  std::fprintf(stderr, "%-16s %7.1f ms (%d runs, %d failed)\n", "uncertainty",
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
               r.countingRuns + r.placementRuns + r.failedRuns, r.failedRuns);
  if (!r.valid) {
    std::cout << "Uncertainty: not measured (" << r.failedRuns << " analyses of the halves failed)\n";
    return r;
  }
  const NoiseModel& n = r.noise;
  std::printf("Noise: variance/mean %.2f, neighbours correlated %.2f %.2f %.2f (slices, rows, columns): %s\n",
              n.varianceToMean, n.neighbourCorrelation[0], n.neighbourCorrelation[1], n.neighbourCorrelation[2],
              n.poisson() ? "counts, halves by binomial thinning" : "not counts, halves with its own correlation");
  std::fflush(stdout);
  std::cout << "Uncertainty (standard; counting, placement; 95 % interval):\n";
  for (int i = 0; i < kUncertainResults; ++i) {
    const ResultUncertainty& u = r.results[i];
    std::printf("%-9s %8.2f  u %6.2f (%5.2f, %5.2f)  [%.2f, %.2f]\n", kUncertainResultKeys[i], u.value, u.standard,
                u.counting, u.placement, u.low95, u.high95);
  }
  std::fflush(stdout);
  return r;
}

int runAnalyse(AnalyseArgs a) {
  Session session;
  Workstation& ws = session.ws;
  if (a.pipeline.file.empty()) {
    a.pipeline.file = bundledPhantom(ws.folder);
    if (a.pipeline.file.empty()) {
      std::cerr << "quorvel-cli: give an acquisition file (this build has no digital phantom)\n";
      return kExitRefused;
    }
  }
  if (a.reprojection) {
    if (!a.pictures.empty()) {
      std::cerr << "quorvel-cli: --pictures does not draw the reprojection mode yet\n";
      return kExitRefused;
    }
    return runReprojected(a, ws);
  }
  std::optional<PictureFolder> pictures;
  if (!a.pictures.empty()) {
    pictures.emplace(a.pictures, ws);
    if (!pictures->open()) return kExitRefused;
  }
  std::optional<AnalysisRecipe> recipe;
  try {
    BeforeValidation showStep = [&](int step) {
      // The counts as loaded, before the first step re-orients them, for the uncertainty's analyses.
      if (step == 0 && (a.uncertaintyAsked || session.proposal))
        recipe.emplace(AnalysisRecipe{ws.w, session.placement, {}});
      return !pictures || pictures->reorientation(step);
    };
    const int loaded = a.templateExam.empty() ? loadReorientSegment(a.pipeline, session, true, showStep)
                                              : loadWithTemplate(a.pipeline, a.templateExam, ws);
    if (loaded) return loaded;
    if (pictures && !pictures->segmentation()) return kExitRefused;
    if (!ws.checkVentricles()) return kExitVentricleMissing;
    ws.w.settings.curves.TACFIT_switch = a.method;
    if (a.iterations >= 0) ws.curves.settings.TACFIT_ITER = ws.curves.settings.TACFIT_ITmax = a.iterations;
    if (a.harmonics > 0) ws.curves.settings.CMH_DEG = a.harmonics;
    const auto start = std::chrono::steady_clock::now();
    const bool fitted = ws.computeCurves().ok();
    std::fprintf(stderr, "%-16s %7.1f ms\n", "curves",
                 std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!fitted) return kExitFitFailed;
    if (pictures && !pictures->curves()) return kExitRefused;
  } catch (const FatalExit& e) {
    return e.code;
  }
  printPanels(ws, std::cout);  // before the regional fits change the iteration count
  // The calibration given wins over the application folder's.
  if (a.calibration) ws.calibration = a.calibration;
  if (ws.calibration) std::cout << '\n' << calibratedVolumesText(ws.curves.vc, *ws.calibration, ws.w.options.LANGUE);
  std::optional<UncertaintyReport> uncertainty;
  std::optional<PlacementSensitivity> sensitivity;  // a placement nobody checked: how much the results hang on it
  if (recipe) {
    recipe->fit = ws.curves.settings;
    if (a.uncertaintyAsked) {
      const int halvings = a.uncertainty.empty() ? kDefaultHalvings : a.uncertainty[0];
      uncertainty = measureAndPrintUncertainty(*recipe, ws, halvings);
    }
    if (session.proposal)
      sensitivity = uncertainty && uncertainty->placementMeasured ? placementSensitivityOf(*uncertainty)
                                                                  : measureAndPrintSensitivity(*recipe, ws);
  }
  if (a.model3d) {
    try {
      const auto start3d = std::chrono::steady_clock::now();
      StudyWorkspace& w = ws.w;
      w.options.SECT_25 = a.sectors;
      w.options.DEFAULT_sama = a.axial;
      w.options.DEFAULT_samr = a.angular;
      if (!ws.buildModel3D()) return kExitModelNotBuilt;
      std::fprintf(stderr, "%-16s %7.1f ms\n", "3D model",
                   std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start3d).count());
      for (int v = 0; v < 2; ++v)
        if (tooManyEmptyCurves(ws.model, v))
          std::fprintf(stderr, "quorvel-cli: warning: %d regional curves of the %s ventricle meet no voxel of it\n",
                       ws.model.maps.regional_empty_curves[v], v == 0 ? "left" : "right");
    } catch (const FatalExit& e) {
      return e.code;
    }
    printModelPanels(ws, std::cout);
    pickSurfaceMiddles(ws);
    if (pictures && !pictures->model3d()) return kExitRefused;
  }
  if (!a.saveExam.empty()) {
    WorkflowState& f = ws.w.settings.flow;
    if (a.model3d) f.Previsu_OK = f.build_visu = 1;
    ws.shell._MENU_ = a.model3d ? kStageResults3D : kStageResults;
    if (!ws.saveExam(a.saveExam)) return kExitRefused;  // the refusal has been shown
  }
  if (const int st = writeTables(a, ws, uncertainty && uncertainty->valid ? &uncertainty->results : nullptr)) return st;
  if (const int st = writeReports(a, ws, uncertainty && uncertainty->valid ? &uncertainty->results : nullptr))
    return st;
  std::vector<std::string> warnings;
  if (session.proposal && placementConfidence(*session.proposal) < kLowPlacementConfidence)
    warnings.push_back(format(placement_texts::kLowConfidence.pick(ws.w.options.LANGUE),
                              placementConfidence(*session.proposal)));
  if (sensitivity)
    for (int v : placementSensitiveVentricles(*sensitivity))
      warnings.push_back(placementSensitiveText(v, *sensitivity, ws.w.options.LANGUE));
  for (const ImplausibleVentricle& v : implausibleResults(ws.w.study, ws.w.settings.limits, ws.seg, ws.curves.vc,
                                                          ws.w.settings.reorient.septum_plano))
    warnings.push_back(implausibleResultText(v, ws.w.options.LANGUE));
  for (const std::string& line : warnings) std::cerr << line << '\n';
  if (!a.json.empty()) {
    nlohmann::json j = resultsJson(ws);
    if (a.templateExam.empty()) j["placement"] = placementJson(session);
    if (sensitivity && sensitivity->measured)
      j["placement"]["ef_sensitivity"] = {sensitivity->efPoints[0], sensitivity->efPoints[1]};
    j["quality"] = qualityJson(ws);
    if (a.model3d) {
      j.update(model3dJson(ws));
      j.update(modelNotesJson(ws.w, ws.model));
    }
    if (uncertainty) j["uncertainty"] = uncertaintyJson(*uncertainty);
    if (ws.calibration) j["calibrated"] = calibratedVolumesJson(ws.curves.vc, *ws.calibration);
    if (!warnings.empty()) j["warnings"] = warnings;
    const std::string text = j.dump(2) + "\n";
    if (!writeFileAtomically(a.json, std::string_view(text))) {
      std::cerr << "quorvel-cli: cannot write " << a.json << '\n';
      return kExitRefused;
    }
  }
  return warnings.empty() ? 0 : kExitImplausible;
}

}  // namespace

void registerAnalyseCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<AnalyseArgs>();
  CLI::App* cmd = app.add_subcommand(
      "analyse", "Re-orient, segment and measure both ventricles; print their results (the main job)");
  cmd->add_option("file", args->pipeline.file, "Acquisition file (DICOM, IMA, Interfile or IDB); default: the digital phantom")
      ->check(CLI::ExistingFile);
  addPipelineOptions(cmd, args->pipeline);
  cmd->add_option("--method", args->method, "Fitting method 1..5")->check(CLI::Range(1, 5))->capture_default_str();
  cmd->add_option("--iterations", args->iterations, "Iterations of methods 1 and 3 (default 15 and 20)")
      ->check(CLI::Range(0, 500));
  cmd->add_option("--harmonics", args->harmonics, "Harmonics of method 2 (1..4, default 2)")->check(CLI::Range(1, 4));
  cmd->add_option("--json", args->json, "Also write the results and curves as JSON to this file");
  cmd->add_option("--pictures", args->pictures,
                  "Also write the pictures of the stages as PNG files into this folder (created when missing)");
  cmd->add_flag("--3d", args->model3d, "Also build the 3D model and its regional maps, sectors and bull's-eye");
  cmd->add_option("--sectors", args->sectors, "Sector layout of the bull's-eye with --3d")
      ->check(CLI::IsMember({13, 17, 19, 25}))
      ->capture_default_str();
  cmd->add_option("--axial", args->axial, "Axial sampling of the 3D mesh")
      ->check(CLI::IsMember({24, 48, 72, 96, 120}))
      ->capture_default_str();
  cmd->add_option("--angular", args->angular, "Angular sampling of the 3D mesh")
      ->check(CLI::IsMember({24, 48, 72, 96, 120}))
      ->capture_default_str();
  cmd->add_option("--save-exam", args->saveExam, "Also save the exam (.qvx) once analysed");
  cmd->add_option("--template", args->templateExam,
                  "Process like this exam (.qvx): replay its re-orientation, take its segmentation")
      ->check(CLI::ExistingFile);
  cmd->add_flag("--reprojection", args->reprojection,
                "Reprojection mode: the left ventricle from projected images, with the mode's own settings");
  cmd->add_option("--xls", args->xls,
                  "Also write the results table (global and regional values of both ventricles; builds the 3D model)");
  cmd->add_option("--xls17", args->xls17,
                  "Also write the 17-sector table (one exam row; builds the 3D model with 17 sectors)");
  cmd->add_option("--patient", args->patient, "A field of the 17-sector table as key=value (repeatable)");
  cmd->add_option("--report", args->report,
                  "Also write the global report picture (.bmp, .jpg or .dcm); with --3d the local one as FILE-local.*");
  cmd->add_option("--report-canvas", args->reportCanvas, "Report canvas: 1024 (1024 x 1024) or 1536 (1536 x 1092)")
      ->check(CLI::IsMember({1024, 1536}))
      ->capture_default_str();
  cmd->add_option("--uncertainty", args->uncertainty,
                  "Also measure the uncertainty of the global results: K thinnings of the counts into halves "
                  "(default 20) and the placement moved; give it after the file")
      ->expected(0, 1)
      ->default_str(std::to_string(kDefaultHalvings))  // what an empty value gives (else 0: nothing measured)
      ->check(CLI::Range(2, 200));
  cmd->add_option("--calibration", args->calibrationFile,
                  "A volume calibration (from calibrate or validate): calibrated volumes shown beside the results")
      ->check(CLI::ExistingFile);
  cmd->add_flag("--check-options", args->checkOnly, "Check the options and the file's name, analyse nothing")
      ->group("");  // batch's own use
  cmd->callback([cmd, args, &status] {
    notePlacementOptions(cmd, args->pipeline);
    args->uncertaintyAsked = cmd->count("--uncertainty") > 0;
    if (!args->xls.empty() || !args->xls17.empty()) args->model3d = true;
    std::string why = checkPipelineArgs(args->pipeline);
    if (why.empty()) why = checkPatientFields(args->patient);
    if (why.empty() && !args->xls17.empty() && args->sectors != kTableSectors) why = "--xls17 needs --sectors 17";
    if (why.empty() && !args->report.empty() && !reportTypeOf(args->report))
      why = "--report needs a file name ending in .bmp, .jpg or .dcm";
    if (why.empty() && !args->report.empty() && args->reprojection) why = "--report needs the segmentation, not --reprojection";
    if (why.empty() && args->model3d && args->reprojection) why = "--3d, --xls and --xls17 need the segmentation, not --reprojection";
    if (why.empty() && args->uncertaintyAsked && (args->reprojection || !args->templateExam.empty()))
      why = "--uncertainty needs the placement of the command, not --reprojection or --template";
    if (why.empty() && !args->saveExam.empty() && args->reprojection)
      why = "--save-exam needs the segmentation, not --reprojection";
    if (why.empty()) why = readCalibration(*args);
    if (!why.empty()) {
      std::cerr << "quorvel-cli: " << why << '\n';
      status = kExitRefused;
      return;
    }
    status = args->checkOnly ? 0 : runAnalyse(*args);
  });
}

}  // namespace quorvel::cli
