// The volume calibration: its least-squares fit through the origin and the files it is read from.
#include <fstream>

#include "base/scripted_platform.h"
#include "scratch_folder.h"
#include "ui/derived_results.h"
#include "ui/volume_calibration.h"
#include "ui/workstation.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(VolumeCalibration, FitsEachVentricleThroughTheOriginAndIgnoresUnusablePairs) {
  const VolumeCalibration c = fitVolumeCalibration(
      {{0, 100, 80}, {0, 200, 160}, {1, 150, 180}, {1, -5, 10}, {0, 50, 0}, {2, 10, 10}}, "site phantom");
  EXPECT_DOUBLE_EQ(c.factor[0], 0.8);
  EXPECT_DOUBLE_EQ(c.factor[1], 1.2);
  EXPECT_EQ(c.pairs[0], 2);
  EXPECT_EQ(c.pairs[1], 1);
  const VolumeCalibration none = fitVolumeCalibration({}, "nothing");
  EXPECT_EQ(none.factor[0], 1.0);
  EXPECT_EQ(none.pairs[1], 0);
}

TEST(VolumeCalibration, FilesRoundTripAndOddOnesAreRefused) {
  VolumeCalibration c = fitVolumeCalibration({{0, 100, 80}, {1, 100, 120}}, "site phantom");
  std::string why;
  const auto back = calibrationFromJson(calibrationJson(c), why);
  ASSERT_TRUE(back) << why;
  EXPECT_DOUBLE_EQ(back->factor[0], 0.8);
  EXPECT_DOUBLE_EQ(back->factor[1], 1.2);
  EXPECT_EQ(back->source, "site phantom");
  const nlohmann::json refused[] = {
      nlohmann::json::array(),
      {{"kind", "volume calibration"}},
      {{"kind", "volume calibration"}, {"factor", {1.0}}},
      {{"kind", "volume calibration"}, {"factor", {1.0, 7.0}}},
      {{"kind", "volume calibration"}, {"factor", {"1", 1.0}}},
      {{"kind", "something else"}, {"factor", {1.0, 1.0}}},
      {{"kind", 5}, {"factor", {1.0, 1.0}}},
  };
  for (const auto& j : refused) {
    why.clear();
    EXPECT_FALSE(calibrationFromJson(j, why)) << j.dump();
    EXPECT_FALSE(why.empty()) << j.dump();
  }
}

// The application folder's calibration is read when a session starts and shown in the panels.
TEST(VolumeCalibration, TheFoldersCalibrationShowsInTheResultsPanels) {
  const std::filesystem::path dir = testing::scratchFolder();
  std::ofstream(dir / kCalibrationFileName) << calibrationJson(fitVolumeCalibration({{0, 100, 80}, {1, 100, 120}}, "x"));
  ScriptedPlatform platform;
  Workstation ws(platform, dir);
  ASSERT_TRUE(ws.calibration);
  ws.curves.vc.G.volmax = 150, ws.curves.vc.G.volmin = 50, ws.curves.vc.D.volmax = 100, ws.curves.vc.D.volmin = 40;
  EXPECT_NE(resultsPanelText(ws, 1).find("Ventricule Gauche   Étalonnés : VTD 120 ml, VTS 40 ml (x 0.800)\n"),
            std::string::npos)
      << resultsPanelText(ws, 1);
  ws.w.options.LANGUE = kEnglish;
  EXPECT_NE(resultsPanelText(ws, 2).find("Right Ventricle   Calibrated: EDV 120 ml, ESV 48 ml (x 1.200)\n"),
            std::string::npos)
      << resultsPanelText(ws, 2);
  // A file that is not a calibration is left aside: nothing is called calibrated.
  std::ofstream(dir / kCalibrationFileName) << "{\"kind\": \"volume calibration\", \"factor\": [9, 1]}";
  Workstation other(platform, dir);
  EXPECT_FALSE(other.calibration);
  EXPECT_EQ(resultsPanelText(other, 1).find("alibrated"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
