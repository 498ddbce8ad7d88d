// Method 3: one cycle as three quintic pieces (ejection, early filling, late filling) joined
// with continuous value, slope and curvature; nine shape parameters found by probe-and-step
// descent under bounds and a monotonicity check. Single precision throughout.
#include <cmath>

#include "curves/numerics.h"
#include "curves/tacfit.h"

namespace quorvel {

namespace {
constexpr int kParams = 9;

float wrapUnit(float u) {
  while (u < 0.0f) u += 1.0f;
  while (u > 1.0f) u -= 1.0f;
  return u;
}

// Pieces changed by each parameter, used to recompute only those during probes.
constexpr int kAffects[kParams][3] = {{1, 1, 1}, {1, 0, 1}, {1, 1, 0}, {1, 1, 0}, {0, 1, 1},
                                      {0, 1, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0}};

void pieceCoefficients(TacFitWork& s, int piece, float h, const float r[6]) {
  float* M = s.matrix_0;
  const float h2 = h * h, h3 = h2 * h, h4 = h3 * h, h5 = h4 * h;
  const float rows[6][6] = {{1, 0, 0, 0, 0, 0},          {1, h, h2, h3, h4, h5},
                            {0, 1, 0, 0, 0, 0},          {0, 1, 2 * h, 3 * h2, 4 * h3, 5 * h4},
                            {0, 0, 2, 0, 0, 0},          {0, 0, 2, 6 * h, 12 * h2, 20 * h3}};
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) M[i * 6 + j] = rows[i][j];
  migs(6, M, s.matrix_1);
  for (int i = 0; i < 6; ++i) {
    float c = 0.0f;
    for (int j = 0; j < 6; ++j) c += s.matrix_1[i * 6 + j] * r[j];
    s.TACFIT_COEF[piece][i] = c;
  }
}

float polyValue(const float* c, float x) {
  return c[0] + x * (c[1] + x * (c[2] + x * (c[3] + x * (c[4] + x * c[5]))));
}
float polyDeriv(const float* c, float x) {
  return c[1] + x * (2.0f * c[2] + x * (3.0f * c[3] + x * (4.0f * c[4] + x * 5.0f * c[5])));
}

void TACFITALT_SAVE_TMPCOEF(TacFitWork& s) {
  for (int p = 0; p < 3; ++p)
    for (int i = 0; i < 6; ++i) s.TACFIT_COEF_tmp[p][i] = s.TACFIT_COEF[p][i];
}
void TACFITALT_LOAD_TMPCOEF(TacFitWork& s) {
  for (int p = 0; p < 3; ++p)
    for (int i = 0; i < 6; ++i) s.TACFIT_COEF[p][i] = s.TACFIT_COEF_tmp[p][i];
}

void recomputeFor(TacFitWork& s, int param) {
  TACFITALT_EVAL_COEFF(s, kAffects[param][0], kAffects[param][1], kAffects[param][2]);
}

void TACFITALT_EVAL_CURVE(TacFitWork& s, const FitContext& ctx) {
  const float* p = s.TACFIT_PARAM;
  TacFitOutput& o = s.out;
  float vmax = 0.0f, vmin = 99999.9f, dmax = -99999.9f, dmin = 99999.9f;
  int kmin = 0, kdmax = 0, kdmin = 0;
  const float toPerSecond = 1000.0f / (ctx.CYCLE * static_cast<float>(ctx.Ninst));
  for (int k = 0; k < kCurveSamples; ++k) {
    const float u = wrapUnit(static_cast<float>(k) / 512.0f - p[0]);
    const float v = s.TACFIT_YMAX * TACFITALT_EVAL_POINT(s, u);
    o.TACFIT_curve[k] = v;
    if (v > vmax) vmax = v;
    if (v < vmin) { vmin = v; kmin = k; }
    const float d = toPerSecond * TACFITALT_EVAL_DERIV(s, u);
    o.TACFIT_deriv[k] = d;
    if (d > dmax) { dmax = d; kdmax = k; }
    if (d < dmin) { dmin = d; kdmin = k; }
  }
  o.TACFIT_vmin = vmin < 0.0f ? 0.0f : vmin;
  o.TACFIT_vmax = vmax;
  o.TACFIT_fes = vmax > 0.0f ? (vmax - o.TACFIT_vmin) * 100.0f / vmax : 0.0f;
  o.TACFIT_tfs = static_cast<float>(kmin) * 100.0f / 512.0f;
  o.TACFIT_per = -dmin;
  o.TACFIT_tper = static_cast<float>(kdmin) * 100.0f / 512.0f;
  o.TACFIT_pfr = dmax;
  o.TACFIT_tpfr = static_cast<float>(kdmax) * 100.0f / 512.0f;
}

void flatRecord(TacFitWork& s, float level) {
  TacFitOutput& o = s.out;
  for (int k = 0; k < kCurveSamples; ++k) {
    o.TACFIT_curve[k] = level;
    o.TACFIT_deriv[k] = 0.0f;
  }
  o.TACFIT_vmax = level > 0.0f ? level : 0.0f;
  o.TACFIT_vmin = o.TACFIT_vmax;
  o.TACFIT_fes = o.TACFIT_tfs = o.TACFIT_per = o.TACFIT_tper = o.TACFIT_pfr = o.TACFIT_tpfr = 0.0f;
}
}  // namespace

