// Palettes, the look-up table and its legend, the 3D tables, the map-to-colour table and the
// class colours.
#include <gtest/gtest.h>

#include <algorithm>

#include "render/palettes.h"

namespace quorvel {
namespace {


TEST(Palettes, GreyRampStartsAboveBlackAndEveryEndEntryLiesInTheLastSegment) {
  const LookupTable grey = lookupTableOf(2);
  EXPECT_TRUE(grey.colour(0) == (Rgb{1, 1, 1}));  // no channel is pure black
  EXPECT_EQ(grey.colour(400).r, 254);              // 215 + 0.14 / 0.141 of the way to 255
  const LookupTable inverse = lookupTableOf(6);
  EXPECT_TRUE(inverse.colour(0) == (Rgb{255, 255, 255}));
  EXPECT_TRUE(inverse.colour(400) == (Rgb{1, 1, 1}));
  for (int p = 0; p < kPaletteCount; ++p) {
    const LookupTable lut = lookupTableOf(p);
    for (int entry : {399, 400}) {
      // Between the colours of the last two control points, channel by channel.
      const int channels[3] = {lut._palR_[entry], lut._palG_[entry], lut._palB_[entry]};
      const int from[3] = {lut.PAL_R[6], lut.PAL_G[6], lut.PAL_B[6]}, to[3] = {lut.PAL_R[7], lut.PAL_G[7], lut.PAL_B[7]};
      for (int k = 0; k < 3; ++k) {
        EXPECT_GE(channels[k], std::max(std::min(from[k], to[k]), 1)) << "palette " << p << " entry " << entry;
        EXPECT_LE(channels[k], std::max({from[k], to[k], 1})) << "palette " << p << " entry " << entry;
      }
    }
    for (int i = 0; i <= 400; ++i) EXPECT_GT(std::min({lut._palR_[i], lut._palG_[i], lut._palB_[i]}), 0);
  }
  // Out-of-range numbers take palette 1, the default.
  EXPECT_EQ(lookupTableOf(17)._palB_, lookupTableOf(1)._palB_);
}

TEST(Palettes, LegendBarShowsEveryOtherEntryInsideItsFrame) {
  LookupTable lut;
  Bitmap24 legend;
  DEFINE_DEF_PAL(5, 1, lut, legend);
  ASSERT_EQ(legend.width, 200);
  ASSERT_EQ(legend.height, 22);
  const Rgb white{255, 255, 255}, grey{111, 111, 111};
  auto atLine = [&](int column, int line) { return legend.get(column, 21 - line); };  // lines from the bottom
  struct Case {
    int column, line;
    Rgb expected;
  };
  const Case cases[] = {
      {100, 10, lut.colour(200)}, {2, 10, lut.colour(4)},     {199, 10, lut.colour(398)}, {198, 0, lut.colour(396)},
      {0, 10, white},             {1, 10, grey},              {196, 10, grey},            {197, 10, white},
      {100, 2, white},            {100, 3, grey},             {100, 20, grey},            {100, 21, white},
      {100, 1, lut.colour(200)},  {100, 0, lut.colour(200)},
  };
  for (const Case& c : cases) EXPECT_TRUE(atLine(c.column, c.line) == c.expected) << c.column << ", " << c.line;
  // Without drawing the legend is left alone.
  Bitmap24 untouched(3, 3);
  DEFINE_DEF_PAL(0, 0, lut, untouched);
  EXPECT_EQ(untouched.width, 3);
}

TEST(Palettes, ShadedTablesOfThe3DViews) {
  const Table3D byPalette = table3DOf(0, 1);
  const LookupTable lut = lookupTableOf(0);
  // Palette 0 runs from entry 20 at values 0 and 400 to entry 100 at value 200; shade 200 is plain.
  EXPECT_TRUE(byPalette.colour(200, 200) == lut.colour(100));
  EXPECT_TRUE(byPalette.colour(200, 0) == lut.colour(20));
  EXPECT_TRUE(byPalette.colour(200, 400) == lut.colour(20));
  EXPECT_EQ(byPalette.colour(400, 200).r, std::min(2 * lut.colour(100).r, 255));
  EXPECT_TRUE(byPalette.colour(0, 123) == (Rgb{0, 0, 0}));

  const Table3D byHue = table3DOf(1, 0);
  EXPECT_TRUE(byHue.colour(50, 0) == (Rgb{0, 0, 255}));  // hue 240 at half lightness
  EXPECT_TRUE(byHue.colour(0, 200) == (Rgb{0, 0, 0}));
  // Lightness above 1 brings components above 1: they saturate instead of wrapping round.
  for (int shade : {200, 400})
    for (int value : {0, 66, 200, 400}) EXPECT_TRUE(byHue.colour(shade, value) == (Rgb{255, 255, 255})) << shade;
}

TEST(Palettes, MapToColourWindows) {
  struct Case {
    int map, pmin, pmax;
    int pal3D;
    int value, column;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, 0},     // an empty value window becomes 0..1: 0 at the start
      {0, 0, 0, 0, 1, 64},    // and every value from 1 up at the end
      {0, 20, 70, 0, 45, 32}, // (45 - 20) x 64 / 50
      {0, 20, 70, 1, 45, 25}, // the palette-based table spreads over 50 columns
      {2, 80, 30, 0, 55, 64}, // an inverted value window collapses to 55, then becomes 54..55
      {2, 80, 30, 0, 54, 0},
      {1, 90, 10, 0, 95, 32}, // a wrapped time window shows 90..100 and 0..10 in one colour
      {1, 90, 10, 0, 5, 32},
      {1, 90, 10, 0, 11, 33}, // and the phases outside it along a ramp
      {1, 90, 10, 0, 89, 130 - 100},
      {3, 30, 60, 0, 45, 32},
      {3, 30, 60, 0, 70, 32 + 10 * 100 / 70},
  };
  for (const Case& c : cases) {
    std::array<MapWindows, 2> windows{};
    windows[0][c.map] = windows[1][c.map] = {c.pmin, c.pmax};
    PalMap map{};
    UPDATE_PAL_MAP(windows, c.pal3D, 0, map);
    EXPECT_EQ(map[0][c.map][c.value], c.column) << "map " << c.map << " window " << c.pmin << ".." << c.pmax;
    EXPECT_EQ(map[1][c.map][c.value], c.column);
    for (int x = 0; x <= 100; ++x) {
      EXPECT_GE(map[0][c.map][x], 0);
      EXPECT_LE(map[0][c.map][x], 100);
    }
  }
}

TEST(Palettes, ClassColoursAreFixedForTheClassesAndDrawnFromTheSeedForTheRest) {
  const ClassColours a = classColoursOf(7), b = classColoursOf(7), c = classColoursOf(8);
  EXPECT_EQ(a.FRON_R, b.FRON_R);
  EXPECT_EQ(a.FRON_B, b.FRON_B);
  EXPECT_NE(a.FRON_G, c.FRON_G);
  const struct {
    int entry;
    Rgb colour;
  } fixed[] = {{0, {0, 0, 0}},         {1, {200, 49, 50}},   {2, {51, 52, 201}},  {3, {53, 202, 54}},
               {13, {50, 50, 50}},     {16, {100, 100, 100}}, {17, {60, 20, 20}}, {19, {20, 60, 20}},
               {33, {44, 33, 44}}};
  for (const auto& f : fixed) EXPECT_TRUE(c.colour(f.entry) == f.colour) << f.entry;
}

TEST(Palettes, ThresholdDisplayKeepsEveryIndexInTheTable) {
  for (int seuillage = 0; seuillage <= 110; ++seuillage)
    for (int index = -5; index <= 405; ++index) {
      const int shown = thresholdDisplayIndex(index, seuillage);
      ASSERT_GE(shown, 0) << seuillage << " " << index;
      ASSERT_LE(shown, 400) << seuillage << " " << index;
      if (index < seuillage * 4) {
        ASSERT_EQ(shown, 0);
      }
      if (index >= (seuillage + 8) * 4 && index <= 400) {
        ASSERT_EQ(shown, index);
      }
    }
  // The band rises steadily from 0 at the threshold.
  EXPECT_EQ(thresholdDisplayIndex(120, 30), 0);
  EXPECT_LT(thresholdDisplayIndex(130, 30), thresholdDisplayIndex(140, 30));
  EXPECT_LE(thresholdDisplayIndex(151, 30), 152);
}

}  // namespace
}  // namespace quorvel
