#include "render/reorientation_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "render/canvas.h"
#include "render/render_texts.h"
#include "render/view_geometry.h"

namespace quorvel {

namespace {

constexpr int kSide = kReorientViewSide;

// Bilinear weights along one axis at position p over indices 0..last: the upper neighbour is
// lowered to last beyond it, where its weight cancels the lower one's and the sample reads 0.
struct Axis {
  int i0 = 0, i1 = 0;
  float w0 = 0, w1 = 0;
};
Axis axisAt(double p, int last) {
  Axis a;
  a.i0 = std::clamp(static_cast<int>(p), 0, last);  // truncation towards zero
  a.i1 = std::min(a.i0 + 1, last);
  a.w0 = static_cast<float>(a.i1 - p);
  a.w1 = static_cast<float>(p - a.i0);
  return a;
}

// A plane of the study: value(u, v) with u along the first axis.
template <typename Plane>
float sample(const Plane& plane, const Axis& u, const Axis& v) {
  return (plane(u.i0, v.i0) * v.w0 + plane(u.i0, v.i1) * v.w1) * u.w0 +
         (plane(u.i1, v.i0) * v.w0 + plane(u.i1, v.i1) * v.w1) * u.w1;
}

// Counts to look-up indices: c x 400 / datamax x 100 / gamma_, capped at 400, rounded.
struct CountScale {
  float scale;
  CountScale(float datamax, int gamma_)
      : scale(datamax > 0 ? 400.0f / datamax * 100.0f / static_cast<float>(std::max(gamma_, 1)) : 0.0f) {}
  int operator()(float c) const { return std::max(static_cast<int>(std::min(c * scale, 400.0f) + 0.5f), 0); }
};

double sliceRatio(const Study& s) {
  return s.VOXEL_SIZE_XY > 0 && s.VOXEL_SIZE_Z > 0 ? static_cast<double>(s.VOXEL_SIZE_Z) / s.VOXEL_SIZE_XY : 1.0;
}

// ---- step 0 -----------------------------------------------------------------------------------

struct Point {
  int row, col;  // canvas units, rows from the top
};

class OverlayPen {
 public:
  OverlayPen(const Bitmap24& clean, Bitmap24& work) : clean_(clean), work_(work) {}
  void dot(int row, int col) {
    if (row < 0 || col < 0 || row >= kSide || col >= kSide) return;
    overlayFrom(clean_, work_, col, row);
  }
  // 4000 points from a to b, each a + trunc(n (b - a) / 4000) on whole-number ends.
  void line(Point a, Point b) {
    for (int n = 0; n < 4000; ++n) dot(a.row + n * (b.row - a.row) / 4000, a.col + n * (b.col - a.col) / 4000);
  }

