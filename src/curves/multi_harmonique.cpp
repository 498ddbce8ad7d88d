// Method 2: the mean and the first harmonics of the closed piecewise-linear curve through the
// measured instants.
#include "curves/fourier.h"
#include "curves/tacfit.h"

namespace quorvel {

int MULTI_HARMONIQUE(TacFitWork& s, int CMH_DEG, const double* tacfit_arg, const FitContext& ctx) {
  const int N = ctx.Ninst;
  float v[kMaxInstants];
  for (int i = 0; i < N; ++i) {
    v[i] = static_cast<float>(tacfit_arg[i]);
    traceLine(ctx, "Multi-harm. (IN)  -  instant %d  :  %2.2f\n", i, v[i]);
  }
  // Closed piecewise-linear resampling: the last interval runs back to instant 0.
  for (int i = 0; i < kCurveSamples; ++i) {
    const float pos = static_cast<float>(N * i) / static_cast<float>(kCurveSamples);
    const int k = static_cast<int>(pos);
    const int k1 = (k + 1) % N;
    const float f = pos - static_cast<float>(k);
    s.CMH_real[i] = v[k] * (1.0f - f) + v[k1] * f;
    s.CMH_imag[i] = 0.0f;
    traceLine(ctx, "Multi-harm.  -  %d  (%d  -  %d)   :   %2.2f   (%2.2f  ;  %2.2f   -   %2.2f  ;  %2.2f)\n", i, k,
              k1, s.CMH_real[i], v[k], 1.0f - f, v[k1], f);
  }
  for (int i = 0; i < N; ++i) traceLine(ctx, "Multi-harm. (OUT)  -  instant %d  :  %2.2f\n", i, v[i]);

  TFn1(s.CMH_real, s.CMH_imag, kCurveSamples, 1);
  // Keep both signs of each harmonic so that the result stays real.
  for (int i = 0; i < kCurveSamples; ++i) {
    const int h = i <= kCurveSamples / 2 ? i : kCurveSamples - i;
    if (h > CMH_DEG) s.CMH_real[i] = s.CMH_imag[i] = 0.0f;
  }
  TFn1(s.CMH_real, s.CMH_imag, kCurveSamples, -1);
  for (int i = 0; i < kCurveSamples; ++i) s.out.TACFIT_curve[i] = s.CMH_real[i];
  return EVAL_TACPARAMS(s.out, ctx);
}

}  // namespace quorvel
