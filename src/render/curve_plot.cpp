#include "render/curve_plot.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <cstdio>

#include "render/canvas.h"
#include "render/render_texts.h"
#include "render/text.h"
#include "render/view_geometry.h"

namespace quorvel {

namespace {

constexpr int kW = kCurvePlotWidth, kH = kCurvePlotHeight;
constexpr int kRateCentre = kH / 2;
// The panel of both plots: axis margin, title band, gap between the plots, bottom margin.
constexpr int kPanelMargin = 48, kPanelTitle = 24, kPanelGap = 24, kPanelBottom = 12;
constexpr int plotLeft(int plot) { return plot * (kPanelMargin + kW + kPanelGap) + kPanelMargin; }

struct PlotColours {
  Rgb area, curve, rate, instants;
};
constexpr Rgb kBackground{225, 225, 225}, kGrid{150, 150, 150}, kBlack{0, 0, 0};
constexpr PlotColours kRightColours{{180, 200, 220}, {0, 0, 255}, {50, 100, 200}, {0, 0, 255}};
constexpr PlotColours kLeftColours{{220, 200, 180}, {255, 0, 0}, {200, 100, 50}, {255, 0, 0}};

// Rows count from the bottom, as the plot is stored.
class Plot {
 public:
  explicit Plot(Bitmap24& b) : b_(b) {}
  uint8_t* at(int x, int row) { return b_.pixels.data() + static_cast<size_t>(row) * b_.stride() + x * 3; }
  void put(int x, int row, Rgb c) {
    if (x >= 0 && x < kW && row >= 0 && row < kH) putColour(at(x, row), c);
  }

