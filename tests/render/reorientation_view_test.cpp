// The re-orientation view: where the square, the lines and the planes fall on the canvas.
#include <gtest/gtest.h>

#include "picture_fixture.h"
#include "render/reorientation_view.h"
#include "render/update_bmp.h"

namespace quorvel::testing {
namespace {


class ReorientationView : public ::testing::Test {
 protected:
  void SetUp() override {
    blankWorkspace(w, 8, 64);
    w.study.coupe = 32;
  }
  void build(int step) {
    w.settings.flow.fich_axis = step;
    BUILD_BMP_FICH(w, pictures.lut, pictures.BMPfich, log);
  }
  bool overlaid(int x, int y) const {
    const Rgb blank = pictures.lut.colour(0), shown = pictures.BMPfich.get(x, y);
    return shown.r == static_cast<uint8_t>(blank.r + 128) && shown.g == static_cast<uint8_t>(blank.g + 128);
  }

  StudyWorkspace w;
  Pictures pictures;
  TraceLog log;
};

TEST_F(ReorientationView, WholeSliceSquareDrawsItsTopAndLeftEdgesOnTheBorderOnly) {
  ReorientSettings& r = w.settings.reorient;
  r.recad_x = r.recad_y = 32;
  r.recad_t = 64;
  r.septum_plano = 40;
  build(0);
  for (int i = 1; i < 512; i += 17) {
    EXPECT_TRUE(overlaid(i, 0)) << "top edge " << i;
    EXPECT_TRUE(overlaid(0, i)) << "left edge " << i;
    EXPECT_FALSE(overlaid(i, 511)) << "no bottom edge " << i;
    EXPECT_FALSE(overlaid(511, i)) << "no right edge " << i;
  }
  // The tick dots the way from the middle of the top edge to the centre every 6.4 rows; the
  // septum line, a quarter of the half side right of the centre, runs through the whole square.
  EXPECT_TRUE(overlaid(256, 102));
  EXPECT_TRUE(overlaid(256, 256));
  EXPECT_FALSE(overlaid(256, 100));
  EXPECT_FALSE(overlaid(256, 300));
  for (int y : {1, 256, 511}) EXPECT_TRUE(overlaid(320, y)) << y;
  r.septum_plano = 32;
  build(0);
  for (int y : {1, 300, 511}) EXPECT_TRUE(overlaid(256, y)) << y;
}

TEST_F(ReorientationView, SliceViewShowsEachVoxelWhereThePointerDesignatesIt) {
  w.study.at(0, 32, 20, 40) = w.study.datamax;
  w.options.equilibrium = 0;
  w.settings.reorient.recad_t = 16;  // the square away from the voxel
  build(0);
  const auto [x, y] = reorientPixelOf(20, 40);
  EXPECT_TRUE(pictures.BMPfich.get(x, y) == pictures.lut.colour(400));
  EXPECT_TRUE(pictures.BMPfich.get(x + 4, y + 4) == pictures.lut.colour(100));  // half-way in both directions
  EXPECT_TRUE(pictures.BMPfich.get(x - 8, y) == pictures.lut.colour(0));
  // gamma_ 50 doubles every value below the cap: half of datamax already shows entry 400.
  EXPECT_EQ(countIndex(500, 1000, 50), 400);
  EXPECT_EQ(countIndex(499, 1000, 50), 399);
  EXPECT_EQ(countIndex(250, 1000, 100), 100);
  EXPECT_EQ(countIndex(250, 0, 100), 0);
}

TEST_F(ReorientationView, ValvePlaneIsAFourColumnBandAtItsRowAndCrossesTheMargin) {
  w.settings.reorient.valves_plano_ = 36;
  build(1);
  for (int y : {0, 200, 511}) {
    for (int x = 282; x <= 285; ++x) EXPECT_TRUE(overlaid(x, y)) << x << ", " << y;
    EXPECT_FALSE(overlaid(281, y));
    EXPECT_FALSE(overlaid(286, y));
  }
  // A short study: four slices of black margin beyond its end carry the line in mid-grey.
  blankWorkspace(w, 8, 20);
  w.settings.reorient.valves_plano_ = 36;
  build(1);
  EXPECT_TRUE(pictures.BMPfich.get(282, 351) == (Rgb{128, 128, 128}));  // slice 21
  EXPECT_TRUE(pictures.BMPfich.get(282, 383) == (Rgb{0, 0, 0}));        // slice 25
  // A tilt leans it about the middle slice: by tan(20 degrees) x 55 = 20 pixels 55 lines away.
  blankWorkspace(w, 8, 64);
  w.settings.reorient.valves_angle = 20;
  build(1);
  EXPECT_TRUE(overlaid(252, 511 - 252));
  EXPECT_TRUE(overlaid(231, 511 - 307));
  EXPECT_FALSE(overlaid(252, 511 - 307));
  EXPECT_TRUE(overlaid(271, 511 - 197));
}

TEST_F(ReorientationView, InfundibulumPlaneMarksTheMiddleLineOfItsSlice) {
  w.settings.reorient.infand_plane = 40;
  build(2);
  const int y = 511 - (32 * 8 + 260 - 8 * 40);
  EXPECT_TRUE(pictures.BMPfich.get(10, y) == (Rgb{0, 50, 250}));  // on entry 0
  EXPECT_FALSE(pictures.BMPfich.get(10, y + 1) == (Rgb{0, 50, 250}));
  EXPECT_EQ(longAxisVoxelAt(kCheckStep, 256, y, 64, 1.0)->slice, 40);
  // Over counts it tints blue and green.
  for (float& v : w.study.DATA) v = 500;
  build(2);
  const Rgb plain = pictures.BMPfich.get(256, y + 3), tinted = pictures.BMPfich.get(256, y);
  EXPECT_EQ(tinted.b, static_cast<uint8_t>(plain.b + 100));
  EXPECT_EQ(tinted.g, static_cast<uint8_t>(plain.g + 50));
  EXPECT_EQ(tinted.r, plain.r);
}

TEST_F(ReorientationView, CaptionsOfTheSteps) {
  const struct {
    int step, VLA_proj, LANGUE;
    const char* caption;
  } cases[] = {
      {0, 0, 0, "Instant : 1 / 8    -    Coupe : 33 / 64"},
      {0, 0, 1, "Instant : 1 / 8    -    Slice : 33 / 64"},
      {1, 1, 0, "Instant : 1 / 8    -    Projection"},
      {1, 0, 1, "Instant : 1 / 8    -    Slice : 32 / 64"},
      {2, 0, 1, "Instant : 1 / 8    -    Slice : 32 / 64"},
  };
  for (const auto& c : cases) {
    w.settings.flow.fich_axis = c.step;
    w.options.VLA_proj = c.VLA_proj;
    w.options.LANGUE = c.LANGUE;
    SegmentationLayout mosaic;
    const PictureUpdate u = UPDATE_BMP(1, PictureSources{w, Segmentation{}, VolumeCurves{}}, mosaic, pictures, log);
    EXPECT_EQ(u.caption, c.caption);
    EXPECT_EQ(u.views, std::vector<View>{View::Reorientation});
  }
}

}  // namespace
}  // namespace quorvel::testing
