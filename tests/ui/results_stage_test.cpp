// The results stage's commands: a method or setting change and the developer noise refit both
// curves at once.
#include <gtest/gtest.h>

#include "labelled_study.h"
#include "segmentation/classification.h"
#include "ui/derived_results.h"
#include "ui/results_stage.h"
#include "ui/shell.h"
#include "workstation_fixture.h"

namespace quorvel::testing {
namespace {

class ResultsStage : public WorkstationTest {
 protected:
  bool vidange() {
    ws->seg.struct_max.fill(1.0f);
    EVAL_STRUC_MAX(ws->w.study, ws->w.settings.limits, ws->seg);
    return ws->computeCurves().ok();
  }
};

TEST_F(ResultsStage, MethodCommandsRefitAtOnce) {
  beatingLeftVentricle(ws->w, ws->seg);
  ws->w.settings.curves.TACFIT_switch = kTacFitAffine;
  ASSERT_TRUE(vidange());
  const float affineFes = ws->curves.vc.G.FES;
  ASSERT_TRUE(fitMethodCommand(*ws, FitCommand::NextMethod));
  EXPECT_EQ(ws->w.settings.curves.TACFIT_switch, kTacFitSplines);
  EXPECT_NE(ws->curves.vc.G.FES, affineFes);  // refitted with the splines
  EXPECT_FALSE(fitMethodCommand(*ws, FitCommand::MoreSetting));  // splines have no setting
  ASSERT_TRUE(fitMethodCommand(*ws, FitCommand::NextMethod));
  EXPECT_EQ(ws->w.settings.curves.TACFIT_switch, kTacFitNew);
  const int pictures = platform.picturesChanged;
  ASSERT_TRUE(fitMethodCommand(*ws, FitCommand::FewerSetting));
  EXPECT_EQ(ws->curves.settings.TACFIT_ITER, 10);
  EXPECT_EQ(platform.picturesChanged, pictures + 1);
}

// Entering the results says on the status line why the numbers cannot be trusted; a plausible
// result says nothing, and a result no longer current says it once made again.
TEST_F(ResultsStage, EnteringTheResultsSaysWhyTheyCannotBeTrusted) {
  const std::string status = "text:" + std::to_string(static_cast<int>(TextSlot::Status));
  auto saidOnEntering = [&] {
    changeStage(*ws, kStageSegmentation);
    const size_t before = platform.texts(status).size();
    changeStage(*ws, kStageResults);
    const auto texts = platform.texts(status);
    return texts.size() > before ? texts.back() : std::string();
  };
  beatingLeftVentricle(ws->w, ws->seg);
  ASSERT_TRUE(vidange());
  EXPECT_EQ(saidOnEntering(), "");
  // The left ventricle reaches the square's first column at every instant.
  for (int t = 0; t < 8; ++t) putLabel(ws->w, ws->seg, 1, t, 0, 20, 0, 800.0f);
  ASSERT_TRUE(vidange());
  EXPECT_EQ(saidOnEntering(),
            "Ventricule gauche : la segmentation touche le bord du carré de réorientation ; les résultats ne "
            "sont pas fiables.");
  ws->w.options.LANGUE = kEnglish;
  EXPECT_EQ(saidOnEntering(),
            "Left ventricle: the segmentation touches the edge of the re-orientation square; the results cannot be "
            "trusted.");
  ws->seg.labelsChanged();  // the curves now describe labels that have changed
  EXPECT_EQ(saidOnEntering(), "");
  // When the event ends the curves are made again, and the status then says why.
  ws->w.settings.flow.segment_done = 1;
  reconcileShownResults(*ws);
  ASSERT_EQ(ws->shell._MENU_, kStageResults);
  EXPECT_EQ(platform.texts(status).back(),
            "Left ventricle: the segmentation touches the edge of the re-orientation square; the results cannot be "
            "trusted.");
}

TEST_F(ResultsStage, DeveloperNoiseIsAddedToEachMeasuredVolume) {
  labelledStudy(ws->w, ws->seg, 8, 4, 0.5f, 0.5f);
  for (int t = 0; t < 8; ++t) {
    putLabel(ws->w, ws->seg, 1, t, 1, 10, 40, 800.0f);
    putLabel(ws->w, ws->seg, 2, t, 1, 10, 10, 800.0f);
  }
  ASSERT_TRUE(vidange());
  const VolumeCurves& vc = ws->curves.vc;
  EXPECT_NEAR(vc.volG[4], 0.125f, 1e-5);
  EXPECT_FALSE(noiseCommand(*ws, -1));  // already at 0
  ASSERT_TRUE(noiseCommand(*ws, +1));
  EXPECT_EQ(noiseLevelText(ws->comparison), "Noise : 10");
  bool someNoise = false;
  for (int t = 0; t < 8; ++t) {
    EXPECT_NEAR(vc.volG[t], 0.125f + vc.TACFIT_noise[1][t], 1e-4);
    EXPECT_NEAR(vc.volD[t], 0.125f + vc.TACFIT_noise[0][t], 1e-4);
    EXPECT_GE(vc.TACFIT_noise[1][t], 0.0f);
    EXPECT_LE(vc.TACFIT_noise[1][t], 10.0f);
    someNoise = someNoise || vc.TACFIT_noise[1][t] > 0.01f;
  }
  EXPECT_TRUE(someNoise);
  ASSERT_TRUE(noiseCommand(*ws, -1));
  for (int t = 0; t < 8; ++t) EXPECT_NEAR(vc.volG[t], 0.125f, 1e-5);  // level 0: no noise
}

}  // namespace
}  // namespace quorvel::testing