 private:
  const Bitmap24& clean_;
  Bitmap24& work_;
};

Point whole(double row, double col) { return {static_cast<int>(row), static_cast<int>(col)}; }

void drawInPlaneStep(const StudyWorkspace& w, const LookupTable& lut, Bitmap24& BMPfich) {
  const Study& s = w.study;
  const Options& opt = w.options;
  const ReorientSettings& r = w.settings.reorient;
  const int t = std::clamp(s.instant, 0, s.Ninst - 1), z = std::clamp(s.coupe, 0, s.NCZ - 1);
  const float* data = &s.DATA[Study::index(s.NCZ, t, z, 0, 0)];
  auto plane = [data](int row, int col) { return data[row * kMatrix + col]; };
  const int threshold = opt.equilibrium ? s.seuillage * 4 : -1;

  // Pixel (x, y) shows the study at the voxel position the pointer designates there.
  std::vector<Axis> across(kSide), down(kSide);
  for (int p = 0; p < kSide; ++p) {
    const auto [row, col] = reorientVoxelAt(p, p);
    down[p] = axisAt(row, kMatrix - 1);
    across[p] = axisAt(col, kMatrix - 1);
  }
  const CountScale toIndex(s.datamax, opt.gamma_);
  const ColourBytes colour = colourBytes(lut);
  std::vector<uint8_t> mask(static_cast<size_t>(kSide) * kSide, 1);
  for (int y = 0; y < kSide; ++y) {
    uint8_t* px = BMPfich.at(0, y);
    for (int x = 0; x < kSide; ++x, px += 3) {
      int index = toIndex(sample(plane, down[y], across[x]));
      if (index < threshold) {
        index = 0;
        mask[static_cast<size_t>(y) * kSide + x] = 0;
      }
      putBytes(px, colour[index]);
    }
  }

  Bitmap24 work = BMPfich;
  OverlayPen pen(BMPfich, work);
  const double X = 8.0 * r.recad_x, Y = 8.0 * r.recad_y, R = 4.0 * r.recad_t;
  const double c = std::cos(r.rotation), sn = std::sin(r.rotation);
  const Point p1 = whole(X - R * c + R * sn, Y + R * sn + R * c), p2 = whole(X - R * c - R * sn, Y + R * sn - R * c);
  const Point p3 = whole(X + R * c - R * sn, Y - R * sn - R * c), p4 = whole(X + R * c + R * sn, Y - R * sn + R * c);
  pen.line(p1, p2);
  pen.line(p2, p3);
  pen.line(p3, p4);
  pen.line(p4, p1);
  // Direction tick: from the middle of the first edge to the centre.
  const double mRow = X - R * c, mCol = Y + R * sn, eRow = X + R * c, eCol = Y - R * sn;
  for (int n = 0; n <= 40; ++n)
    pen.dot(static_cast<int>(mRow) + static_cast<int>(n * (eRow - mRow) / 80),
            static_cast<int>(mCol) + static_cast<int>(n * (eCol - mCol) / 80));
  const double f = (r.septum_plano - 32) / 32.0;
  pen.line(whole(X - R * c + f * R * sn, Y + R * sn + f * R * c), whole(X + R * c + f * R * sn, Y - R * sn + f * R * c));
  // Threshold contour: outside pixels with a 4-neighbour inside.
  auto inside = [&](int x, int y) { return mask[static_cast<size_t>(y) * kSide + x] != 0; };
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      if (inside(x, y)) continue;
      if ((x > 0 && inside(x - 1, y)) || (x + 1 < kSide && inside(x + 1, y)) || (y > 0 && inside(x, y - 1)) ||
          (y + 1 < kSide && inside(x, y + 1)))
        overlayFrom(BMPfich, work, x, y);
    }
  BMPfich = std::move(work);
}

// ---- steps 1 and 2: long-axis panels ---------------------------------------------------------

// The sampling of a long-axis panel, separable: the slice depends on the line only, the row or
// column on the picture column only. Bands outside the study are not sampled.
struct LongAxisSampling {
  std::array<Axis, kSide> slice, inPlane;
  std::array<bool, kSide> sliceIn{}, inPlaneIn{};
  LongAxisSampling(int step, int NCZ, double k) {
    for (int p = 0; p < kSide; ++p) {
      slice[p] = axisAt(longAxisPositionAt(step, 0, p, NCZ, k).slice, NCZ - 1);
      inPlane[p] = axisAt(longAxisPositionAt(step, p, 0, NCZ, k).inPlane, kMatrix - 1);
      const int z = longAxisSliceAt(step, p, NCZ), q = longAxisInPlaneAt(p, k);
      sliceIn[p] = z >= 0 && z < NCZ;
      inPlaneIn[p] = q >= 0 && q < kMatrix;
    }
  }
};

void drawValveStep(const StudyWorkspace& w, const LookupTable& lut, Bitmap24& BMPfich) {
  const Study& s = w.study;
  const Options& opt = w.options;
  const ReorientSettings& r = w.settings.reorient;
  const int t = std::clamp(s.instant, 0, s.Ninst - 1), col = std::clamp(r.coupevla, 0, kMatrix - 1);
  const double k = sliceRatio(s);
  const bool projection = opt.VLA_proj != 0;
  auto dataPlane = [&](int z, int row) { return s.DATA[Study::index(s.NCZ, t, z, row, col)]; };
  auto projPlane = [&](int z, int row) { return static_cast<float>(w.projection.vla(t, z, row)); };
  const float scale = s.datamax > 0 ? 400.0f / s.datamax * 100.0f / std::max(opt.gamma_, 1) : 0.0f;
  const ColourBytes colour = colourBytes(lut);
  const LongAxisSampling at(kValveStep, s.NCZ, k);

  BMPfich.fill({0, 0, 0});
  for (int y = 0; y < kSide; ++y) {
    if (!at.sliceIn[y]) continue;
    uint8_t* px = BMPfich.at(0, y);
    for (int x = 0; x < kSide; ++x, px += 3) {
      if (!at.inPlaneIn[x]) continue;
      const float value = projection ? sample(projPlane, at.slice[y], at.inPlane[x])
                                     : std::min(sample(dataPlane, at.slice[y], at.inPlane[x]) * scale, 400.0f);
      putBytes(px, colour[value > 0.0f ? static_cast<int>(std::min(value, 400.0f) + 0.5f) : 0]);  // NaN: 0
    }
  }
  // The valve plane, over the black margin of four slices beyond each end too: the pixels of
  // line i and column j with trunc((valves_plano_ - 32) x 8 + g (252 - i) k + 0.5 - (trunc((j - 256) k) + 4))
  // in 0..2.
  const double g = std::tan(r.valves_angle * 0.0175);
  std::array<int, kSide> columnTerm{};
  for (int j = 0; j < kSide; ++j) columnTerm[j] = static_cast<int>((j - 256) * k) + 4;
  for (int i = 0; i < kSide; ++i) {
    const int z = s.NCZ / 2 + 31 - i / 8;
    if (z < -4 || z > s.NCZ + 3) continue;
    const int y = kSide - 1 - i;
    const double lineTerm = (r.valves_plano_ - 32) * 8 + g * (252 - i) * k + 0.5;
    for (int j = 0; j < kSide; ++j) {
      if (!at.inPlaneIn[j]) continue;
      const int d = static_cast<int>(lineTerm - columnTerm[j]);
      if (d >= 0 && d <= 2) overlayInPlace(BMPfich, j, y);
    }
  }
}

void drawCheckStep(const StudyWorkspace& w, const LookupTable& lut, Bitmap24& BMPfich) {
  const Study& s = w.study;
  const Options& opt = w.options;
  const ReorientSettings& r = w.settings.reorient;
  const int t = std::clamp(s.instant, 0, s.Ninst - 1), row = std::clamp(r.coupesag, 0, kMatrix - 1);
  const double k = sliceRatio(s);
  const bool thresholdShown = w.settings.flow.disp_seuil != 0 && opt.equilibrium != 0;
  auto plane = [&](int z, int col) { return s.DATA[Study::index(s.NCZ, t, z, row, col)]; };
  const CountScale toIndex(s.datamax, opt.gamma_);
  const ColourBytes colour = colourBytes(lut);
  const LongAxisSampling at(kCheckStep, s.NCZ, k);
  // The reprojection mode shows its own plane here, with its mask contour and seed cross; the
  // infundibulum plane is not shown then.
  const int line = (s.NCZ / 2) * 8 + 260 - 8 * r.infand_plane;  // the middle line of its band
  const bool planeShown = !opt.REPROJ && r.infand_plane >= 0 && line >= 0 && line < kSide;
  const int planeY = planeShown ? kSide - 1 - line : -1;
  for (int y = 0; y < kSide; ++y) {
    uint8_t* px = BMPfich.at(0, y);
    for (int x = 0; x < kSide; ++x, px += 3) {
      int index = at.sliceIn[y] && at.inPlaneIn[x] ? toIndex(sample(plane, at.slice[y], at.inPlane[x])) : 0;
      if (thresholdShown) index = thresholdDisplayIndex(index, s.seuillage);
      putBytes(px, colour[index]);
      if (y != planeY) continue;
      if (index == 0) {
        putColour(px, {0, 50, 250});
      } else {
        px[0] = static_cast<uint8_t>(px[0] + 100);
        px[1] = static_cast<uint8_t>(px[1] + 50);
      }
    }
  }
}

}  // namespace

