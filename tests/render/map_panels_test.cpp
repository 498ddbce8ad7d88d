// The result panels of the 3D results on fixed histograms, windows and a picked curve, and the
// panel geometry the window editing reads.
#include <gtest/gtest.h>

#include <cmath>

#include "picture_fixture.h"
#include "render/map_panels.h"

namespace quorvel {
namespace {

TEST(MapPanels, GoldenPanelsOfATimeMapWithAWrappingWindow) {
  RegionalMaps maps;
  // End-systole times: the right ventricle's spread across the 0/100 wrap, the left one's near 40.
  for (int b = 0; b <= 100; ++b) {
    const double dr = std::min(std::abs(b - 96), 100 - std::abs(b - 96)), dl = b - 40;
    maps.histo_tej[1][b] = static_cast<float>(150 * std::exp(-dr * dr / 40));
    maps.histo_tej[0][b] = static_cast<float>(150 * std::exp(-dl * dl / 60));
  }
  maps.tej_cmin = {20, 88};
  maps.tej_cmax = {60, 8};
  MapRanges ranges;
  ranges.tej_pmin = {30, 90};
  ranges.tej_pmax = {45, 5};
  StudyRecord study;
  study.Ninst = 8;
  study.CYCLE = 100;
  const Table3D table = table3DOf(1, 0);
  std::array<MapWindows, 2> windows{};
  for (int v = 0; v < 2; ++v) windows[v][1] = MapWindow{static_cast<int>(ranges.tej_pmin[v]), static_cast<int>(ranges.tej_pmax[v])};
  PalMap pal{};
  UPDATE_PAL_MAP(windows, 0, 0, pal);

  MeshCurve curve;
  curve.valid = true;
  curve.scale = 125;
  for (int x = 0; x < kCurvePictureWidth; ++x)
    curve.y[x] = static_cast<float>(40 + 25 * std::cos(2 * 3.14159265 * x / kCurvePictureWidth));
  for (int i = 0; i < 8; ++i)
    curve.dots.push_back({static_cast<float>(i * 295 / 8), curve.y[i * 295 / 8] + (i % 2 ? 3.0f : -3.0f)});
  curve.marker = 150;
  curve.caption = "FES = 57 %     -     TFS = 400 ms";

  const MapPanelInputs in{maps, ranges, study, table, pal, 1, 0, 1};
  const Bitmap24 panels = mapPanelsPicture(
      in, {"TES (ms)    :    0   +/-   40\n\nValve plane : valve voxels\nEmpty curves : 0 / 2256\n", "TES (ms)   :    397   +/-   27\n\n"},
      {curve, MeshCurve{}});
  EXPECT_EQ(panels.height, kMapPanelHeight);
  testing::expectGolden(panels, "map_panels");
}

// A result line wider than the panel loses its runs of spaces before it wraps; a line that still
// does not fit wraps at a space.
TEST(MapPanels, WideResultLinesSqueezeBeforeWrapping) {
  const struct {
    const char* text;
    int rows;
  } cases[] = {{"DEM (vol td / s)   :   -2.78  +/-  0.64\n", 1},
               {"DEM = -3.10 vtd/s     -     t-DEM = 172 ms", 1},
               {"Valve plane : valve line (too few valve voxels at one instant at least : 1, 2)", 3}};
  for (const auto& c : cases)
    EXPECT_EQ(textPanel(c.text, kMapPanelWidth, 1).height, c.rows * kTextLineHeight + 4) << c.text;
}

// The scale under a histogram speaks the units of the map's mean: ejection rates negative.
TEST(MapPanels, ScaleValuesInTheMapsUnits) {
  RegionalMaps maps;
  maps.PER_corr = 5;
  maps.PFR_corr = 4;
  StudyRecord study;
  study.Ninst = 8;
  study.CYCLE = 100;
  const Table3D table = table3DOf(1, 0);
  const PalMap pal{};
  const MapRanges ranges;
  const struct {
    int mesh_visu, value;
    const char* text;
  } cases[] = {{0, 50, "50"}, {1, 50, "400"}, {2, 0, "0.0"}, {2, 50, "-10.0"}, {4, 50, "12.5"}};
  for (const auto& c : cases)
    EXPECT_EQ(mapValueText(MapPanelInputs{maps, ranges, study, table, pal, c.mesh_visu, 0, 1}, c.value), c.text)
        << "map " << c.mesh_visu;
}

TEST(MapPanels, PressesSetTheBoundUnderThePointer) {
  struct Case {
    int x, y;
    bool primary, dragging;
    std::optional<PanelBound> bound;
  };
  for (const Case& c : {Case{27, 65, true, false, PanelBound::WindowMin}, Case{227, 215, false, false, PanelBound::WindowMax},
                        Case{100, 40, true, false, PanelBound::PaletteMin}, Case{100, 61, false, false, PanelBound::PaletteMax},
                        Case{100, 62, true, false, std::nullopt}, Case{26, 100, true, false, std::nullopt},
                        Case{228, 100, true, false, std::nullopt}, Case{12, 100, true, true, PanelBound::WindowMin},
                        Case{242, 35, false, true, PanelBound::PaletteMax}, Case{100, 58, true, true, std::nullopt}})
    EXPECT_EQ(panelBoundAt(c.x, c.y, c.primary, c.dragging), c.bound) << c.x << ", " << c.y;
  for (const auto& [x, value] : {std::pair{12, 0}, std::pair{27, 0}, std::pair{28, 0}, std::pair{29, 1},
                                std::pair{127, 50}, std::pair{227, 100}, std::pair{242, 100}})
    EXPECT_EQ(panelValueAt(x), value) << x;
}

}  // namespace
}  // namespace quorvel
