#include "render/palettes.h"

#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

struct ControlPoint {
  float at;
  int r, g, b;
};
using Palette = std::array<ControlPoint, kControlPoints>;

// The last position lies just above 1 so that the value 1 falls inside the last segment.
constexpr float kEnd = 1.001f;

// clang-format off
constexpr std::array<Palette, kPaletteCount> kPalettes{{
  {{{0, 0, 0, 0}, {0.16f, 100, 20, 100}, {0.3f, 50, 0, 200}, {0.44f, 20, 200, 50}, {0.58f, 240, 240, 50},
    {0.72f, 255, 150, 0}, {0.86f, 255, 50, 20}, {kEnd, 255, 150, 255}}},
  {{{0, 0, 0, 0}, {0.16f, 60, 100, 100}, {0.3f, 50, 180, 180}, {0.44f, 40, 40, 220}, {0.58f, 160, 20, 220},
    {0.72f, 250, 150, 0}, {0.86f, 250, 250, 120}, {kEnd, 255, 255, 255}}},
  {{{0, 0, 0, 0}, {0.16f, 40, 40, 40}, {0.3f, 75, 75, 75}, {0.44f, 110, 110, 110}, {0.58f, 145, 145, 145},
    {0.72f, 180, 180, 180}, {0.86f, 215, 215, 215}, {kEnd, 255, 255, 255}}},
  {{{0, 0, 0, 0}, {0.16f, 80, 20, 0}, {0.3f, 160, 50, 0}, {0.48f, 240, 90, 0}, {0.64f, 250, 140, 20},
    {0.8f, 240, 200, 50}, {0.9f, 255, 255, 80}, {kEnd, 255, 255, 255}}},
  {{{0, 0, 0, 0}, {0.16f, 80, 0, 80}, {0.3f, 100, 50, 100}, {0.44f, 120, 150, 120}, {0.58f, 50, 200, 50},
    {0.72f, 100, 220, 0}, {0.86f, 120, 230, 50}, {kEnd, 150, 255, 150}}},
  {{{0, 0, 0, 0}, {0.16f, 0, 0, 100}, {0.3f, 0, 100, 200}, {0.44f, 120, 150, 250}, {0.58f, 0, 250, 250},
    {0.72f, 100, 250, 50}, {0.86f, 250, 250, 0}, {kEnd, 255, 120, 50}}},
  {{{0, 255, 255, 255}, {0.16f, 215, 215, 215}, {0.3f, 180, 180, 180}, {0.44f, 145, 145, 145},
    {0.58f, 110, 110, 110}, {0.72f, 75, 75, 75}, {0.86f, 30, 30, 30}, {kEnd, 0, 0, 0}}},
  {{{0, 255, 255, 255}, {0.16f, 255, 240, 200}, {0.3f, 250, 220, 150}, {0.44f, 230, 200, 145},
    {0.58f, 200, 165, 105}, {0.72f, 185, 65, 25}, {0.86f, 120, 75, 65}, {kEnd, 95, 70, 50}}},
  {{{0, 0, 0, 0}, {0.14f, 0, 0, 80}, {0.29f, 0, 0, 150}, {0.43f, 0, 80, 150}, {0.58f, 0, 150, 150},
    {0.71f, 100, 180, 50}, {0.85f, 200, 100, 0}, {kEnd, 255, 255, 255}}},
  {{{0, 0, 0, 0}, {0.14f, 50, 30, 20}, {0.29f, 100, 50, 50}, {0.43f, 150, 150, 50}, {0.58f, 200, 200, 0},
    {0.71f, 200, 100, 0}, {0.85f, 200, 20, 0}, {kEnd, 255, 0, 0}}},
  {{{0, 0, 0, 0}, {0.14f, 40, 40, 40}, {0.29f, 80, 80, 80}, {0.43f, 120, 120, 80}, {0.58f, 160, 120, 40},
    {0.71f, 200, 180, 40}, {0.85f, 100, 240, 80}, {kEnd, 0, 250, 100}}},
  {{{0, 0, 0, 0}, {0.14f, 20, 20, 20}, {0.29f, 50, 50, 50}, {0.43f, 90, 90, 90}, {0.58f, 150, 120, 120},
    {0.71f, 150, 150, 80}, {0.85f, 220, 100, 0}, {kEnd, 255, 0, 0}}},
  {{{0, 255, 255, 255}, {0.14f, 220, 220, 220}, {0.29f, 180, 180, 180}, {0.43f, 180, 150, 120},
    {0.58f, 150, 150, 40}, {0.71f, 150, 80, 0}, {0.85f, 200, 50, 0}, {kEnd, 255, 0, 0}}},
  {{{0, 255, 255, 255}, {0.14f, 255, 230, 230}, {0.29f, 255, 200, 200}, {0.43f, 220, 150, 120},
    {0.58f, 200, 150, 50}, {0.71f, 200, 100, 0}, {0.85f, 200, 200, 0}, {kEnd, 255, 255, 0}}},
  {{{0, 220, 220, 220}, {0.14f, 200, 200, 200}, {0.29f, 180, 180, 200}, {0.43f, 150, 150, 200},
    {0.58f, 100, 150, 200}, {0.71f, 0, 100, 200}, {0.85f, 0, 0, 200}, {kEnd, 0, 100, 255}}},
  {{{0, 250, 250, 250}, {0.14f, 200, 200, 200}, {0.29f, 150, 150, 150}, {0.43f, 110, 100, 90},
    {0.58f, 80, 50, 20}, {0.71f, 100, 0, 0}, {0.85f, 200, 100, 0}, {kEnd, 255, 255, 0}}},
  {{{0, 0, 0, 0}, {0.14f, 0, 0, 0}, {0.29f, 0, 0, 0}, {0.43f, 40, 0, 0}, {0.58f, 80, 0, 0},
    {0.71f, 160, 40, 0}, {0.85f, 240, 80, 0}, {kEnd, 255, 255, 0}}},
}};
// clang-format on

