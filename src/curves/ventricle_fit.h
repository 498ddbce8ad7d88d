#pragma once
// One ventricle's measured volume curve fitted by the selected method into its 512-sample curve,
// rate curve and global results.
#include "curves/tacfit.h"
#include "curves/volume_results.h"

namespace quorvel {

// Where one ventricle's fitted curve, rates and results go.
struct FittedVentricle {
  CycleCurve& vidange;
  CycleCurve& filling;
  VentricleResults& res;
};

// Fits one ventricle's measured curve (Ninst values and the first again) with method TACFIT_switch
// and derives its results; raises bounds.maxvol and bounds.filling_ampl. False when the fit failed
// numerically (curve and results then zero).
bool fitVentricleCurve(int TACFIT_switch, const TacFitSettings& set, TacFitWork& fit, const FitContext& ctx,
                         bool developer, const InstantCurve& vol, float Cmax, int tmax, float CARD_FREQ,
                         FittedVentricle out, VolumeCurves& bounds);

}  // namespace quorvel
