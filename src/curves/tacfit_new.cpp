// Method 1: the measured curve as a deformed copy of the reference curve. The reference is
// shifted in time, its time axis warped by a sum of smooth bumps and its amplitude mapped
// through a monotone quadratic; all in single precision.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "curves/tacfit.h"

namespace quorvel {

namespace {
constexpr float kRefEndSystole = 0.3604f;  // reference value at its end-systolic point
constexpr float kRefAmplitude = 0.6396f;   // 1 - kRefEndSystole
constexpr float kRefEndSystolePhase = 0.390625f;
constexpr float kHugeSlopeScale = 999999.875f;

// Parameter groups: 0 bump amplitudes, 1 bump sharpness, 2 shift / level / half amplitude / curvature.
enum { kAmp = 0, kSharp = 1, kShape = 2 };
enum { kPhi = 0, kMid = 1, kHalf = 2, kKappa = 3 };

float wrapUnit(float u) {
  while (u < 0.0f) u += 1.0f;
  while (u > 1.0f) u -= 1.0f;
  return u;
}

// i modulo N in 0..N-1; the bumps reach at most one cycle either side.
int wrapIndex(int i, int N) {
  if (i >= 0 && i < N) return i;
  if (i >= N && i < 2 * N) return i - N;
  if (i < 0 && i >= -N) return i + N;
  return ((i % N) + N) % N;
}

float bump(float x) { return 1.0f - 6.0f * x * x + 8.0f * x * x * x - 3.0f * x * x * x * x; }

}  // namespace

TacFitWork::TacFitWork() { INIT_TACFITNEW(*this); }

bool writeReferenceSplineTrace(const TacFitWork& s, const std::filesystem::path& folder) {
  std::FILE* f = std::fopen((folder / "TAC.txt").string().c_str(), "w");
  if (!f) return false;
  for (int i = 0; i < kCurveSamples; ++i)
    std::fprintf(f, "%2.6f\n", referenceSplineAt(s, static_cast<float>(i) / 512.0f));
  return std::fclose(f) == 0;
}

void INIT_TACFITNEW(TacFitWork& s) {
  static constexpr float kKnots[6] = {0.0f, 0.390625f, 0.703125f, 0.78125f, 0.859375f, 1.0f};
  static constexpr float kSpline[5][4] = {
      {1.0f, 0.060185f, -12.069924f, 19.773872f},
      {0.36039999f, -0.31768301f, 11.102582f, -19.220411f},
      {0.75880003f, 0.99045002f, -6.916553f, 34.049988f},
      {0.81019998f, 0.53321302f, 1.063912f, 17.719213f},
      {0.86680001f, 1.023898f, 5.2168531f, -40.976063f},
  };
  for (int j = 0; j < 6; ++j) s.TACFIT_ABC[j] = kKnots[j];
  for (int j = 0; j < 5; ++j)
    for (int c = 0; c < 4; ++c) s.TACFIT_SPLINE[j][c] = kSpline[j][c];
}

float referenceSplineAt(const TacFitWork& s, float w) {
  for (int j = 0; j < 5; ++j) {
    if (s.TACFIT_ABC[j] <= w && w < s.TACFIT_ABC[j + 1]) {
      const float f = w - s.TACFIT_ABC[j];
      const float* c = s.TACFIT_SPLINE[j];
      return c[0] + c[1] * f + c[2] * f * f + c[3] * f * f * f;
    }
  }
  return 1.0f;  // w = 1: end of the cycle, end-diastole again
}

float TACFITNEW_POLY(float a, float s, float d) { return a * bump(std::fabs(s * d)); }

namespace {

// The warp's bumps as the curve reads them, worked out once per set of parameters: the fit
// evaluates the same parameters at every instant, and the final curve at 512 phases.
struct Bumps {
  int n = 0;
  float a[40], sk[40], c[40], lo[40], hi[40];
};

Bumps bumpsOf(const TacFitWork& s, const FitContext& ctx) {
  const float N = static_cast<float>(ctx.Ninst);
  Bumps b;
  b.n = s.TACFIT_DEG[kAmp];
  for (int k = 1; k <= b.n; ++k) {
    const float sk = s.TACFITNEW_PARAM[kSharp][k];
    const float c = static_cast<float>(k) / N;
    float lo = c - 1.0f / sk, hi = c + 1.0f / sk;
    if (lo < 0.0f) lo += 1.0f;
    if (hi > 1.0f) hi -= 1.0f;
    b.a[k] = s.TACFITNEW_PARAM[kAmp][k], b.sk[k] = sk, b.c[k] = c, b.lo[k] = lo, b.hi[k] = hi;
  }
  return b;
}

float evalY(const TacFitWork& s, const Bumps& b, float t) {
  const float* shape = s.TACFITNEW_PARAM[kShape];
  const float u = wrapUnit(t - shape[kPhi]);
  float w = u;
  for (int k = 1; k <= b.n; ++k) {
    const float lo = b.lo[k], hi = b.hi[k];
    const bool inside = (lo < hi && lo < u && u < hi) || (hi < lo && (u < hi || u > lo));
    if (!inside) continue;
    float d = u - b.c[k];
    if (d > 0.5f) d -= 1.0f;
    if (d < -0.5f) d += 1.0f;
    w += TACFITNEW_POLY(b.a[k], b.sk[k], d);
  }
  w = wrapUnit(w);
  const float z = (referenceSplineAt(s, w) - kRefEndSystole) / kRefAmplitude;
  const float m = shape[kMid], h = shape[kHalf], kappa = shape[kKappa];
  const float ymin = s.TACFIT_YMIN;
  return ymin + (1.0f - ymin) * (kappa * z * z + (2.0f * h - kappa) * z + (m - h));
}

}  // namespace

float TACFITNEW_EVAL_Y(const TacFitWork& s, float t, const FitContext& ctx) { return evalY(s, bumpsOf(s, ctx), t); }

float TACFITNEW_EVAL_FONCT(const TacFitWork& s, const FitContext& ctx) {
  const Bumps b = bumpsOf(s, ctx);
  float f = 0.0f;
  for (int i = 0; i < ctx.Ninst; ++i) {
    const float e = evalY(s, b, static_cast<float>(i) / static_cast<float>(ctx.Ninst)) - s.TACFIT_points[i];
    f += e * e;
  }
  return f;
}

void TACFITNEW_PARAM_0(TacFitWork& s, const FitContext& ctx) {
  const int N = ctx.Ninst;
  float* a = s.TACFITNEW_PARAM[kAmp];
  float* sh = s.TACFITNEW_PARAM[kSharp];
  const int nb = s.TACFIT_DEG[kAmp];

  // A bump never reaches past phase 0 or 1.
  for (int k = 1; k <= nb; ++k) {
    const float c = static_cast<float>(k) / static_cast<float>(N);
    const float e = std::fmin(c, 1.0f - c);
    if (sh[k] < 1.0f / e) sh[k] = 1.0f / e;
  }

  // Where bumps overlap, scale them down so the warp keeps a slope of at least TACFIT_PTMIN.
  // Bump k weighs L[k] on the instants of its mask and nothing elsewhere; the sums skip the
  // zeros, which leaves them exactly as they are (the weights are never negative).
  float L[16];
  unsigned covers[16] = {};
  float q[16];
  for (float& v : q) v = 1.0f;
  const float room = 1.0f - ctx.TACFIT_PTMIN;
  for (int k = 1; k <= nb && k < 16; ++k) {
    const float v = room <= 0.0f ? kHugeSlopeScale : std::fabs(sh[k] * a[k]) * 1.78f / room;
    const int n = static_cast<int>(std::floor(static_cast<float>(N) / sh[k] + 0.5f));
    L[k] = v;
    if (a[k] > 0.0f) {
      for (int i = k; i <= k + n; ++i) covers[k] |= 1u << wrapIndex(i, N);
    } else if (a[k] < 0.0f) {
      for (int i = k - n; i <= k; ++i) covers[k] |= 1u << wrapIndex(i, N);
    }
  }
  for (int i = 0; i < N; ++i) {
    const unsigned bit = 1u << i;
    float sum = 0.0f;
    for (int k = 1; k <= nb && k < 16; ++k)
      if (covers[k] & bit) sum += L[k];
    if (sum > 1.0f)
      for (int k = 1; k <= nb && k < 16; ++k)
        if ((covers[k] & bit) && L[k] > 0.0f) q[k] = std::fmax(q[k], sum);
  }
  for (int k = 1; k <= nb && k < 16; ++k) a[k] /= q[k];

  // Amplitude: limited compression, and g'(z) >= 2 h TACFIT_PTMIN on [0, 1].
  float* shape = s.TACFITNEW_PARAM[kShape];
  shape[kHalf] = std::fmax(shape[kHalf], ctx.TACFIT_COMPMAX / 2.0f);
  const float kmax = 2.0f * shape[kHalf] * room;
  if (shape[kKappa] > kmax) shape[kKappa] = kmax;
  if (shape[kKappa] < -kmax) shape[kKappa] = -kmax;
}

int TACFIT_NEW(TacFitWork& s, int TACFIT_ITER, const double* tacfit_arg, const FitContext& ctx) {
  const int N = ctx.Ninst;
  float(&P)[3][40] = s.TACFITNEW_PARAM;
  float(&eps)[3][40] = s.TACFITNEW_eps;
  const int* deg = s.TACFIT_DEG;

  for (int k = 0; k <= deg[kAmp]; ++k) eps[kAmp][k] = 0.004f;
  for (int k = 0; k <= deg[kSharp]; ++k) eps[kSharp][k] = 2.0f;
  eps[kShape][0] = eps[kShape][1] = eps[kShape][2] = 0.02f;
  eps[kShape][3] = 0.05f;

  const auto [ymin, ymax, tmin, tmax] = measuredExtremes(tacfit_arg, N);
  float delta = tmin - tmax;
  if (delta < 0.0f) delta += 1.0f;

  s.TACFIT_YMAX = ymax;
  if (!(ymax > 0.0f)) {
    // Nothing to normalise by: the fitted curve is the zero curve.
    for (float& c : s.out.TACFIT_curve) c = 0.0f;
    return EVAL_TACPARAMS(s.out, ctx);
  }
  for (int i = 0; i < N; ++i) s.TACFIT_points[i] = static_cast<float>(tacfit_arg[i]) / ymax;
  s.TACFIT_YMIN = ymin / ymax;

  P[kShape][kPhi] = tmax;
  P[kShape][kMid] = 0.5f;
  P[kShape][kHalf] = 0.5f;
  P[kShape][kKappa] = 0.0f;
  for (int k = 0; k <= deg[kAmp]; ++k) {
    P[kAmp][k] = 0.0f;
    P[kSharp][k] = static_cast<float>(N / 4);
  }
  // A wide mid-cycle bump that carries the reference end-systole onto the measured one.
  // When minimum and maximum share an instant (flat curve) the bump weight at delta is 0: no bump.
  const int mid = N / 2;
  P[kSharp][mid] = 2.0f;
  const float weight = bump(std::fabs(2.0f * (delta - 0.5f)));
  P[kAmp][mid] = weight > 0.0f ? std::fabs(kRefEndSystolePhase - delta) / weight : 0.0f;
  if (delta > kRefEndSystolePhase) P[kAmp][mid] = -P[kAmp][mid];
  TACFITNEW_PARAM_0(s, ctx);

  // The error of the parameters as they stand is carried from where it was last computed: the
  // first group starts where the iteration starts, which is where the previous one ended.
  float R = 0.0f;
  float F0 = TACFITNEW_EVAL_FONCT(s, ctx);
  for (int it = 0; it < TACFIT_ITER; ++it) {
    for (int g = 0; g < 3; ++g) {
      const float F = g == 0 ? F0 : TACFITNEW_EVAL_FONCT(s, ctx);
      const int first = g == kShape ? 0 : 1;
      float Dplus[40] = {}, Dminus[40] = {};
      float M = 0.0f;
      for (int p = first; p <= deg[g]; ++p) {
        const float saved = P[g][p];
        P[g][p] = saved + eps[g][p];
        TACFITNEW_PARAM_0(s, ctx);
        float dp = F - TACFITNEW_EVAL_FONCT(s, ctx);
        P[g][p] = saved - eps[g][p];
        TACFITNEW_PARAM_0(s, ctx);
        float dm = F - TACFITNEW_EVAL_FONCT(s, ctx);
        P[g][p] = saved;
        if (dp < 0.0f && dm < 0.0f) {
          dp = dm = 0.0f;
        } else if (dm < 0.0f) {
          dp -= dm;
          dm = 0.0f;
        } else if (dp < 0.0f) {
          dm -= dp;
          dp = 0.0f;
        }
        Dplus[p] = dp;
        Dminus[p] = dm;
        M = std::fmax(M, std::fmax(dp, dm));
      }
      for (int p = first; p <= deg[g]; ++p) {
        if (M > 0.0f) {
          Dplus[p] /= M;
          Dminus[p] /= M;
        }
        P[g][p] += eps[g][p] * Dplus[p] - eps[g][p] * Dminus[p];
      }
      TACFITNEW_PARAM_0(s, ctx);
    }
    const float F1 = TACFITNEW_EVAL_FONCT(s, ctx);
    const float G = F0 - F1;
    F0 = F1;
    if (it == 0) {
      R = G;
    } else if (G > 0.0f && G < R / 10.0f) {
      R /= 10.0f;
      for (int g = kSharp; g <= kShape; ++g)
        for (int p = 0; p <= deg[g]; ++p) eps[g][p] /= 2.0f;
    }
  }

  // TACFITNEW_EVAL_CURVE
  const Bumps bumps = bumpsOf(s, ctx);
  for (int i = 0; i < kCurveSamples; ++i)
    s.out.TACFIT_curve[i] = s.TACFIT_YMAX * evalY(s, bumps, static_cast<float>(i) / 512.0f);
  return EVAL_TACPARAMS(s.out, ctx);
}

}  // namespace quorvel
