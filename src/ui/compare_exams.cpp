#include "ui/compare_exams.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "base/scripted_platform.h"
#include "render/trend_plot.h"
#include "ui/background_uncertainty.h"
#include "ui/compare_texts.h"
#include "ui/derived_results.h"
#include "ui/shell.h"
#include "ui/workstation.h"

namespace quorvel {

namespace {

namespace texts = compare_texts;

// The earlier exams the user picks, one dialog after the other; none when the first is cancelled.
std::vector<std::filesystem::path> chooseEarlierExams(Workstation& ws) {
  const int L = ws.w.options.LANGUE;
  std::vector<std::filesystem::path> files;
  while (static_cast<int>(files.size()) + 1 < kMaxComparedExams) {
    const auto choice = ws.platform.chooseOpenFile(texts::kChooseTitle.pick(L), {{"QVX", "*.qvx"}}, 1);
    if (!choice) break;
    files.push_back(choice->path);
    if (ws.platform.question(texts::kAnother.pick(L)) != QuestionAnswer::Ok) break;
  }
  return files;
}

}  // namespace

TrendPoint trendPointOf(const std::string& studyDate, const ResultUncertainties& u) {
  TrendPoint p{studyDate, {}, {}, {}};
  for (int v = 0; v < 2; ++v) {
    const ResultUncertainty& ef = u[v * kResultsPerVentricle + kEf];
    p.value[v] = ef.value, p.low95[v] = ef.low95, p.high95[v] = ef.high95;
  }
  return p;
}

bool placedAlike(const Placement& a, const Placement& b) {
  constexpr double kDegree = 3.14159265358979 / 180;
  auto near = [](double x, double y, double tolerance) { return std::abs(x - y) <= tolerance; };
  return near(a.recad_x, b.recad_x, 1) && near(a.recad_y, b.recad_y, 1) && near(a.recad_t, b.recad_t, 1) &&
         near(a.rotation, b.rotation, kDegree) && near(a.septum_plano, b.septum_plano, 1) &&
         near(a.valves_plano_, b.valves_plano_, 1) && near(a.valves_angle, b.valves_angle, 1) &&
         a.infand_plane == b.infand_plane;
}

SerialComparison compareExams(std::vector<ComparedExam> exams, int current, const FallCriterion& criterion) {
  SerialComparison c;
  std::vector<int> order(exams.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<int>(k);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const std::string &da = exams[a].identity.studyDate, &db = exams[b].identity.studyDate;
    return !da.empty() && !db.empty() && da < db;
  });
  for (int k : order) {
    if (k == current) c.current = static_cast<int>(c.exams.size());
    c.exams.push_back(std::move(exams[k]));
  }
  for (size_t k = 1; k < c.exams.size(); ++k)
    c.pairs.push_back(comparePair(c.exams[k - 1].uncertainty.results, c.exams[k].uncertainty.results, criterion));
  return c;
}

std::string comparisonText(const SerialComparison& c, const FallCriterion& criterion, int L) {
  std::string text;
  for (size_t k = 0; k < c.exams.size(); ++k) {
    const ComparedExam& e = c.exams[k];
    const ResultUncertainty &lv = e.uncertainty.results[kEf], &rv = e.uncertainty.results[kResultsPerVentricle + kEf];
    const std::string name =
        e.file.empty() ? texts::kOpenExam.pick(L) : std::filesystem::path(e.file).filename().string();
    text += format(texts::kExamLine.pick(L), static_cast<int>(k + 1), shownDate(e.identity.studyDate).c_str(),
                   name.c_str(), e.uncertainty.placementMeasured ? "" : texts::kCountingOnly.pick(L), lv.value,
                   lv.low95, lv.high95, rv.value, rv.low95, rv.high95);
  }
  text += "\n";
  for (size_t k = 0; k < c.pairs.size(); ++k) {
    const PairComparison& p = c.pairs[k];
    text += format(texts::kPairLine.pick(L), static_cast<int>(k + 1), static_cast<int>(k + 2), p.change[kEf],
                   p.low95[kEf], p.high95[kEf], p.mdc[kEf], p.repeatExamSpread[kEf] ? texts::kRepeatExams.pick(L) : "",
                   (p.beyondMdc[kEf] ? texts::kBeyondMdc : texts::kWithinMdc).pick(L));
    if (p.flag) text += format(texts::kFlag.pick(L), criterion.key, criterion.source);
  }
  text += format(texts::kCriterion.pick(L), criterion.key, criterion.source);
  return text;
}

std::optional<SerialSummary> summaryOf(const SerialComparison& c, const FallCriterion& criterion) {
  if (c.current <= 0) return std::nullopt;  // nothing before the open exam
  const ComparedExam& before = c.exams[c.current - 1];
  const PairComparison& p = c.pairs[c.current - 1];
  return SerialSummary{before.identity.studyDate, before.uncertainty.results[kEf].value, p.change[kEf], p.mdc[kEf],
                       p.flag, criterion.label};
}