void TACFITALT_EVAL_COEFF(TacFitWork& s, int a, int b, int c) {
  const float* p = s.TACFIT_PARAM;
  if (a == 1) {
    const float r[6] = {p[1], p[3], 0.0f, 0.0f, p[7], p[8]};
    pieceCoefficients(s, 0, p[2], r);
  }
  if (b == 1) {
    const float r[6] = {p[3], p[5], 0.0f, p[6], p[8], 0.0f};
    pieceCoefficients(s, 1, p[4] - p[2], r);
  }
  if (c == 1) {
    const float r[6] = {p[5], p[1], p[6], 0.0f, 0.0f, p[7]};
    pieceCoefficients(s, 2, 1.0f - p[4], r);
  }
}

float TACFITALT_EVAL_POINT(const TacFitWork& s, float u) {
  const float* p = s.TACFIT_PARAM;
  if (u >= 0.0f && u <= p[2]) return polyValue(s.TACFIT_COEF[0], u);
  if (u > p[2] && u <= p[4]) return polyValue(s.TACFIT_COEF[1], u - p[2]);
  return polyValue(s.TACFIT_COEF[2], u - p[4]);
}

float TACFITALT_EVAL_DERIV(const TacFitWork& s, float u) {
  const float* p = s.TACFIT_PARAM;
  if (u >= 0.0f && u <= p[2]) return polyDeriv(s.TACFIT_COEF[0], u);
  if (u > p[2] && u <= p[4]) return polyDeriv(s.TACFIT_COEF[1], u - p[2]);
  return polyDeriv(s.TACFIT_COEF[2], u - p[4]);
}

float TACFITALT_EVAL_FONCT(const TacFitWork& s, const FitContext& ctx) {
  float f = 0.0f;
  for (int i = 0; i < ctx.Ninst; ++i) {
    const float u = wrapUnit(static_cast<float>(i) / static_cast<float>(ctx.Ninst) - s.TACFIT_PARAM[0]);
    const float e = TACFITALT_EVAL_POINT(s, u) - s.TACFIT_points[i];
    f += e * e;
  }
  return f;
}

int TACFIT_VERIF_CURVE(const TacFitWork& s) {
  const float es = s.TACFIT_PARAM[2];
  for (float u = 0.0f; u < 1.0f; u += 0.01f) {
    const float d = TACFITALT_EVAL_DERIV(s, u);
    if (u < es && d > 0.02f) return 0;
    if (es < u && u < 1.0f && d < -0.02f) return 0;
  }
  return 1;
}

