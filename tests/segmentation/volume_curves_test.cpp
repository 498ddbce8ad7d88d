// Volume curves: what each voxel weighs, which voxels count, the fitted curves and the results
// text of the results stage.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <numbers>

#include "curves/tacfit_ref.h"
#include "segmentation/classification.h"
#include "segmentation/plausibility.h"
#include "segmentation/volume_curves.h"
#include "labelled_study.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

class VolumeCurvesTest : public SegmentationTest {
 protected:
  void setUpStudy(int Ninst, int NCZ, float xy, float z) { labelledStudy(w, seg, Ninst, NCZ, xy, z); }
  void put(int label, int t, int z, int r, int c, float level) { putLabel(w, seg, label, t, z, r, c, level); }
  bool vidange() {
    seg.struct_max.fill(1.0f);
    auto c = context();
    EVAL_STRUC_MAX(w.study, w.settings.limits, seg);
    return VIDANGE(c, curves).ok();
  }
  CurveState curves;
};

TEST_F(VolumeCurvesTest, VoxelModeCountsVoxelsWhateverTheirCounts) {
  setUpStudy(8, 10, 0.25f, 0.4f);
  for (int t = 0; t < 8; ++t)
    for (int k = 0; k < 1000; ++k) put(1, t, k / 100, 10 + (k % 100) / 10, 40 + k % 10, 500.0f + (k * 37 + t) % 400);
  put(2, 0, 5, 20, 10, 900.0f);  // one bright right-ventricle voxel
  curves.vc.volume_voxels = 1;
  ASSERT_TRUE(vidange());
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
  ASSERT_TRUE(vidange());
  const float voxel = 0.125f;
  EXPECT_NEAR(curves.vc.volG[3], 1.5f * voxel, 1e-5);
  // Equilibrium on: one normalisation level for both ventricles.
  EXPECT_NEAR(curves.vc.volD[3], 0.5f * voxel, 1e-5);
  w.options.equilibrium = 0;
  ASSERT_TRUE(vidange());
  EXPECT_NEAR(curves.vc.volD[3], voxel, 1e-5);
}

TEST_F(VolumeCurvesTest, SlicesOutsideTheLimitsDoNotCountAtThatInstant) {
  setUpStudy(8, 6, 0.5f, 0.5f);
  for (int t = 0; t < 8; ++t)
    for (int z = 0; z < 6; ++z) put(1, t, z, 10, 40, 800.0f), put(2, t, z, 10, 10, 800.0f);
  w.settings.limits.limG_inf[2] = 2;
  w.settings.limits.limG_sup[2] = 3;
  w.settings.limits.limD_sup[5] = 0;
  ASSERT_TRUE(vidange());
  EXPECT_NEAR(curves.vc.volG[1], 6 * 0.125f, 1e-5);
  EXPECT_NEAR(curves.vc.volG[2], 2 * 0.125f, 1e-5);
  EXPECT_NEAR(curves.vc.volD[5], 1 * 0.125f, 1e-5);
  EXPECT_EQ(curves.vc.tmax, 0);  // the left ventricle's largest volume, first on ties
}

