#pragma once
// The uncertainty of the shown results, measured on a worker thread while the user goes on. The
// worker reads only its own copy of what the results were computed from; what it finds is kept only
// when the inputs are still those it copied.
#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>

#include "base/trace_log.h"
#include "segmentation/segmentation_state.h"
#include "segmentation/volume_curves.h"
#include "ui/uncertainty.h"

namespace quorvel {

class Workstation;

class BackgroundUncertainty {
 public:
  BackgroundUncertainty() = default;
  BackgroundUncertainty(const BackgroundUncertainty&) = delete;
  BackgroundUncertainty& operator=(const BackgroundUncertainty&) = delete;
  ~BackgroundUncertainty();  // stops and waits for the worker

  // Starts on a copy of the workstation's study, segmentation, curves and placement (a job under
  // way is stopped first); scratch files go under folder.
  void start(const Workstation& ws, int halvings, const std::filesystem::path& folder);
  // Asks the worker to stop; it does after the analysis under way.
  void stop() { stopRequested_ = true; }
  bool running() const { return active_ && !finished_; }
  bool finished() const { return active_ && finished_; }
  bool active() const { return active_; }  // started, its outcome not yet taken
  // Waits until the worker has finished (scripts replay the same way every time).
  void wait() { join(); }
  int done() const { return done_; }
  int planned() const { return planned_; }
  // Once finished: the report (invalid when stopped) and the generations of the inputs it was
  // measured from; the job is then idle.
  struct Outcome {
    UncertaintyReport report;
    std::vector<uint64_t> inputs;
    bool stopped = false;
  };
  std::optional<Outcome> takeFinished();

 private:
  void join();

  std::thread worker_;
  bool active_ = false;  // started and its outcome not yet taken (the caller's thread only)
  std::atomic<bool> stopRequested_{false}, finished_{false};
  std::atomic<int> done_{0}, planned_{0};
  Outcome outcome_;  // written by the worker, read after it finished
};

// The acquisition of w read again from the file it names, with the placement of its validated
// steps; none, and why, when the file is not named or cannot be read, is not of the same patient
// and shape, or a step was validated more than once (the uncertainty then has its counting part
// only).
enum class RecipeMissing { None, NotNamed, Unreadable, OtherPatient, OtherShape, SeveralValidations };
struct PlacementRecipe {
  std::optional<AnalysisRecipe> recipe;
  RecipeMissing missing = RecipeMissing::None;
};
PlacementRecipe placementRecipe(const StudyWorkspace& w, const TacFitSettings& fit, TraceLog& log);
// The uncertainty of an analysed workstation whose segmentation is kept, with the placement part
// when placementRecipe gives one.
UncertaintyReport measureKeptSegmentation(Workstation& ws, int halvings, const UncertaintyProgress& progress = {});
// The same on copies, in a scratch workstation on folder: nothing of the caller's is touched.
UncertaintyReport measureOnCopy(StudyWorkspace w, Segmentation seg, CurveState curves, int halvings,
                                const std::filesystem::path& folder, const UncertaintyProgress& progress = {});

// The generations of the inputs the uncertainty of the results depends on, now.
std::vector<uint64_t> uncertaintyInputs(const Workstation& ws);

}  // namespace quorvel
