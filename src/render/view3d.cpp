#include "render/view3d.h"

#include <algorithm>
#include <cmath>

#include "model3d/bullseye.h"
#include "model3d/mesh.h"
#include "model3d/model3d_commands.h"
#include "model3d/skeleton.h"
#include "model3d/vec3.h"
#include "render/canvas.h"
#include "render/map_panels.h"
#include "render/pictures.h"
#include "render/render_texts.h"
#include "render/text.h"

namespace quorvel {

namespace {

constexpr int kLast = kVisuSide - 1;
constexpr int kMapPaletteLast = 100;  // PAL_map holds the map values 0..100
// Colours of the model axes (tags 4, 5, 6).
constexpr Rgb kAxisColour[3] = {{230, 60, 60}, {80, 120, 255}, {60, 210, 60}};
// Colours of the preview overlays (tags 7 to 10): skeleton, valve ring, tilt axes 0 and 1.
constexpr Rgb kOverlayColour[4] = {{255, 80, 255}, {0, 200, 255}, {60, 230, 60}, {255, 230, 0}};
// Preview voxels (left, right, atria) and mesh edges (left, right); voxels darken with depth.
constexpr Rgb kVoxelColour[3] = {{235, 150, 60}, {80, 160, 240}, {150, 90, 70}};
constexpr Rgb kEdgeColour[2] = {{210, 210, 210}, {170, 200, 215}};
constexpr Rgb kActiveFrame{255, 230, 0}, kGreyFrame{100, 100, 100};

bool inCanvas(const ProjectedPoint& p) { return p.row >= 0 && p.row <= kLast && p.col >= 0 && p.col <= kLast; }

// One ventricle's triangles at one instant.
struct TriangleSet {
  int v = 0;  // 0 left, 1 right
  int n = 0;
  const float* tri = nullptr;       // n x 9: vertices as Z, X, Y
  const uint8_t* points = nullptr;  // n x 6: (ring, angle) of the vertices
  const float* normals = nullptr;   // node (a, r) at 3 x (a x stride + r)
  int stride = 0;
  const float* vertexValues = nullptr;  // n x 3, or
  const float* nodeValues = nullptr;    // node (a, r) at a x stride + r
  bool circular = false;                // values are phases: mean them round the cycle
};

struct Shading {
  bool interp = true;
  float lum = 70, cont = 20;
  bool paletteShade = false;  // the palette-based table's brighter shading
};

void rasterise(const TriangleSet& ts, const Visu3DProjection& P, const Shading& sh, Visu3DBuffers& b) {
  const uint8_t tag = static_cast<uint8_t>(kTagLeft + ts.v);
  for (int i = 0; i < ts.n; ++i) {
    const float* t = ts.tri + static_cast<size_t>(i) * 9;
    const uint8_t* pt = ts.points + static_cast<size_t>(i) * 6;
    ProjectedPoint p[3];
    float view[3], m[3];
    for (int j = 0; j < 3; ++j) {
      p[j] = P(Vec3f{t[3 * j + 1], t[3 * j + 2], t[3 * j]});
      const size_t node = static_cast<size_t>(pt[2 * j]) * ts.stride + pt[2 * j + 1];
      const float* nv = ts.normals + 3 * node;
      // The normal against the viewing direction; linear in the normal, so it interpolates as one.
      view[j] = nv[0] * P.axis1[2] - nv[1] * P.axis2[2] + nv[2] * P.axis3[2];
      float value = ts.vertexValues ? ts.vertexValues[static_cast<size_t>(i) * 3 + j]
                                    : (ts.nodeValues ? ts.nodeValues[node] : 0.0f);
      m[j] = std::clamp(value, 0.0f, 100.0f);
    }
    const int dr1 = p[1].row - p[0].row, dc1 = p[1].col - p[0].col;
    const int dr2 = p[2].row - p[0].row, dc2 = p[2].col - p[0].col;
    int det = dr1 * dc2 - dc1 * dr2;
    if (det == 0) continue;
    const int sign = det > 0 ? 1 : -1;
    det *= sign;
    const int r0 = std::max(std::min({p[0].row, p[1].row, p[2].row}), 0);
    const int r1 = std::min(std::max({p[0].row, p[1].row, p[2].row}), kLast);
    const int c0 = std::max(std::min({p[0].col, p[1].col, p[2].col}), 0);
    const int c1 = std::min(std::max({p[0].col, p[1].col, p[2].col}), kLast);
    const float inv = 1.0f / static_cast<float>(det);
    const float meanView = (view[0] + view[1] + view[2]) / 3;
    for (int x = r0; x <= r1; ++x) {
      // Numerators of the weights of P1 and P2 (times the sign of det): exact integers, so that
      // neighbouring triangles share their edge pixels the same way every time.
      int nu = sign * ((x - p[0].row) * dc2 - (c0 - p[0].col) * dr2);
      int nw = sign * ((c0 - p[0].col) * dr1 - (x - p[0].row) * dc1);
      const int du = -sign * dr2, dw = sign * dr1;
      for (int y = c0; y <= c1; ++y, nu += du, nw += dw) {
        if (nu < 0 || nw < 0 || nu + nw > det) continue;
        const float u = nu * inv, w = nw * inv;
        const float depth = p[0].depth + u * (p[1].depth - p[0].depth) + w * (p[2].depth - p[0].depth);
        const size_t k = Visu3DBuffers::at(x, y);
        if (!(b.VISUH[k] < depth)) continue;
        const float a = std::fabs(sh.interp ? view[0] + u * (view[1] - view[0]) + w * (view[2] - view[0]) : meanView);
        const float f = 2 * a - 1;
        const float shade = sh.paletteShade ? sh.lum + sh.cont * f : sh.cont * f * 0.8f + sh.lum * 0.6f;
        float value = m[0];
        if (sh.interp)
          value = ts.circular ? _MEAN_VECT_(m[0], 1 - u - w, m[1], u, m[2], w)
                              : m[0] + u * (m[1] - m[0]) + w * (m[2] - m[0]);
        b.VISUV[k] = tag;
        b.VISUH[k] = depth;
        b.VISUMAP[k] = std::clamp(shade, 8.0f, 92.0f);
        b.VISUN[k] = std::clamp(value, 0.0f, 100.0f);
        b.VISUAR[k] = i;
        b.VISUARV[k] = static_cast<uint8_t>(ts.v + 1);
      }
    }
  }
}

void drawAxes(const Visu3DProjection& P, Visu3DBuffers& b) {
  const float s = P.s;
  auto put = [&](ProjectedPoint q, uint8_t tag) {
    if (!inCanvas(q)) return;
    const size_t k = Visu3DBuffers::at(q.row, q.col);
    b.VISUV[k] = tag;
    b.VISUH[k] = q.depth;
  };
  for (int n = -1000; n <= 1000; ++n) {
    put(P.ofScaled(static_cast<float>(n / 2 + 500) * s / 4, 0, 0), kTagAxis1);
    put(P.ofScaled(0, static_cast<float>(n) * s / 4, 0), kTagAxis2);
    put(P.ofScaled(0, 0, static_cast<float>(std::abs(n)) * s / 4), kTagAxis3);
  }
  const ProjectedPoint tip = P.ofScaled(0, 0, std::trunc(1000 * s / 4));
  for (int dr = -2; dr <= 2; ++dr)
    for (int dc = -2; dc <= 2; ++dc) put(ProjectedPoint{tip.row + dr, tip.col + dc, tip.depth}, kTagAxis3);
}

// Outline segment: points win over a surface within 4 depth units.
void drawSegment(const Visu3DProjection& P, Vec3f from, Vec3f to, Visu3DBuffers& b) {
  for (int k = 0; k <= 500; ++k) {
    const float t = static_cast<float>(k) * 0.002f;
    const ProjectedPoint q = P((1 - t) * from + t * to);
    if (!inCanvas(q)) continue;
    const size_t i = Visu3DBuffers::at(q.row, q.col);
    if (q.depth + 4 > b.VISUH[i]) {
      b.VISUV[i] = kTagBackground;
      b.VISUH[i] = q.depth;
    }
  }
}

void drawSectorOutlines(const MeshModel& mesh, int v, int t, int SECT_25, const Visu3DProjection& P,
                        Visu3DBuffers& b) {
  const int A = mesh.mesh_samA, R = mesh.mesh_samR, g = A / 4;
  for (int a : {0, g, 2 * g, 3 * g})
    for (int r = 0; r < R; ++r) drawSegment(P, mesh.point(v, t, a, r), mesh.point(v, t, a, (r + 1) % R), b);
  const int layout = sectorLayout(SECT_25);
  for (int a = 0; a < 3 * A / 4; ++a) {
    int step = R / 8, r0 = 0;
    if (layout == 13) step = R / 4, r0 = R / 8;
    if (layout == 17 || layout == 19) step = R / 6, r0 = R / 12;
    if (layout == 17 && a >= A / 2) step = R / 4, r0 = R / 8;
    for (int r = r0; r < R; r += std::max(step, 1))
      drawSegment(P, mesh.point(v, t, a, r), mesh.point(v, t, a + 1, r), b);
  }
}

// A segment drawn over everything with one tag.
void drawOverlaySegment(const Visu3DProjection& P, Vec3f from, Vec3f to, uint8_t tag, Visu3DBuffers& b) {
  for (int k = 0; k <= 500; ++k) {
    const float t = static_cast<float>(k) * 0.002f;
    const ProjectedPoint q = P((1 - t) * from + t * to);
    if (inCanvas(q)) b.VISUV[Visu3DBuffers::at(q.row, q.col)] = tag;
  }
}

void drawPreviewOverlays(const PreviewLook& o, int v, int t, const Visu3DProjection& P, Visu3DBuffers& b) {
  const SkeletonModel& sk = *o.skel;
  const int V = v + 1;
  const Vec3f normal{sk.dsx1[V][t], sk.dsy1[V][t], sk.dsz1[V][t]};
  if (normal.x == 0 && normal.y == 0 && normal.z == 0) return;  // no valve plane yet
  if (o.skeleton) {
    constexpr int kPieces = 32;
    for (int k = 0; k < kPieces; ++k)
      drawOverlaySegment(P, EVAL_SKEL_COORD(sk, static_cast<float>(k) / kPieces, V, t),
                         EVAL_SKEL_COORD(sk, static_cast<float>(k + 1) / kPieces, V, t), kTagSkeleton, b);
    const ProjectedPoint apex = P(Vec3f{sk.apexX[V][t], sk.apexY[V][t], sk.apexZ[V][t]});
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc)
        if (const ProjectedPoint q{apex.row + dr, apex.col + dc, apex.depth}; inCanvas(q))
          b.VISUV[Visu3DBuffers::at(q.row, q.col)] = kTagSkeleton;
  }
  if (o.valvePlane[v]) {
    const Vec3f c{sk.Sx0[V][t], sk.Sy0[V][t], sk.Sz0[V][t]};
    Vec3f a0, a1;
    valveTiltAxes(normal, a0, a1);
    const float R = o.planeRadius;
    constexpr int kRing = 48;
    auto ring = [&](int k) {
      const double phi = 2 * 3.14159265358979 * k / kRing;
      return c + R * static_cast<float>(std::cos(phi)) * a0 + R * static_cast<float>(std::sin(phi)) * a1;
    };
    for (int k = 0; k < kRing; ++k) drawOverlaySegment(P, ring(k), ring(k + 1), kTagValveRing, b);
    drawOverlaySegment(P, c - R * a0, c + R * a0, kTagValveAxis0, b);
    drawOverlaySegment(P, c - R * a1, c + R * a1, kTagValveAxis1, b);
  }
}

// Frame two pixels wide.
void paintBorder(Bitmap24& bmp, Rgb colour = kGreyFrame) {
  for (int i = 0; i < kVisuSide; ++i)
    for (int e : {0, 1, kLast - 1, kLast}) {
      bmp.set(i, e, colour);
      bmp.set(e, i, colour);
    }
}

Rgb scaled(Rgb c, float f) {
  auto one = [f](uint8_t x) { return static_cast<uint8_t>(std::clamp(x * f, 0.0f, 255.0f)); };
  return Rgb{one(c.r), one(c.g), one(c.b)};
}

template <class Colour>
void colourPixels(const Visu3DBuffers& b, Colour colour, Bitmap24& bmp) {
  for (int row = 0; row < kVisuSide; ++row)
    for (int col = 0; col < kVisuSide; ++col) {
      const size_t k = Visu3DBuffers::at(row, col);
      const uint8_t tag = b.VISUV[k];
      Rgb c{};
      if (tag == kTagAxis1 || tag == kTagAxis3 || tag == kTagAxis2)
        c = kAxisColour[tag - kTagAxis1];
      else if (tag >= kTagSkeleton && tag <= kTagValveAxis1)
        c = kOverlayColour[tag - kTagSkeleton];
      else if (tag == kTagLeft || tag == kTagRight)
        c = colour(k, tag - kTagLeft);
      else if (tag >= kTagVoxelLeft && tag <= kTagVoxelAtria)
        c = scaled(kVoxelColour[tag - kTagVoxelLeft], b.VISUMAP[k]);
      else if (tag == kTagEdgeLeft || tag == kTagEdgeRight)
        c = kEdgeColour[tag - kTagEdgeLeft];
      putColour(bmp.at(col, row), c);
    }
}

// The entry of a table of last + 1 entries for x, truncated and kept inside the table; the first
// one for a value that is not a number (a map read from a damaged exam).
int truncatedIndex(float x, int last) {
  if (!(x > 0.0f)) return 0;
  if (!(x < static_cast<float>(last))) return last;
  return static_cast<int>(x);
}
// The same, rounded to the nearest entry.
int roundedIndex(float x, int last) { return truncatedIndex(x + 0.5f, last); }

const std::vector<float>& mapValues(const MeshModel& mesh, int mesh_visu) {
  switch (mesh_visu) {
    case 1: return mesh.MESH_tej;
    case 2: return mesh.MESH_per;
    case 3: return mesh.MESH_tper;
    case 4: return mesh.MESH_pfr;
    case 5: return mesh.MESH_tpfr;
    default: return mesh.MESH_fej;
  }
}

}  // namespace