// Start and end entries of each palette in the palette-based 3D table. The last palette has
// none of its own: it takes the pair most palettes use.
constexpr std::array<int, kPaletteCount> k3DStart{20, 20, 30, 20, 20, 15, 30, 10, 15, 25, 25, 35, 20, 20, 20, 20, 20};
constexpr std::array<int, kPaletteCount> k3DEnd{100, 100, 70, 100, 100, 100, 70, 100, 100,
                                                100, 100, 100, 100, 100, 100, 100, 100};

uint8_t segmentChannel(float t, float e0, float e1, int c0, int c1) {
  const float v = static_cast<float>(c0) + (t - e0) * static_cast<float>(c1 - c0) / (e1 - e0);
  const int byte = static_cast<int>(v);
  return static_cast<uint8_t>(std::clamp(byte, 1, 255));  // no channel is pure black
}

void drawLegend(const LookupTable& lut, Bitmap24& BMPal) {
  BMPal.resize(kLegendWidth, kLegendHeight);
  const Rgb grey{111, 111, 111}, white{255, 255, 255};
  for (int r = 0; r < kLegendHeight; ++r) {  // r: storage line, 0 at the bottom
    const int y = kLegendHeight - 1 - r;
    for (int c = 0; c < kLegendWidth; ++c) BMPal.set(c, y, lut.colour(2 * c));
  }
  auto frame = [&](int line0, int line1, int col0, int col1, Rgb colour) {
    for (int c = 0; c < kLegendWidth; ++c) {
      BMPal.set(c, kLegendHeight - 1 - line0, colour);
      BMPal.set(c, kLegendHeight - 1 - line1, colour);
    }
    for (int r = 0; r < kLegendHeight; ++r) {
      BMPal.set(col0, kLegendHeight - 1 - r, colour);
      BMPal.set(col1, kLegendHeight - 1 - r, colour);
    }
  };
  frame(3, 20, 1, 196, grey);
  frame(2, 21, 0, 197, white);
}

// The generator behind the class colours: 15-bit outputs, so that every platform draws the same
// table from the same seed.
class ColourRandom {
 public:
  explicit ColourRandom(unsigned seed) : state_(seed) {}
  int next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7fff);
  }

 private:
  uint32_t state_;
};

}  // namespace

