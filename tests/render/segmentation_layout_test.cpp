// The grid of the segmentation mosaic.
#include <gtest/gtest.h>

#include "render/segmentation_layout.h"

namespace quorvel {
namespace {

TEST(SegmentationLayout, GrowsDownAndAcrossInTurnWithinTheScreen) {
  TraceLog log;
  SegmentationLayout v;
  v.seg_Xmax = 6;
  v.seg_Ymax = 6;
  FORMATE_SEGMENT_DISPLAY(v, 1, log);
  EXPECT_EQ(v.NcellH * v.NcellV, 1);
  FORMATE_SEGMENT_DISPLAY(v, 2, log);
  EXPECT_EQ(v.NcellH, 1);
  EXPECT_EQ(v.NcellV, 2);  // growth starts downwards
  FORMATE_SEGMENT_DISPLAY(v, 12, log);
  EXPECT_EQ(v.NcellH, 3);
  EXPECT_EQ(v.NcellV, 4);
  EXPECT_EQ(v.htayaff, 3 * 256);
  EXPECT_EQ(v.BMP.height, 4 * 128);
  v.seg_Xmax = 2;
  v.seg_Ymax = 3;
  FORMATE_SEGMENT_DISPLAY(v, 40, log);
  EXPECT_EQ(v.NcellH, 2);
  EXPECT_EQ(v.NcellV, 3);
}

TEST(SegmentationLayout, MosaicCentresOnTheCountCentroidInsideTheStudy) {
  SegmentationLayout layout;
  layout.NcellH = 4, layout.NcellV = 3, layout.seg_Xmax = 4, layout.seg_Ymax = 3;
  TraceLog log;
  Study s;
  s.NCZ = 64;
  s.countCentreSlice = 30;
  centreMosaic(layout, s, log);
  EXPECT_EQ(s.seg_affmin, 30 - 6);
  s.countCentreSlice = 2;
  centreMosaic(layout, s, log);
  EXPECT_EQ(s.seg_affmin, 0);
  s.countCentreSlice = 62;
  centreMosaic(layout, s, log);
  EXPECT_EQ(s.seg_affmin, 64 - 12 - 1);
  s.countCentreSlice = -1;  // no crop: from the first slice
  centreMosaic(layout, s, log);
  EXPECT_EQ(s.seg_affmin, 0);
}

}  // namespace
}  // namespace quorvel
