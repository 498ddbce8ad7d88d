// Method 5: the uniform periodic cubic spline through the measured instants.
#include "curves/numerics.h"
#include "curves/tacfit.h"

namespace quorvel {

int BUILD_SPLINES_MATRIX(TacFitWork& s, const FitContext& ctx) {
  const int n = 3 * ctx.Ninst;
  float* M = s.SPmatrix;
  for (int i = 0; i < n * n; ++i) M[i] = 0.0f;
  // Per segment: value reaches the next instant, slope and curvature continuous into the next.
  static constexpr float kBlock[3][6] = {{1, 1, 1, 0, 0, 0}, {1, 2, 3, -1, 0, 0}, {0, 2, 6, 0, -2, 0}};
  for (int k = 0; k < ctx.Ninst; ++k)
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 6; ++c) M[(3 * k + r) * n + (3 * k + c) % n] = kBlock[r][c];
  traceLine(ctx, "\nSP - Inversion in\n");
  float work[kSplineMatrixSide * kSplineMatrixSide];
  for (int i = 0; i < n * n; ++i) work[i] = M[i];
  migs(n, work, s.SPmatrix_);
  traceLine(ctx, "SP - Inversion out\n\n");
  s.SPmatrix_Ninst = ctx.Ninst;
  return 0;
}

int TACFIT_SPLINES(TacFitWork& s, const double* tacfit_arg, const FitContext& ctx) {
  const int N = ctx.Ninst;
  if (s.SPmatrix_Ninst != N) BUILD_SPLINES_MATRIX(s, ctx);
  const int n = 3 * N;
  float r[kSplineMatrixSide] = {};
  for (int k = 0; k < N - 1; ++k) r[3 * k] = static_cast<float>(tacfit_arg[k + 1] - tacfit_arg[k]);
  r[3 * (N - 1)] = static_cast<float>(tacfit_arg[0] - tacfit_arg[N - 1]);
  float bcd[kSplineMatrixSide];
  for (int i = 0; i < n; ++i) {
    float acc = 0.0f;
    for (int j = 0; j < n; ++j) acc += s.SPmatrix_[i * n + j] * r[j];
    bcd[i] = acc;
  }
  const int per = kCurveSamples / N;
  for (int i = 0; i < kCurveSamples; ++i) {
    const int k = i / per;
    const float u = (static_cast<float>(i) / 512.0f - static_cast<float>(k) / static_cast<float>(N)) *
                    static_cast<float>(N);
    const float b = bcd[3 * k], c = bcd[3 * k + 1], d = bcd[3 * k + 2];
    s.out.TACFIT_curve[i] = static_cast<float>(tacfit_arg[k] + b * u + c * u * u + d * u * u * u);
  }
  return EVAL_TACPARAMS(s.out, ctx);
}

}  // namespace quorvel
