// quorvel-cli compare OLD.qvx NEW.qvx [MORE.qvx ...]: exams of one patient over time, each result
// with its uncertainty, the change from each exam to the next with its minimal detectable change,
// and the fall of the left ejection fraction judged by a published criterion.
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "commands.h"
#include "pipeline.h"
#include "render/png_io.h"
#include "render/trend_plot.h"
#include "study/loading.h"
#include "ui/background_uncertainty.h"
#include "ui/compare_exams.h"
#include "ui/results_json.h"
#include "ui/serial_comparison.h"
#include "ui/shell.h"
#include "ui/uncertainty.h"

namespace quorvel::cli {

namespace {

struct CompareArgs {
  std::vector<std::string> exams;
  std::vector<std::string> acquisitions;  // the exams' acquisition files, in their order; none: counting only
  std::string json;
  std::string plot;  // the trend picture (PNG); empty: none
  std::string criterion = kFallCriteria[0].key;
  int halvings = kDefaultHalvings;
  bool otherPatient = false;
};

struct ExamOutcome {
  std::string file;
  ExamIdentity identity;
  UncertaintyReport uncertainty;
};

// Reopens the exam and measures its results' uncertainty: the counting part on its own counts and
// segmentation, the placement part when its acquisition file is given (exams do not name it).
std::optional<ExamOutcome> examWithUncertainty(const std::string& file, const std::string& acquisitionFile,
                                               int halvings) {
  Session session;
  Workstation& ws = session.ws;
  try {
    if (!ws.openExam(file)) return std::nullopt;  // the refusal has been shown
    if (!ws.w.settings.flow.vidange_done && !ws.computeCurves()) return std::nullopt;
  } catch (const FatalExit&) {
    return std::nullopt;
  }
  std::optional<AnalysisRecipe> acquisition;
  if (!acquisitionFile.empty()) {
    StudyWorkspace named = ws.w;
    named.study.chemin_data = acquisitionFile;
    named.study.IM_FORMAT = acquisitionFormatOf(acquisitionFile);
    PlacementRecipe found = placementRecipe(named, ws.curves.settings, ws.log);
    switch (found.missing) {
      case RecipeMissing::None: {
        const Placement& p = found.recipe->placement;
        std::fprintf(stderr,
                     "%s: placement square %d,%d side %d, rotation %.1f deg, septum %d, valve row %d, tilt %.1f deg\n",
                     file.c_str(), p.recad_x, p.recad_y, p.recad_t, p.rotation * 180.0 / std::numbers::pi,
                     p.septum_plano, p.valves_plano_, p.valves_angle);
        acquisition = std::move(found.recipe);
        break;
      }
      case RecipeMissing::SeveralValidations:
        std::cerr << "quorvel-cli: " << file << " was re-oriented in several validations of a step: "
                  << "the placement part is not measured\n";
        break;
      case RecipeMissing::OtherPatient:
        std::cerr << "quorvel-cli: " << acquisitionFile << " is not of the patient of " << file << '\n';
        return std::nullopt;
      case RecipeMissing::OtherShape:
        std::cerr << "quorvel-cli: " << acquisitionFile << " has not the instants and slices of " << file << '\n';
        return std::nullopt;
      case RecipeMissing::NotNamed:
      case RecipeMissing::Unreadable:
        std::cerr << "quorvel-cli: " << acquisitionFile << " cannot be read\n";
        return std::nullopt;
    }
  }
  return ExamOutcome{file, identityOf(ws.w.study),
                     measureWithSegmentationKept(ws, acquisition ? &*acquisition : nullptr, halvings, kUncertaintySeed)};
}

const char* const kShownNames[kUncertainResults] = {"LV EF", "LV EDV", "LV ESV", "LV end-systole", "LV PER", "LV PFR",
                                                    "RV EF", "RV EDV", "RV ESV", "RV end-systole", "RV PER", "RV PFR"};
const char* const kUnits[kResultsPerVentricle] = {"%", "ml", "ml", "ms", "EDV/s", "EDV/s"};
constexpr int kShownResults[] = {kEf, kEdv, kEsv, kResultsPerVentricle + kEf, kResultsPerVentricle + kEdv};

void printExam(int k, const ExamOutcome& e) {
  std::printf("Exam %d: %s (study date %s, patient ID %s)%s\n", k + 1, e.file.c_str(), e.identity.studyDate.c_str(),
              e.identity.patientId.c_str(), e.uncertainty.placementMeasured ? "" : " - counting part only");
  for (int i : kShownResults) {
    const ResultUncertainty& u = e.uncertainty.results[i];
    std::printf("  %-7s %7.1f %-2s (95 %%: %.1f to %.1f)\n", kShownNames[i], u.value, kUnits[i % kResultsPerVentricle],
                u.low95, u.high95);
  }
}

void printPair(int k, const PairComparison& p, const FallCriterion& c) {
  std::printf("Exam %d -> %d:\n", k + 1, k + 2);
  for (int i : kShownResults)
    std::printf("  %-7s %+7.1f (95 %%: %+.1f to %+.1f), minimal detectable change %.1f%s: %s\n", kShownNames[i],
                p.change[i], p.low95[i], p.high95[i], p.mdc[i], p.repeatExamSpread[i] ? " (repeat exams)" : "",
                p.beyondMdc[i] ? "beyond it" : "within it");
  if (p.flag)
    std::printf("  FLAG: the left ejection fraction meets the criterion %s (%s)\n", c.key, c.source);
  else
    std::printf("  No flag: the left ejection fraction does not meet the criterion %s%s\n", c.key,
                p.beyondMdc[kEf] ? "" : "; its change is within the minimal detectable change");
}

nlohmann::json pairJson(int k, const PairComparison& p) {
  nlohmann::json j{{"from", k}, {"to", k + 1}, {"flag", p.flag}};
  for (int i = 0; i < kUncertainResults; ++i) {
    const char* key = kUncertainResultKeys[i];
    j["change"][key] = p.change[i];
    j["change_u"][key] = p.uncertainty[i];
    j["change_low95"][key] = p.low95[i];
    j["change_high95"][key] = p.high95[i];
    j["mdc"][key] = p.mdc[i];
    j["beyond_mdc"][key] = p.beyondMdc[i];
    j["mdc_from"][key] = p.repeatExamSpread[i] ? "repeat exams" : "measurement";
  }
  return j;
}

int runCompare(const CompareArgs& a) {
  const FallCriterion& criterion = *fallCriterionNamed(a.criterion);
  std::vector<ExamOutcome> exams;
  for (size_t k = 0; k < a.exams.size(); ++k) {
    const std::string& file = a.exams[k];
    auto e = examWithUncertainty(file, a.acquisitions.empty() ? std::string() : a.acquisitions[k], a.halvings);
    if (!e) return kExitRefused;
    if (!e->uncertainty.valid) {
      std::cerr << "quorvel-cli: " << file << ": the uncertainty could not be measured (" << e->uncertainty.failedRuns
                << " analyses failed)\n";
      return kExitRefused;
    }
    exams.push_back(std::move(*e));
  }
  for (size_t k = 1; k < exams.size(); ++k) {
    const std::string &before = exams[k - 1].identity.studyDate, &after = exams[k].identity.studyDate;
    if (!before.empty() && !after.empty() && after < before)
      std::cerr << "quorvel-cli: warning: " << exams[k].file << " was acquired before " << exams[k - 1].file
                << ": give the exams oldest first\n";
    const auto differ = identityMismatches(exams[0].identity, exams[k].identity);
    if (differ.empty()) continue;
    std::cerr << "quorvel-cli: " << exams[k].file << " is not of the patient of " << exams[0].file << " ("
              << joinedFields(differ)
              << " differ)" << (a.otherPatient ? "; compared as asked" : "; --other-patient compares them anyway")
              << '\n';
    if (!a.otherPatient) return kExitRefused;
  }
  nlohmann::json j;
  j["criterion"] = {{"key", criterion.key},
                    {"source", criterion.source},
                    {"fall_points", criterion.fallPoints},
                    {"below", criterion.below}};
  for (size_t k = 0; k < exams.size(); ++k) {
    printExam(static_cast<int>(k), exams[k]);
    const ExamIdentity& id = exams[k].identity;
    j["exams"].push_back({{"file", exams[k].file},
                          {"patient_id", id.patientId},
                          {"patient_name", id.patientName},
                          {"birth_date", id.birthDate},
                          {"study_date", id.studyDate},
                          {"uncertainty", uncertaintyJson(exams[k].uncertainty)}});
  }
  bool flagged = false;
  for (size_t k = 0; k + 1 < exams.size(); ++k) {
    const PairComparison p = comparePair(exams[k].uncertainty.results, exams[k + 1].uncertainty.results, criterion);
    printPair(static_cast<int>(k), p, criterion);
    j["pairs"].push_back(pairJson(static_cast<int>(k), p));
    flagged = flagged || p.flag;
  }
  std::fflush(stdout);
  if (!a.plot.empty()) {
    std::vector<TrendPoint> points;
    for (const ExamOutcome& e : exams) points.push_back(trendPointOf(e.identity.studyDate, e.uncertainty.results));
    if (!writePng(a.plot, trendPicture(points, criterion.below, kEnglish))) {
      std::cerr << "quorvel-cli: cannot write " << a.plot << '\n';
      return kExitRefused;
    }
  }
  if (!a.json.empty() && !writeFileAtomically(a.json, std::string_view(j.dump(2) + "\n"))) {
    std::cerr << "quorvel-cli: cannot write " << a.json << '\n';
    return kExitRefused;
  }
  return flagged ? kExitFlagged : 0;
}

}  // namespace

void registerCompareCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<CompareArgs>();
  CLI::App* cmd = app.add_subcommand(
      "compare", "Compare exams of one patient over time: results with their uncertainty, changes, the fall of LVEF");
  cmd->add_option("exams", args->exams, "Exam files (.qvx), oldest first")
      ->required()
      ->expected(2, 50)
      ->check(CLI::ExistingFile);
  cmd->add_option("--json", args->json, "Also write the comparison as JSON to this file");
  cmd->add_option("--plot", args->plot, "Also write the ejection fractions over the exams as a PNG picture");
  cmd->add_option("--acquisition", args->acquisitions,
                  "The acquisition file of each exam, in their order (repeat): the placement part is then measured")
      ->check(CLI::ExistingFile);
  std::vector<std::string> keys;
  for (const FallCriterion& c : kFallCriteria) keys.push_back(c.key);
  cmd->add_option("--criterion", args->criterion, "Criterion of a fall of the left ejection fraction")
      ->check(CLI::IsMember(keys))
      ->capture_default_str();
  cmd->add_option("--uncertainty", args->halvings, "Splits of each exam's counts for its uncertainty")
      ->check(CLI::Range(2, 200))
      ->capture_default_str();
  cmd->add_flag("--other-patient", args->otherPatient, "Compare exams whose patient identities differ");
  cmd->callback([args, &status] {
    if (!args->acquisitions.empty() && args->acquisitions.size() != args->exams.size()) {
      std::cerr << "quorvel-cli: give one --acquisition per exam, or none\n";
      status = kExitRefused;
      return;
    }
    status = runCompare(*args);
  });
}

}  // namespace quorvel::cli
