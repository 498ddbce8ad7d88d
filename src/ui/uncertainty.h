#pragma once
// The uncertainty of a study's global results, measured on the study itself: counting noise by
// splitting every voxel's counts into two independent halves (binomial thinning) and analysing each
// half like the study, and placement sensitivity by analysing it again with the re-orientation
// moved by what two careful users could disagree on.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "curves/result_uncertainty.h"
#include "curves/tacfit.h"
#include "curves/volume_results.h"
#include "segmentation/placement.h"
#include "study/loading.h"

namespace quorvel {

using ResultVector = std::array<double, kUncertainResults>;

ResultVector resultVectorOf(const VolumeCurves& vc);

// Two halves whose sum is the counts: each voxel's count n (rounded at random when it is not a
// whole number, as reconstructed values are not) goes to a with probability 1/2, the rest to b.
// For Poisson counts the halves are independent Poisson studies of half the counts.
void thinCounts(const std::vector<float>& counts, std::mt19937_64& rng, std::vector<float>& a, std::vector<float>& b);

// The noise of a study's voxels, read from the differences between successive instants where
// nothing moves: its variance against the mean (1 for counts) and how much neighbours share it
// (0 for counts; a reconstruction's filter correlates them).
struct NoiseModel {
  double varianceToMean = 1;
  std::array<double, 3> neighbourCorrelation{};  // along the slices, the rows, the columns
  std::array<double, 3> kernelSigma{};           // voxels: the Gaussian giving white noise that correlation
  size_t staticVoxels = 0;                       // voxels the estimate read
  bool poisson() const;
};
inline constexpr double kPoissonVarianceTolerance = 0.2;  // variance-to-mean within 20 % of 1
inline constexpr double kWhiteCorrelation = 0.1;          // neighbours sharing less: white noise
inline constexpr double kMinStaticMeanCounts = 4.0;       // voxels below carry too little to read
NoiseModel estimateNoise(const Study& s);

// Two halves of the study for the counting part: binomial thinning for counts; otherwise
// x/2 + e and x/2 - e, e Gaussian with the study's own correlation and a quarter of its variance,
// so that each half holds half the signal with the noise of half the counts and the halves are
// uncorrelated (a half below zero is clipped).
void splitStudy(const Study& s, const NoiseModel& m, std::mt19937_64& rng, std::vector<float>& a,
                std::vector<float>& b);

// A half's end-systole times, read from the cycle start its own counts would give the loader,
// relative to the start the study's counts give (studyFirst, from cycleStartInstant): when the
// two differ, the times move by whole instants.
std::optional<ResultVector> endSystoleFromOwnCycleStart(std::optional<ResultVector> r, const std::vector<float>& counts,
                                                        const Study& s, int studyFirst);

// What one analysis repeats: the study as loaded with its settings and options, the placement,
// the fitting settings.
struct AnalysisRecipe {
  StudyWorkspace asLoaded;
  Placement placement;
  TacFitSettings fit;
};

// The placement the validated re-orientation steps were made with (square and rotation of the
// first step, tilt of the second, the lines as set); none when a step was validated more than once.
std::optional<Placement> placementOfSteps(const ReorientSettings& r);

// The study analysed again with these counts and this placement, in a scratch workstation on
// folder; nothing when a step is refused or a ventricle is missing.
std::optional<ResultVector> analyseAgain(const AnalysisRecipe& r, const std::vector<float>& counts,
                                         const Placement& placement, const std::filesystem::path& folder);

inline constexpr int kDefaultHalvings = 20;
inline constexpr uint64_t kUncertaintySeed = 20261208;
// What two careful users may differ by: one voxel of the square and of each line, 3 degrees.
inline constexpr int kPlacementStepVoxels = 1;
inline constexpr double kPlacementStepDeg = 3.0;

struct UncertaintyReport {
  bool valid = false;
  bool placementMeasured = false;  // false: the counting part only
  NoiseModel noise;
  int halvings = 0;
  int countingRuns = 0, placementRuns = 0, failedRuns = 0;
  ResultUncertainties results{};
};

// Progress: runs done of runs planned; return false to stop (the report is then invalid).
using UncertaintyProgress = std::function<bool(int done, int planned)>;

// halvings splits (2 analyses each) and two analyses per placement setting moved (square row,
// column and side, septum line, valve line, rotation, tilt). The counting part is the RMS difference
// of the halves over 2 (halves hold half the counts: each half's variance is twice the study's);
// each placement setting counts as uniform within its step (half the spread of its two results
// over sqrt 3), the settings independent. Invalid when fewer than half the thinnings succeed.
UncertaintyReport measureUncertainty(const AnalysisRecipe& r, const ResultVector& value, int halvings, uint64_t seed,
                                     const std::filesystem::path& folder, const UncertaintyProgress& progress = {});

// The placement part alone, for an analysis whose placement nobody checked: how much each
// ventricle's ejection fraction moves (standard uncertainty, points) when the placement moves by
// what two careful users could disagree on. Not measured when every moved analysis failed.
struct PlacementSensitivity {
  bool measured = false;
  int runs = 0, failedRuns = 0;
  std::array<double, 2> efPoints{};  // left, right
};
PlacementSensitivity measurePlacementSensitivity(const AnalysisRecipe& r, const ResultVector& value,
                                                 const std::filesystem::path& folder);
// The same read from a report whose placement part was measured.
PlacementSensitivity placementSensitivityOf(const UncertaintyReport& r);

// Beyond these the ejection fraction depends on a judgement of the placement more than a result
// can bear (standard uncertainty, points; set on the phantom family's tuning splits, where the
// analyses past them were mostly those outside the tolerance of the truth).
inline constexpr std::array<double, 2> kPlacementSensitiveEfPoints{4.0, 4.5};
// The ventricles (1 left, 2 right) past their limit, left first.
std::vector<int> placementSensitiveVentricles(const PlacementSensitivity& s);
// One line for such a ventricle, in the language chosen.
std::string placementSensitiveText(int ventricle, const PlacementSensitivity& s, int LANGUE);
// One line for all of them (empty when none), for a status line.
std::string placementSensitiveLine(const PlacementSensitivity& s, int LANGUE);

class Workstation;
// The same for an analysed workstation whose segmentation is kept (an exam reopened, classes the
// user corrected): the counting part splits its working counts and measures the curves again with
// its labels, classes, limits and method; the placement part, when the acquisition is given (read
// again from its file, with the placement of the workstation's steps), as above. The workstation's
// counts and results are as before when it returns.
UncertaintyReport measureWithSegmentationKept(Workstation& ws, const AnalysisRecipe* acquisition, int halvings,
                                              uint64_t seed, const UncertaintyProgress& progress = {});

}  // namespace quorvel
