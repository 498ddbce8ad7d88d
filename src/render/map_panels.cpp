#include "render/map_panels.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/language.h"
#include "render/render_texts.h"
#include "render/text.h"

namespace quorvel {

namespace {

constexpr Rgb kBackground{40, 40, 40};
constexpr Rgb kFrame{90, 90, 90};
constexpr Rgb kOutside{110, 110, 110};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kWindowLine{255, 220, 0};
constexpr Rgb kCurve{240, 240, 240};
constexpr Rgb kDots{255, 70, 70};
constexpr Rgb kMarker{60, 220, 60};
constexpr int kLastValueX = kPanelValueX + 2 * 100 + 1;  // right edge of bin 100

int valueX(int value) { return kPanelValueX + 2 * std::clamp(value, 0, 100); }

void fillRect(Bitmap24& b, int x0, int y0, int x1, int y1, Rgb c) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) b.set(x, y, c);
}

void frame(Bitmap24& b, int x0, int y0, int x1, int y1, Rgb c) {
  for (int x = x0; x <= x1; ++x) b.set(x, y0, c), b.set(x, y1, c);
  for (int y = y0; y <= y1; ++y) b.set(x0, y, c), b.set(x1, y, c);
}

// The column of the 3D table at a shade bright enough to show its colour plainly.
Rgb mapColour(const MapPanelInputs& in, int v, int value) {
  const int shade = in.pal3D ? 200 : 50;
  const int column = in.PAL_map[v][std::clamp(in.mesh_visu, 0, kMapCount - 1)][std::clamp(value, 0, 100)];
  return in.table.colour(shade, std::clamp(column, 0, kPaletteSteps));
}

const Histogram& histogramOf(const RegionalMaps& m, int mesh_visu, int v) {
  const std::array<Histogram, 2>* h[kMapCount] = {&m.histo_fej, &m.histo_tej, &m.histo_per,
                                                  &m.histo_tper, &m.histo_pfr, &m.histo_tpfr};
  return (*h[std::clamp(mesh_visu, 0, kMapCount - 1)])[v];
}

// A value of the map in the units of its result text: % for the ejection fraction, volumes per
// second for the rates, milliseconds for the times.
}  // namespace

std::string mapValueText(const MapPanelInputs& in, int value) {
  const float x = static_cast<float>(value);
  switch (in.mesh_visu) {
    case 0: return std::to_string(value);
    // Ejection runs negative, as the map's mean and the global results say it.
    case 2: return value == 0 ? "0.0" : format("%.1f", -x / in.maps.PER_corr);
    case 4: return format("%.1f", x / in.maps.PFR_corr);
    default:
      return std::to_string(static_cast<int>(static_cast<float>(in.study.Ninst) * in.study.CYCLE * x / 100.0f + 0.5f));
  }
}

namespace {

bool inWindow(int b, int lo, int hi, bool wraps) { return lo <= hi || !wraps ? b >= lo && b <= hi : b >= lo || b <= hi; }

// Byte length of the first n code points of UTF-8 text (all of it when shorter).
size_t prefixBytes(std::string_view s, size_t n) {
  size_t i = 0;
  for (size_t k = 0; k < n && i < s.size(); ++k)
    do ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80);
  return i;
}

// '\n'-separated lines, each wrapped at spaces to fit width.
std::vector<std::string> wrapped(std::string_view text, int width) {
  const size_t perLine = static_cast<size_t>(std::max(width / kGlyphSide, 1));
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    std::string_view given = text.substr(start, end - start);
    // A line too wide first loses its runs of spaces: "-2.78 +/- 0.64" stays on one line.
    std::string squeezed;
    if (textWidth(given) > width) {
      for (const char c : given)
        if (c != ' ' || squeezed.empty() || squeezed.back() != ' ') squeezed += c;
      given = squeezed;
    }
    std::string_view line = given;
    while (textWidth(line) > width) {
      const size_t fits = prefixBytes(line, perLine);
      const size_t space = line.substr(0, fits + 1).find_last_of(' ');
      const size_t cut = space != std::string_view::npos && space > 0 ? space : fits;
      out.emplace_back(line.substr(0, cut));
      line.remove_prefix(cut);
      while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    }
    out.emplace_back(line);
    start = end + 1;
  }
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

// Wrapped text from row y down, at most maxLines lines.
void drawLines(Bitmap24& b, std::string_view text, int y, int maxLines) {
  const std::vector<std::string> rows = wrapped(text, b.width - 8);
  for (size_t i = 0; i < rows.size() && i < static_cast<size_t>(maxLines); ++i)
    drawText(b, 4, y + static_cast<int>(i) * kTextLineHeight, rows[i], kWhite);
}