void Visu3DBuffers::clear() {
  const size_t n = static_cast<size_t>(kVisuSide) * kVisuSide;
  VISUH.assign(n, kVisuCleared);
  VISUN.assign(n, kVisuCleared);
  VISUMAP.assign(n, 0.0f);
  VISUV.assign(n, kTagBackground);
  VISUAR.assign(n, -1);
  VISUARV.assign(n, 0);
  if (BMPvisu.width != kVisuSide || BMPvisu.height != kVisuSide) BMPvisu.resize(kVisuSide, kVisuSide);
}

Visu3DSettings visu3DSettingsOf(const Options& opt, const Model3DSettings& set) {
  Visu3DSettings v;
  v.mesh_double = set.mesh_double;
  v.mesh_visu = std::clamp(set.mesh_visu, 0, kMapCount - 1);
  v.visu_activ = set.visu_activ;
  v.mesh_param = set.mesh_param;
  v.rendu3D = set.rendu3D;
  v.SECT_25 = opt.SECT_25;
  v.visu_interp = opt.visu_interp;
  v.pal3D = opt.pal3D;
  v.visu_LUM3D = opt.visu_LUM3D;
  v.visu_CONT3D = opt.visu_CONT3D;
  return v;
}

ProjectedPoint Visu3DProjection::ofScaled(float q1, float q2, float q3) const {
  ProjectedPoint p;
  p.row = static_cast<int>(999.5f - (axis1[0] * q1 + axis2[0] * q2 + axis3[0] * q3)) - 743;
  p.col = static_cast<int>(999.5f - (axis1[1] * q1 + axis2[1] * q2 + axis3[1] * q3)) - 743;
  p.depth = axis1[2] * q1 + axis2[2] * q2 + axis3[2] * q3;
  return p;
}

