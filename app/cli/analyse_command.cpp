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
#include "export/spreadsheet.h"
#include "pipeline.h"
#include "ui/results_json.h"
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
  bool reprojection = false;
  bool model3d = false;  // also the preview and the full 3D model
  int sectors = 17, axial = 48, angular = 48;
  std::string xls, xls17;  // spreadsheet tables to write
  std::vector<std::string> patient;  // key=value fields of the 17-sector table
};

// The spreadsheet tables asked for; 0 or the exit status to give.
int writeTables(const AnalyseArgs& a, Workstation& ws) {
  const TableInputs in{ws.w.study, ws.curves.vc, ws.model.maps, ws.model.eye};
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

// The 3D model's results: per map the statistics of both ventricles ([left, right]), the sector
// means of the selected layout, where the valve planes came from and the empty regional curves.
nlohmann::json model3dJson(const StudyWorkspace& w, const Model3D& m) {
  const RegionalMaps& maps = m.maps;
  const BullsEye& eye = m.eye;
  const int layout = w.options.SECT_25;
  nlohmann::json j;
  auto pair = [](const std::array<float, 2>& a) { return std::vector<float>{a[0], a[1]}; };
  const std::pair<const char*, const std::array<float, 2>*> stats[] = {
      {"mesh_fej_mean", &maps.mesh_fej_mean},   {"mesh_fej_std", &maps.mesh_fej_std},
      {"mesh_tej_mean", &maps.mesh_tej_mean},   {"mesh_tej_std", &maps.mesh_tej_std},
      {"mesh_per_mean", &maps.mesh_per_mean},   {"mesh_per_std", &maps.mesh_per_std},
      {"mesh_pfr_mean", &maps.mesh_pfr_mean},   {"mesh_pfr_std", &maps.mesh_pfr_std},
      {"mesh_tper_mean", &maps.mesh_tper_mean}, {"mesh_tper_std", &maps.mesh_tper_std},
      {"mesh_tpfr_mean", &maps.mesh_tpfr_mean}, {"mesh_tpfr_std", &maps.mesh_tpfr_std}};
  for (const auto& [name, value] : stats) j[name] = pair(*value);
  const std::pair<const char*, const std::array<SectorValues, 2>*> sectors[] = {
      {"mesh_smoy_fej", &eye.mesh_smoy_fej}, {"mesh_smoy_tej", &eye.mesh_smoy_tej},
      {"mesh_smoy_per", &eye.mesh_smoy_per}, {"mesh_smoy_pfr", &eye.mesh_smoy_pfr},
      {"mesh_smoy_tper", &eye.mesh_smoy_tper}, {"mesh_smoy_tpfr", &eye.mesh_smoy_tpfr}};
  for (const auto& [name, value] : sectors)
    for (int v = 0; v < 2; ++v) j[name].push_back(std::vector<float>((*value)[v].begin() + 1, (*value)[v].begin() + 1 + layout));
  j["SECT_25"] = layout;
  j["PER_corr"] = maps.PER_corr;
  j["PFR_corr"] = maps.PFR_corr;
  j["mesh_samA"] = m.mesh.mesh_samA;
  j["mesh_samR"] = m.mesh.mesh_samR;
  for (int v = 0; v < 2; ++v) {
    std::vector<std::string> source;
    for (int t = 0; t < w.study.Ninst; ++t)
      source.push_back(m.skel.valve_source[v + 1][t] == kValveLine ? "valve line" : "voxels");
    j["valve_source"].push_back(source);
    j["regional_empty_curves"].push_back(maps.regional_empty_curves[v]);
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

void printPanels(const StudyWorkspace& w, const CurveState& curves, std::ostream& out) {
  const int LANGUE = w.options.LANGUE;
  const int method = w.settings.curves.TACFIT_switch;
  out << ventriclePanelTitle(1, LANGUE) << '\n' << ventricleResultsText(curves.vc.G, LANGUE) << '\n';
  out << ventriclePanelTitle(2, LANGUE) << '\n' << ventricleResultsText(curves.vc.D, LANGUE) << '\n';
  out << tacfitMethodLabel(method, curves.settings, LANGUE) << '\n';
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
    if (const int status = loadReorientSegment(a.pipeline, ws, true)) return status;
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
  printPanels(ws.w, ws.curves, std::cout);  // before the regional fits change the iteration count
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
    const auto texts = AFFICHAGE_RES_MESH(ws.model, 0, ws.w.study, ws.w.options.LANGUE);
    std::cout << ventriclePanelTitle(1, ws.w.options.LANGUE) << " 3D\n" << texts[1] << '\n'
              << ventriclePanelTitle(2, ws.w.options.LANGUE) << " 3D\n" << texts[0];
  }
  if (const int st = writeTables(a, ws)) return st;
  std::vector<std::string> warnings;
  for (const ImplausibleVentricle& v : implausibleResults(ws.w.study, ws.w.settings.limits, ws.seg, ws.curves.vc))
    warnings.push_back(implausibleResultText(v, ws.w.options.LANGUE));
  for (const std::string& line : warnings) std::cerr << line << '\n';
  if (!a.json.empty()) {
    nlohmann::json j = resultsJson(ws);
    if (a.model3d) j.update(model3dJson(ws.w, ws.model));
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
  cmd->add_flag("--reprojection", args->reprojection,
                "Reprojection mode: the left ventricle from projected images, with the mode's own settings");
  cmd->add_option("--xls", args->xls,
                  "Also write the results table (global and regional values of both ventricles; builds the 3D model)");
  cmd->add_option("--xls17", args->xls17,
                  "Also write the 17-sector table (one exam row; builds the 3D model with 17 sectors)");
  cmd->add_option("--patient", args->patient, "A field of the 17-sector table as key=value (repeatable)");
  cmd->callback([args, &status] {
    if (!args->xls.empty() || !args->xls17.empty()) args->model3d = true;
    std::string why = checkPipelineArgs(args->pipeline);
    if (why.empty()) why = checkPatientFields(args->patient);
    if (why.empty() && !args->xls17.empty() && args->sectors != kTableSectors) why = "--xls17 needs --sectors 17";
    if (why.empty() && args->model3d && args->reprojection) why = "--3d, --xls and --xls17 need the segmentation, not --reprojection";
    if (!why.empty()) {
      std::cerr << "quorvel-cli: " << why << '\n';
      status = kExitRefused;
      return;
    }
    status = runAnalyse(*args);
  });
}

}  // namespace quorvel::cli
