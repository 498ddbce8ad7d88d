// quorvel-cli analyse [FILE]: the main job. Loads an acquisition (the digital phantom when none is
// given), re-orients and segments it, checks both ventricles, fits their volume curves and prints
// the two result panels as the results stage shows them; --json writes them with the curves.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "base/byte_reader.h"
#include "commands.h"
#include "curves/method_commands.h"
#include "pipeline.h"
#include "ui/results_json.h"
#include "ui/shell.h"
#include "segmentation/corrections.h"
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
  int method = 1;
  int iterations = -1;  // methods 1 and 3; -1 keeps the default
  int harmonics = -1;   // method 2
  std::string json;
  std::string saveExam;      // the exam written after the analysis
  std::string templateExam;  // an exam whose re-orientation and segmentation are replayed
  bool reprojection = false;
  bool model3d = false;  // also the preview and the full 3D model
  int sectors = 17, axial = 48, angular = 48;
};

// Where the valve planes came from and the empty regional curves: what the run found, which an
// exam does not keep.
nlohmann::json modelNotesJson(const StudyWorkspace& w, const Model3D& m) {
  nlohmann::json j;
  for (int v = 0; v < 2; ++v) {
    std::vector<std::string> source;
    for (int t = 0; t < w.study.Ninst; ++t)
      source.push_back(m.skel.valve_source[v + 1][t] == kValveLine ? "valve line" : "voxels");
    j["valve_source"].push_back(source);
    j["regional_empty_curves"].push_back(m.maps.regional_empty_curves[v]);
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
  if (a.reprojection) return runReprojected(a, ws);
  try {
    const int loaded = a.templateExam.empty() ? loadReorientSegment(a.pipeline, ws, true)
                                              : loadWithTemplate(a.pipeline, a.templateExam, ws);
    if (loaded) return loaded;
    if (!ws.checkVentricles()) return kExitVentricleMissing;
    ws.w.settings.curves.TACFIT_switch = a.method;
    if (a.iterations >= 0) ws.curves.settings.TACFIT_ITER = ws.curves.settings.TACFIT_ITmax = a.iterations;
    if (a.harmonics > 0) ws.curves.settings.CMH_DEG = a.harmonics;
    const auto start = std::chrono::steady_clock::now();
    const bool fitted = ws.computeCurves().ok();
    std::fprintf(stderr, "%-16s %7.1f ms\n", "curves",
                 std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!fitted) return kExitFitFailed;
  } catch (const FatalExit& e) {
    return e.code;
  }
  printPanels(ws, std::cout);  // before the regional fits change the iteration count
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
  }
  if (!a.saveExam.empty()) {
    WorkflowState& f = ws.w.settings.flow;
    if (a.model3d) f.Previsu_OK = f.build_visu = 1;
    ws.shell._MENU_ = a.model3d ? kStageResults3D : kStageResults;
    if (!ws.saveExam(a.saveExam)) return kExitRefused;  // the refusal has been shown
  }
  std::vector<std::string> warnings;
  for (const ImplausibleVentricle& v : implausibleResults(ws.w.study, ws.w.settings.limits, ws.seg, ws.curves.vc))
    warnings.push_back(implausibleResultText(v, ws.w.options.LANGUE));
  for (const std::string& line : warnings) std::cerr << line << '\n';
  if (!a.json.empty()) {
    nlohmann::json j = resultsJson(ws);
    if (a.model3d) {
      j.update(model3dJson(ws));
      j.update(modelNotesJson(ws.w, ws.model));
    }
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
  cmd->add_option("file", args->pipeline.file, "Acquisition file (DICOM); default: the digital phantom")
      ->check(CLI::ExistingFile);
  addPipelineOptions(cmd, args->pipeline);
  cmd->add_option("--method", args->method, "Fitting method 1..5")->check(CLI::Range(1, 5))->capture_default_str();
  cmd->add_option("--iterations", args->iterations, "Iterations of methods 1 and 3 (default 15 and 20)")
      ->check(CLI::Range(0, 500));
  cmd->add_option("--harmonics", args->harmonics, "Harmonics of method 2 (1..4, default 2)")->check(CLI::Range(1, 4));
  cmd->add_option("--json", args->json, "Also write the results and curves as JSON to this file");
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
  cmd->callback([args, &status] {
    if (const std::string why = checkPipelineArgs(args->pipeline); !why.empty()) {
      std::cerr << "quorvel-cli: " << why << '\n';
      status = kExitRefused;
      return;
    }
    status = runAnalyse(*args);
  });
}

}  // namespace quorvel::cli
