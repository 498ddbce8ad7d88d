// quorvel-cli validate: the validation suite of simulated camera studies, analysed as a batch and
// compared with their truth (table by factor, Bland-Altman pictures).
#include <fstream>
#include <map>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <system_error>

#include "base/byte_reader.h"
#include "batch.h"
#include "camera/camera_study.h"
#include "camera/validation.h"
#include "commands.h"
#include "pipeline.h"
#include "render/png_io.h"

namespace quorvel::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSuiteMarker = ".quorvel-validate";

struct ValidateArgs {
  std::string suite = "quick", out;
  uint64_t seed = 1;
  int jobs = 0, hearts = 0;
};

std::vector<double> truthOf(const nlohmann::json& t) {
  const nlohmann::json &lv = t["left_ventricle"], &rv = t["right_ventricle"];
  return {lv["ejection_fraction_percent"], rv["ejection_fraction_percent"], lv["edv_ml"], rv["edv_ml"]};
}

// The analysis's numbers in the order of camera::measures(); empty when it gave none.
std::vector<double> measuredOf(const fs::path& json, std::string& status) {
  std::ifstream in(json);
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (!in || j.is_discarded() || !j.contains("G_FES")) {
    status = "no results";
    return {};
  }
  status = j.contains("warnings") && !j["warnings"].empty() ? "warned" : "ok";
  return {j["G_FES"], j["D_FES"], j["G_volmax"], j["D_volmax"]};
}

int runValidate(const ValidateArgs& a) {
  const camera::Suite suite = a.suite == "full" ? camera::Suite::Full : camera::Suite::Quick;
  const std::vector<camera::SuiteCase> cases = camera::suiteCases(suite, a.seed, a.hearts);
  const fs::path out = fs::absolute(a.out), studies = out / "studies", marker = studies / kSuiteMarker;
  std::error_code ec;
  // Only a studies folder this command wrote is replaced: nothing else of the user's is removed.
  if (fs::exists(studies) && !fs::exists(marker)) {
    std::cerr << "validate: " << studies.string() << " exists and was not written by validate; choose another --out\n";
    return kExitRefused;
  }
  fs::remove_all(studies, ec);
  fs::create_directories(studies, ec);
  if (!ec && !writeFileAtomically(marker, std::string_view("simulated studies of quorvel-cli validate\n")))
    ec = std::make_error_code(std::errc::io_error);
  if (ec) {
    std::cerr << "validate: cannot create " << studies.string() << "\n";
    return 1;
  }
  std::vector<camera::CaseOutcome> outcomes, skipped;
  for (size_t i = 0; i < cases.size(); ++i) {
    const camera::SuiteCase& c = cases[i];
    std::cerr << "\rvalidate: simulating " << i + 1 << " / " << cases.size() << " (" << c.name << ")      "
              << std::flush;
    try {
      const camera::SimulatedStudy s = camera::simulateStudy(c.params, c.acquisition, c.recon);
      camera::writeCameraStudy(s, studies, c.name);
      outcomes.push_back({c.name, "", c.protocol, c.heart, c.factors, truthOf(s.truth), {}});
    } catch (const std::invalid_argument& e) {
      // One study that cannot be simulated is listed as such; the suite goes on.
      std::cerr << "\nvalidate: " << c.name << ": " << e.what() << "\n";
      skipped.push_back({c.name, std::string("not simulated: ") + e.what(), c.protocol, c.heart, c.factors, {}, {}});
    } catch (const std::exception& e) {
      std::cerr << "\nvalidate: " << c.name << ": " << e.what() << "\n";
      return 1;
    }
  }
  std::cerr << "\n";
  BatchArgs batch;
  batch.folder = studies.string();
  batch.out = (out / "analyses.csv").string();
  batch.jobs = a.jobs;
  std::vector<BatchRow> rows;
  runBatch(batch, &rows);  // the studies it could not analyse show as such below
  std::map<std::string, std::string> why;  // the analysis's status and message of each study
  for (const BatchRow& r : rows) why[r.file] = r.status + (r.message.empty() ? "" : ": " + r.message);
  for (camera::CaseOutcome& o : outcomes) {
    o.measured = measuredOf(studyJson(studies / (o.name + ".dcm"), studies, out), o.status);
    if (o.measured.empty() && why.count(o.name + ".dcm")) o.status = why[o.name + ".dcm"];
  }
  outcomes.insert(outcomes.end(), skipped.begin(), skipped.end());

  const std::string title = std::string("Validation on simulated camera studies (") + a.suite + " suite, seed " +
                            std::to_string(a.seed) + ")";
  const std::string report = camera::validationReport(outcomes, title);
  bool written = writeFileAtomically(out / "validation.md", report) &&
                 writeFileAtomically(out / "validation.csv", camera::validationCsv(outcomes));
  for (size_t m = 0; m < camera::measures().size(); ++m)
    written = written && writePng(out / (std::string("bland-altman-") + camera::measures()[m].key + ".png"),
                                  camera::blandAltmanPicture(outcomes, m));
  fs::create_directories(out / "calibration", ec);
  for (const auto& [protocol, calibration] : camera::protocolCalibrations(outcomes))
    written = written && writeFileAtomically(out / "calibration" / (protocol + ".json"),
                                             calibrationJson(calibration).dump(2) + "\n");
  if (!written) {
    std::cerr << "validate: cannot write the report into " << out.string() << "\n";
    return 1;
  }
  std::cout << report.substr(0, report.find("\n## By factor")) << "\n" << (out / "validation.md").string() << "\n";
  return 0;
}

}  // namespace

void registerValidateCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<ValidateArgs>();
  CLI::App* cmd = app.add_subcommand(
      "validate",
      "Simulate a suite of camera studies of the phantom family, analyse them and report the agreement of the "
      "results with the truth (validation.md, validation.csv, Bland-Altman pictures)");
  cmd->add_option("--out", args->out, "Output folder (created when missing; its studies/ folder is replaced)")
      ->required();
  cmd->add_option("--suite", args->suite, "quick (12 studies) or full (200 studies)")
      ->capture_default_str()
      ->check(CLI::IsMember({"quick", "full"}));
  cmd->add_option("--seed", args->seed, "Seed of the suite's noise draws")->capture_default_str();
  cmd->add_option("--hearts", args->hearts, "Hearts of the family to take (default: 6 quick, 24 full)")
      ->check(CLI::Range(1, 200));
  cmd->add_option("--jobs", args->jobs, "Studies analysed at once (default: the cores)")->check(CLI::Range(1, 256));
  cmd->callback([args, &status] { status = runValidate(*args); });
}

}  // namespace quorvel::cli
