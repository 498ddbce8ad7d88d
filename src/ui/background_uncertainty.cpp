#include "ui/background_uncertainty.h"

#include <utility>

#include "base/scripted_platform.h"
#include "ui/derived_texts.h"
#include "ui/serial_comparison.h"
#include "ui/shell.h"
#include "ui/derived_results.h"
#include "ui/workstation.h"

namespace quorvel {

namespace {

// What the worker measures on: the results' inputs copied.
struct Snapshot {
  StudyWorkspace w;
  Segmentation seg;
  CurveState curves;
};

}  // namespace

PlacementRecipe placementRecipe(const StudyWorkspace& w, const TacFitSettings& fit, TraceLog& log) {
  auto missing = [](RecipeMissing why) { return PlacementRecipe{std::nullopt, why}; };
  if (w.study.chemin_data.empty()) return missing(RecipeMissing::NotNamed);
  StudyWorkspace again;
  if (!reloadAcquisition(w, again, log)) return missing(RecipeMissing::Unreadable);
  if (!identityMismatches(identityOf(again.study), identityOf(w.study)).empty())
    return missing(RecipeMissing::OtherPatient);
  if (again.study.Ninst != w.study.Ninst || again.study.NCZ != w.study.NCZ) return missing(RecipeMissing::OtherShape);
  const std::optional<Placement> p = placementOfSteps(w.settings.reorient);
  if (!p) return missing(RecipeMissing::SeveralValidations);
  return PlacementRecipe{AnalysisRecipe{std::move(again), *p, fit}, RecipeMissing::None};
}

UncertaintyReport measureKeptSegmentation(Workstation& ws, int halvings, const UncertaintyProgress& progress) {
  const std::optional<AnalysisRecipe> acquisition = placementRecipe(ws.w, ws.curves.settings, ws.log).recipe;
  return measureWithSegmentationKept(ws, acquisition ? &*acquisition : nullptr, halvings, kUncertaintySeed, progress);
}

UncertaintyReport measureOnCopy(StudyWorkspace w, Segmentation seg, CurveState curves, int halvings,
                                const std::filesystem::path& folder, const UncertaintyProgress& progress) {
  ScriptedPlatform quiet;
  Workstation scratch(quiet, folder);
  scratch.w = std::move(w);
  scratch.seg = std::move(seg);
  scratch.curves = std::move(curves);
  return measureKeptSegmentation(scratch, halvings, progress);
}

std::vector<uint64_t> uncertaintyInputs(const Workstation& ws) {
  std::vector<uint64_t> g;
  for (ResultInput i : inputsOf(Derived::Uncertainty)) g.push_back(inputGeneration(ws, i));
  return g;
}

BackgroundUncertainty::~BackgroundUncertainty() {
  stop();
  join();
}

void BackgroundUncertainty::join() {
  if (worker_.joinable()) worker_.join();
}

void BackgroundUncertainty::start(const Workstation& ws, int halvings, const std::filesystem::path& folder) {
  stop();
  join();
  stopRequested_ = false;
  finished_ = false;
  active_ = true;
  done_ = 0;
  planned_ = 2 * halvings;
  outcome_ = Outcome{{}, uncertaintyInputs(ws), false};
  auto snapshot = std::make_shared<Snapshot>(Snapshot{ws.w, ws.seg, ws.curves});
  worker_ = std::thread([this, snapshot, halvings, folder] {
    outcome_.report = measureOnCopy(std::move(snapshot->w), std::move(snapshot->seg), std::move(snapshot->curves),
                                    halvings, folder, [this](int done, int planned) {
                                      done_ = done;
                                      planned_ = planned;
                                      return !stopRequested_;
                                    });
    outcome_.stopped = stopRequested_;
    if (outcome_.stopped) outcome_.report.valid = false;
    finished_ = true;
  });
}

std::optional<BackgroundUncertainty::Outcome> BackgroundUncertainty::takeFinished() {
  if (!finished()) return std::nullopt;
  join();
  active_ = false;
  finished_ = false;
  return std::move(outcome_);
}

constexpr int kPollMs = 250;

Status Workstation::startUncertainty(int halvings) {
  if (w.options.REPROJ || shell._MENU_ != kStageResults || !resultCurrent(*this, Derived::Curves))
    return Refusal::of(RefusalCode::UncertaintyOutOfDate, derived_texts::kUncertaintyNeedsResults);
  uncertainty.reset();
  resultDropped(*this, Derived::Uncertainty);
  uncertaintyJob.start(*this, halvings, folder / "temp" / "uncertainty");
  platform.startTimer(TimerId::Background, kPollMs);
  platform.textChanged(TextSlot::Status, format(derived_texts::kUncertaintyProgress.pick(w.options.LANGUE), 0,
                                                uncertaintyJob.planned()));
  return Status::accepted();
}

void Workstation::stopUncertainty() { uncertaintyJob.stop(); }

void Workstation::pollUncertainty() {
  const int L = w.options.LANGUE;
  std::optional<BackgroundUncertainty::Outcome> outcome = uncertaintyJob.takeFinished();
  if (!outcome) {
    if (!uncertaintyJob.running()) platform.stopTimer(TimerId::Background);
    else
      platform.textChanged(TextSlot::Status, format(derived_texts::kUncertaintyProgress.pick(L), uncertaintyJob.done(),
                                                    uncertaintyJob.planned()));
    return;
  }
  platform.stopTimer(TimerId::Background);
  const UncertaintyReport& r = outcome->report;
  std::string said;
  if (outcome->inputs != uncertaintyInputs(*this)) {
    said = derived_texts::kUncertaintyOutOfDate.pick(L);
  } else if (!r.valid) {
    said = outcome->stopped ? derived_texts::kUncertaintyStopped.pick(L)
                            : format(derived_texts::kUncertaintyFailed.pick(L), r.failedRuns);
  } else {
    uncertainty = r;
    resultMade(*this, Derived::Uncertainty);
    // A result that hangs on the placement is said first: a long status line loses its end.
    if (const std::string line = placementSensitiveLine(placementSensitivityOf(r), L); !line.empty())
      said = line + " ";
    said += format(derived_texts::kUncertaintyMeasured.pick(L), r.countingRuns + r.placementRuns,
                   r.placementMeasured ? "" : derived_texts::kUncertaintyCountingOnly.pick(L));
  }
  platform.textChanged(TextSlot::Status, said);
  // The panels again, wherever the user is: their text carries the intervals while current.
  if (resultCurrent(*this, Derived::Curves)) showResultTexts(*this);
}

}  // namespace quorvel
