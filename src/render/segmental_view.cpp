#include "render/segmental_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "base/language.h"
#include "render/palettes.h"
#include "render/render_texts.h"
#include "render/text.h"

namespace quorvel {
namespace {

constexpr Rgb kBackground{40, 40, 40}, kWhite{255, 255, 255}, kBlack{0, 0, 0}, kGrey{120, 120, 120};
constexpr Rgb kLeftColour{110, 170, 255}, kRightColour{255, 150, 60};
constexpr int kDiscRadius = 62, kDiscY = 92, kEfDiscX = 80, kTimeDiscX = 234;
constexpr int kPlotX = 318, kPlotWidth = 180, kPlotTop = 34, kPlotBottom = 150;
constexpr int kTextTop = 172, kLineStep = 12;
constexpr double kLateSpanPct = 15.0;  // a time this far from the median takes the end colour

Rgb hueColour(double hue) {
  const auto c = HlsToRgb(hue, 0.6, 0.8);
  auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
  return {byte(c[0]), byte(c[1]), byte(c[2])};
}

// 0 % blue to 100 % red.
Rgb efColour(float ef) { return hueColour(240.0 * (1.0 - std::clamp(ef, 0.0f, 100.0f) / 100.0)); }
// Early blue, on time green, late red.
Rgb timeColour(float deviationPct) {
  return hueColour(120.0 - 120.0 * std::clamp(deviationPct / kLateSpanPct, -1.0, 1.0));
}

void drawCentred(Bitmap24& b, int cx, int y, const std::string& text, Rgb c) {
  drawText(b, cx - textWidth(text) / 2, y, text, c);
}

// One 17-segment disc: each segment in its colour with its value written at its
// centre.
template <class ColourOf, class ValueOf>
void drawDisc(Bitmap24& b, int cx, const std::string& title, ColourOf colourOf, ValueOf valueOf) {
  std::array<double, kLeftSegments + 1> sx{}, sy{}, n{};
  for (int y = -kDiscRadius; y <= kDiscRadius; ++y)
    for (int x = -kDiscRadius; x <= kDiscRadius; ++x) {
      const int k = bullseyeSegmentAt(x, -y, kDiscRadius);
      if (k == 0) continue;
      const bool edge =
          bullseyeSegmentAt(x + 1, -y, kDiscRadius) != k || bullseyeSegmentAt(x, -y - 1, kDiscRadius) != k;
      b.set(cx + x, kDiscY + y, edge ? kBlack : colourOf(k));
      sx[k] += x, sy[k] += y, n[k] += 1;
    }
  for (int k = 1; k <= kLeftSegments; ++k)
    if (n[k] > 0)
      drawCentred(b, cx + static_cast<int>(sx[k] / n[k]), kDiscY + static_cast<int>(sy[k] / n[k]) - 4, valueOf(k),
                  kBlack);
  drawCentred(b, cx, 6, title, kWhite);
  // Orientation: anterior up, septum left, inferior down, lateral right (the
  // same letters in French).
  drawCentred(b, cx, kDiscY - kDiscRadius - 11, "A", kWhite);
  drawCentred(b, cx, kDiscY + kDiscRadius + 3, "I", kWhite);
  drawText(b, cx - kDiscRadius - 11, kDiscY - 4, "S", kWhite);
  drawText(b, cx + kDiscRadius + 4, kDiscY - 4, "L", kWhite);
}

void drawPhaseHistograms(Bitmap24& b, const SegmentalAnalysis& a, int L) {
  drawCentred(b, kPlotX + kPlotWidth / 2, 6, std::string(render_texts::kPhaseHistogram.pick(L)), kWhite);
  for (int x = kPlotX; x <= kPlotX + kPlotWidth; ++x) b.set(x, kPlotBottom, kGrey);
  for (int y = kPlotTop; y <= kPlotBottom; ++y) b.set(kPlotX, y, kGrey);
  for (int deg : {0, 180, 360})
    drawCentred(b, kPlotX + deg * kPlotWidth / 360, kPlotBottom + 4, std::to_string(deg), kWhite);
  constexpr int kPerColumn = kPhaseBins / kPlotWidth;
  float top = 0;
  std::array<std::array<float, kPlotWidth>, 2> columns{};
  for (int v = 0; v < 2; ++v)
    for (int x = 0; x < kPlotWidth; ++x) {
      for (int k = 0; k < kPerColumn; ++k) columns[v][x] += a.ventricles[v].phase.histogram[x * kPerColumn + k];
      top = std::max(top, columns[v][x]);
    }
  if (!(top > 0)) return;
  for (int v = 0; v < 2; ++v) {
    int previous = -1;
    for (int x = 0; x < kPlotWidth; ++x) {
      const int y = kPlotBottom - static_cast<int>(columns[v][x] / top * (kPlotBottom - kPlotTop));
      const int from = previous < 0 ? y : previous;
      for (int yy = std::min(from, y); yy <= std::max(from, y); ++yy)
        b.set(kPlotX + 1 + x, yy, v == 0 ? kLeftColour : kRightColour);
      previous = y;
    }
  }
}

}  // namespace

int bullseyeSegmentAt(double dx, double dy, double r) {
  const double f = std::hypot(dx, dy) / r;
  if (f > 1.0) return 0;
  // Screen angle counter-clockwise from the right; the septum (angle 0 of the
  // frame) on the left, the anterior wall (+90) up.
  const double screen = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
  const float phi = static_cast<float>(180.0 - screen);
  const float h = f <= 0.25 ? 0.0f : f <= 0.5 ? 0.2f : f <= 0.75 ? 0.5f : 0.8f;
  return leftSegmentAt(h, phi);
}

Bitmap24 segmentalPicture(const SegmentalAnalysis& a, int L, bool withLegend) {
  Bitmap24 b(kSegmentalWidth, withLegend ? kSegmentalHeight : kSegmentalCompactHeight);
  b.fill(kBackground);
  if (!a.valid) {
    const std::string why(render_texts::kSegmentalUnavailable.pick(L));
    drawCentred(b, kSegmentalWidth / 2, b.height / 2 - 4, why, kWhite);
    return b;
  }
  const VentricleSegments& left = a.ventricles[0];
  const VentricleSegments& right = a.ventricles[1];
  std::vector<float> times;
  for (int k = 1; k <= kLeftSegments; ++k) times.push_back(left.segments[k].timeToMinPct);
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  const float median = times[times.size() / 2];
  auto rounded = [](float v) { return std::to_string(static_cast<int>(std::lround(v))); };
  drawDisc(
      b, kEfDiscX, std::string(render_texts::kSegmentalEf.pick(L)),
      [&](int k) { return efColour(left.segments[k].ef); }, [&](int k) { return rounded(left.segments[k].ef); });
  drawDisc(
      b, kTimeDiscX, std::string(render_texts::kSegmentalTime.pick(L)),
      [&](int k) { return timeColour(left.segments[k].timeToMinPct - median); },
      [&](int k) { return rounded(left.segments[k].timeToMinPct); });
  drawPhaseHistograms(b, a, L);
  int y = kTextTop;
  for (int v = 0; v < 2; ++v) {
    const PhaseIndices& p = a.ventricles[v].phase;
    const Text name = v == 0 ? render_texts::kLeftShort : render_texts::kRightShort;
    drawText(b, 8, y,
             format(render_texts::kPhaseIndices.pick(L), std::string(name.pick(L)).c_str(), p.sdDeg, p.bandwidthDeg,
                    p.entropyPct, p.synchrony),
             v == 0 ? kLeftColour : kRightColour);
    y += kLineStep;
  }
  drawText(b, 8, y,
           format(render_texts::kPhaseDelay.pick(L), a.phaseDelayMs, left.dyssynchronyPct, left.dyssynchronyMs),
           kWhite);
  y += kLineStep;
  const auto& r = right.segments;
  drawText(b, 8, y,
           format(render_texts::kRightSegments.pick(L), r[1].ef, r[2].ef, r[3].ef, r[4].ef, r[5].ef, r[6].ef, r[7].ef),
           kRightColour);
  if (!withLegend) return b;
  y += kLineStep + 4;
  drawText(b, 8, y, std::string(render_texts::kSegmentalLegend1.pick(L)), kGrey);
  drawText(b, 8, y + kLineStep, std::string(render_texts::kSegmentalLegend2.pick(L)), kGrey);
  return b;
}

}  // namespace quorvel
