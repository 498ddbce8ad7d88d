// quorvel-cli info FILE: loads an acquisition as the open command does and prints the study record.
#include <cstdio>
#include <memory>
#include <iostream>
#include <string>

#include "base/app_folder.h"
#include "base/language.h"
#include "commands.h"
#include "pipeline.h"
#include "study/loading.h"
#include "study/timing.h"

namespace quorvel::cli {

namespace {


struct InfoArgs {
  std::string file;
  std::string format;
  int heartRate = 0;
  std::string language = "en";
  bool shortAxis = false;
  bool noRebin = false;
};

void printRecord(const StudyWorkspace& w, std::ostream& out) {
  const Study& s = w.study;
  char line[256];
  auto row = [&](const char* name, const std::string& value) { out << "  " << name << " : " << value << '\n'; };
  out << "Study " << s.chemin_short << '\n';
  std::snprintf(line, sizeof line, "%d x %d (file %d x %d)", kMatrix, kMatrix, s.OrImSize_H, s.OrImSize_V);
  row("matrix", line);
  row("slices (NCZ)", std::to_string(s.NCZ));
  row("instants (Ninst)", std::to_string(s.Ninst));
  std::snprintf(line, sizeof line, "%.1f bpm%s", s.CARD_FREQ, s.HEART_RATE ? "" : " (not in the file)");
  row("heart rate", line);
  std::snprintf(line, sizeof line, "%.2f ms", s.CYCLE);
  row("CYCLE", line);
  std::snprintf(line, sizeof line, "%.4f cm x %.4f cm x %.4f cm (%.4f ml)", s.VOXEL_SIZE_XY, s.VOXEL_SIZE_XY,
                s.VOXEL_SIZE_Z, s.VOXS_init);
  row("voxel", line);
  row("patient", s.patient_name);
  row("banner", s.pat_tmp);
  row("orientation", s.patient_orientation ? "feet first" : "head first");
  row("Inst_telesys", std::to_string(s.Inst_telesys));
  std::snprintf(line, sizeof line, "%.2f", s.datamax);
  row("datamax", line);
  std::snprintf(line, sizeof line, "%.2f (%d %%)", s.datamin, s.seuillage);
  row("datamin", line);
  row("start slice (coupe)", std::to_string(s.coupe));
  std::snprintf(line, sizeof line, "%d graduations of %d ms", s.mesh_ngradmax, decoup_cycle[s.mesh_ngradpas]);
  row("time axis", line);
}

int runInfo(const InfoArgs& a) {
  Session session;
  Workstation& ws = session.ws;
  StudyWorkspace& w = ws.w;
  w.options.LANGUE = a.language == "fr" ? kFrench : kEnglish;
  w.options.short_axis = a.shortAxis ? 1 : 0;
  w.options.RECH_8 = a.noRebin ? 0 : 1;
  const int filter = acquisitionFilter(a.format, a.file);
  try {
    // A refusal has been shown, in the language asked for.
    if (!ws.openAcquisition(a.file, filter)) return kExitRefused;
    if (w.study.FREQ_ASKING) {
      const int rate = a.heartRate > 0 ? a.heartRate : w.options.DEFAULT_freq;
      setHeartRate(w.study, rate, ws.platform, w.options.LANGUE);
    }
  } catch (const FatalExit& e) {
    return e.code;
  }
  printRecord(w, std::cout);
  return 0;
}

}  // namespace

void registerInfoCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<InfoArgs>();
  CLI::App* cmd = app.add_subcommand("info", "Load an acquisition as the open command does and print its study record");
  cmd->add_option("file", args->file, "Acquisition file")->required()->check(CLI::ExistingFile);
  addFormatOption(cmd, args->format);
  cmd->add_option("--heart-rate", args->heartRate,
                  "Heart rate in bpm when the file has none (30 to 240; default: the option default, 72)")
      ->check(CLI::Range(1, 1000));
  cmd->add_option("--lang", args->language, "Language of the messages: fr or en")
      ->check(CLI::IsMember({"fr", "en"}))
      ->capture_default_str();
  cmd->add_flag("--short-axis", args->shortAxis, "The file holds short-axis slices");
  cmd->add_flag("--no-rebin", args->noRebin, "Keep 16 instants instead of re-binning them to 8");
  cmd->callback([args, &status] { status = runInfo(*args); });
}

}  // namespace quorvel::cli
