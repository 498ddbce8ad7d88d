// Volume curves: what each voxel weighs, which voxels count, the fitted curves and the results
// text of the results stage.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "base/language.h"
#include "curves/method_commands.h"
#include "curves/refcurve.h"
#include "segmentation/classification.h"
#include "segmentation/method_comparison.h"
#include "segmentation/plausibility.h"
#include "segmentation/volume_curves.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

class VolumeCurvesTest : public SegmentationTest {
 protected:
  // A quantised study with labels 1 (left) and 2 (right) and every slice inside the limits.
  void setUpStudy(int Ninst, int NCZ, float xy, float z) {
    w.study = blankStudy(Ninst, NCZ, xy, z);
    for (float& v : w.study.DATA) v = 1.0f;
    w.study.CYCLE = 100.0f;
    w.study.CARD_FREQ = 75.0f;
    INIT_ACQ_PARAM(w.study, w.settings, w.options);
    seg.LPE.assign(w.study.DATA.size(), 0);
    seg.NREG = 2;
    seg.CORR[1] = kClassLeft;
    seg.CORR[2] = kClassRight;
  }
  void put(int label, int t, int z, int r, int c, float level) {
    seg.LPE[Segmentation::index(w.study.NCZ, t, z, r, c)] = static_cast<uint16_t>(label);
    w.study.at(t, z, r, c) = level;
  }
  // A beating left ventricle of 0.125 ml voxels, smallest at instant 3, and a one-voxel right one.
  void beatingLeftVentricle() {
    setUpStudy(8, 8, 0.5f, 0.5f);
    const int counts[8] = {400, 330, 220, 180, 300, 340, 370, 390};
    for (int t = 0; t < 8; ++t)
      for (int k = 0; k < counts[t]; ++k) put(1, t, k / 64, 8 + (k % 64) / 8, 40 + k % 8, 800.0f);
    for (int t = 0; t < 8; ++t) put(2, t, 0, 10, 10, 800.0f);
  }
  int vidange() {
    seg.struct_max.fill(1.0f);
    auto c = context();
    EVAL_STRUC_MAX(w.study, w.settings.limits, seg);
    return VIDANGE(c, curves);
  }
  CurveState curves;
};

TEST_F(VolumeCurvesTest, VoxelModeCountsVoxelsWhateverTheirCounts) {
  setUpStudy(8, 10, 0.25f, 0.4f);
  for (int t = 0; t < 8; ++t)
    for (int k = 0; k < 1000; ++k) put(1, t, k / 100, 10 + (k % 100) / 10, 40 + k % 10, 500.0f + (k * 37 + t) % 400);
  put(2, 0, 5, 20, 10, 900.0f);  // one bright right-ventricle voxel
  curves.vc.volume_voxels = 1;
  ASSERT_EQ(vidange(), 0);
  for (int t = 0; t < 8; ++t) EXPECT_NEAR(curves.vc.volG[t], 25.0f, 1e-3) << t;
  EXPECT_FLOAT_EQ(curves.vc.volG[8], curves.vc.volG[0]);
}

TEST_F(VolumeCurvesTest, AdaptedModeWeighsEachVoxelByItsLevel) {
  setUpStudy(8, 4, 0.5f, 0.5f);
  for (int t = 0; t < 8; ++t) {
    put(1, t, 1, 10, 40, 800.0f);  // at the normalisation level: one full voxel
    put(1, t, 1, 10, 41, 400.0f);  // half the level: half a voxel
    put(1, t, 1, 10, 42, 200.0f);  // below 30 % of the left ventricle's maximum: not counted
    put(2, t, 1, 10, 10, 400.0f);  // right ventricle half as bright as the left
  }
  ASSERT_EQ(vidange(), 0);
  const float voxel = 0.125f;
  EXPECT_NEAR(curves.vc.volG[3], 1.5f * voxel, 1e-5);
  // Equilibrium on: one normalisation level for both ventricles.
  EXPECT_NEAR(curves.vc.volD[3], 0.5f * voxel, 1e-5);
  w.options.equilibrium = 0;
  ASSERT_EQ(vidange(), 0);
  EXPECT_NEAR(curves.vc.volD[3], voxel, 1e-5);
}

TEST_F(VolumeCurvesTest, SlicesOutsideTheLimitsDoNotCountAtThatInstant) {
  setUpStudy(8, 6, 0.5f, 0.5f);
  for (int t = 0; t < 8; ++t)
    for (int z = 0; z < 6; ++z) put(1, t, z, 10, 40, 800.0f), put(2, t, z, 10, 10, 800.0f);
  w.settings.limits.limG_inf[2] = 2;
  w.settings.limits.limG_sup[2] = 3;
  w.settings.limits.limD_sup[5] = 0;
  ASSERT_EQ(vidange(), 0);
  EXPECT_NEAR(curves.vc.volG[1], 6 * 0.125f, 1e-5);
  EXPECT_NEAR(curves.vc.volG[2], 2 * 0.125f, 1e-5);
  EXPECT_NEAR(curves.vc.volD[5], 1 * 0.125f, 1e-5);
  EXPECT_EQ(curves.vc.tmax, 0);  // the left ventricle's largest volume, first on ties
}

