// The volume calibration: its least-squares fit through the origin and the files it is read from.
#include "ui/volume_calibration.h"

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

}  // namespace
}  // namespace quorvel