 private:
  Bitmap24& b_;
};

// Rows lo..hi between two neighbouring samples, the upper end lowered by one when they differ.
std::pair<int, int> span(int y0, int y1) {
  const int lo = std::min(y0, y1);
  int hi = std::max(y0, y1);
  if (hi != lo) --hi;
  return {lo, hi};
}

void drawPlot(Bitmap24& bmp, const CycleCurve& curve, const CycleCurve& rate, const InstantCurve& vol, int Ninst,
              float maxvol, float filling_ampl, const PlotColours& colours, bool right, TraceLog& log) {
  bmp.resize(kW, kH);
  Plot plot(bmp);
  const int step = kW / std::max(Ninst, 1);
  const bool scaled = maxvol > 0;
  // Per column: the curve's rows lo..hi + 1 over the area below lo, and the rate's rows.
  std::array<int, kW> lo{}, hi{}, rateLo{}, rateHi{};
  std::array<bool, kW> instantLine{};
  auto volumeRow = [&](float v) { return curveRowOf(v, maxvol); };
  auto rateRow = [&](float r) {
    return filling_ampl > 0 ? static_cast<int>(r * kRateCentre / filling_ampl + kRateCentre + 0.5f) : kRateCentre;
  };
  for (int x = 0; x < kW; ++x) {
    const int next = (x + 1) % kW;
    std::tie(lo[x], hi[x]) = span(volumeRow(curve[x]), volumeRow(curve[next]));
    std::tie(rateLo[x], rateHi[x]) = span(rateRow(rate[x]), rateRow(rate[next]));
    instantLine[x] = step > 0 && x >= step && x % step == 0;
    if (!scaled) lo[x] = 0, hi[x] = -2, rateLo[x] = 1, rateHi[x] = 0;  // no area, curve or rate rows
  }
  // Rows 0, round(k), round(2k), ... with k the height of 20 ml.
  std::array<bool, kH> gridRow{};
  for (int n = 0; scaled; ++n) {
    const int row = static_cast<int>(n * (8000.0 / maxvol) + 0.5);
    if (row >= kH) break;
    gridRow[row] = true;
  }
  // Each pixel in the order of the layers: background, grid, rate zero line, then its column's
  // area (where the background still shows), curve and rate.
  constexpr uint8_t kBg = 0, kGridLayer = 1, kZero = 2, kArea = 3, kCurve = 4, kRate = 5;
  auto bytes = [](Rgb c) { return std::array<uint8_t, 3>{c.b, c.g, c.r}; };
  const std::array<std::array<uint8_t, 3>, 6> layerColour{bytes(kBackground), bytes(kGrid),           bytes(kBlack),
                                                          bytes(colours.area), bytes(colours.curve), bytes(colours.rate)};
  std::array<uint8_t, kW> base{};
  for (int row = 0; row < kH; ++row) {
    const bool lineOfGrid = scaled && gridRow[row], zeroLine = scaled && row == kRateCentre;
    for (int x = 0; x < kW; ++x) {
      uint8_t layer = instantLine[x] || lineOfGrid ? kGridLayer : kBg;
      if (zeroLine && x % 3 == 0) layer = kZero;
      base[x] = layer;
    }
    uint8_t* px = plot.at(0, row);
    for (int x = 0; x < kW; ++x, px += 3) {
      uint8_t layer = base[x];
      layer = row < lo[x] && layer == kBg ? kArea : layer;
      layer = row >= lo[x] && row <= hi[x] + 1 ? kCurve : layer;
      layer = row >= rateLo[x] && row <= rateHi[x] ? kRate : layer;
      putBytes(px, layerColour[layer]);
    }
  }
  if (!scaled) return;
  for (int i = 0; i <= Ninst; ++i) {
    const int cx = step * i, cy = volumeRow(vol[i]);
    for (int dy = -3; dy <= 3; ++dy)
      for (int dx = -3; dx <= 3; ++dx) plot.put(cx + dx, cy + dy, colours.instants);
    if (right)
      log.writef("%d %d %2.2f  (%2.2f)\n", cx, cy, maxvol, vol[i]);
    else
      log.writef("%d %d %2.2f\n", cx, cy, maxvol);
  }
}

}  // namespace

void BUILD_BMP_VID(const VolumeCurves& vc, int Ninst, Pictures& pictures, TraceLog& log) {
  Ninst = std::clamp(Ninst, 1, kMaxInstants);
  drawPlot(pictures.BMPvd, vc.vidange_D, vc.filling_D, vc.volD, Ninst, vc.maxvol, vc.filling_ampl, kRightColours,
           true, log);
  drawPlot(pictures.BMPvg, vc.vidange_G, vc.filling_G, vc.volG, Ninst, vc.maxvol, vc.filling_ampl, kLeftColours,
           false, log);
}

std::vector<AxisLabel> AFFICHAGE_GRAD(float maxvol) {
  std::vector<AxisLabel> labels;
  if (!(maxvol > 0)) return labels;
  const int n = static_cast<int>(maxvol / 20 + 0.1f);
  for (int k = 0; k <= n; ++k)
    labels.push_back({20 * k, std::min(static_cast<int>(k * 8000.0f / maxvol), kH - 1)});
  return labels;
}

std::string curveCursorText(int x, int Ninst, float CYCLE, const CycleCurve& curve, int LANGUE) {
  return format(render_texts::kCurveCursor.pick(LANGUE), curveTimeAt(x, Ninst, CYCLE),
                static_cast<double>(curve[curveSampleAt(x)]));
}

Bitmap24 curvesPicture(const Pictures& pictures, const VolumeCurves& vc, int LANGUE) {
  constexpr int kMargin = kPanelMargin, kTitle = kPanelTitle;
  const Rgb white{255, 255, 255}, ink{0, 0, 0};
  Bitmap24 out(2 * (kMargin + kW) + kPanelGap, kTitle + kH + kPanelBottom);
  out.fill(white);
  const std::vector<AxisLabel> labels = AFFICHAGE_GRAD(vc.maxvol);
  // Left ventricle first, as the results stage shows them.
  const Bitmap24* plots[2] = {&pictures.BMPvg, &pictures.BMPvd};
  for (int p = 0; p < 2; ++p) {
    const int left = plotLeft(p);
    drawText(out, left, 6, ventriclePanelTitle(p == 0 ? 1 : 2, LANGUE), ink);
    const Bitmap24& plot = *plots[p];
    for (int y = 0; y < std::min(plot.height, kH); ++y)
      for (int x = 0; x < std::min(plot.width, kW); ++x) out.set(left + x, kTitle + y, plot.get(x, y));
    for (const AxisLabel& l : labels) {
      const std::string text = std::to_string(l.value);
      const int y = kTitle + curvePlotY(l.row);
      for (int dx = 1; dx <= 4; ++dx) out.set(left - dx, y, ink);
      drawText(out, left - 6 - textWidth(text), std::clamp(y - kGlyphSide / 2, 0, out.height - kGlyphSide), text, ink);
    }
    drawText(out, left - kMargin + 2, kTitle - 10, "ml", ink);
  }
  return out;
}

std::optional<PlotPoint> curvesPicturePlotAt(int x, int y) {
  const int py = y - kPanelTitle;
  for (int p = 0; p < 2; ++p) {
    const int px = x - plotLeft(p);
    if (px >= 0 && px < kW && py >= 0 && py < kH) return PlotPoint{p, px, py};
  }
  return std::nullopt;
}

std::pair<int, int> curvesPicturePoint(PlotPoint p) { return {plotLeft(p.plot) + p.x, kPanelTitle + p.y}; }

}  // namespace quorvel
