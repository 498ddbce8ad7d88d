// The segmentation mosaic and the retouching window on a small labelled study.
#include <gtest/gtest.h>

#include <cmath>

#include "picture_fixture.h"
#include "render/report_panels.h"
#include "render/segmentation_view.h"
#include "render/update_bmp.h"

namespace quorvel::testing {
namespace {


class SegmentationView : public ::testing::Test {
 protected:
  void SetUp() override {
    labelledHeart(w, seg, 2, 5);
    view.NcellH = 3;
    view.NcellV = 2;
    view.htayaff = 3 * kCellWidth;
    view.vtayaff = 2 * kCellHeight;
    view.BMP.resize(view.htayaff, view.vtayaff);
    SliceLimits& lim = w.settings.limits;
    lim.limG_inf.fill(1);
    lim.limD_inf.fill(1);  // both ventricles start on slice 1: nested frames
    lim.limG_sup.fill(3);
    lim.limD_sup.fill(4);
  }
  void build(const Pointers& pointers = {}) { BUILD_BMP_SEG(0, w, seg, pictures, view, log, pointers); }
  // Pixel of voxel (r, c) of slice z, lower-left of its block (dy = 0, dx = 0) or another one.
  Rgb at(int z, int r, int c, bool classPanel, int dx = 0, int dy = 0) const {
    const auto [x, y] = mosaicPixelOf(view, w.study.seg_affmin, {z, r, c}, classPanel);
    return view.BMP.get(x + dx, y + 1 - dy);
  }

