#include "curves/tacfit_record.h"

#include <cmath>
#include <cstdarg>

#include "base/language.h"
#include "base/options.h"
#include "base/trace_log.h"

namespace quorvel {

FitContext FitContext::from(const Options& opt, int Ninst, float CYCLE, TraceLog* log) {
  FitContext c;
  c.Ninst = Ninst;
  c.CYCLE = CYCLE;
  c.TACFIT_COMPMAX = opt.TACFIT_COMPMAX;
  c.TACFIT_PTMIN = opt.TACFIT_PTMIN;
  c.log = log;
  return c;
}

void traceLine(const FitContext& ctx, const char* fmt, ...) {
  if (!ctx.log || !ctx.log->enabled()) return;  // formatting costs more than the fit itself
  va_list args;
  va_start(args, fmt);
  std::string s = vformat(fmt, args);
  va_end(args);
  ctx.log->WRITE_LOGFILE(s);
}

int EVAL_TACPARAMS(TacFitOutput& out, const FitContext& ctx) {
  const float* curve = out.TACFIT_curve;
  const float dt = static_cast<float>(ctx.Ninst) * ctx.CYCLE / 512000.0f;

  float vmax = 0.0f, vmin = 999999.875f;
  int kmax = 0, kmin = 0;
  for (int k = 0; k < kCurveSamples; ++k) {
    if (curve[k] > vmax) { vmax = curve[k]; kmax = k; }
    if (curve[k] < vmin) { vmin = curve[k]; kmin = k; }
  }
  if (vmin < 0.0f) vmin = 0.0f;
  out.TACFIT_vmax = vmax;
  out.TACFIT_vmin = vmin;
  out.TACFIT_fes = vmax > 0.0f ? (vmax - vmin) * 100.0f / vmax : 0.0f;
  out.TACFIT_tfs = static_cast<float>(kmin) / kSamplesPerPercent;
  traceLine(ctx, "CURVE MAX :: %2.2f\n", vmax);

  out.TACFIT_per = out.TACFIT_tper = out.TACFIT_pfr = out.TACFIT_tpfr = 0.0f;
  if (!(vmax > 0.0f) || !(dt > 0.0f)) {
    // The derivative is normalised by the maximum: without one there is no rate to report.
    for (float& d : out.TACFIT_deriv) d = 0.0f;
    return 0;
  }

  const float norm = vmax * dt;
  for (int k = 0; k < kCurveSamples; ++k) {
    out.TACFIT_deriv[k] = (curve[(k + 1) % kCurveSamples] - curve[k]) / norm;
    out.filling_ampl = std::fmax(out.filling_ampl, std::fabs(out.TACFIT_deriv[k]));
  }

  // Filling runs forward from the minimum to the maximum, ejection from the maximum to the minimum.
  auto strictlyBetween = [](int k, int from, int to) {
    if (from < to) return k > from && k < to;
    if (from > to) return k > from || k < to;
    return false;
  };
  float pfr = 0.0f, per = 0.0f;
  int kpfr = 0, kper = 0;
  for (int k = 0; k < kCurveSamples; ++k) {
    const float d = out.TACFIT_deriv[k];
    if (strictlyBetween(k, kmin, kmax) && d > pfr) { pfr = d; kpfr = k; }
    if (strictlyBetween(k, kmax, kmin) && d < per) { per = d; kper = k; }
  }
  out.TACFIT_pfr = pfr;
  out.TACFIT_per = 0.0f - per;  // stored as a positive magnitude, never -0
  out.TACFIT_tpfr = static_cast<float>(kpfr) / kSamplesPerPercent;
  out.TACFIT_tper = static_cast<float>(kper) / kSamplesPerPercent;
  return 0;
}

MeasuredExtremes measuredExtremes(const double* tacfit_arg, int Ninst) {
  MeasuredExtremes e;
  for (int i = 0; i < Ninst; ++i) {
    const float v = static_cast<float>(tacfit_arg[i]);
    const float t = static_cast<float>(i) / static_cast<float>(Ninst);
    if (v < e.ymin) { e.ymin = v; e.tmin = t; }
    if (v > e.ymax) { e.ymax = v; e.tmax = t; }
  }
  return e;
}

}  // namespace quorvel
