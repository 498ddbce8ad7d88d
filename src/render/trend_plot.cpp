#include "render/trend_plot.h"

#include <algorithm>
#include <cmath>

#include "base/language.h"
#include "render/render_texts.h"
#include "render/text.h"

namespace quorvel {

namespace {

constexpr Rgb kBackground{40, 40, 40}, kWhite{255, 255, 255}, kGrey{120, 120, 120}, kLimit{220, 60, 60};
constexpr Rgb kColours[2] = {{110, 170, 255}, {255, 150, 60}};  // left, right ventricle
constexpr int kLeftMargin = 48, kRightMargin = 20, kTop = 28, kBottom = 40;
constexpr int kStep = 10;  // per cent between axis labels

void line(Bitmap24& b, int x0, int y0, int x1, int y1, Rgb c) {
  const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
  for (int s = 0; s <= steps; ++s) {
    const double f = steps ? static_cast<double>(s) / steps : 0;
    b.set(static_cast<int>(std::lround(x0 + f * (x1 - x0))), static_cast<int>(std::lround(y0 + f * (y1 - y0))), c);
  }
}

}  // namespace

int TrendLayout::columnOf(int exam) const {
  const int span = kTrendWidth - kLeftMargin - kRightMargin;
  return exams > 1 ? kLeftMargin + 20 + exam * (span - 40) / (exams - 1) : kLeftMargin + span / 2;
}

int TrendLayout::rowOf(double value) const {
  const double f = (value - lowest) / (highest - lowest);
  return static_cast<int>(std::lround(kTrendHeight - kBottom - f * (kTrendHeight - kBottom - kTop)));
}

TrendLayout trendLayoutOf(const std::vector<TrendPoint>& points, double limit) {
  double lo = limit, hi = limit;
  for (const TrendPoint& p : points)
    for (int v = 0; v < 2; ++v) lo = std::min(lo, p.low95[v]), hi = std::max(hi, p.high95[v]);
  TrendLayout l;
  l.exams = static_cast<int>(points.size());
  l.lowest = std::max(0.0, std::floor(lo / kStep) * kStep);
  l.highest = std::min(100.0, std::ceil(hi / kStep) * kStep);
  if (l.highest <= l.lowest) l.highest = l.lowest + kStep;
  return l;
}

Bitmap24 trendPicture(const std::vector<TrendPoint>& points, double limit, int L) {
  Bitmap24 b(kTrendWidth, kTrendHeight);
  b.fill(kBackground);
  const TrendLayout l = trendLayoutOf(points, limit);
  drawText(b, kLeftMargin, 8, std::string(render_texts::kTrendTitle.pick(L)), kWhite);
  for (double v = l.lowest; v <= l.highest + 1e-9; v += kStep) {
    const int y = l.rowOf(v);
    line(b, kLeftMargin, y, kTrendWidth - kRightMargin, y, kGrey);
    drawText(b, 8, y - 4, std::to_string(static_cast<int>(v)), kWhite);
  }
  // The criterion's limit, dashed.
  const int ly = l.rowOf(limit);
  for (int x = kLeftMargin; x < kTrendWidth - kRightMargin; x += 8) line(b, x, ly, x + 4, ly, kLimit);
  for (int k = 0; k < l.exams; ++k) {
    const std::string d = shownDate(points[k].date);
    drawText(b, l.columnOf(k) - textWidth(d) / 2, kTrendHeight - kBottom + 8, d, kWhite);
  }
  for (int v = 0; v < 2; ++v) {
    const int dx = v == 0 ? -3 : 3;  // the two ventricles side by side
    for (int k = 0; k < l.exams; ++k) {
      const TrendPoint& p = points[k];
      const int x = l.columnOf(k) + dx;
      line(b, x, l.rowOf(p.low95[v]), x, l.rowOf(p.high95[v]), kColours[v]);
      for (int e = -2; e <= 2; ++e)
        for (int f = -2; f <= 2; ++f) b.set(x + e, l.rowOf(p.value[v]) + f, kColours[v]);
      if (k > 0) line(b, l.columnOf(k - 1) + dx, l.rowOf(points[k - 1].value[v]), x, l.rowOf(p.value[v]), kColours[v]);
    }
  }
  drawText(b, kTrendWidth - kRightMargin - textWidth(std::string(render_texts::kTrendKey.pick(L))), kTrendHeight - 14,
           std::string(render_texts::kTrendKey.pick(L)), kGrey);
  return b;
}

}  // namespace quorvel
