// Behaviour of each fitting method beyond the accuracy table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <stdexcept>
#include <string>

#include "base/language.h"
#include "curves/tacfit_ref.h"
#include "curves/tacfit.h"
#include "curves_test_util.h"

using namespace quorvel;
using namespace quorvel::testing_curves;

namespace {
// End-systole at 400 ms, EF 65 % (instant 3 is the sampled minimum), in ml.
const std::vector<double> kCurve = {100.0, 84.77, 55.09, 35.65, 43.48, 65.40, 79.31, 88.48};

TacFitWork freshState() { return TacFitWork{}; }

bool allFinite(const TacFitOutput& o) {
  for (int k = 0; k < kCurveSamples; ++k)
    if (!std::isfinite(o.TACFIT_curve[k]) || !std::isfinite(o.TACFIT_deriv[k])) return false;
  return std::isfinite(o.TACFIT_fes) && std::isfinite(o.TACFIT_per) && std::isfinite(o.TACFIT_pfr);
}
}  // namespace

TEST(FitMethods, ConstantAndZeroCurvesStayFlatWithEveryMethod) {
  const FitContext ctx = context();
  for (double level : {0.0, 42.0}) {
    const std::vector<double> arg = closed(std::vector<double>(8, level));
    for (int method = kTacFitNew; method < kTacFitMethods; ++method) {
      TacFitWork s = freshState();
      fitSelectedMethod(method, TacFitSettings{}, s, arg.data(), ctx, false);
      ASSERT_TRUE(allFinite(s.out)) << "method " << method << " level " << level;
      for (int k = 0; k < kCurveSamples; ++k)
        ASSERT_NEAR(s.out.TACFIT_curve[k], level, 1e-4 * (1 + level)) << "method " << method << " sample " << k;
      EXPECT_NEAR(s.out.TACFIT_fes, 0.0f, 1e-3f) << "method " << method;
    }
  }
}

TEST(FitMethods, AffineIsPiecewiseLinearThroughTheInstants) {
  const FitContext ctx = context();
  TacFitWork s = freshState();
  const std::vector<double> arg = closed(kCurve);
  TACFIT_AFFINE(s, arg.data(), ctx);
  for (int k = 0; k < 8; ++k) {
    EXPECT_NEAR(s.out.TACFIT_curve[64 * k], kCurve[k], 1e-4) << k;
    EXPECT_NEAR(s.out.TACFIT_curve[64 * k + 32], (arg[k] + arg[k + 1]) / 2, 1e-4) << k;
  }
  EXPECT_NEAR(s.out.TACFIT_curve[511], kCurve[7] + (kCurve[0] - kCurve[7]) * 63.0 / 64.0, 1e-4);
  EXPECT_FLOAT_EQ(s.out.TACFIT_tfs, 3 * 64 / 5.12f);
}

TEST(FitMethods, SplinesPassThroughTheInstantsAndFollowASmoothCycle) {
  for (int N : {8, 16}) {
    const FitContext ctx = context(N, 1000.0f / N);
    TacFitWork s = freshState();
    std::vector<double> v(N);
    for (int k = 0; k < N; ++k) v[k] = 60.0 + 20.0 * std::sin(2 * M_PI * k / N);
    const std::vector<double> arg = closed(v);
    TACFIT_SPLINES(s, arg.data(), ctx);
    EXPECT_EQ(s.SPmatrix_Ninst, N);
    const int per = 512 / N;
    for (int k = 0; k < N; ++k) EXPECT_FLOAT_EQ(s.out.TACFIT_curve[per * k], static_cast<float>(v[k]));
    // A periodic spline through samples of a sine stays close to it, and keeps its slope across
    // the wrap (where the sine is steepest).
    for (int i = 0; i < 512; ++i)
      ASSERT_NEAR(s.out.TACFIT_curve[i], 60.0 + 20.0 * std::sin(2 * M_PI * i / 512.0), 0.1) << N << ":" << i;
    EXPECT_NEAR(s.out.TACFIT_curve[1] - s.out.TACFIT_curve[0], s.out.TACFIT_curve[0] - s.out.TACFIT_curve[511], 1e-3);
  }
}