Visu3DProjection projectionOf(const View3D& view, Vec3f min, Vec3f max) {
  Visu3DProjection P;
  P.axis1 = view.axis1, P.axis2 = view.axis2, P.axis3 = view.axis3;
  P.s = static_cast<float>(view.visu_scale) / 100.0f;
  P.cx = std::trunc((min.x + max.x) / 2);
  P.cy = std::trunc((min.y + max.y) / 2);
  P.cz = std::trunc((min.z + max.z) / 2);
  return P;
}

int BUILD_VISU_3D(const MeshModel& mesh, int t, const View3D& view, const Visu3DSettings& set, const Table3D& table,
                  const PalMap& PAL_map, Visu3DBuffers& out) {
  out.clear();
  const int v0 = set.mesh_double ? 0 : std::clamp(view.mesh_vent, 0, 1);
  const int v1 = set.mesh_double ? 1 : v0;
  const int n = mesh.Nmeshtri;
  const bool built = n > 0 && mesh.MESH_tri.size() >= static_cast<size_t>(2) * kMaxInstants * n * 9 &&
                     !mesh.MESH_nor.empty() && t >= 0 && t < kMaxInstants;
  Vec3f lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
  for (int v = v0; v <= v1; ++v) {
    lo = {std::min(lo.x, mesh.MIN_mX[v]), std::min(lo.y, mesh.MIN_mY[v]), std::min(lo.z, mesh.MIN_mZ[v])};
    hi = {std::max(hi.x, mesh.MAX_mX[v]), std::max(hi.y, mesh.MAX_mY[v]), std::max(hi.z, mesh.MAX_mZ[v])};
  }
  const Visu3DProjection P = built ? projectionOf(view, lo, hi) : projectionOf(view, {}, {});
  if (view.visu_axes) drawAxes(P, out);
  const bool paletteShade = set.pal3D != 0 && set.rendu3D == 0;
  if (built) {
    const Shading sh{set.visu_interp != 0, set.visu_LUM3D, set.visu_CONT3D, paletteShade};
    const std::vector<float>& values = mapValues(mesh, set.mesh_visu);
    for (int v = v0; v <= v1; ++v) {
      TriangleSet ts;
      ts.v = v;
      ts.n = n;
      ts.tri = &mesh.MESH_tri[(static_cast<size_t>(v) * kMaxInstants + t) * n * 9];
      ts.points = &mesh.MESH_points[static_cast<size_t>(v) * n * 6];
      ts.normals = &mesh.MESH_nor[3 * MeshModel::node(v, t, 0, 0)];
      ts.stride = kMeshSize;
      if (set.visu_activ) {
        ts.nodeValues = &mesh.MESH_act[MeshModel::node(v, t, 0, 0)];
      } else if (values.size() >= static_cast<size_t>(2) * n * 3) {
        ts.vertexValues = &values[static_cast<size_t>(v) * n * 3];
        ts.circular = set.mesh_visu % 2 == 1;
      }
      rasterise(ts, P, sh, out);
    }
    if (set.mesh_param)
      for (int v = v0; v <= v1; ++v) drawSectorOutlines(mesh, v, t, set.SECT_25, P, out);
  }
  const int mapIndex = std::clamp(set.mesh_visu, 0, kMapCount - 1);
  colourPixels(
      out,
      [&](size_t k, int p) {
        int column;
        if (set.rendu3D) {
          column = p == 0 ? PAL_map[0][0][set.pal3D ? 35 : 100] : PAL_map[1][0][set.pal3D ? 65 : 0];
        } else if (set.visu_activ) {
          column = truncatedIndex(out.VISUN[k] * (set.pal3D ? 0.5f : 0.8f), kPaletteSteps);
        } else {
          column = PAL_map[p][mapIndex][roundedIndex(out.VISUN[k], kMapPaletteLast)];
        }
        return table.colour(roundedIndex(out.VISUMAP[k], kPaletteSteps), std::clamp(column, 0, kPaletteSteps));
      },
      out.BMPvisu);
  if (set.bordure_paint) paintBorder(out.BMPvisu);
  return 0;
}

