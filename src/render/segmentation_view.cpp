#include "render/segmentation_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "render/canvas.h"
#include "render/text.h"
#include "segmentation/classification.h"
#include "segmentation/corrections.h"

namespace quorvel {

namespace {

constexpr int kCell = kCellHeight;  // 128 pixels, 2 per voxel
constexpr int kLast = kMatrix - 1;
constexpr int kFrozenBackground = 33;
constexpr int kHoverShift = 3, kHoverBelowShift = 13;

// Canvas line L counts from the bottom, as the picture is stored.
uint8_t* pixelAt(Bitmap24& b, int x, int L) { return b.pixels.data() + static_cast<size_t>(L) * b.stride() + x * 3; }

// The cell k of the grid: its slice and where its voxel (0, 0) block starts in the count panel.
struct Cell {
  int slice = 0;
  int col0 = 0, line0 = 0;  // left column, bottom line
  bool drawn = false;       // a slice of the study
};
Cell cellOf(const SegmentationLayout& view, int seg_affmin, int NCZ, int k) {
  Cell c;
  c.slice = seg_affmin + k;
  c.col0 = (k % view.NcellH) * kCell;
  c.line0 = (view.NcellV - 1 - k / view.NcellH) * kCell;
  c.drawn = c.slice >= 0 && c.slice < NCZ;
  return c;
}
// Bottom line and left column of voxel (r, c)'s 2 x 2 block in a cell.
int blockLine(const Cell& cell, int r) { return cell.line0 + 2 * (kLast - r); }
int blockCol(const Cell& cell, int c) { return cell.col0 + 2 * c; }

bool hoverable(const StudyWorkspace& w, const Segmentation& seg, int t, int z) {
  const WorkflowState& f = w.settings.flow;
  return f.SEG_sel != 0 && f.Paint_on == 0 && f.N_segsel > 0 && !isLockedSlice(seg, t, z);
}

// The four count samples of voxel (r, c) of a slice, [dy][dx] with dy = 1 the upper line: with
// interpolation at (r + (1 - dy) / 2, c + dx / 2), where the lowered neighbours of the last row
// and column cancel to 0; without it the voxels (r or r + 1, c or c + 1).
struct BlockSamples {
  float v[2][2];
};
BlockSamples countSamples(const float* slice, int r, int c, bool interpolated) {
  const int r1 = std::min(r + 1, kLast), c1 = std::min(c + 1, kLast);
  const float v00 = slice[r * kMatrix + c], v01 = slice[r * kMatrix + c1];
  const float v10 = slice[r1 * kMatrix + c], v11 = slice[r1 * kMatrix + c1];
  if (!interpolated) return {{{v10, v11}, {v00, v01}}};
  if (r == kLast || c == kLast) return {};
  const float right = v00 * 0.5f + v01 * 0.5f, below = v10 * 0.5f + v11 * 0.5f;
  return {{{v00 * 0.5f + v10 * 0.5f, right * 0.5f + below * 0.5f}, {v00, right}}};
}

void drawCells(int t, const StudyWorkspace& w, const Segmentation& seg, const Pictures& p, SegmentationLayout& view,
               TraceLog& log) {
  const Study& s = w.study;
  const Options& opt = w.options;
  const int half = view.htayaff / 2;
  const float toIndex = opt.ECH > 0 ? 400.0f / static_cast<float>(opt.ECH) : 0.0f;
  const float gammaScale = 100.0f / static_cast<float>(std::max(opt.gamma_, 1));
  const bool interpolated = opt.seg_interp != 0;
  const bool thresholdShown = w.settings.flow.disp_seuil != 0 && opt.equilibrium != 0;
  const bool labelled = seg.LPE.size() == s.DATA.size();
  const ColourBytes countColour = colourBytes(p.lut, thresholdShown ? s.seuillage : -1);
  auto countIndexOf = [&](float sample) {
    if (interpolated) return std::clamp(static_cast<int>(std::min(sample * toIndex * gammaScale, 400.0f) + 0.5f), 0, 400);
    return std::clamp(static_cast<int>(sample * toIndex), 0, 400);
  };
  for (int k = 0; k < view.NcellH * view.NcellV; ++k) {
    const Cell cell = cellOf(view, s.seg_affmin, s.NCZ, k);
    log.writef("build bmp k=%d (%d  %d)\n", k, view.NcellH, view.NcellV);
    if (!cell.drawn) {
      for (int L = cell.line0; L < cell.line0 + kCell; ++L) {
        std::fill_n(pixelAt(view.BMP, cell.col0, L), kCell * 3, 0);
        std::fill_n(pixelAt(view.BMP, cell.col0 + half, L), kCell * 3, 0);
      }
      continue;
    }
    const size_t base = Study::index(s.NCZ, t, cell.slice, 0, 0);
    const float* slice = &s.DATA[base];
    // The plain rule of an unlocked slice without the threshold test, inline; the rest by classEntry.
    const bool plain = labelled && opt.equilibrium != 0 && !isLockedSlice(seg, t, cell.slice);
    const int hovered = plain && hoverable(w, seg, t, cell.slice) ? w.settings.flow.N_segsel : -1;
    for (int r = 0; r < kMatrix; ++r) {
      uint8_t* lines[2] = {pixelAt(view.BMP, cell.col0, blockLine(cell, r)),
                           pixelAt(view.BMP, cell.col0, blockLine(cell, r) + 1)};
      for (int c = 0; c < kMatrix; ++c) {
        const BlockSamples samples = countSamples(slice, r, c, interpolated);
        const size_t i = base + static_cast<size_t>(r) * kMatrix + c;
        int entry = 0;
        if (plain) {
          const int L = seg.LPE[i];
          entry = L < kLabelSlots ? seg.CORR[L] + (L == hovered ? kHoverShift : 0) : 0;
        } else if (labelled) {
          entry = classEntry(w, seg, t, cell.slice, i);
        }
        const Rgb cls = p.FRON.colour(entry);
        for (int dy = 0; dy < 2; ++dy) {
          uint8_t* count = lines[dy] + 6 * c;
          uint8_t* klass = count + half * 3;
          for (int dx = 0; dx < 2; ++dx) {
            const auto& colour = countColour[countIndexOf(samples.v[dy][dx])];
            putBytes(count + 3 * dx, colour);
            putColour(klass + 3 * dx, cls);
          }
        }
      }
    }
  }
}

// Outlines: a class-panel pixel whose blue byte differs from a 4-neighbour's paints an
// EPFront-wide block of its colour at the same place of the count panel.
// Outlines: a class-panel pixel whose blue byte differs from a 4-neighbour's paints an
// EPFront-wide block of its colour at the same place of the count panel. The blue bytes are
// gathered first into a plane of their own (with the count panel's last column, the left
// neighbour of the class panel's first), so that the comparisons run over contiguous bytes.
void drawOutlines(const StudyWorkspace& w, const Pictures& p, SegmentationLayout& view) {
  const int half = view.htayaff / 2, width = half + 1;
  const int side = std::max(p.EPFront, 1);
  std::vector<uint8_t> blue(static_cast<size_t>(width) * view.vtayaff);
  for (int L = 0; L < view.vtayaff; ++L) {
    const uint8_t* px = pixelAt(view.BMP, half - 1, L);
    uint8_t* b = &blue[static_cast<size_t>(L) * width];
    for (int x = 0; x < width; ++x) b[x] = px[3 * x];
  }
  std::vector<uint8_t> drawnCell(static_cast<size_t>(view.NcellH) * view.NcellV);
  for (int k = 0; k < view.NcellH * view.NcellV; ++k)
    drawnCell[k] = cellOf(view, w.study.seg_affmin, w.study.NCZ, k).drawn;
  std::vector<uint8_t> differs(width);
  for (int L = 1; L <= view.vtayaff - 2; ++L) {
    const uint8_t* b = &blue[static_cast<size_t>(L) * width];
    const uint8_t* below = b - width;
    const uint8_t* above = b + width;
    for (int x = 1; x < width - 1; ++x)
      differs[x] = (b[x] != b[x - 1]) | (b[x] != b[x + 1]) | (b[x] != below[x]) | (b[x] != above[x]);
    const int cellRow = view.NcellV - 1 - L / kCell;
    const uint8_t* line = pixelAt(view.BMP, 0, L);
    for (int x = 1; x < width - 1; ++x) {
      if (!differs[x]) continue;
      const int column = x - 1;  // in the count panel; half + column in the class panel
      if (!drawnCell[cellRow * view.NcellH + column / kCell]) continue;
      const uint8_t* px = line + (half + column) * 3;
      const Rgb colour{px[2], px[1], px[0]};
      for (int dl = 0; dl < side && L + dl < view.vtayaff; ++dl)
        for (int dc = 0; dc < side && column + dc < half; ++dc) {
          putColour(pixelAt(view.BMP, column + dc, L + dl), colour);
          // The count panel's last column is the left neighbour of the class panel's first.
          if (column + dc == half - 1) blue[static_cast<size_t>(L + dl) * width] = colour.b;
        }
    }
  }
}

void drawLimitFrames(int t, const StudyWorkspace& w, SegmentationLayout& view, TraceLog& log) {
  const Study& s = w.study;
  const SliceLimits& lim = w.settings.limits;
  const int half = view.htayaff / 2;
  const int end = std::min(s.seg_affmin + view.NcellH * view.NcellV, s.NCZ);
  auto shown = [&](int z) { return z >= s.seg_affmin && z < end; };
  auto put = [&](int x, int L, Rgb c) {
    if (x >= 0 && x < view.htayaff && L >= 0 && L < view.vtayaff) putColour(pixelAt(view.BMP, x, L), c);
  };
  auto corner = [&](int z) {
    const Cell cell = cellOf(view, s.seg_affmin, s.NCZ, z - s.seg_affmin);
    return std::pair{cell.line0, cell.col0 + half};
  };
  const Rgb right{0, 100, 250}, left{250, 100, 0};
  auto rightFrame = [&](int z, const char* name) {
    if (!shown(z)) return;
    const auto [L0, C0] = corner(z);
    log.writef("%s  -  %d  ::  m = %d  ;  n = %d\n", name, z, (C0 - half) / kCell, L0 / kCell);
    for (int x = C0 + 2; x <= C0 + 127; ++x) {
      put(x, L0 + 1, right);
      put(x, L0 + 127, right);
    }
    for (int L = L0 + 2; L <= L0 + 127; ++L) {
      put(C0 + 1, L, right);
      put(C0 + 127, L, right);
    }
  };
  // Inside the right ventricle's frame when the same limit of both lies on one slice.
  auto leftFrame = [&](int z, int sameRight, const char* name) {
    if (!shown(z)) return;
    const auto [L0, C0] = corner(z);
    log.writef("%s  -  %d  ::  m = %d  ;  n = %d\n", name, z, (C0 - half) / kCell, L0 / kCell);
    const int e = z == sameRight ? 2 : 1;
    for (int x = C0 + e; x <= C0 + e + 127 - 2 * e; ++x) {
      put(x, L0 + e, left);
      put(x, L0 + 128 - e, left);
    }
    for (int L = L0 + e; L <= L0 + e + 127 - 2 * e; ++L) {
      put(C0 + e, L, left);
      put(C0 + 128 - e, L, left);
    }
  };
  log.WRITE_LOGFILE("build_bmp 41\n");
  rightFrame(lim.limD_inf[t], "D INF");
  log.WRITE_LOGFILE("build_bmp 41 A\n");
  leftFrame(lim.limG_inf[t], lim.limD_inf[t], "G INF");
  log.WRITE_LOGFILE("build_bmp 41 B\n");
  rightFrame(lim.limD_sup[t], "D SUP");
  log.WRITE_LOGFILE("build_bmp 41 C\n");
  leftFrame(lim.limG_sup[t], lim.limD_sup[t], "G SUP");
  log.WRITE_LOGFILE("build_bmp 42\n");
}

void drawPlaneDots(const StudyWorkspace& w, SegmentationLayout& view) {
  const ReorientSettings& r = w.settings.reorient;
  if (!r.valves_planaff) return;
  const int half = view.htayaff / 2;
  const int valveRow = r.valves_plano_, septumCol = r.septum_plano;
  const Rgb dot{250, 200, 30};
  auto mark = [&](const Cell& cell, int row, int col) {
    if (row < 0 || row > kLast || col < 0 || col > kLast) return;
    uint8_t* count = pixelAt(view.BMP, blockCol(cell, col), blockLine(cell, row));
    putColour(count + half * 3, dot);
    darken(count, count);
  };
  for (int k = 0; k < view.NcellH * view.NcellV; ++k) {
    const Cell cell = cellOf(view, w.study.seg_affmin, w.study.NCZ, k);
    if (!cell.drawn) continue;
    for (int i = 2; i <= 60; i += 2) {
      mark(cell, valveRow, i);
      mark(cell, i, septumCol);
    }
  }
}

// Pixels within [inner, outer] of the centre (x, y from the top) get the overlay colour.
void drawRing(Bitmap24& b, ViewPoint centre, double inner, double outer) {
  const int reach = static_cast<int>(std::ceil(outer));
  for (int y = centre.y - reach; y <= centre.y + reach; ++y)
    for (int x = centre.x - reach; x <= centre.x + reach; ++x) {
      if (x < 0 || y < 0 || x >= b.width || y >= b.height) continue;
      const double d = std::hypot(x - centre.x, y - centre.y);
      if (d >= inner && d <= outer) overlayInPlace(b, x, y);
    }
}

// Each cell's slice number (from 1, as the slice counter counts) in its top-left corner.
void drawSliceNumbers(const StudyWorkspace& w, SegmentationLayout& view) {
  constexpr int kMargin = 3;
  constexpr Rgb kNumberColour{200, 200, 200};
  for (int k = 0; k < view.NcellH * view.NcellV; ++k) {
    const Cell cell = cellOf(view, w.study.seg_affmin, w.study.NCZ, k);
    if (!cell.drawn) continue;
    const int top = view.BMP.height - cell.line0 - kCell;  // drawText counts lines from the top
    drawText(view.BMP, cell.col0 + kMargin, top + kMargin, std::to_string(cell.slice + 1), kNumberColour);
  }
}

void writeLimitTable(const StudyWorkspace& w, const SegmentationLayout& view, TraceLog& log) {
  if (!log.enabled()) return;
  const Study& s = w.study;
  const SliceLimits& lim = w.settings.limits;
  const std::string rule(40, '=');
  log.writef("%s\n%d %d %d %d %d %d %d\n", rule.c_str(), s.seg_affmin,
             std::min(s.seg_affmin + view.NcellH * view.NcellV, s.NCZ), view.seg_Xmax, view.seg_Ymax, view.htayaff,
             view.NcellV, view.NcellH);
  for (int t = 0; t < kMaxInstants; ++t)
    log.writef("%2d : %d %d %d %d\n", t, lim.limG_inf[t], lim.limG_sup[t], lim.limD_inf[t], lim.limD_sup[t]);
  log.writef("%s\n", rule.c_str());
}

}  // namespace

int classEntry(const StudyWorkspace& w, const Segmentation& seg, int t, int z, size_t i) {
  const Study& s = w.study;
  const int L = seg.LPE[i];
  int entry;
  bool hovered = false;
  if (isLockedSlice(seg, t, z)) {
    entry = seg.AFFECT.size() == seg.LPE.size() ? seg.AFFECT[i] : (L < kLabelSlots ? seg.CORR[L] : 0);
    if (entry == 0) return kFrozenBackground;  // no class maximum to test it against
  } else {
    entry = L < kLabelSlots ? seg.CORR[L] : 0;
    hovered = L == w.settings.flow.N_segsel && hoverable(w, seg, t, z);
    if (hovered) entry += kHoverShift;
  }
  if (w.options.equilibrium == 0 && entry >= 0 && entry < kStructMaxEntries &&
      belowThreshold(static_cast<int>(s.DATA[i]), seg.struct_max[entry], s.seuillage))
    entry = hovered ? entry + kHoverBelowShift : 0;
  return std::clamp(entry, 0, kClassColours - 1);
}

void INIT_BMP_CADRE(int g, SegmentationLayout& view) {
  const Rgb grey{static_cast<uint8_t>(g), static_cast<uint8_t>(g), static_cast<uint8_t>(g)};
  Bitmap24& b = view.BMP;
  auto column = [&](int x) {
    for (int L = 0; L < view.vtayaff; ++L) putColour(pixelAt(b, x, L), grey);
  };
  auto line = [&](int L) {
    for (int x = 0; x < view.htayaff; ++x) putColour(pixelAt(b, x, L), grey);
  };
  for (int x = 0; x < view.htayaff; x += kCell) column(x);
  column(view.htayaff - 1);
  for (int L = 0; L < view.vtayaff; L += kCell) line(L);
  line(view.vtayaff - 1);
}

void BUILD_BMP_SEG(int t, const StudyWorkspace& w, const Segmentation& seg, Pictures& pictures,
                   SegmentationLayout& view, TraceLog& log, const Pointers& pointers) {
  log.WRITE_LOGFILE("build_bmp 1\n");
  if (view.BMP.width != view.htayaff || view.BMP.height != view.vtayaff) view.BMP.resize(view.htayaff, view.vtayaff);
  const Study& s = w.study;
  if (!s.loaded() || t < 0 || t >= s.Ninst || t >= kMaxInstants) {
    view.BMP.fill({0, 0, 0});
    return;
  }
  log.WRITE_LOGFILE("build_bmp 11\n");
  INIT_BMP_CADRE(0, view);
  log.WRITE_LOGFILE("build_bmp 2\n");
  drawCells(t, w, seg, pictures, view, log);
  log.WRITE_LOGFILE("build_bmp 3\n");
  drawOutlines(w, pictures, view);
  log.WRITE_LOGFILE("build_bmp 4\n");
  INIT_BMP_CADRE(128, view);
  writeLimitTable(w, view, log);
  drawLimitFrames(t, w, view, log);
  drawPlaneDots(w, view);
  drawSliceNumbers(w, view);
  log.WRITE_LOGFILE("build_bmp 5\n");
  const WorkflowState& f = w.settings.flow;
  if (f.Paint_on && pointers.segmentation)
    drawRing(view.BMP, *pointers.segmentation, 2.0 * f.Paint_sz - 1, 2.0 * f.Paint_sz);
  if (f.retouche_on) buildRetouchingPicture(w, seg, pictures, pointers.retouching);
  log.WRITE_LOGFILE("build_bmp 6\n");
}

void buildRetouchingPicture(const StudyWorkspace& w, const Segmentation& seg, Pictures& pictures,
                            std::optional<ViewPoint> pointer) {
  Bitmap24& b = pictures.BMPretouche;
  b.resize(kRetouchViewSide, kRetouchViewSide);
  const Study& s = w.study;
  const WorkflowState& f = w.settings.flow;
  const int t = s.instant, z = f.retouche_slice;
  if (!s.loaded() || t < 0 || t >= s.Ninst || z < 0 || z >= s.NCZ || seg.LPE.size() != s.DATA.size()) {
    b.fill({0, 0, 0});
    return;
  }
  const size_t base = Study::index(s.NCZ, t, z, 0, 0);
  const float toIndex = w.options.ECH > 0 ? 400.0f / static_cast<float>(w.options.ECH) : 0.0f;
  const bool thresholdShown = f.disp_seuil != 0 && w.options.equilibrium != 0;
  std::vector<int> entries(kSliceVoxels);
  for (int i = 0; i < kSliceVoxels; ++i) entries[i] = classEntry(w, seg, t, z, base + i);
  auto entryAt = [&](int r, int c) { return entries[r * kMatrix + c]; };
  constexpr int n = kRetouchPixelsPerVoxel;
  for (int r = 0; r < kMatrix; ++r)
    for (int c = 0; c < kMatrix; ++c) {
      const size_t i = base + static_cast<size_t>(r) * kMatrix + c;
      int index = std::clamp(static_cast<int>(s.DATA[i] * toIndex), 0, kPaletteSteps);
      if (thresholdShown) index = thresholdDisplayIndex(index, s.seuillage);
      const auto [x0, y0] = retouchPixelOf({z, r, c});
      const Rgb count = pictures.lut.colour(index), own = pictures.FRON.colour(entryAt(r, c));
      // Each side facing a voxel of another class shows this voxel's class colour.
      const bool up = r > 0 && entryAt(r - 1, c) != entryAt(r, c);
      const bool down = r < kLast && entryAt(r + 1, c) != entryAt(r, c);
      const bool leftSide = c > 0 && entryAt(r, c - 1) != entryAt(r, c);
      const bool rightSide = c < kLast && entryAt(r, c + 1) != entryAt(r, c);
      const bool brushLabel = f.Paint_reg > 0 && seg.LPE[i] == f.Paint_reg;
      for (int dy = 0; dy < n; ++dy)
        for (int dx = 0; dx < n; ++dx) {
          const bool edge = (up && dy == 0) || (down && dy == n - 1) || (leftSide && dx == 0) || (rightSide && dx == n - 1);
          const bool dot = brushLabel && (dx == 1 || dx == 2) && (dy == 1 || dy == 2);
          b.set(x0 + dx, y0 + dy, edge || dot ? own : count);
        }
    }
  // The brush disc of Paint_sz voxels around the pointed voxel lies inside this ring.
  if ((f.Paint_type > 0 || f.Paint_on) && pointer) {
    const double radius = n * f.Paint_sz + n / 2.0;
    drawRing(b, *pointer, radius - 1, radius);
  }
}

}  // namespace quorvel
