#pragma once
// Colour palettes: the 17 fixed palettes, the 401-entry look-up table every slice and map display
// colours its values through, the legend bar, the shaded table of the 3D views, the map-to-colour
// table of the parametric maps and the class colours of the segmentation view.
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "base/bitmap.h"
#include "base/platform.h"

namespace quorvel {

inline constexpr int kPaletteCount = 17;
inline constexpr int kPaletteSteps = 400;  // look-up entries 0..400 for values 0..1
inline constexpr int kLookupSize = kPaletteSteps + 1;
inline constexpr int kControlPoints = 8;
inline constexpr int kLegendWidth = 200, kLegendHeight = 22;
inline constexpr int kClassColours = 400;

struct LookupTable {
  // Control points of the palette the table was built from.
  std::array<float, kControlPoints> PAL_ECH{};
  std::array<int, kControlPoints> PAL_R{}, PAL_G{}, PAL_B{};
  // Entry i shows the value i / 400; no channel is 0.
  std::array<uint8_t, kLookupSize> _palR_{}, _palG_{}, _palB_{};

  // Entry i, i clamped to 0..400.
  Rgb colour(int i) const {
    i = i < 0 ? 0 : (i > kPaletteSteps ? kPaletteSteps : i);
    return {_palR_[i], _palG_[i], _palB_[i]};
  }
};

// Builds the table of palette (0..16; others are taken as palette 1) into lut and, when draw is
// set, redraws the legend bar BMPal (200 x 22). Returns 0.
int DEFINE_DEF_PAL(int palette, int draw, LookupTable& lut, Bitmap24& BMPal);
LookupTable lookupTableOf(int palette);

// Hue in degrees (any value, taken modulo 360), lightness and saturation to red, green and blue,
// each in 0..1 only for lightness and saturation in 0..1 (the shaded table clamps them).
std::array<double, 3> HlsToRgb(double hue, double lightness, double saturation);

// The shaded table of the 3D views, indexed [shade 0..400][value 0..400].
struct Table3D {
  // The specified names start with an underscore and a capital, which C++ reserves.
  std::vector<uint8_t> RRR, GGG, BBB;  // 401 x 401 each
  static size_t index(int shade, int value) { return static_cast<size_t>(shade) * kLookupSize + value; }
  // Any shade and value: outside the table they take its nearest entry.
  Rgb colour(int shade, int value) const {
    if (RRR.empty()) return {};  // not built yet
    const size_t i = index(std::clamp(shade, 0, kPaletteSteps), std::clamp(value, 0, kPaletteSteps));
    return {RRR[i], GGG[i], BBB[i]};
  }
};
// pal3D 0: hue-based (hue 240 - 3.6 value, lightness shade / 100, components clamped to 0..1);
// otherwise each shade of the palette palette3D between its start and end entries. Returns 0.
int DEFINE_3D_PAL(int palette3D, int pal3D, Table3D& table);
Table3D table3DOf(int palette3D, int pal3D);

// Column of the 3D table that shows each rounded map value, for each ventricle and map
// (0 ejection fraction, 1 end-systole time, 2 peak ejection rate, 3 its time, 4 peak filling
// rate, 5 its time).
inline constexpr int kMapCount = 6;
struct MapWindow {
  int pmin = 0, pmax = 100;
};
using MapWindows = std::array<MapWindow, kMapCount>;
using PalMap = std::array<std::array<std::array<int, 101>, kMapCount>, 2>;
// Repairs each ventricle's windows in place (an empty or inverted value window becomes one unit
// wide) and rebuilds PAL_map from them. Time windows may wrap round the cycle (pmin > pmax).
void UPDATE_PAL_MAP(std::array<MapWindows, 2>& windows, int pal3D, int rendu3D, PalMap& PAL_map);

// Class colours of the segmentation view: seeded pseudo-random entries, then the fixed ones of
// the classes, the hovered regions and the frozen background. The same seed gives the same table.
struct ClassColours {
  std::array<uint8_t, kClassColours> FRON_R{}, FRON_G{}, FRON_B{};
  Rgb colour(int entry) const {
    entry = entry < 0 ? 0 : (entry >= kClassColours ? kClassColours - 1 : entry);
    return {FRON_R[entry], FRON_G[entry], FRON_B[entry]};
  }
};
void LOAD_BORD_COL(unsigned seed, ClassColours& colours);
ClassColours classColoursOf(unsigned seed);
inline constexpr unsigned kDefaultColourSeed = 1;

// A count index shown with the threshold display on: below the threshold (seuillage x 4) it is 0;
// the band just above rises smoothly from 0 to where it joins the plain indices; always 0..400.
int thresholdDisplayIndex(int index, int seuillage);

}  // namespace quorvel