Status compareWithEarlierExamsCommand(Workstation& ws) {
  const int L = ws.w.options.LANGUE;
  const Refusal cancelled = Refusal::of(RefusalCode::Cancelled, texts::kCancelled);
  if (ws.w.options.REPROJ || ws.shell._MENU_ != kStageResults || !resultCurrent(ws, Derived::Curves))
    return Refusal::of(RefusalCode::SerialComparisonRefused, texts::kNeedsResults);
  const FallCriterion& criterion = kFallCriteria[std::clamp(ws.w.options.fallCriterion, 0, kFallCriterionChoices - 1)];
  const std::vector<std::filesystem::path> files = chooseEarlierExams(ws);
  if (files.empty()) return cancelled;

  // Each earlier exam opened in a scratch workstation of its own, its patient checked.
  const std::filesystem::path scratchFolder = ws.folder / "temp" / "compare";
  ScriptedPlatform quiet;
  std::vector<std::unique_ptr<Workstation>> earlier;
  const ExamIdentity open = identityOf(ws.w.study);
  for (const std::filesystem::path& file : files) {
    auto other = std::make_unique<Workstation>(quiet, scratchFolder);
    Status opened = other->openExam(file);
    if (opened && !other->w.settings.flow.vidange_done) opened = other->computeCurves();
    if (!opened) {
      const Refusal& why = opened.refusal();
      return Refusal{RefusalCode::SerialComparisonRefused,
                     format(texts::kNotOpened.fr, file.string().c_str(), why.fr.c_str()),
                     format(texts::kNotOpened.en, file.string().c_str(), why.en.c_str())};
    }
    const auto differ = identityMismatches(open, identityOf(other->w.study));
    if (!differ.empty() && ws.platform.question(format(texts::kOtherPatient.pick(L), file.filename().string().c_str(),
                                                       joinedFields(differ).c_str())) != QuestionAnswer::Ok)
      return cancelled;
    earlier.push_back(std::move(other));
  }

  // The uncertainties, under one progress window: the open exam's own when it is current.
  const int measures = static_cast<int>(earlier.size()) + (currentIntervals(ws) ? 0 : 1);
  int measured = 0;
  std::optional<ProgressScope> wait;
  wait.emplace(ws.platform, texts::kMeasuring.pick(L), ProgressScope::Cancellable);
  const UncertaintyProgress progress = [&](int done, int planned) {
    return wait->advance((measured + static_cast<double>(done) / std::max(planned, 1)) / measures);
  };
  std::vector<ComparedExam> exams;
  for (size_t k = 0; k < earlier.size(); ++k) {
    Workstation& other = *earlier[k];
    ComparedExam e{files[k].string(), identityOf(other.w.study),
                   measureKeptSegmentation(other, kDefaultHalvings, progress),
                   placementOfSteps(other.w.settings.reorient)};
    if (!wait->advance(static_cast<double>(++measured) / measures)) return cancelled;
    if (!e.uncertainty.valid)
      return Refusal::formatted(RefusalCode::SerialComparisonRefused, texts::kNotMeasured, e.file.c_str(),
                                e.uncertainty.failedRuns);
    exams.push_back(std::move(e));
  }
  UncertaintyReport own;
  if (currentIntervals(ws)) {
    own = *ws.uncertainty;
  } else {
    own = measureOnCopy(ws.w, ws.seg, ws.curves, kDefaultHalvings, scratchFolder, progress);
    if (!wait->advance(1.0)) return cancelled;
    if (!own.valid)
      return Refusal{RefusalCode::SerialComparisonRefused,
                     format(texts::kNotMeasured.fr, texts::kOpenExam.fr, own.failedRuns),
                     format(texts::kNotMeasured.en, texts::kOpenExam.en, own.failedRuns)};
  }
  wait.reset();
  exams.push_back(ComparedExam{"", open, own, placementOfSteps(ws.w.settings.reorient)});
  const SerialComparison c = compareExams(std::move(exams), static_cast<int>(earlier.size()), criterion);

  const std::string text = comparisonText(c, criterion, L);
  if (c.exams.size() >= 3) {
    std::vector<TrendPoint> points;
    for (const ComparedExam& e : c.exams) points.push_back(trendPointOf(e.identity.studyDate, e.uncertainty.results));
    ws.platform.informationWithPicture(text, trendPicture(points, criterion.below, L));
  } else {
    ws.platform.information(text);
  }
  ws.serial = summaryOf(c, criterion);
  ws.serial ? resultMade(ws, Derived::Serial) : resultDropped(ws, Derived::Serial);

  if (c.current > 0 && !ws.w.study.chemin_data.empty()) {
    const ComparedExam &before = c.exams[c.current - 1], &mine = c.exams[c.current];
    const bool alike = before.placement && mine.placement && placedAlike(*before.placement, *mine.placement);
    const std::string name = std::filesystem::path(before.file).filename().string();
    if (before.placement && !alike &&
        ws.platform.question(format(texts::kPlaceAlike.pick(L), name.c_str())) == QuestionAnswer::Ok &&
        ws.applyTemplate(before.file))
      changeStage(ws, kStageSegmentation);
  }
  return Status::accepted();
}

}  // namespace quorvel