namespace {

// A preview line with the outlines' depth test, one point per pixel of its longer side.
void drawEdge(const Visu3DProjection& P, Vec3f from, Vec3f to, uint8_t tag, Visu3DBuffers& b) {
  const ProjectedPoint a = P(from), z = P(to);
  const int steps = std::max(std::abs(z.row - a.row), std::abs(z.col - a.col)) + 1;
  for (int k = 0; k <= steps; ++k) {
    const float t = static_cast<float>(k) / static_cast<float>(steps);
    const ProjectedPoint q = P((1 - t) * from + t * to);
    if (!inCanvas(q)) continue;
    const size_t i = Visu3DBuffers::at(q.row, q.col);
    if (q.depth + 4 > b.VISUH[i]) {
      b.VISUV[i] = tag;
      b.VISUH[i] = q.depth;
    }
  }
}

void drawMeshEdges(const float* tri, int n, int v, const Visu3DProjection& P, Visu3DBuffers& b) {
  const uint8_t tag = static_cast<uint8_t>(kTagEdgeLeft + v);
  for (int i = 0; i < n; ++i) {
    const float* t = tri + static_cast<size_t>(i) * 9;
    const Vec3f p[3] = {{t[1], t[2], t[0]}, {t[4], t[5], t[3]}, {t[7], t[8], t[6]}};
    for (int j = 0; j < 3; ++j) drawEdge(P, p[j], p[(j + 1) % 3], tag, b);
  }
}

// Class of a surface voxel of the label volume: 1 left, 2 right, 3 other; valve voxels are their
// ventricle's; 0 for the background and the interior.
int surfaceClass(uint8_t label) {
  if (label >= 1 && label <= 3) return label;
  if (label == 201 || label == 202) return label - 200;
  return 0;
}

// The surface voxels of the classes asked at instant t, as squares a little smaller than a voxel
// (so that the grid shows), darker further away.
void drawVoxels(const SkeletonModel& sk, const StudyRecord& s, int t, std::array<bool, 4> classes,
                const Visu3DProjection& P, Visu3DBuffers& b) {
  const size_t perInstant = static_cast<size_t>(s.NCZ) * kSliceVoxels;
  if (s.NCZ <= 0 || t < 0 || t >= s.Ninst || sk.BORD.size() < perInstant * (t + 1)) return;
  const int half = std::max(1, static_cast<int>(3.2f * P.s + 0.5f));  // 0.8 of a voxel's 8 s pixels
  const float depthRange = 8 * P.s * kMatrix;
  const uint8_t* labels = &sk.BORD[perInstant * t];
  for (int z = 0; z < s.NCZ; ++z)
    for (int row = 0; row < kMatrix; ++row)
      for (int col = 0; col < kMatrix; ++col) {
        const int c = surfaceClass(labels[(static_cast<size_t>(z) * kMatrix + row) * kMatrix + col]);
        if (c == 0 || !classes[c]) continue;
        const ProjectedPoint q = P(Vec3f{modelX(row), modelY(col), modelZ(s, z)});
        const uint8_t tag = static_cast<uint8_t>(kTagVoxelLeft + c - 1);
        const float cue = std::clamp(0.7f + q.depth / depthRange, 0.35f, 1.0f);
        for (int r = std::max(q.row - half, 0); r <= std::min(q.row + half - 1, kLast); ++r)
          for (int k = std::max(q.col - half, 0); k <= std::min(q.col + half - 1, kLast); ++k) {
            const size_t i = Visu3DBuffers::at(r, k);
            if (!(b.VISUH[i] < q.depth)) continue;
            b.VISUV[i] = tag;
            b.VISUH[i] = q.depth;
            b.VISUMAP[i] = cue;
          }
      }
}

void drawScaleBar(const ScaleBar& bar, Bitmap24& bmp) {
  if (bar.pixels <= 0) return;
  const Rgb white{255, 255, 255};
  constexpr int kLeft = 16, kBase = kVisuSide - 20;
  for (int x = kLeft; x <= kLeft + bar.pixels; ++x)
    for (int y : {kBase, kBase + 1}) bmp.set(x, y, white);
  const int cm = bar.mm / 10;
  for (int k = 0; k <= cm; ++k) {
    const int x = kLeft + k * bar.pixels / std::max(cm, 1);
    for (int y = kBase - 5; y < kBase; ++y) bmp.set(x, y, white);
  }
  drawText(bmp, kLeft, kBase - 8 - kGlyphSide, std::to_string(bar.mm) + " mm", white);
}

}  // namespace

