// The volume-curve plots: grid, curves, instants and the labels of the volume axis.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "picture_fixture.h"
#include "render/curve_plot.h"
#include "render/view_geometry.h"

namespace quorvel::testing {
namespace {


class CurvePlot : public ::testing::Test {
 protected:
  // Both ventricles flat at `volume`, rates 0, measured instants at `measured`.
  void flat(float volume, float measured, float maxvol) {
    vc = VolumeCurves{};
    vc.vidange_G.fill(volume);
    vc.vidange_D.fill(volume);
    vc.volG.fill(measured);
    vc.volD.fill(measured);
    vc.maxvol = maxvol;
    vc.filling_ampl = 2;
  }
  Rgb left(int x, int row) const { return pictures.BMPvg.get(x, curvePlotY(row)); }

  VolumeCurves vc;
  Pictures pictures;
  TraceLog log;
  const Rgb grid{150, 150, 150}, rate{200, 100, 50}, instants{255, 0, 0}, curve{255, 0, 0};
};

TEST_F(CurvePlot, GoldenPlotsOfFixedCurves) {
  vc.maxvol = 140;
  vc.filling_ampl = 3;
  for (int x = 0; x < 512; ++x) {
    const double a = 2 * std::numbers::pi * x / 512;
    vc.vidange_G[x] = static_cast<float>(75 + 30 * std::cos(a) + 6 * std::cos(2 * a));
    vc.vidange_D[x] = static_cast<float>(95 + 35 * std::cos(a - 0.2));
    vc.filling_G[x] = static_cast<float>(-2.4 * std::sin(a) - 1.0 * std::sin(2 * a));
    vc.filling_D[x] = static_cast<float>(-2.6 * std::sin(a - 0.2));
  }
  for (int i = 0; i <= 8; ++i) {
    vc.volG[i] = vc.vidange_G[(64 * i) % 512] + (i % 3 - 1) * 3.0f;
    vc.volD[i] = vc.vidange_D[(64 * i) % 512] - (i % 2) * 4.0f;
  }
  BUILD_BMP_VID(vc, 8, pictures, log);
  expectGolden(curvesPicture(pictures, vc, 1), "curves");
}

TEST_F(CurvePlot, GridRowsAndLabelsEveryTwentyMillilitres) {
  flat(230, 50, 240);
  BUILD_BMP_VID(vc, 8, pictures, log);
  std::vector<int> gridRows;
  for (int row = 0; row < 400; ++row)
    if (left(10, row) == grid) gridRows.push_back(row);
  EXPECT_EQ(gridRows, (std::vector<int>{0, 33, 67, 100, 133, 167, 233, 267, 300, 333, 367}));
  EXPECT_TRUE(left(10, 200) == rate);  // the grid row of 120 ml lies under the flat rate curve
  EXPECT_TRUE(left(10, 383) == curve);  // round(230 x 400 / 240) and the row above
  EXPECT_TRUE(left(10, 384) == curve);
  EXPECT_TRUE(left(10, 385) == (Rgb{225, 225, 225}));
  EXPECT_TRUE(left(10, 382) == (Rgb{220, 200, 180}));  // the area under the curve
  const std::vector<AxisLabel> labels = AFFICHAGE_GRAD(240);
  ASSERT_EQ(labels.size(), 13u);
  EXPECT_EQ(labels.front(), (AxisLabel{0, 0}));
  EXPECT_EQ(labels[6], (AxisLabel{120, 200}));
  EXPECT_EQ(labels.back(), (AxisLabel{240, 399}));  // at the top edge
  EXPECT_EQ(AFFICHAGE_GRAD(139.9f).size(), 8u);  // within 0.1 of a label, it is shown
  EXPECT_EQ(AFFICHAGE_GRAD(130).size(), 7u);
  EXPECT_TRUE(AFFICHAGE_GRAD(0).empty());
}

TEST_F(CurvePlot, EightInstantsDrawSevenLinesAndNineSquares) {
  flat(230, 50, 240);
  BUILD_BMP_VID(vc, 8, pictures, log);
  std::vector<int> lines;
  for (int x = 0; x < 512; ++x)
    if (left(x, 390) == grid) lines.push_back(x);
  EXPECT_EQ(lines, (std::vector<int>{64, 128, 192, 256, 320, 384, 448}));
  const int row = 83;  // round(50 x 400 / 240)
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(left(64 * i, row) == instants) << i;
    EXPECT_TRUE(left(64 * i + 3, row + 3) == instants) << i;
    EXPECT_FALSE(left(64 * i + 4, row) == instants) << i;
  }
  EXPECT_TRUE(left(511, row) == instants);  // the last one, at 512, keeps its left half
  EXPECT_TRUE(left(509, row) == instants);
  EXPECT_FALSE(left(508, row) == instants);
  // Without a volume scale only the background and the instant lines are drawn.
  vc.maxvol = 0;
  BUILD_BMP_VID(vc, 8, pictures, log);
  EXPECT_TRUE(left(10, 200) == (Rgb{225, 225, 225}));
  EXPECT_TRUE(left(64, 200) == grid);
}

TEST_F(CurvePlot, CursorReadout) {
  flat(87.4f, 50, 140);
  EXPECT_EQ(curveCursorText(256, 8, 100, vc.vidange_G, 0), "400 ms  -  87 cc");
  EXPECT_EQ(curveCursorText(600, 8, 100, vc.vidange_G, 1), "938 ms  -  87 cc");
}

}  // namespace
}  // namespace quorvel::testing