void blit(Bitmap24& dst, const Bitmap24& src, int x0, int y0) {
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) dst.set(x0 + x, y0 + y, src.get(x, y));
}

}  // namespace

int panelValueAt(int x) { return std::clamp((x - kPanelValueX) / 2, 0, 100); }

std::optional<PanelBound> panelBoundAt(int x, int y, bool primary, bool dragging) {
  const bool across = dragging ? (x >= 12 && x <= 242) : (x >= kPanelValueX && x <= 227);
  if (!across) return std::nullopt;
  if (y >= kHistogramTop && y <= kHistogramBottom) return primary ? PanelBound::WindowMin : PanelBound::WindowMax;
  const bool bar = dragging ? y >= 35 && y <= 55 : y >= 40 && y <= 61;
  if (bar) return primary ? PanelBound::PaletteMin : PanelBound::PaletteMax;
  return std::nullopt;
}

namespace {
template <class Maps>
auto& windowOf(Maps& m, int mesh_visu, int v, bool upper) {
  auto lo = std::array{&m.fej_cmin, &m.tej_cmin, &m.per_cmin, &m.tper_cmin, &m.pfr_cmin, &m.tpfr_cmin};
  auto hi = std::array{&m.fej_cmax, &m.tej_cmax, &m.per_cmax, &m.tper_cmax, &m.pfr_cmax, &m.tpfr_cmax};
  const size_t k = static_cast<size_t>(std::clamp(mesh_visu, 0, kMapCount - 1));
  return (*(upper ? hi : lo)[k])[v];
}
template <class Ranges>
auto& paletteOf(Ranges& r, int mesh_visu, int v, bool upper) {
  auto lo = std::array{&r.fej_pmin, &r.tej_pmin, &r.per_pmin, &r.tper_pmin, &r.pfr_pmin, &r.tpfr_pmin};
  auto hi = std::array{&r.fej_pmax, &r.tej_pmax, &r.per_pmax, &r.tper_pmax, &r.pfr_pmax, &r.tpfr_pmax};
  const size_t k = static_cast<size_t>(std::clamp(mesh_visu, 0, kMapCount - 1));
  return (*(upper ? hi : lo)[k])[v];
}
}  // namespace

int& windowBound(RegionalMaps& maps, int mesh_visu, int v, bool upper) { return windowOf(maps, mesh_visu, v, upper); }
float& paletteBound(MapRanges& ranges, int mesh_visu, int v, bool upper) {
  return paletteOf(ranges, mesh_visu, v, upper);
}

Bitmap24 mapHistogramPanel(const MapPanelInputs& in, int v) {
  Bitmap24 b(kMapPanelWidth, kHistogramPanelHeight);
  b.fill(kBackground);
  v = std::clamp(v, 0, 1);
  const Text title = v == 0 ? render_texts::kLeftVentricle : render_texts::kRightVentricle;
  drawText(b, kPanelValueX, 6, title.pick(in.LANGUE), kWhite);

  // Palette bar with the display window marked under it and its values above.
  const int pmin = static_cast<int>(paletteOf(in.ranges, in.mesh_visu, v, false));
  const int pmax = static_cast<int>(paletteOf(in.ranges, in.mesh_visu, v, true));
  for (int x = kPanelValueX; x <= kLastValueX; ++x)
    fillRect(b, x, kPaletteBarTop, x, kPaletteBarBottom, mapColour(in, v, panelValueAt(x)));
  frame(b, kPanelValueX - 1, kPaletteBarTop - 1, kLastValueX + 1, kPaletteBarBottom + 1, kFrame);
  for (const int p : {pmin, pmax}) {
    const int x = valueX(p);
    fillRect(b, x, kPaletteBarBottom + 2, x + 1, kPaletteBarBottom + 6, kWhite);
    fillRect(b, x, kPaletteBarTop - 5, x + 1, kPaletteBarTop - 2, kWhite);
  }
  const std::string lo = mapValueText(in, pmin), hi = mapValueText(in, pmax);
  int loX = valueX(pmin) - textWidth(lo) / 2, hiX = valueX(pmax) - textWidth(hi) / 2;
  if (loX + textWidth(lo) + 4 > hiX && pmin <= pmax) {  // close bounds: push the labels apart
    const int mid = (valueX(pmin) + valueX(pmax)) / 2;
    loX = mid - 2 - textWidth(lo), hiX = mid + 2;
  }
  drawText(b, loX, 22, lo, kWhite);
  drawText(b, hiX, 22, hi, kWhite);

  // Histogram: one bar two pixels wide per bin, the highest bin 150 pixels high.
  const Histogram& h = histogramOf(in.maps, in.mesh_visu, v);
  const int cmin = windowOf(in.maps, in.mesh_visu, v, false), cmax = windowOf(in.maps, in.mesh_visu, v, true);
  const bool timeMap = in.mesh_visu % 2 == 1;
  frame(b, kPanelValueX - 1, kHistogramTop - 1, kLastValueX + 1, kHistogramBottom + 1, kFrame);
  for (int bin = 0; bin <= 100; ++bin) {
    const int height = std::clamp(static_cast<int>(std::lround(h[bin])), 0, kHistogramBottom - kHistogramTop);
    if (height == 0) continue;
    const Rgb c = inWindow(bin, cmin, cmax, timeMap) ? mapColour(in, v, bin) : kOutside;
    fillRect(b, valueX(bin), kHistogramBottom - height + 1, valueX(bin) + 1, kHistogramBottom, c);
  }
  fillRect(b, valueX(cmin), kHistogramTop, valueX(cmin), kHistogramBottom, kWindowLine);
  fillRect(b, valueX(cmax) + 1, kHistogramTop, valueX(cmax) + 1, kHistogramBottom, kWindowLine);

  // Scale of the map's units under the histogram.
  for (const int value : {0, 50, 100}) {
    const int x = valueX(value);
    fillRect(b, x, kHistogramBottom + 2, x, kHistogramBottom + 4, kFrame);
    const std::string t = mapValueText(in, value);
    drawText(b, std::clamp(x - textWidth(t) / 2, 0, kMapPanelWidth - textWidth(t)), kHistogramBottom + 7, t, kWhite);
  }
  return b;
}