TEST_F(VolumeCurvesTest, FittedCurveAndResultsComeFromTheSelectedMethod) {
  beatingLeftVentricle();
  w.settings.curves.TACFIT_switch = kTacFitAffine;
  ASSERT_EQ(vidange(), 0);
  const VentricleResults& G = curves.vc.G;
  EXPECT_NEAR(G.volmax, 400 * 0.125f, 0.01);
  EXPECT_NEAR(G.volmin, 180 * 0.125f, 0.01);
  EXPECT_NEAR(G.FES, 55.0f, 0.01);
  EXPECT_NEAR(G.VES, G.volmax - G.volmin, 1e-4);
  EXPECT_NEAR(G.debit, G.VES * 75 / 1000, 1e-5);
  EXPECT_EQ(G.TFS, 300);  // instant 3 of 100 ms
  EXPECT_NEAR(curves.vc.vidange_G[192], 180 * 0.125f, 0.01);
  EXPECT_FLOAT_EQ(curves.vc.maxvol, 80.0f);  // 50 ml: (int(2.5 + 0.5) + 1) x 20
  EXPECT_GT(curves.vc.filling_ampl, 0.0f);
  EXPECT_EQ(static_cast<int>(curves.vc.filling_ampl) % 2, 0);
  // A stored reference-curve choice outside developer mode falls back to method 1.
  w.settings.curves.TACFIT_switch = kTacFitRef;
  ASSERT_EQ(vidange(), 0);
  EXPECT_EQ(w.settings.curves.TACFIT_switch, kTacFitNew);
}

TEST_F(VolumeCurvesTest, MethodCommandsRefitAtOnce) {
  beatingLeftVentricle();
  w.settings.curves.TACFIT_switch = kTacFitAffine;
  ASSERT_EQ(vidange(), 0);
  const float affineFes = curves.vc.G.FES;
  auto c = context();
  ASSERT_TRUE(FIT_METHOD_COMMAND(c, curves, FitCommand::NextMethod));
  EXPECT_EQ(w.settings.curves.TACFIT_switch, kTacFitSplines);
  EXPECT_EQ(curves.fit.TACFIT_switch, kTacFitSplines);
  EXPECT_NE(curves.vc.G.FES, affineFes);  // refitted with the splines
  EXPECT_FALSE(FIT_METHOD_COMMAND(c, curves, FitCommand::MoreSetting));  // splines have no setting
  ASSERT_TRUE(FIT_METHOD_COMMAND(c, curves, FitCommand::NextMethod));
  EXPECT_EQ(w.settings.curves.TACFIT_switch, kTacFitNew);
  const int pictures = platform.picturesChanged;
  ASSERT_TRUE(FIT_METHOD_COMMAND(c, curves, FitCommand::FewerSetting));
  EXPECT_EQ(curves.fit.TACFIT_ITER, 10);
  EXPECT_EQ(platform.picturesChanged, pictures + 1);
}

TEST_F(VolumeCurvesTest, DeveloperNoiseIsAddedToEachMeasuredVolume) {
  setUpStudy(8, 4, 0.5f, 0.5f);
  for (int t = 0; t < 8; ++t) put(1, t, 1, 10, 40, 800.0f), put(2, t, 1, 10, 10, 800.0f);
  ASSERT_EQ(vidange(), 0);
  EXPECT_NEAR(curves.vc.volG[4], 0.125f, 1e-5);
  MethodComparison mc;
  auto c = context();
  EXPECT_FALSE(NOISE_COMMAND(c, curves, mc, -1));  // already at 0
  ASSERT_TRUE(NOISE_COMMAND(c, curves, mc, +1));
  EXPECT_EQ(noiseLevelText(mc), "Noise : 10");
  bool someNoise = false;
  for (int t = 0; t < 8; ++t) {
    EXPECT_NEAR(curves.vc.volG[t], 0.125f + curves.vc.TACFIT_noise[1][t], 1e-4);
    EXPECT_NEAR(curves.vc.volD[t], 0.125f + curves.vc.TACFIT_noise[0][t], 1e-4);
    EXPECT_GE(curves.vc.TACFIT_noise[1][t], 0.0f);
    EXPECT_LE(curves.vc.TACFIT_noise[1][t], 10.0f);
    someNoise = someNoise || curves.vc.TACFIT_noise[1][t] > 0.01f;
  }
  EXPECT_TRUE(someNoise);
  ASSERT_TRUE(NOISE_COMMAND(c, curves, mc, -1));
  for (int t = 0; t < 8; ++t) EXPECT_NEAR(curves.vc.volG[t], 0.125f, 1e-5);  // level 0: no noise
}