void TACFIT_SHIFT_PARAM(TacFitWork& s, const FitContext& ctx) {
  float* p = s.TACFIT_PARAM;
  p[1] = std::fmax(p[1], p[5]);
  p[3] = std::fmin(p[3], p[5]);
  const float span = (1.0f - s.TACFIT_YMIN) * ctx.TACFIT_COMPMAX;
  if (p[1] - p[3] < span) {
    const float mean = (p[1] + p[3]) / 2.0f;
    p[1] = mean + span / 2.0f;
    p[3] = mean - span / 2.0f;
  }
  p[2] = std::fmin(std::fmax(p[2], 0.15f), 0.7f);
  p[4] = std::fmin(p[4], 0.85f);
  p[4] = std::fmax(p[4], p[2] + 0.15f);
  p[6] = std::fmin(std::fmax(p[6], 0.0f), 2.0f);
  p[7] = std::fmin(std::fmax(p[7], -2.0f), 0.0f);
  p[8] = std::fmin(std::fmax(p[8], 0.0f), 2.0f);
}

int TACFIT_ALT(TacFitWork& s, const double* tacfit_arg, int iterations, const FitContext& ctx) {
  const int N = ctx.Ninst;
  float* p = s.TACFIT_PARAM;
  float* eps = s.TACFIT_eps;
  for (int i = 0; i < kParams; ++i) eps[i] = i <= 5 ? 0.005f : 0.05f;

  const auto [ymin, ymax, tmin, tmax] = measuredExtremes(tacfit_arg, N);
  s.TACFIT_YMAX = ymax;
  // A flat or empty curve would give an ejection piece of length 0 (a singular system).
  if (!(ymax > 0.0f) || ymin == ymax) {
    flatRecord(s, ymax);
    return 0;
  }
  for (int i = 0; i < N; ++i) s.TACFIT_points[i] = static_cast<float>(tacfit_arg[i]) / ymax;
  s.TACFIT_YMIN = ymin / ymax;

  float es = tmin - tmax;
  if (es < 0.0f) es += 1.0f;
  p[0] = tmax;
  p[1] = 1.0f;
  p[2] = es;
  p[3] = s.TACFIT_YMIN;
  p[4] = (es + 1.0f) / 2.0f;
  p[5] = (1.0f + s.TACFIT_YMIN) / 2.0f;
  p[6] = (1.0f - s.TACFIT_YMIN) / (1.0f - es);
  p[7] = -0.1f;
  p[8] = 0.1f;
  TACFITALT_EVAL_COEFF(s, 1, 1, 1);

  float R = 0.0f;
  for (int it = 0; it < iterations; ++it) {
    const float F = TACFITALT_EVAL_FONCT(s, ctx);
    float Dp[kParams], Dm[kParams], M = 0.0f;
    for (int i = 0; i < kParams; ++i) {
      TACFITALT_SAVE_TMPCOEF(s);
      p[i] += eps[i];
      recomputeFor(s, i);
      const float Fp = TACFIT_VERIF_CURVE(s) ? TACFITALT_EVAL_FONCT(s, ctx) : F;
      p[i] -= 2.0f * eps[i];
      recomputeFor(s, i);
      const float Fm = TACFIT_VERIF_CURVE(s) ? TACFITALT_EVAL_FONCT(s, ctx) : F;
      p[i] += eps[i];
      TACFITALT_LOAD_TMPCOEF(s);
      Dp[i] = std::fmax(F - Fp, 0.0f);
      Dm[i] = std::fmax(F - Fm, 0.0f);
      M = std::fmax(M, std::fmax(Dp[i], Dm[i]));
    }
    for (int i = 0; i < kParams; ++i) {
      if (M > 0.0f) {
        Dp[i] /= M;
        Dm[i] /= M;
      }
      p[i] += eps[i] * Dp[i] - eps[i] * Dm[i];
    }
    TACFIT_SHIFT_PARAM(s, ctx);
    TACFITALT_EVAL_COEFF(s, 1, 1, 1);
    const float G = F - TACFITALT_EVAL_FONCT(s, ctx);
    if (it == 0) {
      R = G;
    } else if (G > 0.0f && G < R / 10.0f) {
      R /= 10.0f;
      for (int i = 0; i < kParams; ++i) eps[i] /= 2.0f;
    }
  }
  TACFITALT_EVAL_CURVE(s, ctx);
  return 0;
}

}  // namespace quorvel
