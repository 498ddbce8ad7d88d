// Every view's pixel -> voxel -> pixel mapping, both directions from one place.
#include <gtest/gtest.h>

#include "render/view_geometry.h"

namespace quorvel {
namespace {

TEST(ViewGeometry, SliceViewAndRetouchingWindowRoundTrip) {
  for (int row : {0, 1, 31, 63})
    for (int col : {0, 17, 63}) {
      const auto [x, y] = reorientPixelOf(row, col);
      for (int d : {0, 7}) {
        const auto [r, c] = reorientVoxelAt(x + d, y + d);
        EXPECT_EQ(static_cast<int>(r), row);
        EXPECT_EQ(static_cast<int>(c), col);
      }
      const SliceVoxel v{5, row, col};
      const auto [rx, ry] = retouchPixelOf(v);
      EXPECT_EQ(retouchVoxelAt(5, 6, rx + 3, ry + 3), v);
    }
  EXPECT_FALSE(retouchVoxelAt(5, 6, 256, 0));
  EXPECT_FALSE(retouchVoxelAt(6, 6, 0, 0));
}

TEST(ViewGeometry, LongAxisPanelsRoundTripAtEveryScale) {
  struct Case {
    int step, NCZ;
    double k;
  };
  const Case cases[] = {{kValveStep, 64, 1.0}, {kCheckStep, 64, 1.0}, {kCheckStep, 33, 2.0},
                        {kValveStep, 20, 0.5}, {kCheckStep, 128, 1.37}};
  for (const Case& c : cases) {
    int checked = 0;
    for (int y = 0; y < kReorientViewSide; ++y)
      for (int x = 0; x < kReorientViewSide; ++x) {
        const auto v = longAxisVoxelAt(c.step, x, y, c.NCZ, c.k);
        if (!v) continue;
        const auto [x0, y0] = longAxisPixelOf(c.step, *v, c.NCZ, c.k);
        // The band's top-left pixel maps back to the same voxel and lies above and left of (x, y).
        ASSERT_EQ(longAxisVoxelAt(c.step, x0, y0, c.NCZ, c.k), v) << x << ", " << y;
        ASSERT_LE(x0, x);
        ASSERT_LE(y0, y);
        ASSERT_FALSE(x0 > 0 && longAxisVoxelAt(c.step, x0 - 1, y0, c.NCZ, c.k) == v);
        ++checked;
      }
    EXPECT_GT(checked, 0);
  }
  // The check panel's slice bands are those of the pointer's infundibulum mapping.
  for (int y = 0; y < kReorientViewSide; ++y) {
    const auto v = longAxisVoxelAt(kCheckStep, 256, y, 64, 1.0);
    if (v) {
      EXPECT_EQ(v->slice, reorientLongAxisSliceAt(y, 64)) << y;
    }
  }
  // Square voxels: 8 pixels per row and per slice; slices twice as thick halve the row axis.
  EXPECT_EQ(longAxisPixelOf(kValveStep, {32, 33}, 64, 1.0).first - longAxisPixelOf(kValveStep, {32, 32}, 64, 1.0).first, 8);
  EXPECT_EQ(longAxisPixelOf(kValveStep, {32, 33}, 64, 2.0).first - longAxisPixelOf(kValveStep, {32, 32}, 64, 2.0).first, 4);
  EXPECT_EQ(longAxisPixelOf(kValveStep, {31, 32}, 64, 2.0).second - longAxisPixelOf(kValveStep, {32, 32}, 64, 2.0).second, -8);
}

TEST(ViewGeometry, MosaicRoundTripsInBothPanels) {
  SegmentationLayout view;
  view.NcellH = 3;
  view.NcellV = 2;
  view.htayaff = 3 * kCellWidth;
  view.vtayaff = 2 * kCellHeight;
  for (const SliceVoxel v : {SliceVoxel{2, 0, 0}, SliceVoxel{4, 63, 63}, SliceVoxel{7, 10, 50}})
    for (bool classPanel : {false, true}) {
      const auto [x, y] = mosaicPixelOf(view, 2, v, classPanel);
      EXPECT_EQ(mosaicVoxelAt(view, 8, 2, x + 1, y + 1), v);
    }
  EXPECT_FALSE(mosaicVoxelAt(view, 6, 2, 2 * 128 + 5, 128 + 5));  // the cell of slice 7 is beyond NCZ
}

TEST(ViewGeometry, CurvePlotColumnsAreTimesAndRowsAreVolumes) {
  for (int x = 0; x < kCurvePlotWidth; ++x) ASSERT_EQ(curveColumnOf(curveTimeAt(x, 8, 107.5), 8, 107.5), x);
  for (int row = 0; row < kCurvePlotHeight; ++row) ASSERT_EQ(curveRowOf(curveVolumeAt(row, 163.0), 163.0), row);
  EXPECT_DOUBLE_EQ(curveTimeAt(256, 8, 100), 400.0);  // half the cycle
  EXPECT_EQ(curveRowOf(120, 240), 200);
  EXPECT_EQ(curvePlotY(0), 399);  // the bottom row
  EXPECT_EQ(curveSampleAt(-3), 0);
  EXPECT_EQ(curveSampleAt(512), 511);
}

}  // namespace
}  // namespace quorvel
