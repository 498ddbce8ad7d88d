// The re-orientation stage's mouse, in pixels of its 512 x 512 pictures (8 per voxel).
#include <gtest/gtest.h>

#include <numbers>

#include "ui/reorientation_input.h"
#include "workstation_fixture.h"

namespace quorvel::testing {
namespace {

class ReorientationInput : public WorkstationTest {
 protected:
  ReorientSettings& r() { return ws->w.settings.reorient; }
};

TEST_F(ReorientationInput, DragMovesWholeVoxelsFromThePressAndKeepsTheSquareInside) {
  squarePress(*ws, 100, 200);
  squareDrag(*ws, 115, 185);
  EXPECT_EQ(r().recad_y, 33);
  EXPECT_EQ(r().recad_x, 31);
  squareDrag(*ws, 93, 207);  // truncated towards zero, from the press, not the last position
  EXPECT_EQ(r().recad_y, 32);
  EXPECT_EQ(r().recad_x, 32);
  squareDrag(*ws, 1100, -800);
  EXPECT_EQ(r().recad_y, 63 - 16);
  EXPECT_EQ(r().recad_x, 16);
  EXPECT_EQ(r().recad_x0, 32);
}

TEST_F(ReorientationInput, SecondaryButtonTurnsTheSquareTowardsThePointer) {
  const double pi = std::numbers::pi;
  auto turn = [&](int x, int y) {
    squareTurn(*ws, x, y);
    return double(r().rotation);
  };
  EXPECT_NEAR(turn(356, 256), pi / 2, 1e-6);
  EXPECT_NEAR(turn(256, 156), 0, 1e-6);
  EXPECT_NEAR(turn(156, 256), -pi / 2, 1e-6);
  EXPECT_NEAR(turn(356, 356), 3 * pi / 4, 1e-6);
  EXPECT_NEAR(turn(256, 356), 0, 1e-6);  // pi is above 3.1415927 once stored, and is reduced
  r().recad_x = 30, r().recad_y = 40;
  EXPECT_NEAR(turn(370, 190), pi / 4, 1e-6);
}

TEST_F(ReorientationInput, InfundibulumPlaneFollowsTheMouseOnTheLongAxisPanel) {
  ws->w.study = blankStudy(2, 24);
  ws->w.settings.flow.fich_axis = 2;
  EXPECT_TRUE(infundibulumAt(*ws, 264));  // (264 - 511) / 8 is -30, not -31
  EXPECT_EQ(r().infand_plane, 12 - 30 + 32);
  infundibulumAt(*ws, 0);
  EXPECT_EQ(r().infand_plane, 0);
  infundibulumAt(*ws, 511);
  EXPECT_EQ(r().infand_plane, 23);
  ws->w.settings.flow.fich_axis = 0;
  EXPECT_FALSE(infundibulumAt(*ws, 264));
}

}  // namespace
}  // namespace quorvel::testing
