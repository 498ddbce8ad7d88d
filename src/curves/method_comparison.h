#pragma once
// Developer tools of the results stage: synthetic noise on the measured volumes, and the
// comparison of the fitting methods on synthetic curves of known truth.
#include <array>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/trace_log.h"
#include "curves/tacfit.h"
#include "curves/volume_results.h"

namespace quorvel {

inline constexpr size_t kGaussHistSize = 501449;
inline constexpr int kComparisonInstants = 8;
inline constexpr int kComparisonRuns = 500;  // runs per noisy case
inline constexpr uint32_t kComparisonSeed = 20240115;

struct MethodComparison {
  float TACFIT_noiselevel = 0;
  int TAC_EVAL_ON = 0;
  std::array<float, kComparisonInstants> TacP{};
  std::vector<float> gauss_hist;
  std::mt19937 rng{kComparisonSeed};
};

// TACs/GAUSS_HIST of the application folder (float32, little-endian) when it holds the whole
// table; otherwise a standard-normal table of the same length drawn with a fixed seed.
std::vector<float> loadGaussHist(const std::filesystem::path& appFolder);
std::vector<float> seededGaussHist();

// Every TACFIT_noise entry becomes a uniform value in [0, level]. Level commands change the level
// by 10 (never below 0) before regenerating; their panel text is noiseLevelText.
void regenerateTacfitNoise(VolumeCurves& vc, MethodComparison& mc);
bool changeNoiseLevel(VolumeCurves& vc, MethodComparison& mc, int delta);
std::string noiseLevelText(const MethodComparison& mc);
// The developer noise commands: delta 0 regenerates at the current level, +1 / -1 changes the
// level by 10 first (the caller then refits both curves). False when the level cannot go lower.
bool changeNoise(VolumeCurves& vc, MethodComparison& mc, int delta);

// The synthetic 8-instant curve for end systole T (ms) and ejection fraction F (%), times 100,
// with noise of level L drawn from gauss_hist.
void INIT_EVALTACS_ARG(MethodComparison& mc, int T, int F, int L);

// Runs every case (end systole 200/400/600 ms, ejection fraction 20/65 %, noise 0/1/2) with
// methods 1 to 5 and returns the report (mean and spread of the errors against the expected
// values, per method; method 3 is computed but not reported). runs: repetitions of a noisy case.
// progress(fraction) returning false stops early and returns an empty report.
std::string DO_EVAL_TACS(const TacFitSettings& set, TacFitWork& fit, MethodComparison& mc, const FitContext& base, TraceLog& log,
                         int runs = kComparisonRuns, const std::function<bool(double)>& progress = {});

}  // namespace quorvel