TEST_F(VolumeCurvesTest, FittedCurveAndResultsComeFromTheSelectedMethod) {
  beatingLeftVentricle(w, seg);
  w.settings.curves.TACFIT_switch = kTacFitAffine;
  ASSERT_TRUE(vidange());
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
  ASSERT_TRUE(vidange());
  EXPECT_EQ(w.settings.curves.TACFIT_switch, kTacFitNew);
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
  ASSERT_TRUE(vidange());
  ASSERT_EQ(curves.vc.tmax, 3);
  const float Cmax = 400 * 0.125f;
  for (int i : {0, 100, 415, 511})
    EXPECT_NEAR(curves.vc.vidange_G[(i + 96) % 512], Cmax * modif_baseModel(i / 512.0, curves.fit.voc.model), 1e-3)
        << i;
  EXPECT_NEAR(curves.vc.G.volmax, Cmax, 0.5);
  // The model was fitted on the curve rotated to its maximum, then turned back: it follows the
  // measured instants where they are.
  for (int t = 0; t < 16; ++t) EXPECT_NEAR(curves.vc.vidange_G[t * 32], curves.vc.volG[t], 0.06 * Cmax) << t;
  // Ejection between the maximum (instant 3) and the minimum (instant 8), filling from the minimum
  // round to the maximum: both rates positive, each in its own phase.
  const VentricleResults& G = curves.vc.G;
  EXPECT_GT(G.PER, 0.0f);
  EXPECT_GT(G.PFR, 0.0f);
  EXPECT_GT(G.TPER, 3 * w.study.CYCLE);
  EXPECT_LT(G.TPER, 8 * w.study.CYCLE);
  EXPECT_TRUE(G.TPFR > 8 * w.study.CYCLE || G.TPFR < 3 * w.study.CYCLE) << G.TPFR;
  EXPECT_NEAR(G.TFS, 8 * w.study.CYCLE, w.study.CYCLE);
  EXPECT_TRUE(std::filesystem::exists(dir / "temp" / "EXTAC.txt"));
}

// Results that cannot be true: a counted ventricle voxel on the in-plane border at some instant,
// a peak ejection after the end of systole, activity beating against the ventricle, or a volume
// that hardly beats. Codes per ventricle: 1 edge, 2 late ejection, 4 an atrium inside, 8 at rest.
TEST_F(VolumeCurvesTest, ImplausibleResultsAreVentriclesCutByTheSquareOrEjectingAfterSystole) {
  beatingLeftVentricle(w, seg);
  ASSERT_TRUE(vidange());
  const Study study = w.study;
  const Segmentation labels = seg;
  const SliceLimits limits = w.settings.limits;
  const VolumeCurves vc = curves.vc;
  auto cosine = [&](int t) { return std::cos(2 * std::numbers::pi_v<float> * t / study.Ninst); };
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
      // An atrium inside: voxels the left ventricle counts only in systole, filling as it empties.
      {"atrium inside the left",
       [&](Study& s, Segmentation& g, SliceLimits&, VolumeCurves&) {
         for (int t : {2, 3, 4})
           for (int k = 0; k < 200; ++k) label(s, g, 1, t, k / 100, 30 + k % 100 / 10, 20 + k % 10, 800);
       },
       4, 0},
      {"late ejection", [](Study&, Segmentation&, SliceLimits&, VolumeCurves& v) { v.G.TPER = v.G.TFS + 1.0f; }, 2, 0},
      // A resting organ classed as the right ventricle: a curve that beats by 3 % of its volume at most.
      {"right at rest",
       [&](Study& s, Segmentation&, SliceLimits&, VolumeCurves& v) {
         for (int t = 0; t < s.Ninst; ++t) v.volD[t] = 100.0f + 1.5f * cosine(t);
       },
       0, 8},
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
      code[x.ventricle] = (x.touchesSquareEdge ? 1 : 0) + (x.ejectionAfterSystole ? 2 : 0) +
                          (x.atrialActivityInside ? 4 : 0) + (x.restingVolume ? 8 : 0);
    EXPECT_EQ(code[1], c.left);
    EXPECT_EQ(code[2], c.right);
  }
  ImplausibleVentricle both{2, true, true, 803.6f, 182};
  EXPECT_EQ(implausibleResultText(both, kEnglish),
            "Right ventricle: the segmentation touches the edge of the re-orientation square; the peak ejection "
            "(803 ms) comes after the end of systole (182 ms); the results cannot be trusted.");
  EXPECT_EQ(implausibleResultText({2, false, false, 0, 0, false, true}, kFrench),
            "Ventricule droit : son volume ne bat presque pas (un organe au repos ?) : vérifiez la ligne du septum "
            "et le carré ; les résultats ne sont pas fiables.");
  EXPECT_EQ(implausibleResultText({1, false, true, 803.6f, 182}, kFrench),
            "Ventricule gauche : le pic d'éjection (803 ms) suit la fin de systole (182 ms) ; les résultats ne sont "
            "pas fiables.");
}

}  // namespace
}  // namespace quorvel::testing