Bitmap24 textPanel(std::string_view text, int width, int lines) {
  const int rows = static_cast<int>(wrapped(text, width - 8).size());
  Bitmap24 b(width, std::max(lines, rows) * kTextLineHeight + 4);
  b.fill(kBackground);
  drawLines(b, text, 2, rows);
  return b;
}

Bitmap24 meshCurvePicture(const MeshCurve& c) {
  Bitmap24 b(kCurvePictureWidth, kCurvePictureHeight);
  b.fill(Rgb{0, 0, 0});
  frame(b, 0, 0, kCurvePictureWidth - 1, kCurvePictureHeight - 1, kFrame);
  if (!c.valid) return b;
  auto row = [](float y) { return kCurvePictureHeight - 1 - static_cast<int>(std::lround(y)); };
  fillRect(b, c.marker, 1, c.marker, kCurvePictureHeight - 2, kMarker);
  for (int x = 0; x < kCurvePictureWidth; ++x) {
    // Joined to the previous sample so that steep parts stay continuous.
    const int y1 = row(c.y[x]), y0 = x > 0 ? row(c.y[x - 1]) : y1;
    for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y) b.set(x, y, kCurve);
  }
  for (const auto& d : c.dots) {
    const int x = static_cast<int>(d[0]), y = row(d[1]);
    fillRect(b, x - 1, y - 1, x + 1, y + 1, kDots);
  }
  return b;
}

Bitmap24 mapResultPanel(const MapPanelInputs& in, int v, std::string_view resultText, const MeshCurve& curve) {
  Bitmap24 b(kMapPanelWidth, kMapPanelHeight);
  b.fill(kBackground);
  blit(b, mapHistogramPanel(in, v), 0, 0);
  int y = kHistogramPanelHeight;
  drawLines(b, resultText, y + 2, kResultTextLines);  // a fixed block, so that the layout never moves
  y += kResultTextLines * kTextLineHeight + 8;
  blit(b, meshCurvePicture(curve), 0, y);
  drawLines(b, curve.caption, y + kCurvePictureHeight + 2, kCurveCaptionLines);
  return b;
}

Bitmap24 mapPanelsPicture(const MapPanelInputs& in, const std::array<std::string, 2>& resultTexts,
                          const std::array<MeshCurve, 2>& curves) {
  constexpr int kGap = 8;
  Bitmap24 b(2 * kMapPanelWidth + kGap, kMapPanelHeight);
  b.fill(Rgb{0, 0, 0});
  // resultTexts[0] is the right ventricle's (AFFICHAGE_RES_MESH order); curves are by ventricle.
  blit(b, mapResultPanel(in, 1, resultTexts[0], curves[1]), 0, 0);
  blit(b, mapResultPanel(in, 0, resultTexts[1], curves[0]), kMapPanelWidth + kGap, 0);
  return b;
}

}  // namespace quorvel