TEST_F(VolumeCurvesTest, ReferenceMethodUndoesTheRotationToTheLargestVolume) {
  std::ofstream(dir / "work_version.txt") << "1";
  log = TraceLog(dir);
  ASSERT_TRUE(log.enabled());
  setUpStudy(16, 8, 0.5f, 0.5f);
  const int counts[16] = {300, 340, 370, 400, 380, 330, 260, 200, 170, 190, 230, 260, 280, 290, 295, 298};
  for (int t = 0; t < 16; ++t)
    for (int k = 0; k < counts[t]; ++k) put(1, t, k / 64, 8 + (k % 64) / 8, 40 + k % 8, 800.0f);
  for (int t = 0; t < 16; ++t) put(2, t, 0, 10, 10, 800.0f);
  w.settings.curves.TACFIT_switch = kTacFitRef;
  ASSERT_EQ(vidange(), 0);
  ASSERT_EQ(curves.vc.tmax, 3);
  const float Cmax = 400 * 0.125f;
  for (int i : {0, 100, 415, 511})
    EXPECT_NEAR(curves.vc.vidange_G[(i + 96) % 512], Cmax * modif_baseModel(i / 512.0, curves.fit.voc.model), 1e-3)
        << i;
  EXPECT_NEAR(curves.vc.G.volmax, Cmax, 0.5);
  EXPECT_TRUE(std::filesystem::exists(dir / "temp" / "EXTAC.txt"));
}