ScaleBar scaleBarOf(float s, float cmPerUnit) {
  if (!(cmPerUnit > 0) || !(s > 0)) return {};
  const float pixelsPerCm = 8 * s / cmPerUnit;
  for (int cm : {10, 5, 2, 1}) {
    const int pixels = static_cast<int>(cm * pixelsPerCm + 0.5f);
    if (pixels <= kScaleBarMax || cm == 1) return ScaleBar{pixels, cm * 10};
  }
  return {};
}

void buildPreviewPicture(const MeshModel& mesh, int t, int Ninst, int shown, const View3D& view,
                         const Visu3DSettings& set, Visu3DBuffers& out, const PreviewLook& look) {
  out.clear();
  const int P = mesh.mesh_samP_built, n = mesh.Nmeshtri_pre;
  const size_t perVentricle = static_cast<size_t>(kPreviewMax) * (kPreviewMax - 1) * 2;
  const bool built = P > 0 && n > 0 && mesh.MESHpre_tri.size() == 2 * kMaxInstants * perVentricle * 9 &&
                     t >= 0 && t < Ninst && Ninst <= kMaxInstants;
  auto triangles = [&](int v, int i) {
    return &mesh.MESHpre_tri[(static_cast<size_t>(v) * kMaxInstants + i) * perVentricle * 9];
  };
  auto drawn = [shown](int v) { return shown == 0 || shown == v + 1; };
  Vec3f lo{}, hi{};
  if (built) {
    lo = {1e30f, 1e30f, 1e30f}, hi = {-1e30f, -1e30f, -1e30f};
    for (int v = 0; v < 2; ++v)
      for (int i = 0; i < Ninst; ++i) {
        const float* tri = triangles(v, i);
        for (int k = 0; k < n * 3; ++k) {
          const Vec3f p{tri[3 * k + 1], tri[3 * k + 2], tri[3 * k]};
          lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
          hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
      }
  }
  const Visu3DProjection proj = projectionOf(view, lo, hi);
  if (view.visu_axes) drawAxes(proj, out);
  const int display = std::clamp(look.display, 0, kPreviewDisplays - 1);
  if (built) {
    if (display != kPreviewVoxels) {
      const Shading sh{set.visu_interp != 0, set.visu_LUM3D, set.visu_CONT3D, false};
      for (int v = 0; v < 2; ++v) {
        if (!drawn(v)) continue;
        TriangleSet ts;
        ts.v = v;
        ts.n = n;
        ts.tri = triangles(v, t);
        ts.points = &mesh.MESHpre_points[v * perVentricle * 6];
        ts.normals = &mesh.MESHpre_nor[3 * MeshModel::preNode(v, t, 0, 0)];
        ts.stride = kPreviewMax;
        rasterise(ts, proj, sh, out);
      }
      // The surface stays in the depth buffer, so that edge mode hides the edges behind it.
      if (look.edges)
        for (int v = 0; v < 2; ++v)
          if (drawn(v)) drawMeshEdges(triangles(v, t), n, v, proj, out);
    }
    if (look.skel && look.study) {
      const std::array<bool, 4> classes{false, display != kPreviewMesh && drawn(0),
                                        display != kPreviewMesh && drawn(1), look.atria};
      if (classes[1] || classes[2] || classes[3]) drawVoxels(*look.skel, *look.study, t, classes, proj, out);
    }
    if (look.skel)
      for (int v = 0; v < 2; ++v)
        if (drawn(v)) drawPreviewOverlays(look, v, t, proj, out);
  }
  // Grey from the shade; the right ventricle a little cooler so that the two can be told apart.
  // In edge mode the surface only hides what is behind it.
  colourPixels(
      out,
      [&](size_t k, int p) {
        if (look.edges) return Rgb{};
        const int g = std::clamp(static_cast<int>(out.VISUMAP[k] * 3.2f), 0, 255);
        return Rgb{static_cast<uint8_t>(p ? g * 9 / 10 : g), static_cast<uint8_t>(g), static_cast<uint8_t>(g)};
      },
      out.BMPvisu);
  if (look.scaleBar && look.study) drawScaleBar(scaleBarOf(proj.s, look.study->VOXEL_SIZE_XY), out.BMPvisu);
  if (look.active) paintBorder(out.BMPvisu, kActiveFrame);
  else if (set.bordure_paint) paintBorder(out.BMPvisu);
}

std::optional<PickedTriangle> pickTriangle(const Visu3DBuffers& b, int row, int col) {
  if (row < 0 || row > kLast || col < 0 || col > kLast || b.VISUAR.empty()) return std::nullopt;
  const size_t k = Visu3DBuffers::at(row, col);
  const uint8_t tag = b.VISUV[k];
  if ((tag != kTagLeft && tag != kTagRight) || b.VISUAR[k] < 0) return std::nullopt;
  return PickedTriangle{b.VISUARV[k], b.VISUAR[k]};
}

void NORMALIZE_VISU_AXES(View3D& view) {
  for (auto* k : {&view.axis1, &view.axis2, &view.axis3}) {
    const float n = std::sqrt((*k)[0] * (*k)[0] + (*k)[1] * (*k)[1] + (*k)[2] * (*k)[2]);
    if (n > 0)
      for (float& c : *k) c /= n;
  }
}

void ROTATE_VISU_AXES(View3D& view, double a, double b) {
  const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
  for (auto* k : {&view.axis1, &view.axis2, &view.axis3}) {
    const double x = (*k)[0], y = (*k)[1], z = (*k)[2];
    (*k)[0] = static_cast<float>(ca * x + sa * z);
    (*k)[1] = static_cast<float>(sa * sb * x + cb * y - ca * sb * z);
    (*k)[2] = static_cast<float>(-sa * cb * x + sb * y + ca * cb * z);
  }
  NORMALIZE_VISU_AXES(view);
  view.visu_Pvue = 0;
}

void ZOOM_VISU(View3D& view, int step) { view.visu_scale = std::clamp(view.visu_scale + step, 50, 200); }

std::array<MapWindows, 2> mapWindowsOf(const MapRanges& r) {
  std::array<MapWindows, 2> w{};
  auto win = [](float lo, float hi) { return MapWindow{static_cast<int>(lo), static_cast<int>(hi)}; };
  for (int v = 0; v < 2; ++v)
    w[v] = {win(r.fej_pmin[v], r.fej_pmax[v]), win(r.tej_pmin[v], r.tej_pmax[v]),
            win(r.per_pmin[v], r.per_pmax[v]), win(r.tper_pmin[v], r.tper_pmax[v]),
            win(r.pfr_pmin[v], r.pfr_pmax[v]), win(r.tpfr_pmin[v], r.tpfr_pmax[v])};
  return w;
}

Bitmap24 bullseyePicture(const BullsEye& eye, const RegionalMaps& maps, const StudyRecord& s, int mesh_visu,
                         int SECT_25, int pal3D, const Table3D& table, const PalMap& PAL_map, int LANGUE,
                         BullseyeLook look) {
  constexpr int kMargin = 10, kTitle = 24;
  Bitmap24 bmp(2 * kBullseye + 3 * kMargin, kBullseye + kTitle + kMargin);
  bmp.fill(Rgb{40, 40, 40});
  mesh_visu = std::clamp(mesh_visu, 0, kMapCount - 1);
  const std::vector<float>* images[kMapCount] = {&eye.mesh_sect_fej, &eye.mesh_sect_tej,  &eye.mesh_sect_per,
                                                 &eye.mesh_sect_tper, &eye.mesh_sect_pfr, &eye.mesh_sect_tpfr};
  const std::vector<float>& image = *images[mesh_visu];
  const size_t side = static_cast<size_t>(kBullseye) * kBullseye;
  const bool ready = image.size() >= 2 * side && eye.mesh_sect.size() >= side && eye.mesh_sect_bord.size() >= side;
  // The brightest shade that keeps the colour of the table's column.
  const int shade = pal3D ? 200 : 50;
  const auto labels = BULLSEYE_LABELS(eye, maps, SECT_25, mesh_visu, s);
  const SectorValues* means[kMapCount] = {eye.mesh_smoy_fej.data(),  eye.mesh_smoy_tej.data(),
                                          eye.mesh_smoy_per.data(),  eye.mesh_smoy_tper.data(),
                                          eye.mesh_smoy_pfr.data(),  eye.mesh_smoy_tpfr.data()};
  for (int panel = 0; panel < 2; ++panel) {
    const int v = panel == 0 ? 1 : 0;
    const int x0 = kMargin + panel * (kBullseye + kMargin), y0 = kTitle;
    const Text title = v == 0 ? render_texts::kLeftVentricle : render_texts::kRightVentricle;
    const std::string_view name = title.pick(LANGUE);
    // One size in every language, as the map panels' titles: the French names do not fit at double size.
    drawText(bmp, x0 + (kBullseye - textWidth(name)) / 2, 8, name, Rgb{255, 255, 255});
    if (!ready) continue;
    for (int row = 0; row < kBullseye; ++row)
      for (int col = 0; col < kBullseye; ++col) {
        const size_t px = BullsEye::px(row, col);
        if (eye.mesh_sect[px] == 0) continue;
        Rgb c{0, 0, 0};
        if (!eye.mesh_sect_bord[px]) {
          const int sector = eye.mesh_sect[px];
          const bool bySector = look.bySector && sector >= 0 && sector < kSectorSlots;
          const float raw = bySector ? means[mesh_visu][v][sector] : image[BullsEye::image(v, row, col)];
          const float value = std::clamp(raw, 0.0f, 100.0f);
          c = table.colour(shade, std::clamp(PAL_map[v][mesh_visu][roundedIndex(value, kMapPaletteLast)], 0, kPaletteSteps));
        }
        // Rows of the grid go down the picture and columns across it.
        bmp.set(x0 + col, y0 + row, c);
      }
    for (int k = 1; k <= sectorLayout(SECT_25); ++k) {
      const SectorLabel& lab = labels[panel][k];
      if (!look.values || !lab.shown) continue;
      const int w = textWidth(lab.text);
      const int x = x0 + lab.col - w / 2, y = y0 + lab.row - kGlyphSide / 2;
      drawText(bmp, x + 1, y + 1, lab.text, Rgb{0, 0, 0});
      drawText(bmp, x, y, lab.text, Rgb{255, 255, 255});
    }
  }
  return bmp;
}

const Bitmap24& drawPreview3D(Pictures& p, const Model3D& m, const Model3DStudySettings& s, const Options& opt,
                              const StudyRecord& study, int t, int pane, bool markActive) {
  pane = std::clamp(pane, 0, kPreviewPanes - 1);
  const View3DSettings& v = s.view3d;
  const int choice = pane == 1 && !v.visu_coordv ? v.secondFrameVentricles : v.visu_no;
  const int shown = choice == 0 ? 1 : (choice == 1 ? 2 : 0);
  PreviewLook look;
  look.skel = &m.skel;
  look.study = &study;
  look.display = v.visu_type[pane];
  look.edges = v.visu_rendu == 0;
  look.atria = v.showAtria;
  look.skeleton = v.views[pane].visu_skel != 0;
  look.valvePlane = {v.visu_plane[0] != 0, v.visu_plane[1] != 0};
  look.planeRadius = v.planeRadius;
  look.scaleBar = v.visu_echelle[pane] != 0;
  look.active = markActive && v.views[pane].visu_view != 0;
  buildPreviewPicture(m.mesh, t, study.Ninst, shown, v.views[pane], visu3DSettingsOf(opt, s.model3d),
                      p.preview3D[pane], look);
  return p.preview3D[pane].BMPvisu;
}

namespace {
void refreshMapColours(Pictures& p, const Model3DStudySettings& s, const Options& opt) {
  if (p.table3D.RRR.empty()) DEFINE_3D_PAL(opt.palette3D, opt.pal3D, p.table3D);
  auto windows = mapWindowsOf(s.ranges);
  UPDATE_PAL_MAP(windows, opt.pal3D, s.model3d.rendu3D, p.PAL_map);
}
}  // namespace

const Bitmap24& drawResults3D(Pictures& p, const Model3D& m, const Model3DStudySettings& s, const Options& opt, int t) {
  refreshMapColours(p, s, opt);
  BUILD_VISU_3D(m.mesh, t, s.view3d.views[2], visu3DSettingsOf(opt, s.model3d), p.table3D, p.PAL_map, p.visu3D);
  return p.visu3D.BMPvisu;
}

const Bitmap24& drawMapPanel(Pictures& p, const Model3D& m, const Model3DStudySettings& s, const Options& opt,
                             const StudyRecord& study, int v, const MeshCurve& curve) {
  refreshMapColours(p, s, opt);
  v = std::clamp(v, 0, 1);
  const int map = std::clamp(s.model3d.mesh_visu, 0, kMapCount - 1);
  const MapPanelInputs in{m.maps, s.ranges, study, p.table3D, p.PAL_map, map, opt.pal3D, opt.LANGUE};
  const std::array<std::string, 2> texts = AFFICHAGE_RES_MESH(m, map, study, opt.LANGUE);
  p.mapPanel[v] = mapResultPanel(in, v, texts[v == 0 ? 1 : 0], curve);
  return p.mapPanel[v];
}

const Bitmap24& drawBullseye(Pictures& p, const Model3D& m, const Model3DStudySettings& s, const Options& opt,
                             const StudyRecord& study) {
  refreshMapColours(p, s, opt);
  p.bullseye = bullseyePicture(m.eye, m.maps, study, s.model3d.mesh_visu, opt.SECT_25, opt.pal3D, p.table3D,
                               p.PAL_map, opt.LANGUE,
                               BullseyeLook{s.model3d.mesh_sect_grad != 0, s.model3d.mesh_Hsect != 0});
  return p.bullseye;
}

}  // namespace quorvel