int countIndex(float c, float datamax, int gamma_) { return CountScale(datamax, gamma_)(c); }

void BUILD_BMP_FICH(const StudyWorkspace& w, const LookupTable& lut, Bitmap24& BMPfich, TraceLog& log) {
  log.WRITE_LOGFILE("build_bmp_fich 01\n");
  BMPfich.resize(kSide, kSide);
  const Study& s = w.study;
  if (!s.loaded() || s.NCZ <= 0 || s.Ninst <= 0) {
    BMPfich.fill({0, 0, 0});
    return;
  }
  log.WRITE_LOGFILE("build_bmp_fich 2\n");
  // The 3D orientation view that options.Fich_3D asks for is not drawn: the plain layouts stand in.
  switch (w.settings.flow.fich_axis) {
    case 1:
      drawValveStep(w, lut, BMPfich);
      break;
    case 2:
      drawCheckStep(w, lut, BMPfich);
      break;
    default:
      drawInPlaneStep(w, lut, BMPfich);
      break;
  }
  log.WRITE_LOGFILE("build_bmp_fich 3\n");
  log.WRITE_LOGFILE("build_bmp_fich 4\n");
}

std::string reorientationCaption(const StudyWorkspace& w) {
  const Study& s = w.study;
  const int L = w.options.LANGUE;
  const ReorientSettings& r = w.settings.reorient;
  switch (w.settings.flow.fich_axis) {
    case 1:
      if (w.options.VLA_proj) return format(render_texts::kCaptionProjection.pick(L), s.instant + 1, s.Ninst);
      return format(render_texts::kCaptionSlice.pick(L), s.instant + 1, s.Ninst, r.coupevla + 1, kMatrix);
    case 2:
      return format(render_texts::kCaptionSlice.pick(L), s.instant + 1, s.Ninst, r.coupesag + 1, kMatrix);
    default:
      return format(render_texts::kCaptionSlice.pick(L), s.instant + 1, s.Ninst, s.coupe + 1, s.NCZ);
  }
}

}  // namespace quorvel
