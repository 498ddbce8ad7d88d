// Method 4: the closed piecewise-linear curve through the measured instants.
#include "curves/tacfit.h"

namespace quorvel {

int TACFIT_AFFINE(TacFitWork& s, const double* tacfit_arg, const FitContext& ctx) {
  const int N = ctx.Ninst;
  const int per = kCurveSamples / N;
  for (int i = 0; i < kCurveSamples; ++i) {
    const int k = i / per;
    const float t = static_cast<float>(i) / 512.0f;
    const float t0 = static_cast<float>(k) / static_cast<float>(N);
    const float t1 = static_cast<float>(k + 1) / static_cast<float>(N);
    const double y0 = tacfit_arg[k], y1 = tacfit_arg[k + 1];
    s.out.TACFIT_curve[i] = static_cast<float>(t * (y1 - y0) / (t1 - t0) + (t1 * y0 - t0 * y1) / (t1 - t0));
  }
  return EVAL_TACPARAMS(s.out, ctx);
}

}  // namespace quorvel
