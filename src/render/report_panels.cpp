#include "render/report_panels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "render/curve_plot.h"
#include "render/segmentation_view.h"
#include "render/text.h"
#include "render/view_geometry.h"

namespace quorvel {

namespace {

constexpr int kTitleTop = 6;
constexpr int kTextMargin = 4;

Rgb inkOn(Rgb background) {
  const int luma = 3 * background.r + 6 * background.g + background.b;
  return luma > 10 * 128 ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
}

bool isVentricle(int entry) { return entry == kClassLeft || entry == kClassRight; }

// First and last index along one axis (0 slice, 1 row) where a ventricle lies at instant t.
std::pair<int, int> ventricleRange(const StudyWorkspace& w, const Segmentation& seg, int t, int axis) {
  const Study& s = w.study;
  const int extent = axis == 0 ? s.NCZ : kMatrix;
  int lo = extent, hi = -1;
  if (seg.LPE.size() == s.DATA.size())
    for (int z = 0; z < s.NCZ; ++z)
      for (int i = 0; i < kSliceVoxels; ++i)
        if (isVentricle(classEntry(w, seg, t, z, Study::index(s.NCZ, t, z, 0, 0) + i))) {
          const int k = axis == 0 ? z : i / kMatrix;
          lo = std::min(lo, k);
          hi = std::max(hi, k);
        }
  if (hi < 0) return {0, extent - 1};
  return {lo, hi};
}

// Indices of n cells spread over lo..hi: every index once when they fit, centred; else evenly.
std::vector<int> spread(int lo, int hi, int n) {
  std::vector<int> k(static_cast<size_t>(n), -1);
  const int count = hi - lo + 1;
  if (count <= n) {
    const int first = (n - count) / 2;
    for (int i = 0; i < count; ++i) k[static_cast<size_t>(first + i)] = lo + i;
  } else {
    for (int i = 0; i < n; ++i) k[static_cast<size_t>(i)] = lo + static_cast<int>(static_cast<long long>(i) * (count - 1) / (n - 1));
  }
  return k;
}

}  // namespace

Bitmap24 sliceStripPanel(const StudyWorkspace& w, const Segmentation& seg, const Pictures& p, int t, StripAxis axis,
                         const std::string& title, int width, Rgb background) {
  Bitmap24 out(width, kStripHeight);
  out.fill(background);
  drawText(out, 4, kTitleTop, title, inkOn(background));
  const Study& s = w.study;
  if (!s.loaded() || t < 0 || t >= s.Ninst) return out;

  float vmax = 0;
  for (size_t i = 0; i < s.instantSize(); ++i) vmax = std::max(vmax, s.DATA[static_cast<size_t>(t) * s.instantSize() + i]);
  const float toIndex = vmax > 0 ? static_cast<float>(kPaletteSteps) / vmax : 0.0f;
  const bool labelled = seg.LPE.size() == s.DATA.size();
  const int cells = width / kStripCell;
  const int top = kStripHeight - kStripCell;
  const auto [zlo, zhi] = ventricleRange(w, seg, t, 0);
  const std::vector<int> chosen =
      axis == StripAxis::LongAxis ? spread(zlo, zhi, cells) : [&] {
        const auto [rlo, rhi] = ventricleRange(w, seg, t, 1);
        return spread(rlo, rhi, cells);
      }();
  // A short-axis section keeps the study's proportions: slices down the cell at their thickness,
  // centred on the ventricles' middle slice.
  const float slicesPerPixel = s.VOXEL_SIZE_Z > 0 ? s.VOXEL_SIZE_XY / s.VOXEL_SIZE_Z : 1.0f;
  const float zMiddle = 0.5f * static_cast<float>(zlo + zhi);

  std::array<int, kStripCell * kStripCell> entry{};
  for (int c = 0; c < cells; ++c) {
    const int k = chosen[static_cast<size_t>(c)];
    if (k < 0) continue;
    // The slice shown at cell row py: the chosen slice itself on a long-axis cut (the study's
    // slices are horizontal long-axis cuts once re-oriented); on a short-axis section, the row k
    // of the slice at that height, or none beyond the study.
    auto sliceAt = [&](int py) {
      if (axis == StripAxis::LongAxis) return k;
      const int z = static_cast<int>(std::lround(zMiddle + (py - kStripCell / 2) * slicesPerPixel));
      return z >= 0 && z < s.NCZ ? z : -1;
    };
    for (int py = 0; py < kStripCell; ++py)
      for (int px = 0; px < kStripCell; ++px) {
        const int z = sliceAt(py);
        entry[static_cast<size_t>(py * kStripCell + px)] = 0;
        if (z < 0) {
          out.set(c * kStripCell + px, top + py, p.lut.colour(0));
          continue;
        }
        const size_t i = axis == StripAxis::LongAxis ? Study::index(s.NCZ, t, z, py, px) : Study::index(s.NCZ, t, z, k, px);
        entry[static_cast<size_t>(py * kStripCell + px)] = labelled ? classEntry(w, seg, t, z, i) : 0;
        const int index = std::clamp(static_cast<int>(s.DATA[i] * toIndex + 0.5f), 0, kPaletteSteps);
        out.set(c * kStripCell + px, top + py, p.lut.colour(index));
      }
    // Outlines: a ventricle pixel beside a pixel of another entry.
    for (int py = 0; py < kStripCell; ++py)
      for (int px = 0; px < kStripCell; ++px) {
        const int e = entry[static_cast<size_t>(py * kStripCell + px)];
        if (!isVentricle(e)) continue;
        auto other = [&](int x, int y) {
          return x < 0 || y < 0 || x >= kStripCell || y >= kStripCell || entry[static_cast<size_t>(y * kStripCell + x)] != e;
        };
        if (other(px - 1, py) || other(px + 1, py) || other(px, py - 1) || other(px, py + 1))
          out.set(c * kStripCell + px, top + py, p.FRON.colour(e));
      }
  }
  return out;
}

Bitmap24 textPanel(int width, int height, const std::string& text, Rgb background) {
  Bitmap24 out(width, height);
  out.fill(background);
  const Rgb ink = inkOn(background);
  const int room = width - 2 * kTextMargin;
  int y = (std::min(height, kReportLineHeight) - kGlyphSide) / 2;
  auto put = [&](std::string_view line) {
    if (y + kGlyphSide <= height) drawText(out, kTextMargin, y, line, ink);
    y += kReportLineHeight;
  };
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = std::string_view(text).substr(start, end - start);
    // A line wider than the panel goes on at its last space that fits.
    while (textWidth(line) > room) {
      size_t cut = line.size();
      while (cut > 0 && (line[cut - 1] != ' ' || textWidth(line.substr(0, cut - 1)) > room)) --cut;
      if (cut == 0) break;
      put(line.substr(0, cut - 1));
      line = line.substr(line.find_first_not_of(' ', cut) == std::string_view::npos ? line.size() : line.find_first_not_of(' ', cut));
    }
    put(line);
    start = end + 1;
  }
  return out;
}

Bitmap24 curvePanel(const Bitmap24& plot, float maxvol) {
  Bitmap24 out = plot;
  if (maxvol <= 0) return out;
  for (const AxisLabel& l : AFFICHAGE_GRAD(maxvol)) {
    const int y = curvePlotY(l.row);
    const std::string text = std::to_string(l.value);
    const bool light = plot.get(2, std::clamp(y, 0, plot.height - 1)).r > 128;
    const Rgb ink = light ? Rgb{0, 0, 0} : Rgb{255, 255, 255}, halo = light ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
    const int top = std::clamp(y - kGlyphSide / 2, 1, out.height - kGlyphSide - 1);
    // A halo keeps the label readable where a curve runs under it.
    for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) drawText(out, 3 + dx, top + dy, text, halo);
    drawText(out, 3, top, text, ink);
  }
  return out;
}

int endSystoleInstant(const VolumeCurves& vc, int Ninst) {
  for (const InstantCurve* curve : {&vc.volG, &vc.volD}) {
    const auto first = curve->begin(), last = curve->begin() + std::clamp(Ninst, 1, kMaxInstants);
    if (*std::max_element(first, last) > 0) return static_cast<int>(std::min_element(first, last) - first);
  }
  return 0;
}

}  // namespace quorvel