int DEFINE_DEF_PAL(int palette, int draw, LookupTable& lut, Bitmap24& BMPal) {
  const Palette& p = kPalettes[palette >= 0 && palette < kPaletteCount ? palette : 1];
  for (int k = 0; k < kControlPoints; ++k) {
    lut.PAL_ECH[k] = p[k].at;
    lut.PAL_R[k] = p[k].r;
    lut.PAL_G[k] = p[k].g;
    lut.PAL_B[k] = p[k].b;
  }
  for (int i = 0; i < kLookupSize; ++i) {
    const float t = static_cast<float>(i) / static_cast<float>(kPaletteSteps);
    int k = 0;
    while (k < kControlPoints - 2 && !(lut.PAL_ECH[k] <= t && t < lut.PAL_ECH[k + 1])) ++k;
    const float e0 = lut.PAL_ECH[k], e1 = lut.PAL_ECH[k + 1];
    lut._palR_[i] = segmentChannel(t, e0, e1, lut.PAL_R[k], lut.PAL_R[k + 1]);
    lut._palG_[i] = segmentChannel(t, e0, e1, lut.PAL_G[k], lut.PAL_G[k + 1]);
    lut._palB_[i] = segmentChannel(t, e0, e1, lut.PAL_B[k], lut.PAL_B[k + 1]);
  }
  if (draw == 1) drawLegend(lut, BMPal);
  return 0;
}

LookupTable lookupTableOf(int palette) {
  LookupTable lut;
  Bitmap24 unused;
  DEFINE_DEF_PAL(palette, 0, lut, unused);
  return lut;
}

std::array<double, 3> HlsToRgb(double hue, double lightness, double saturation) {
  if (saturation == 0) return {lightness, lightness, lightness};
  const double m2 = lightness <= 0.5 ? lightness * (1 + saturation) : lightness + saturation - lightness * saturation;
  const double m1 = 2 * lightness - m2;
  auto value = [&](double h) {
    h = std::fmod(h, 360.0);
    if (h < 0) h += 360.0;
    if (h < 60) return m1 + (m2 - m1) * h / 60;
    if (h < 180) return m2;
    if (h < 240) return m1 + (m2 - m1) * (240 - h) / 60;
    return m1;
  };
  return {value(hue + 120), value(hue), value(hue - 120)};
}

int DEFINE_3D_PAL(int palette3D, int pal3D, Table3D& table) {
  const size_t n = static_cast<size_t>(kLookupSize) * kLookupSize;
  table.RRR.assign(n, 0);
  table.GGG.assign(n, 0);
  table.BBB.assign(n, 0);
  if (pal3D == 0) {
    // Lightness reaches 4 at the brightest shade; components outside 0..1 are clamped before
    // they become bytes.
    auto byte = [](double c) { return static_cast<uint8_t>(255 * std::clamp(c, 0.0, 1.0)); };
    for (int s = 0; s < kLookupSize; ++s)
      for (int v = 0; v < kLookupSize; ++v) {
        const auto rgb = HlsToRgb(240 - 3.6 * v, s / 100.0, 1.0);
        const size_t i = Table3D::index(s, v);
        table.RRR[i] = byte(rgb[0]);
        table.GGG[i] = byte(rgb[1]);
        table.BBB[i] = byte(rgb[2]);
      }
    return 0;
  }
  const int p = palette3D >= 0 && palette3D < kPaletteCount ? palette3D : 1;
  const LookupTable lut = lookupTableOf(p);
  const int a = k3DStart[p], b = k3DEnd[p];
  for (int v = 0; v < kLookupSize; ++v) {
    const int j = v <= 200 ? a + (b - a) * v / 200 : b + (a - b) * (v - 200) / 200;
    const Rgb c = lut.colour(j);
    for (int s = 0; s < kLookupSize; ++s) {
      const size_t i = Table3D::index(s, v);
      table.RRR[i] = static_cast<uint8_t>(std::min(s * c.r / 200, 255));
      table.GGG[i] = static_cast<uint8_t>(std::min(s * c.g / 200, 255));
      table.BBB[i] = static_cast<uint8_t>(std::min(s * c.b / 200, 255));
    }
  }
  return 0;
}

