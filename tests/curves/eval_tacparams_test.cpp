// Global parameters from a fitted curve: search windows, cyclic derivative, degenerate curves.
#include <gtest/gtest.h>

#include <cmath>

#include "curves/tacfit_record.h"

using namespace quorvel;

namespace {
FitContext ctx8() {
  FitContext c;
  c.Ninst = 8;
  c.CYCLE = 125.0f;  // one cycle = 1 s, so dt = 1/512 s
  return c;
}
}  // namespace

TEST(EvalTacParams, RatesAreSearchedStrictlyBetweenMaximumAndMinimum) {
  // Maximum at 0, minimum at 200. The steepest fall (0 -> 1) and the steepest rise (200 -> 201)
  // touch the extremes and must be left out of the searches.
  TacFitOutput o;
  float* c = o.TACFIT_curve;
  c[0] = 100.0f;
  for (int k = 1; k <= 200; ++k) c[k] = 80.0f - 40.0f * (k - 1) / 199.0f;  // 80 -> 40
  for (int k = 201; k < 512; ++k) c[k] = 60.0f + 40.0f * (k - 201) / 311.0f;  // 60 -> 100 at 512
  ASSERT_EQ(EVAL_TACPARAMS(o, ctx8()), 0);
  EXPECT_FLOAT_EQ(o.TACFIT_vmax, 100.0f);
  EXPECT_FLOAT_EQ(o.TACFIT_vmin, 40.0f);
  EXPECT_FLOAT_EQ(o.TACFIT_fes, 60.0f);
  EXPECT_FLOAT_EQ(o.TACFIT_tfs, 39.0625f);
  const float dt = 1.0f / 512.0f;
  EXPECT_NEAR(o.TACFIT_deriv[0], -20.0f / (100.0f * dt), 1e-3f);
  EXPECT_NEAR(o.TACFIT_per, 40.0f / 199.0f / (100.0f * dt), 1e-3f);  // the ramp, not sample 0
  EXPECT_GT(o.TACFIT_tper, 0.0f);
  EXPECT_LT(o.TACFIT_tper, 39.0625f);
  EXPECT_NEAR(o.TACFIT_pfr, 40.0f / 311.0f / (100.0f * dt), 1e-3f);  // the ramp, not sample 200
  EXPECT_GT(o.TACFIT_tpfr, 39.0625f);
  // The largest |derivative| is the jump 200 -> 201, whatever the windows.
  EXPECT_NEAR(o.filling_ampl, 20.0f / (100.0f * dt), 1e-3f);
}

TEST(EvalTacParams, MaximumAfterMinimumSearchesEjectionAroundTheWrap) {
  // Minimum at 100, maximum at 300: filling in 101..299, ejection in 301..511 and 0..99.
  TacFitOutput o;
  float* c = o.TACFIT_curve;
  for (int k = 0; k < 512; ++k) {
    if (k <= 100) c[k] = 70.0f - 50.0f * k / 100.0f;         // 70 -> 20
    else if (k <= 300) c[k] = 20.0f + 80.0f * (k - 100) / 200.0f;  // 20 -> 100
    else c[k] = 100.0f - 30.0f * (k - 300) / 211.0f;          // 100 -> ~70
  }
  EVAL_TACPARAMS(o, ctx8());
  EXPECT_FLOAT_EQ(o.TACFIT_tfs, 100 / 5.12f);
  EXPECT_GT(o.TACFIT_tpfr * 5.12f, 100.0f);
  EXPECT_LT(o.TACFIT_tpfr * 5.12f, 300.0f);
  EXPECT_NEAR(o.TACFIT_pfr, 0.4f / (100.0f / 512.0f), 1e-3f);
  // Steepest fall lies before the minimum, i.e. in the part that wraps past sample 0.
  EXPECT_LT(o.TACFIT_tper * 5.12f, 100.0f);
  EXPECT_NEAR(o.TACFIT_per, 0.5f / (100.0f / 512.0f), 1e-3f);
}

TEST(EvalTacParams, DerivativeWrapsAndTiesKeepTheFirst) {
  TacFitOutput o;
  for (int k = 0; k < 512; ++k) o.TACFIT_curve[k] = 50.0f + 10.0f * std::sin(2.0f * 3.14159265f * k / 512.0f);
  o.TACFIT_curve[384] = 40.0f;
  o.TACFIT_curve[511] = 40.0f;  // ties the minimum at 384: the first one is kept
  o.TACFIT_curve[0] = 45.0f;
  FitContext c = ctx8();
  c.CYCLE = 250.0f;  // two-second cycle: dt doubles, rates halve
  EVAL_TACPARAMS(o, c);
  const float vmax = o.TACFIT_vmax, dt = 8 * 250.0f / 512000.0f;
  EXPECT_NEAR(o.TACFIT_deriv[511], (45.0f - 40.0f) / (vmax * dt), 1e-4f);
  EXPECT_FLOAT_EQ(o.TACFIT_tfs, 384 / 5.12f);
}

TEST(EvalTacParams, FlatAndZeroCurvesGiveNoEjectionAndNoRates) {
  for (float level : {0.0f, 37.5f}) {
    TacFitOutput o;
    for (float& v : o.TACFIT_curve) v = level;
    o.filling_ampl = 1.5f;  // kept: it is only ever raised
    EVAL_TACPARAMS(o, ctx8());
    EXPECT_EQ(o.TACFIT_fes, 0.0f);
    EXPECT_EQ(o.TACFIT_per, 0.0f);
    EXPECT_EQ(o.TACFIT_pfr, 0.0f);
    EXPECT_EQ(o.TACFIT_tper, 0.0f);
    EXPECT_EQ(o.TACFIT_tpfr, 0.0f);
    EXPECT_FALSE(std::signbit(o.TACFIT_per));
    for (float d : o.TACFIT_deriv) ASSERT_EQ(d, 0.0f);
    EXPECT_EQ(o.filling_ampl, 1.5f);
  }
  // A negative minimum is reported as 0.
  TacFitOutput o;
  for (int k = 0; k < 512; ++k) o.TACFIT_curve[k] = k < 256 ? 10.0f : -2.0f;
  EVAL_TACPARAMS(o, ctx8());
  EXPECT_EQ(o.TACFIT_vmin, 0.0f);
  EXPECT_FLOAT_EQ(o.TACFIT_fes, 100.0f);
}