// Results that cannot be true: a counted ventricle voxel on the in-plane border at some instant,
// or a peak ejection after the end of systole. Codes per ventricle: 1 edge, 2 late ejection.
TEST_F(VolumeCurvesTest, ImplausibleResultsAreVentriclesCutByTheSquareOrEjectingAfterSystole) {
  beatingLeftVentricle();
  ASSERT_EQ(vidange(), 0);
  const Study study = w.study;
  const Segmentation labels = seg;
  const SliceLimits limits = w.settings.limits;
  const VolumeCurves vc = curves.vc;
  ASSERT_LT(vc.G.TPER, vc.G.TFS);
  struct Case {
    const char* name;
    std::function<void(Study&, Segmentation&, SliceLimits&, VolumeCurves&)> change;
    int left, right;
  };
  auto label = [](Study& s, Segmentation& g, int l, int t, int z, int r, int c, float level) {
    g.LPE[Segmentation::index(s.NCZ, t, z, r, c)] = static_cast<uint16_t>(l);
    s.at(t, z, r, c) = level;
  };
  const Case cases[] = {
      {"as measured", [](Study&, Segmentation&, SliceLimits&, VolumeCurves&) {}, 0, 0},
      {"left on row 0", [&](Study& s, Segmentation& g, SliceLimits&, VolumeCurves&) { label(s, g, 1, 5, 2, 0, 44, 800); }, 1, 0},
      {"right on column 0", [&](Study& s, Segmentation& g, SliceLimits&, VolumeCurves&) { label(s, g, 2, 0, 0, 10, 0, 800); }, 0, 1},
      {"left on column 63", [&](Study& s, Segmentation& g, SliceLimits&, VolumeCurves&) { label(s, g, 1, 7, 7, 30, 63, 800); }, 1, 0},
      {"right on row 63", [&](Study& s, Segmentation& g, SliceLimits&, VolumeCurves&) { label(s, g, 2, 2, 3, 63, 5, 800); }, 0, 1},
      // Voxels the volumes do not count: below the threshold, outside the slice limits.
      {"faint edge", [&](Study& s, Segmentation& g, SliceLimits&, VolumeCurves&) { label(s, g, 1, 5, 2, 0, 44, 100); }, 0, 0},
      {"edge beyond the limits",
       [&](Study& s, Segmentation& g, SliceLimits& l, VolumeCurves&) {
         label(s, g, 2, 4, 6, 63, 20, 800);
         l.limD_sup[4] = 5;
       },
       0, 0},
      {"late ejection", [](Study&, Segmentation&, SliceLimits&, VolumeCurves& v) { v.G.TPER = v.G.TFS + 1.0f; }, 2, 0},
      {"both", [&](Study& s, Segmentation& g, SliceLimits&, VolumeCurves& v) {
         label(s, g, 2, 0, 0, 10, 0, 800);
         v.D.TPER = 800, v.D.TFS = 182;
       }, 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Study s = study;
    Segmentation g = labels;
    SliceLimits l = limits;
    VolumeCurves v = vc;
    c.change(s, g, l, v);
    int code[3] = {0, 0, 0};
    for (const ImplausibleVentricle& x : implausibleResults(s, l, g, v))
      code[x.ventricle] = (x.touchesSquareEdge ? 1 : 0) + (x.ejectionAfterSystole ? 2 : 0);
    EXPECT_EQ(code[1], c.left);
    EXPECT_EQ(code[2], c.right);
  }
  ImplausibleVentricle both{2, true, true, 803.6f, 182};
  EXPECT_EQ(implausibleResultText(both, kEnglish),
            "Right ventricle: the segmentation touches the edge of the re-orientation square; the peak ejection "
            "(803 ms) comes after the end of systole (182 ms); the results cannot be trusted.");
  EXPECT_EQ(implausibleResultText({1, false, true, 803.6f, 182}, kFrench),
            "Ventricule gauche : le pic d'éjection (803 ms) suit la fin de systole (182 ms) ; les résultats ne sont "
            "pas fiables.");
}

TEST(VolumeAxes, BoundsRoundUpToTheirSteps) {
  EXPECT_FLOAT_EQ(volumeAxisBound(47), 60);
  EXPECT_FLOAT_EQ(volumeAxisBound(2), 20);
  EXPECT_FLOAT_EQ(volumeAxisBound(0), 20);
  EXPECT_FLOAT_EQ(rateAxisBound(3.2f), 4);
  EXPECT_FLOAT_EQ(rateAxisBound(4.0f), 6);
}

TEST(ResultsText, BothLanguagesWithTheEjectionRateShownNegative) {
  VentricleResults r;
  r.volmax = 120.4f, r.volmin = 48.2f, r.VES = 72.2f, r.debit = 5.054f, r.FES = 59.97f, r.TFS = 300;
  r.PER = 3.14f, r.TPER = 150.7f, r.PFR = 3.85f, r.TPFR = 385.7f;
  EXPECT_EQ(ventricleResultsText(r, kEnglish),
            "Telediastolic volume = 120 cc\nTelesystolic volume = 48 cc\nEjection volume = 72 cc   -   Flow = 5.1 L / "
            "min\n\nEjection fraction = 60 %\nTime of end systole : 300 ms\n\nPeak eject. rate = -378 cc/s  (-3.14)   "
            "-   t-PER = 150 ms\nPeak fill. rate = 463 cc/s  (3.85)   -   t-PFR = 385 ms\n");
  EXPECT_EQ(ventricleResultsText(r, kFrench),
            "Volume télédiastolique = 120 cc\nVolume télésystolique = 48 cc\nVolume d'éjection = 72 cc   -   Débit = "
            "5.1 L / min\n\nFraction d'éjection = 60 %\nTemps de fin de systole : 300 ms\n\nDébit eject. max. = -378 "
            "cc/s  (-3.14)   -   t-DEM = 150 ms\nDébit remp. max. = 463 cc/s  (3.85)   -   t-DRM = 385 ms\n");
  EXPECT_STREQ(ventriclePanelTitle(1, kFrench), "Ventricule Gauche");
  EXPECT_STREQ(ventriclePanelTitle(2, kEnglish), "Right Ventricle");
}

TEST(MethodCommands, UsersCycleThroughOneToFiveAndSettingsStayInRange) {
  int m = kTacFitSplines;
  NEXT_TACFIT_METHOD(m, false);
  EXPECT_EQ(m, kTacFitNew);
  PREVIOUS_TACFIT_METHOD(m, false);
  EXPECT_EQ(m, kTacFitSplines);
  m = kTacFitNew;
  PREVIOUS_TACFIT_METHOD(m, true);
  EXPECT_EQ(m, kTacFitRef);  // developers reach the reference-curve method

  TacFitState s;
  for (int i = 0; i < 6; ++i) MORE_TACFIT_SETTING(s, kMultiHarmonique);
  EXPECT_EQ(s.CMH_DEG, 4);
  for (int i = 0; i < 6; ++i) FEWER_TACFIT_SETTING(s, kMultiHarmonique);
  EXPECT_EQ(s.CMH_DEG, 1);
  for (int i = 0; i < 40; ++i) MORE_TACFIT_SETTING(s, kTacFitNew);
  EXPECT_EQ(s.TACFIT_ITER, 15 + 200);
  for (int i = 0; i < 60; ++i) FEWER_TACFIT_SETTING(s, kTacFitAlt);
  EXPECT_EQ(s.TACFIT_ITmax, 0);
  EXPECT_FALSE(MORE_TACFIT_SETTING(s, kTacFitAffine));
  EXPECT_FALSE(FEWER_TACFIT_SETTING(s, kTacFitSplines));
}

}  // namespace
}  // namespace quorvel::testing
