#include "curves/ventricle_fit.h"

#include <algorithm>
#include <cmath>

#include "curves/numerics.h"
#include "curves/tacfit_ref.h"

namespace quorvel {

bool fitVentricleCurve(int TACFIT_switch, const TacFitSettings& set, TacFitWork& fit, const FitContext& ctx,
                         bool developer, const InstantCurve& vol, float Cmax, int tmax, float CARD_FREQ,
                         FittedVentricle out, VolumeCurves& bounds) {
  const int Ninst = ctx.Ninst;
  const int method = TACFIT_switch;
  // The reference-curve method wants the largest volume first.
  const int shift = method == kTacFitRef ? tmax : 0;
  double tacfit_arg[kCurveInput] = {};
  for (int i = 0; i < Ninst; ++i) tacfit_arg[i] = vol[(i + shift) % Ninst];
  tacfit_arg[Ninst] = tacfit_arg[0];
  out.vidange.fill(0);
  out.filling.fill(0);
  out.res = VentricleResults{};
  try {
    fitSelectedMethod(method, set, fit, tacfit_arg, ctx, developer);
  } catch (const NumericalError&) {
    return false;
  }
  VentricleResults& r = out.res;
  const float cycleMs = ctx.CYCLE * Ninst;
  if (method == kTacFitRef) {
    referenceModelCurve(fit.voc, Cmax, tmax, Ninst, out.vidange.data());
    const auto [minIt, maxIt] = std::minmax_element(out.vidange.begin(), out.vidange.end());
    r.volmax = *maxIt;
    r.volmin = *minIt;
    const int iMin = static_cast<int>(minIt - out.vidange.begin());
    r.FES = r.volmax > 0 ? (r.volmax - r.volmin) * 100.0f / r.volmax : 0.0f;
    r.TFS = static_cast<int>(cycleMs * iMin / kCurveSamples);
    const float dt = cycleMs / (kCurveSamples * 1000.0f);
    int iPer = 0, iPfr = 0;
    for (int i = 0; i < kCurveSamples; ++i) {
      const float rate =
          r.volmax > 0 ? (out.vidange[(i + 1) % kCurveSamples] - out.vidange[i]) / (r.volmax * dt) : 0.0f;
      out.filling[i] = rate;
      bounds.filling_ampl = std::max(bounds.filling_ampl, std::fabs(rate));
      if (rate < out.filling[iPer]) iPer = i;
      if (rate > out.filling[iPfr]) iPfr = i;
    }
    r.PER = -out.filling[iPer];
    r.TPER = cycleMs * iPer / kCurveSamples;
    r.PFR = out.filling[iPfr];
    r.TPFR = cycleMs * iPfr / kCurveSamples;
  } else {
    const TacFitOutput& o = fit.out;
    for (int i = 0; i < kCurveSamples; ++i) {
      out.vidange[i] = o.TACFIT_curve[i];
      bounds.maxvol = std::max(bounds.maxvol, o.TACFIT_curve[i]);
      out.filling[i] = o.TACFIT_deriv[i];
    }
    r.volmin = o.TACFIT_vmin;
    r.volmax = o.TACFIT_vmax;
    r.FES = o.TACFIT_fes;
    // Phases in percent of the cycle to ms, multiplied in this order so that truncation matches.
    r.TFS = static_cast<int>(ctx.CYCLE * o.TACFIT_tfs * Ninst / 100);
    r.PER = o.TACFIT_per;
    r.PFR = o.TACFIT_pfr;
    r.TPER = ctx.CYCLE * o.TACFIT_tper * Ninst / 100;
    r.TPFR = ctx.CYCLE * o.TACFIT_tpfr * Ninst / 100;
    bounds.filling_ampl = std::max(bounds.filling_ampl, o.filling_ampl);
  }
  r.VES = r.volmax - r.volmin;
  r.debit = r.VES * CARD_FREQ / 1000.0f;
  return true;
}

}  // namespace quorvel
