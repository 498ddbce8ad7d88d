#pragma once
// The one rule for results computed from inputs that may change afterwards. Each derived result
// records the generation of every input it was computed from; whatever shows, exports or saves a
// result asks here first. A result whose inputs moved on is computed again when that is cheap
// (curves, their texts, the preview, the sectors, the picked curves) or refused with the step to
// redo (the segmentation when the counts changed under it, the 3D model). The shell runs
// reconcileShownResults after every event, so a new command gets the rule without asking.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/refusal.h"
#include "curves/result_uncertainty.h"

namespace quorvel {

class Workstation;

// The inputs a result may be computed from.
enum class ResultInput : int {
  Counts,           // DATA (its fingerprint) and the study's geometry
  Threshold,        // seuillage: the volumes, the skeleton and the presence check read it
  Labels,           // LPE, AFFECT, classes, slice limits, locks, class maxima
  Planes,           // the valve, septum and infundibulum lines of the re-orientation
  Fitting,          // the method, its settings and the options the fits read
  Timing,           // instants, cycle, heart rate
  Language,         // LANGUE, for what is text
  PreviewSampling,  // the preview mesh's sampling and smoothing
  PreviewShape,     // the preview's skeletons, valve planes and apices with the user's adjustments
  ModelSampling,    // the full mesh's samplings and the surface weighting
  SectorLayout,     // the sector count and the bull's-eye labels
  Reprojection,     // the reprojected curve and its seed (reprojection mode)
  PickedPoints,     // the picked points of the 3D results and the map shown
};
inline constexpr int kResultInputs = 13;

// Uncertainty: the 95 % intervals of the global results, measured in the background; never
// computed again by itself (bringCurrent refuses it), only dropped.
// Serial: the comparison with the previous exam the report states, made on the results as they were.
enum class Derived : int { Curves, ResultTexts, Preview, Model, Sectors, PickedCurves, Uncertainty, Serial };
inline constexpr int kDerivedResults = 8;

// What one result was computed from: the generations of the inputs it depends on, and in audit
// mode the content fingerprints of the large inputs (counts, labels, the model's label volume).
struct Provenance {
  bool made = false;
  std::array<uint64_t, kResultInputs> from{};
  std::array<uint64_t, 3> content{};
};

struct ResultLedger {
  std::array<Provenance, kDerivedResults> results{};
  bool audit = false;  // tests: results also record the content of the large inputs
};

// The generation of one input now.
uint64_t inputGeneration(const Workstation& ws, ResultInput input);
// The inputs a result depends on.
std::vector<ResultInput> inputsOf(Derived d);

// A segmentation exists and was made on the counts as they are now.
bool segmentationCurrent(const Workstation& ws);
// Where a segmentation exists but the counts changed under it: the refusal saying what to redo.
Refusal segmentationOutOfDate();
Refusal modelOutOfDate();

// The result was computed just now from the current inputs / is no longer held.
void resultMade(Workstation& ws, Derived d);
void resultDropped(Workstation& ws, Derived d);
// Recorded and every input it depends on unchanged since.
bool resultCurrent(const Workstation& ws, Derived d);
// The inputs that changed since the result was made (all of them when it never was).
std::vector<ResultInput> changedInputs(const Workstation& ws, Derived d);
// Audit mode: what contradicts the generations, each a sentence (a result current by its
// generations whose large inputs changed content, counts changed without a new generation).
// The tests call it after every event; it hashes every large input.
std::vector<std::string> auditGenerations(const Workstation& ws);

// Makes the result current: computed again when cheap and its own inputs allow, otherwise
// refused with the step to redo (nothing is shown here).
Status bringCurrent(Workstation& ws, Derived d);

// The results panel of ventricle v (1 left, 2 right) from the current curves, the ejection
// fraction followed by the 95 % intervals while they are current.
std::string resultsPanelText(const Workstation& ws, int v);
// The 95 % intervals of the results when they were measured on the results as they are; none
// otherwise (exports then leave them out).
const ResultUncertainties* currentIntervals(const Workstation& ws);
// The same for the comparison with the previous exam.
const SerialSummary* currentSerialSummary(const Workstation& ws);
// The results panels, the method label and the cursor read-outs of the results stage, sent to
// the front end from the current curves.
void showResultTexts(Workstation& ws);

// After every event: what the current stage shows is brought current, or the stage is left for
// the one where the user can redo what is out of date (with the message saying so). The flags
// segment_updt1 and segment_updt2 follow the curves and the preview.
void reconcileShownResults(Workstation& ws);

// Held by every entry point of the shell (a command, a key, the pointer, a timer, a control):
// when the outermost one ends (an event may run others: a key runs a command), the shown results
// are reconciled, unless an exception is on its way out.
class EventScope {
 public:
  explicit EventScope(Workstation& ws);
  EventScope(const EventScope&) = delete;
  EventScope& operator=(const EventScope&) = delete;
  ~EventScope();

 private:
  Workstation& ws_;
};

}  // namespace quorvel
