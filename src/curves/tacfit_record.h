#pragma once
// What every volume-curve fitting method shares: capacities, the calling context,
// the common output record and the derivation of the global functional parameters.
#include "base/capacities.h"

namespace quorvel {

class TraceLog;
struct Options;

inline constexpr int kCurveSamples = 512;                // fitted curve: sample k at phase k/512
inline constexpr int kCurveInput = kMaxInstants + 1;     // tacfit_arg: Ninst values + the first again
inline constexpr float kSamplesPerPercent = 5.12f;       // 512 samples = 100 % of the cycle

// What a fit needs to know about the study and the user's limits.
struct FitContext {
  int Ninst = 8;                 // 8 or 16 (at most kMaxInstants)
  float CYCLE = 125.0f;          // duration of one instant, ms
  float TACFIT_COMPMAX = 0.8f;   // maximum compression, fraction
  float TACFIT_PTMIN = 0.5f;     // minimum slope, fraction
  TraceLog* log = nullptr;       // developer trace lines; null writes none

  static FitContext from(const Options& opt, int Ninst, float CYCLE, TraceLog* log);
};

// Common output of a fit; overwritten by every fit (single precision).
struct TacFitOutput {
  float TACFIT_curve[kCurveSamples] = {};
  float TACFIT_deriv[kCurveSamples] = {};  // end-diastolic volumes per second
  float TACFIT_vmax = 0, TACFIT_vmin = 0;  // ml
  float TACFIT_fes = 0;                    // %
  float TACFIT_tfs = 0;                    // % of the cycle
  float TACFIT_per = 0, TACFIT_tper = 0;   // positive magnitude; % of the cycle
  float TACFIT_pfr = 0, TACFIT_tpfr = 0;
  float filling_ampl = 0;  // largest |derivative| since the caller last reset it
};

// Derives everything but TACFIT_curve from TACFIT_curve. A curve whose maximum is not
// positive gets ejection fraction 0, a zero derivative and zero rates. Returns 0.
int EVAL_TACPARAMS(TacFitOutput& out, const FitContext& ctx);

// Smallest and largest of the Ninst measured values and their phases (i / Ninst); the first of
// equal values wins.
struct MeasuredExtremes {
  float ymin = 1000000.0f, ymax = 0.0f, tmin = 0.0f, tmax = 0.0f;
};
MeasuredExtremes measuredExtremes(const double* tacfit_arg, int Ninst);

// Helper for the trace lines of the fits: no-op without a log.
void traceLine(const FitContext& ctx, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

}  // namespace quorvel