  StudyWorkspace w;
  Segmentation seg;
  SegmentationLayout view;
  Pictures pictures;
  TraceLog log;
};

TEST_F(SegmentationView, GoldenMosaic) {
  seg.SegLock[0][3] = 1;  // slice 3 frozen with the right ventricle where the left one is now
  for (size_t i = Segmentation::index(5, 0, 3, 0, 0); i < Segmentation::index(5, 0, 4, 0, 0); ++i)
    seg.AFFECT[i] = static_cast<uint8_t>(seg.LPE[i] == 1 ? int{kClassRight} : seg.CORR[seg.LPE[i]]);
  w.settings.flow.N_segsel = 2;  // the right ventricle is hovered
  w.options.equilibrium = 0;     // its faint edge falls below the threshold
  seg.struct_max[2] = seg.struct_max[5] = 1400;
  pictures.EPFront = 2;
  build();
  expectGolden(view.BMP, "segmentation_mosaic");
}

TEST_F(SegmentationView, ClassesAndCountsLandOnTheVoxelsTheGeometryNames) {
  build();
  EXPECT_TRUE(at(2, 20, 41, true) == pictures.FRON.colour(kClassLeft));
  EXPECT_TRUE(at(2, 21, 24, true, 1, 1) == pictures.FRON.colour(kClassRight));
  EXPECT_TRUE(at(2, 43, 30, true, 1, 1) == pictures.FRON.colour(kClassOther));
  EXPECT_TRUE(at(2, 54, 52, true) == pictures.FRON.colour(kClassExcludedConnected));
  EXPECT_TRUE(at(2, 5, 5, true, 1, 1) == pictures.FRON.colour(0));
  // Hovering lights the region up, except while painting.
  w.settings.flow.N_segsel = 1;
  build();
  EXPECT_TRUE(at(2, 20, 41, true) == pictures.FRON.colour(kClassLeft + 3));
  w.settings.flow.Paint_on = 1;
  build();
  EXPECT_TRUE(at(2, 20, 41, true) == pictures.FRON.colour(kClassLeft));
  // A locked slice shows its frozen classes, its background in the frozen colour.
  seg.InstLock[0] = 1;
  seg.AFFECT[Segmentation::index(5, 0, 2, 20, 41)] = kClassRight;
  build();
  EXPECT_TRUE(at(2, 20, 41, true) == pictures.FRON.colour(kClassRight));
  EXPECT_TRUE(at(2, 5, 5, true, 1, 1) == pictures.FRON.colour(33));
  // Cells beyond the last slice are black.
  EXPECT_TRUE(at(5, 30, 30, false) == (Rgb{0, 0, 0}));
  EXPECT_TRUE(at(5, 30, 30, true) == (Rgb{0, 0, 0}));
}

TEST_F(SegmentationView, WithoutInterpolationABrightVoxelShowsInFourBlocks) {
  w.options.seg_interp = 0;
  for (float& v : w.study.DATA) v = 0;
  const int z = 1, r = 10, c = 10;
  w.study.DATA[Segmentation::index(5, 0, z, r, c)] = 1000;
  build();
  const Rgb bright = pictures.lut.colour(400);
  // (voxel row, column, dx, dy): dy = 1 is the upper line of the block.
  const struct {
    int r, c, dx, dy;
  } lit[] = {{r, c, 0, 1}, {r, c - 1, 1, 1}, {r - 1, c, 0, 0}, {r - 1, c - 1, 1, 0}};
  for (const auto& p : lit) EXPECT_TRUE(at(z, p.r, p.c, false, p.dx, p.dy) == bright) << p.r << " " << p.c;
  int brightPixels = 0;
  for (int y = 0; y < view.vtayaff; ++y)
    for (int x = 0; x < view.htayaff / 2; ++x) brightPixels += view.BMP.get(x, y) == bright;
  EXPECT_EQ(brightPixels, 4);
}

TEST_F(SegmentationView, OutlinesFollowTheBlueBytesOfTheClassPanel) {
  w.settings.reorient.valves_planaff = 0;
  build();
  // Left ventricle (blue byte 50) next to background (0): outlined on both sides.
  int row = 20, edge = 41;
  while (seg.LPE[Segmentation::index(5, 0, 2, row, edge + 1)] == 1) ++edge;
  EXPECT_TRUE(at(2, row, edge, false, 1) == pictures.FRON.colour(kClassLeft));
  EXPECT_TRUE(at(2, row, edge + 1, false) == pictures.FRON.colour(0));
  // Next to a class-7 region (50, 50, 50: the same blue byte) it is not.
  for (int c = 0; c < kMatrix; ++c) seg.LPE[Segmentation::index(5, 0, 2, row, c)] = seg.LPE[Segmentation::index(5, 0, 2, row, c)] == 1 ? 1 : 4;
  for (int r : {row - 1, row + 1})
    for (int c = 0; c < kMatrix; ++c) seg.LPE[Segmentation::index(5, 0, 2, r, c)] = 4;
  build();
  EXPECT_FALSE(at(2, row, edge, false, 1) == pictures.FRON.colour(kClassLeft));
  EXPECT_FALSE(at(2, row, edge + 1, false) == pictures.FRON.colour(kClassExcludedConnected));
}

TEST_F(SegmentationView, LimitFramesNestWhenBothVentriclesStartOnOneSlice) {
  build();
  const Rgb right{0, 100, 250}, left{250, 100, 0};
  // Cell of slice 1 in the class panel, lines from its bottom.
  const auto [x0, yTop] = mosaicPixelOf(view, 0, {1, 0, 0}, true);
  auto line = [&, x0 = x0, yTop = yTop](int column, int fromBottom) { return view.BMP.get(x0 + column, yTop + 127 - fromBottom); };
  EXPECT_TRUE(line(64, 1) == right);
  EXPECT_TRUE(line(64, 127) == right);
  EXPECT_TRUE(line(1, 64) == right);
  EXPECT_TRUE(line(64, 2) == left);
  EXPECT_TRUE(line(64, 126) == left);
  EXPECT_TRUE(line(2, 64) == left);
  EXPECT_TRUE(line(126, 64) == left);
  // Slice 3: the left ventricle's upper limit alone, at inset 1; slice 4: the right one's.
  const auto [x3, y3] = mosaicPixelOf(view, 0, {3, 0, 0}, true);
  EXPECT_TRUE(view.BMP.get(x3 + 64, y3 + 126) == left);
  EXPECT_TRUE(view.BMP.get(x3 + 1, y3 + 64) == left);
  const auto [x4, y4] = mosaicPixelOf(view, 0, {4, 0, 0}, true);
  EXPECT_TRUE(view.BMP.get(x4 + 127, y4 + 64) == right);
  // The grid stays mid-grey under no frame.
  EXPECT_TRUE(view.BMP.get(x0, yTop + 64) == (Rgb{128, 128, 128}));
}

TEST_F(SegmentationView, BrushRingHasTheBrushRadius) {
  w.settings.flow.Paint_on = 1;
  const ViewPoint mouse{300, 100};
  auto ringPixels = [&](int size) {
    w.settings.flow.Paint_sz = size;
    build();  // no pointer: no ring
    const Bitmap24 plain = view.BMP;
    build(Pointers{mouse, std::nullopt});
    std::vector<ViewPoint> changed;
    for (int y = 0; y < view.vtayaff; ++y)
      for (int x = 0; x < view.htayaff; ++x)
        if (!(view.BMP.get(x, y) == plain.get(x, y))) changed.push_back({x, y});
    return changed;
  };
  EXPECT_EQ(ringPixels(0), std::vector<ViewPoint>{mouse});
  const auto ring = ringPixels(3);
  EXPECT_FALSE(ring.empty());
  for (const ViewPoint& p : ring) {
    const double d = std::hypot(p.x - mouse.x, p.y - mouse.y);
    EXPECT_GE(d, 5.0);
    EXPECT_LE(d, 6.0);
  }
}

TEST_F(SegmentationView, RetouchingWindowShowsItsSliceAtFourPixelsPerVoxel) {
  w.settings.flow.retouche_on = 1;
  w.settings.flow.retouche_slice = 2;
  w.settings.flow.Paint_type = 1;
  w.settings.flow.Paint_sz = 1;
  const PictureUpdate update =
      UPDATE_BMP(2, PictureSources{w, seg, VolumeCurves{}}, view, pictures, log, Pointers{std::nullopt, ViewPoint{130, 90}});
  EXPECT_EQ(update.views, (std::vector<View>{View::Segmentation, View::Retouching}));
  EXPECT_EQ(update.caption, "Instant : 1 / 2");
  const Bitmap24& b = pictures.BMPretouche;
  ASSERT_EQ(b.width, 256);
  auto voxel = [&](int r, int c, int dx, int dy) { return b.get(4 * c + dx, 4 * r + dy); };
  const int level = static_cast<int>(w.study.DATA[Segmentation::index(5, 0, 2, 20, 30)] * 400 / 1000);
  EXPECT_TRUE(voxel(20, 30, 1, 1) == pictures.lut.colour(level));
  // The left ventricle's last column faces background: its right edge shows its class colour.
  int edge = 41;
  while (seg.LPE[Segmentation::index(5, 0, 2, 20, edge + 1)] == 1) ++edge;
  EXPECT_TRUE(voxel(20, edge, 3, 1) == pictures.FRON.colour(kClassLeft));
  EXPECT_FALSE(voxel(20, edge, 1, 1) == pictures.FRON.colour(kClassLeft));
  // The ring (radius 6 around the pointer) encloses the brush disc; it leaves its centre alone.
  const Bitmap24 withRing = b;
  buildRetouchingPicture(w, seg, pictures, std::nullopt);
  EXPECT_FALSE(withRing.get(130, 84) == pictures.BMPretouche.get(130, 84));
  EXPECT_FALSE(withRing.get(125, 90) == pictures.BMPretouche.get(125, 90));
  EXPECT_TRUE(withRing.get(130, 90) == pictures.BMPretouche.get(130, 90));
  EXPECT_TRUE(withRing.get(130, 82) == pictures.BMPretouche.get(130, 82));
}

// The report's strips: the study's slices are long-axis cuts (the ventricles above their atria,
// taller than wide); the sections across them at one row are short-axis cuts (one slice per
// pixel here, so the ventricle is wider than tall).
TEST_F(SegmentationView, ReportStripsShowLongAxisCutsAndShortAxisSections) {
  const struct {
    StripAxis axis;
    bool taller;
  } cases[] = {{StripAxis::LongAxis, true}, {StripAxis::ShortAxis, false}};
  for (const auto& k : cases) {
    const Bitmap24 strip = sliceStripPanel(w, seg, pictures, 0, k.axis, "", 1024, Rgb{0, 0, 0});
    const int cell = 7 * kStripCell, top = kStripHeight - kStripCell;
    int x0 = kStripCell, x1 = -1, y0 = kStripCell, y1 = -1;
    for (int y = 0; y < kStripCell; ++y)
      for (int x = 0; x < kStripCell; ++x)
        if (strip.get(cell + x, top + y) == pictures.FRON.colour(kClassLeft)) {
          x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    ASSERT_GE(x1, x0) << "no left ventricle in the middle cell";
    EXPECT_EQ(y1 - y0 > x1 - x0, k.taller) << "rows " << y0 << "-" << y1 << ", columns " << x0 << "-" << x1;
  }
}

}  // namespace
}  // namespace quorvel::testing