Table3D table3DOf(int palette3D, int pal3D) {
  Table3D t;
  DEFINE_3D_PAL(palette3D, pal3D, t);
  return t;
}

void UPDATE_PAL_MAP(std::array<MapWindows, 2>& windows, int pal3D, int rendu3D, PalMap& PAL_map) {
  const bool paletteBased = pal3D != 0 && rendu3D == 0;
  const int T = paletteBased ? 50 : 64;
  const int O = paletteBased ? 0 : 32;
  for (int v = 0; v < 2; ++v)
    for (int m = 0; m < kMapCount; ++m) {
      MapWindow& w = windows[v][m];
      w.pmin = std::clamp(w.pmin, 0, 100);
      w.pmax = std::clamp(w.pmax, 0, 100);
      const bool timeMap = m % 2 == 1;
      if (!timeMap && w.pmin >= w.pmax) w.pmin = w.pmax = (w.pmin + w.pmax) / 2;
      if (w.pmin == w.pmax) {
        if (w.pmin < 1)
          ++w.pmax;
        else
          --w.pmin;
      }
      const int pmax = w.pmax < w.pmin ? w.pmax + 100 : w.pmax;
      for (int x = 0; x <= 100; ++x) {
        int column;
        if (!timeMap) {
          column = std::clamp((x - w.pmin) * T / (pmax - w.pmin), 0, T);
        } else {
          const int xw = x < w.pmin ? x + 100 : x;
          if (xw <= pmax) {
            column = O;
          } else {
            // The wrapped window leaves pmin + 100 - pmax > 0 phases outside it.
            column = O + (xw - pmax) * 100 / (w.pmin + 100 - pmax);
            if (column > 100) column -= 100;
          }
        }
        PAL_map[v][m][x] = column;
      }
    }
}

void LOAD_BORD_COL(unsigned seed, ClassColours& colours) {
  ColourRandom random(seed);
  for (int i = 0; i < kClassColours; ++i) {
    colours.FRON_R[i] = static_cast<uint8_t>(random.next() * 255 / 32767);
    colours.FRON_G[i] = static_cast<uint8_t>(random.next() * 255 / 32767);
    colours.FRON_B[i] = static_cast<uint8_t>(random.next() * 255 / 32767);
  }
  struct Fixed {
    int entry;
    uint8_t r, g, b;
  };
  constexpr Fixed kFixed[] = {{0, 0, 0, 0},        {1, 200, 49, 50},    {2, 51, 52, 201},   {3, 53, 202, 54},
                              {4, 250, 100, 101},  {5, 102, 103, 251},  {6, 104, 255, 104}, {7, 50, 50, 50},
                              {8, 10, 245, 127},   {9, 126, 11, 244},   {10, 100, 100, 100}, {11, 13, 124, 242},
                              {12, 241, 14, 123},  {13, 50, 50, 50},    {16, 100, 100, 100}, {17, 60, 20, 20},
                              {18, 20, 20, 60},    {19, 20, 60, 20},    {33, 44, 33, 44}};
  for (const Fixed& f : kFixed) {
    colours.FRON_R[f.entry] = f.r;
    colours.FRON_G[f.entry] = f.g;
    colours.FRON_B[f.entry] = f.b;
  }
}

ClassColours classColoursOf(unsigned seed) {
  ClassColours c;
  LOAD_BORD_COL(seed, c);
  return c;
}

int thresholdDisplayIndex(int index, int seuillage) {
  constexpr int kBand = 32;  // eight threshold percent
  index = std::clamp(index, 0, kPaletteSteps);
  const int low = std::clamp(seuillage * 4, 0, kPaletteSteps);
  if (index < low) return 0;
  if (index >= low + kBand) return index;
  // From 0 at the threshold up to the plain index at the top of the band.
  return std::min((index - low) * (low + kBand) / kBand, kPaletteSteps);
}

}  // namespace quorvel