TEST(FitMethods, SplineMatrixIsRebuiltWhenTheInstantCountChanges) {
  TacFitWork s = freshState();
  BUILD_SPLINES_MATRIX(s, context(8));
  const std::vector<double> v16 = closed(std::vector<double>{10, 9, 8, 7, 6, 5, 4, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  TACFIT_SPLINES(s, v16.data(), context(16, 62.5f));
  EXPECT_EQ(s.SPmatrix_Ninst, 16);
  EXPECT_FLOAT_EQ(s.out.TACFIT_curve[32 * 7], 3.0f);
  // SPmatrix_ is the inverse of SPmatrix (48 x 48).
  const int n = 48;
  for (int i = 0; i < n; i += 7)
    for (int j = 0; j < n; ++j) {
      float acc = 0;
      for (int k = 0; k < n; ++k) acc += s.SPmatrix_[i * n + k] * s.SPmatrix[k * n + j];
      ASSERT_NEAR(acc, i == j ? 1.0f : 0.0f, 1e-3f) << i << "," << j;
    }
}

TEST(FitMethods, MultiHarmonicIsTheTruncatedSeriesOfThePiecewiseLinearCurve) {
  const FitContext ctx = context();
  const std::vector<double> arg = closed(kCurve);
  // Independent truth: a direct double-precision DFT of the closed polyline.
  std::vector<double> lin(512);
  for (int i = 0; i < 512; ++i) {
    const double pos = 8.0 * i / 512.0;
    const int k = static_cast<int>(pos);
    lin[i] = kCurve[k] * (1 - (pos - k)) + kCurve[(k + 1) % 8] * (pos - k);
  }
  for (int deg = 1; deg <= 4; ++deg) {
    TacFitWork s = freshState();
    MULTI_HARMONIQUE(s, deg, arg.data(), ctx);
    std::vector<double> truth(512, 0.0);
    for (int h = -deg; h <= deg; ++h) {
      std::complex<double> c = 0;
      for (int i = 0; i < 512; ++i) c += lin[i] * std::polar(1.0, -2 * M_PI * h * i / 512.0);
      c /= 512.0;
      for (int i = 0; i < 512; ++i) truth[i] += (c * std::polar(1.0, 2 * M_PI * h * i / 512.0)).real();
    }
    for (int i = 0; i < 512; ++i) ASSERT_NEAR(s.out.TACFIT_curve[i], truth[i], 2e-3) << deg << ":" << i;
  }
}

TEST(ReferenceFit, NoIterationMapsTheReferenceOntoTheMeasuredExtremes) {
  FitContext ctx = context();
  TacFitWork s = freshState();
  const std::vector<double> arg = closed(kCurve);
  TACFIT_NEW(s, 0, arg.data(), ctx);
  // The mid-cycle bump carries the reference end-systole point (z = 0) to instant 3 (sample 192),
  // where the amplitude map gives the measured minimum; end-diastole stays at the maximum.
  EXPECT_NEAR(s.out.TACFIT_curve[192], 35.65f, 1e-3f);
  EXPECT_NEAR(s.out.TACFIT_curve[0], 100.0f, 1e-3f);
  EXPECT_NEAR(s.out.TACFIT_tfs, 37.5f, 2.0f);  // the spline itself dips a little later
  EXPECT_NEAR(s.TACFITNEW_PARAM[0][4], 0.015625f / 0.73828125f, 1e-6f);
}

TEST(ReferenceFit, DescentLowersTheObjective) {
  const FitContext ctx = context();
  const std::vector<double> noisy = closed({100.0, 81.0, 58.0, 37.0, 46.0, 62.0, 81.0, 86.0});
  TacFitWork s0 = freshState();
  TACFIT_NEW(s0, 0, noisy.data(), ctx);
  TacFitWork s = freshState();
  TACFIT_NEW(s, 15, noisy.data(), ctx);
  EXPECT_LT(TACFITNEW_EVAL_FONCT(s, ctx), 0.5f * TACFITNEW_EVAL_FONCT(s0, ctx));
}

TEST(ReferenceFit, SlopeAndCompressionLimitsHold) {
  const std::vector<double> arg = closed({100.0, 70.0, 40.0, 50.0, 80.0, 95.0, 60.0, 90.0});
  FitContext ctx = context();
  ctx.TACFIT_PTMIN = 1.0f;  // no room for a warp, no curvature of the amplitude map
  TacFitWork s = freshState();
  TACFIT_NEW(s, 15, arg.data(), ctx);
  for (int k = 1; k <= 7; ++k) EXPECT_LT(std::fabs(s.TACFITNEW_PARAM[0][k]), 1e-5f) << k;
  EXPECT_EQ(s.TACFITNEW_PARAM[2][3], 0.0f);

  ctx = context();
  ctx.TACFIT_COMPMAX = 1.0f;
  TacFitWork c = freshState();
  TACFIT_NEW(c, 15, arg.data(), ctx);
  EXPECT_GE(c.TACFITNEW_PARAM[2][2], 0.5f);
  // Every bump sharpness keeps its window inside the cycle.
  for (int k = 1; k <= 7; ++k) {
    const float centre = k / 8.0f;
    EXPECT_GE(c.TACFITNEW_PARAM[1][k], 1.0f / std::min(centre, 1.0f - centre) - 1e-4f) << k;
  }
  for (float v : c.out.TACFIT_curve) ASSERT_TRUE(std::isfinite(v));
}

TEST(ReferenceFit, BumpWindowsCrossingTheCycleEndAreCyclic) {
  // A bump centred at phase 7/8 with half-width 1/4 covers phases above 5/8 and below 1/8.
  FitContext ctx = context();
  TacFitWork s = freshState();
  s.TACFIT_YMIN = 0.0f;
  s.TACFITNEW_PARAM[2][1] = 0.5f;
  s.TACFITNEW_PARAM[2][2] = 0.5f;
  for (int k = 1; k <= 7; ++k) s.TACFITNEW_PARAM[1][k] = 8.0f;
  s.TACFITNEW_PARAM[1][7] = 4.0f;
  s.TACFITNEW_PARAM[0][7] = 0.02f;
  const float inside = 0.05f;  // d = 0.05 - 7/8 wraps to 0.175
  const float expectW = inside + 0.02f * (1 - 6 * 0.49f + 8 * 0.343f - 3 * 0.2401f);  // B(0.7)
  const float z = (referenceSplineAt(s, expectW) - 0.3604f) / 0.6396f;
  EXPECT_NEAR(TACFITNEW_EVAL_Y(s, inside, ctx), z, 1e-6f);
  const float outside = 0.2f;  // beyond the window: plain reference
  EXPECT_NEAR(TACFITNEW_EVAL_Y(s, outside, ctx), (referenceSplineAt(s, outside) - 0.3604f) / 0.6396f, 1e-6f);
}

TEST(ReferenceFit, SplineTraceHoldsThePlainReference) {
  const std::filesystem::path folder = testHome();
  std::filesystem::remove(folder / "TAC.txt");
  ASSERT_TRUE(writeReferenceSplineTrace(freshState(), folder));
  std::ifstream in(folder / "TAC.txt");
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 512u);
  EXPECT_EQ(lines[0], "1.000000");
  EXPECT_EQ(lines[200], "0.360400");
  EXPECT_FALSE(writeReferenceSplineTrace(freshState(), folder / "missing"));
}

TEST(PiecewiseFit, InitialModelJoinsSmoothlyThroughTheMeasuredExtremes) {
  const FitContext ctx = context();
  TacFitWork s = freshState();
  const std::vector<double> arg = closed(kCurve);
  TACFIT_ALT(s, arg.data(), 0, ctx);
  const float* p = s.TACFIT_PARAM;
  EXPECT_FLOAT_EQ(p[2], 0.375f);
  EXPECT_NEAR(s.out.TACFIT_curve[0], 100.0f, 1e-3f);
  EXPECT_NEAR(s.out.TACFIT_curve[192], 35.65f, 1e-3f);
  EXPECT_FLOAT_EQ(s.out.TACFIT_tfs, 37.5f);
  EXPECT_NEAR(TACFITALT_EVAL_POINT(s, p[4]), (1.0f + 0.3565f) / 2.0f, 1e-5f);
  EXPECT_NEAR(TACFITALT_EVAL_DERIV(s, p[4]), (1.0f - 0.3565f) / (1.0f - 0.375f), 1e-4f);
  // Value, slope and curvature continuous at end-systole, the inflection point and the wrap.
  auto curv = [&](int piece, float x) {
    const float* c = s.TACFIT_COEF[piece];
    return 2 * c[2] + 6 * c[3] * x + 12 * c[4] * x * x + 20 * c[5] * x * x * x;
  };
  const float e = 1e-4f;
  EXPECT_NEAR(TACFITALT_EVAL_POINT(s, p[2] - e), TACFITALT_EVAL_POINT(s, p[2] + e), 1e-4f);
  EXPECT_NEAR(TACFITALT_EVAL_DERIV(s, p[2]), 0.0f, 1e-4f);
  EXPECT_NEAR(curv(0, p[2]), p[8], 1e-2f);
  EXPECT_NEAR(curv(1, 0), p[8], 1e-2f);
  EXPECT_NEAR(curv(1, p[4] - p[2]), 0.0f, 1e-2f);
  EXPECT_NEAR(curv(2, 0), 0.0f, 1e-2f);
  EXPECT_NEAR(TACFITALT_EVAL_POINT(s, 1.0f), TACFITALT_EVAL_POINT(s, 0.0f), 1e-4f);
  EXPECT_NEAR(curv(2, 1 - p[4]), p[7], 1e-2f);
  EXPECT_NEAR(curv(0, 0), p[7], 1e-2f);
}

TEST(PiecewiseFit, BoundsHoldAfterIterations) {
  // Minimum at instant 1 (phase 0.125, below the 0.15 bound).
  const std::vector<double> arg = closed({100.0, 40.0, 55.0, 70.0, 80.0, 88.0, 94.0, 98.0});
  FitContext ctx = context();
  ctx.TACFIT_COMPMAX = 1.0f;
  TacFitWork s = freshState();
  TACFIT_ALT(s, arg.data(), 20, ctx);
  const float* p = s.TACFIT_PARAM;
  EXPECT_GE(p[2], 0.15f);
  EXPECT_LE(p[2], 0.7f);
  EXPECT_GE(p[4], p[2] + 0.15f - 1e-6f);
  EXPECT_LE(p[4], 0.85f);
  EXPECT_GE(p[1] - p[3], (1.0f - s.TACFIT_YMIN) - 1e-5f);
  EXPECT_TRUE(allFinite(s.out));
  // The descent improved on the initial model.
  TacFitWork s0 = freshState();
  TACFIT_ALT(s0, arg.data(), 0, ctx);
  EXPECT_LT(TACFITALT_EVAL_FONCT(s, ctx), TACFITALT_EVAL_FONCT(s0, ctx));
}

TEST(RefCurveFit, WarpKeepsTheCycleEndsAndTheRotationIsUndone) {
  const std::vector<double> arg = closed(kCurve);
  RefCurveResult voc;
  TACFIT_REF(voc, arg.data(), 8);
  ASSERT_TRUE(voc.valid);
  EXPECT_DOUBLE_EQ(voc.yscale, 100.0);
  EXPECT_NEAR(modif_baseModel(0.0, voc.model), 1.0, 1e-9);
  EXPECT_GT(voc.fes, 0.55);
  EXPECT_LT(voc.fes, 0.75);
  // The caller rotates the maximum to instant 0; sampling undoes it (16 instants, tmax 3: 96 samples).
  float a[512], b[512];
  referenceModelCurve(voc, 50.0f, 0, 16, a);
  referenceModelCurve(voc, 50.0f, 3, 16, b);
  for (int i = 0; i < 512; ++i) ASSERT_FLOAT_EQ(b[(i + 96) % 512], a[i]);
  // The model's minimum is the reported ejection fraction.
  EXPECT_NEAR(*std::min_element(a, a + 512) / 50.0f, 1.0 - voc.fes, 0.01);
}

TEST(Selector, DeveloperMethodAndLabels) {
  const FitContext ctx = context();
  const std::vector<double> arg = closed(kCurve);
  TacFitWork s = freshState();
  TacFitSettings set;
  EXPECT_THROW(fitSelectedMethod(kTacFitRef, set, s, arg.data(), ctx, false), std::invalid_argument);
  EXPECT_NO_THROW(fitSelectedMethod(kTacFitRef, set, s, arg.data(), ctx, true));
  EXPECT_TRUE(s.voc.valid);
  EXPECT_THROW(fitSelectedMethod(6, set, s, arg.data(), ctx, true), std::invalid_argument);

  set.TACFIT_ITER = 25;
  EXPECT_EQ(tacfitMethodLabel(kTacFitNew, set, kEnglish), "Method : reference curve (25 it.)");
  EXPECT_EQ(tacfitMethodLabel(kMultiHarmonique, set, kFrench), "Méthode : fit multi-harmonique (2 h.)");
  EXPECT_EQ(tacfitMethodLabel(kTacFitAlt, set, kEnglish), "Method : polynomial fitting (20 it.)");
  EXPECT_EQ(tacfitMethodLabel(kTacFitSplines, set, kEnglish), "Méthod : splines fitting");
}
