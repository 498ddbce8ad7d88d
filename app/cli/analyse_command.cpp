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
#include "segmentation/corrections.h"
#include "segmentation/volume_curves.h"
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
};

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
  out << ventriclePanelTitle(1, LANGUE) << '\n' << ventricleResultsText(curves.vc.G, LANGUE) << '\n';
  out << ventriclePanelTitle(2, LANGUE) << '\n' << ventricleResultsText(curves.vc.D, LANGUE) << '\n';
  out << TACFIT_METHOD_LABEL(curves.fit, LANGUE) << '\n';
}

nlohmann::json resultsJson(const StudyWorkspace& w, const CurveState& curves) {
  const VolumeCurves& vc = curves.vc;
  const int Ninst = w.study.Ninst;
  nlohmann::json j;
  auto ventricle = [&](const char* prefix, const VentricleResults& r) {
    const std::string p = prefix;
    j[p + "volmax"] = r.volmax;
    j[p + "volmin"] = r.volmin;
    j[p + "VES"] = r.VES;
    j[p + "debit"] = r.debit;
    j[p + "FES"] = r.FES;
    j[p + "TFS"] = r.TFS;
    j[p + "PER"] = r.PER;
    j[p + "TPER"] = r.TPER;
    j[p + "PFR"] = r.PFR;
    j[p + "TPFR"] = r.TPFR;
  };
  ventricle("G_", vc.G);
  ventricle("D_", vc.D);
  j["volG"] = std::vector<float>(vc.volG.begin(), vc.volG.begin() + Ninst);
  j["volD"] = std::vector<float>(vc.volD.begin(), vc.volD.begin() + Ninst);
  j["vidange_G"] = vc.vidange_G;
  j["vidange_D"] = vc.vidange_D;
  j["filling_G"] = vc.filling_G;
  j["filling_D"] = vc.filling_D;
  j["CYCLE"] = w.study.CYCLE;
  j["Ninst"] = Ninst;
  j["CARD_FREQ"] = w.study.CARD_FREQ;
  j["TACFIT_switch"] = curves.fit.TACFIT_switch;
  return j;
}

nlohmann::json placementJson(const Session& s) {
  const Placement& p = s.placement;
  nlohmann::json j = {{"recad_x", p.recad_x},           {"recad_y", p.recad_y},
                      {"recad_t", p.recad_t},           {"rotation", p.rotation},
                      {"septum_plano", p.septum_plano}, {"valves_plano_", p.valves_plano_},
                      {"valves_angle", p.valves_angle}, {"source", s.placementSource}};
  if (p.infand_plane >= 0) j["infand_plane"] = p.infand_plane;
  return j;
}

int runAnalyse(AnalyseArgs a) {
  Session session;
  if (a.pipeline.file.empty()) {
    a.pipeline.file = bundledPhantom(session.folder);
    if (a.pipeline.file.empty()) {
      std::cerr << "quorvel-cli: give an acquisition file (this build has no digital phantom)\n";
      return kExitRefused;
    }
  }
  CurveState curves;
  try {
    if (const int status = loadReorientSegment(a.pipeline, session, true)) return status;
    SegmentationContext c = session.context();
    if (!VERIF_VENT(c)) return kExitVentricleMissing;
    session.w.settings.curves.TACFIT_switch = a.method;
    if (a.iterations >= 0) curves.fit.TACFIT_ITER = curves.fit.TACFIT_ITmax = a.iterations;
    if (a.harmonics > 0) curves.fit.CMH_DEG = a.harmonics;
    const auto start = std::chrono::steady_clock::now();
    const int fitStatus = VIDANGE(c, curves);
    std::fprintf(stderr, "%-16s %7.1f ms\n", "curves",
                 std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (fitStatus != 0) return kExitFitFailed;
  } catch (const FatalExit& e) {
    return e.code;
  }
  printPanels(session.w, curves, std::cout);
  if (!a.json.empty()) {
    nlohmann::json j = resultsJson(session.w, curves);
    j["placement"] = placementJson(session);
    const std::string text = j.dump(2) + "\n";
    if (!writeFileAtomically(a.json, std::string_view(text))) {
      std::cerr << "quorvel-cli: cannot write " << a.json << '\n';
      return kExitRefused;
    }
  }
  return 0;
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
  cmd->callback([cmd, args, &status] {
    notePlacementOptions(cmd, args->pipeline);
    if (const std::string why = checkPipelineArgs(args->pipeline); !why.empty()) {
      std::cerr << "quorvel-cli: " << why << '\n';
      status = kExitRefused;
      return;
    }
    status = runAnalyse(*args);
  });
}

}  // namespace quorvel::cli
