// quorvel-cli calibrate: a volume calibration fitted on analyses of studies whose volumes are known
// (a site's scans of a physical phantom), for analyse --calibration.
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/app_folder.h"
#include "base/byte_reader.h"
#include "commands.h"
#include "pipeline.h"
#include "ui/volume_calibration.h"

namespace quorvel::cli {

namespace {

struct CalibrateArgs {
  std::string out, source;
  std::vector<std::string> known;  // ANALYSIS.json=LV[,RV]
};

// One --known value: the analysis's end-diastolic volumes paired with the known ones.
std::string readKnown(const std::string& text, std::vector<KnownVolume>& known) {
  const size_t eq = text.rfind('=');
  if (eq == std::string::npos) return text + ": give ANALYSIS.json=LEFT_ML[,RIGHT_ML]";
  std::ifstream in(text.substr(0, eq));
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (!in || j.is_discarded() || !j.is_object() || !j.contains("G_volmax") || !j["G_volmax"].is_number() ||
      !j.contains("D_volmax") || !j["D_volmax"].is_number())
    return text.substr(0, eq) + ": not the JSON of analyse";
  const std::string volumes = text.substr(eq + 1);
  const size_t comma = volumes.find(',');
  const char* keys[2] = {"G_volmax", "D_volmax"};
  const std::string parts[2] = {volumes.substr(0, comma), comma == std::string::npos ? "" : volumes.substr(comma + 1)};
  for (int v = 0; v < 2; ++v) {
    if (parts[v].empty()) continue;
    size_t used = 0;
    double ml = 0;
    try {
      ml = std::stod(parts[v], &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != parts[v].size() || !(ml > 0)) return text + ": a known volume is not a positive number of ml";
    known.push_back({v, j[keys[v]].get<double>(), ml});
  }
  return {};
}

int runCalibrate(const CalibrateArgs& a) {
  std::vector<KnownVolume> known;
  for (const std::string& k : a.known)
    if (const std::string why = readKnown(k, known); !why.empty()) {
      std::cerr << "quorvel-cli: --known " << why << '\n';
      return kExitRefused;
    }
  const VolumeCalibration c =
      fitVolumeCalibration(known, a.source.empty() ? std::to_string(known.size()) + " known volumes" : a.source);
  const std::string text = calibrationJson(c).dump(2) + "\n";
  const std::string out = a.out.empty() ? (applicationFolder() / kCalibrationFileName).string() : a.out;
  if (!writeFileAtomically(out, std::string_view(text))) {
    std::cerr << "quorvel-cli: cannot write " << out << '\n';
    return kExitRefused;
  }
  std::printf("left x %.3f (%d volumes), right x %.3f (%d volumes) -> %s\n", c.factor[0], c.pairs[0], c.factor[1],
              c.pairs[1], out.c_str());
  return 0;
}

}  // namespace

void registerCalibrateCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<CalibrateArgs>();
  CLI::App* cmd = app.add_subcommand(
      "calibrate",
      "Fit a volume calibration on analyses of studies whose volumes are known (for analyse --calibration)");
  cmd->add_option("--out", args->out,
                  "The calibration file to write (JSON); default: the application folder's, which every analysis "
                  "and the desktop then show beside the volumes");
  cmd->add_option("--known", args->known,
                  "An analysis (analyse --json) and the true end-diastolic volumes: ANALYSIS.json=LEFT_ML[,RIGHT_ML] "
                  "(repeatable)")
      ->required();
  cmd->add_option("--source", args->source, "What the calibration was fitted on, shown with every calibrated result");
  cmd->callback([args, &status] { status = runCalibrate(*args); });
}

}  // namespace quorvel::cli
