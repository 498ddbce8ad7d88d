// The 3D view's rasteriser on small hand-made meshes: a golden octahedron, the depth test,
// the projection of the reset view and picking.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "picture_fixture.h"
#include "model3d/vec3.h"
#include "render/view3d.h"

namespace quorvel {
namespace {

// Triangles of one instant (0) for ventricle 0, each vertex its own grid node (ring 0, angle k)
// with the given normal and map value; optional triangles of ventricle 1.
struct Vertex {
  Vec3f p, normal;
  float value = 0;
};
using Tri = std::array<int, 3>;

class View3DTest : public ::testing::Test {
 protected:
  void build(const std::vector<Vertex>& vertices, const std::vector<Tri>& left, const std::vector<Tri>& right = {}) {
    const int n = static_cast<int>(std::max(left.size(), right.size()));
    mesh = MeshModel{};
    mesh.Nmeshtri = n;
    mesh.MESH_points.assign(static_cast<size_t>(2) * n * 6, 0);
    mesh.MESH_tri.assign(static_cast<size_t>(2) * kMaxInstants * n * 9, 0.0f);
    mesh.MESH_fej.assign(static_cast<size_t>(2) * n * 3, 0.0f);
    mesh.MESH_nor.assign(static_cast<size_t>(2) * kMaxInstants * kMeshSize * kMeshSize * 3, 0.0f);
    Vec3f lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
    for (int v = 0; v < 2; ++v) {
      const std::vector<Tri>& tris = v == 0 ? left : right;
      for (size_t k = 0; k < vertices.size(); ++k) {
        float* nv = &mesh.MESH_nor[3 * MeshModel::node(v, 0, 0, static_cast<int>(k))];
        nv[0] = vertices[k].normal.x, nv[1] = vertices[k].normal.y, nv[2] = vertices[k].normal.z;
      }
      // Unused slots repeat a degenerate triangle, which the rasteriser skips.
      for (int i = 0; i < n; ++i) {
        const Tri t = i < static_cast<int>(tris.size()) ? tris[i] : Tri{0, 0, 0};
        for (int j = 0; j < 3; ++j) {
          const Vertex& x = vertices[t[j]];
          mesh.MESH_points[(static_cast<size_t>(v) * n + i) * 6 + 2 * j + 1] = static_cast<uint8_t>(t[j]);
          float* o = &mesh.MESH_tri[(static_cast<size_t>(v) * kMaxInstants * n + i) * 9 + 3 * j];
          o[0] = x.p.z, o[1] = x.p.x, o[2] = x.p.y;
          mesh.MESH_fej[(static_cast<size_t>(v) * n + i) * 3 + j] = x.value;
          lo = {std::min(lo.x, x.p.x), std::min(lo.y, x.p.y), std::min(lo.z, x.p.z)};
          hi = {std::max(hi.x, x.p.x), std::max(hi.y, x.p.y), std::max(hi.z, x.p.z)};
        }
      }
      mesh.MIN_mX[v] = lo.x, mesh.MIN_mY[v] = lo.y, mesh.MIN_mZ[v] = lo.z;
      mesh.MAX_mX[v] = hi.x, mesh.MAX_mY[v] = hi.y, mesh.MAX_mZ[v] = hi.z;
    }
  }
  void draw() {
    std::array<MapWindows, 2> windows{};
    UPDATE_PAL_MAP(windows, 0, 0, PAL_map);
    BUILD_VISU_3D(mesh, 0, view, set, table, PAL_map, out);
  }

  MeshModel mesh;
  View3D view = resetView();
  Visu3DSettings set = plain();
  Table3D table = table3DOf(1, 0);
  PalMap PAL_map{};
  Visu3DBuffers out;

  static View3D resetView() {
    View3D v;  // the results view's reset: (-1, 0, 0), (0, -1, 0), (0, 0, 1), 133 %
    return v;
  }
  static Visu3DSettings plain() {
    Visu3DSettings s;
    s.mesh_param = 0;  // a hand-made mesh has no rings
    s.mesh_double = 1;
    return s;
  }
};

TEST_F(View3DTest, GoldenOctahedronWithAxes) {
  // Corners on the model axes with values 0..100 spread the map's colours over the faces; the
  // normals point out of the centre, so the shade follows the turn of the surface.
  const std::vector<Vec3f> corners{{10, 0, 0}, {-10, 0, 0}, {0, 10, 0}, {0, -10, 0}, {0, 0, 10}, {0, 0, -10}};
  const float values[6] = {0, 20, 40, 60, 80, 100};
  std::vector<Vertex> vs;
  for (int k = 0; k < 6; ++k) vs.push_back({corners[k], normalised(corners[k]), values[k]});
  build(vs, {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4}, {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}});
  ROTATE_VISU_AXES(view, 0.6, 0.5);
  view.visu_axes = 1;
  set.bordure_paint = 1;
  draw();
  testing::expectGolden(out.BMPvisu, "view3d_octahedron");
}

// Values that are not numbers (a damaged exam's maps or normals) draw as the palette's first entry:
// every lookup stays inside its table.
TEST_F(View3DTest, MapValuesThatAreNotNumbersStayInsideThePalette) {
  const std::vector<Vec3f> corners{{10, 0, 0}, {-10, 0, 0}, {0, 10, 0}, {0, -10, 0}, {0, 0, 10}, {0, 0, -10}};
  const float nan = std::nanf(""), values[6] = {nan, 1e30f, -1e30f, nan, 50, 1e9f};
  std::vector<Vertex> vs;
  for (int k = 0; k < 6; ++k) vs.push_back({corners[k], k == 4 ? Vec3f{nan, nan, nan} : normalised(corners[k]), values[k]});
  build(vs, {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4}, {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}});
  mesh.MESH_act.assign(static_cast<size_t>(2) * kMaxInstants * kMeshSize * kMeshSize, nan);  // activity mode
  for (int activ = 0; activ < 2; ++activ) {
    set.visu_activ = activ;
    draw();
    int drawn = 0;
    for (int y = 0; y < out.BMPvisu.height; ++y)
      for (int x = 0; x < out.BMPvisu.width; ++x) drawn += out.BMPvisu.get(x, y).r != 0 || out.BMPvisu.get(x, y).b != 0;
    EXPECT_GT(drawn, 1000);
  }
}

TEST_F(View3DTest, ResetAxesProjectModelPointsAsTheFormulaSays) {
  // Bounding box (-3.5 .. 10.2, -4 .. 4, 1.9 .. 6.2): centre (3, 0, 4) after truncation.
  const Visu3DProjection P = projectionOf(view, {-3.5f, -4, 1.9f}, {10.2f, 4, 6.2f});
  EXPECT_EQ(P.cx, 3);
  EXPECT_EQ(P.cy, 0);
  EXPECT_EQ(P.cz, 4);
  struct Case {
    Vec3f p;
    int row, col;
    float depth;
  };
  // s = 1.33: row trunc(999.5 - 10.64 (X - 3)) - 743, column trunc(999.5 + 10.64 Y) - 743,
  // depth -10.64 (Z - 4).
  for (const Case& c : {Case{{3, 0, 4}, 256, 256, 0.0f}, Case{{13, -5, 7}, 150, 203, -31.92f},
                        Case{{-2, 7, 0}, 309, 330, 42.56f}}) {
    const ProjectedPoint q = P(c.p);
    EXPECT_EQ(q.row, c.row) << c.p.x;
    EXPECT_EQ(q.col, c.col) << c.p.x;
    EXPECT_NEAR(q.depth, c.depth, 1e-3) << c.p.x;
  }
}

TEST_F(View3DTest, EqualDepthKeepsTheFirstTriangleAndPickingFindsEachOne) {
  // Two overlapping triangles in the plane Z = 0 of the left ventricle (same depth everywhere),
  // and a third, nearer (smaller Z), of the right ventricle beside them.
  const Vec3f up{0, 0, -1};
  std::vector<Vertex> vs{{{-6, -6, 0}, up}, {{-6, 6, 0}, up}, {{6, -6, 0}, up}, {{6, 6, 0}, up},
                         {{-6, 10, -2}, up}, {{-6, 16, -2}, up}, {{6, 10, -2}, up}};
  build(vs, {{0, 1, 2}, {1, 3, 2}, {0, 3, 2}}, {{4, 5, 6}});
  draw();
  // Triangle 2 (X >= Y) overlaps triangle 0 (X + Y <= 0) and triangle 1 (X + Y >= 0): the one
  // drawn first keeps each shared pixel.
  const Visu3DProjection P = projectionOf(view, {-6, -6, -2}, {6, 16, 0});
  const ProjectedPoint inFirst = P(Vec3f{2, -4, 0});
  ASSERT_EQ(out.VISUV[Visu3DBuffers::at(inFirst.row, inFirst.col)], kTagLeft);
  auto picked = pickTriangle(out, inFirst.row, inFirst.col);
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->ventricle, 1);
  EXPECT_EQ(picked->triangle, 0);
  const ProjectedPoint inSecond = P(Vec3f{4, 2, 0});
  picked = pickTriangle(out, inSecond.row, inSecond.col);
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->triangle, 1);
  const ProjectedPoint right = P(Vec3f{0, 12, -2});
  picked = pickTriangle(out, right.row, right.col);
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->ventricle, 2);
  EXPECT_EQ(picked->triangle, 0);
  EXPECT_FALSE(pickTriangle(out, 5, 5));      // background
  EXPECT_FALSE(pickTriangle(out, -1, 256));   // outside the picture
  EXPECT_FALSE(pickTriangle(out, 256, 512));
}

TEST(PreviewScaleBar, TakesTheLongestWholeCentimetresThatFit) {
  struct Case {
    float s, cmPerUnit;
    int pixels, mm;
  };
  // 8 s pixels per voxel: with 0.34 cm voxels a centimetre is 23.5 pixels at scale 1.
  for (const Case& c : {Case{1.0f, 0.34f, 118, 50}, Case{2.0f, 0.34f, 94, 20}, Case{0.5f, 0.68f, 59, 100},
                        Case{2.0f, 0.05f, 320, 10}, Case{1.0f, 0.0f, 0, 0}}) {
    const ScaleBar bar = scaleBarOf(c.s, c.cmPerUnit);
    EXPECT_EQ(bar.pixels, c.pixels) << c.s << " " << c.cmPerUnit;
    EXPECT_EQ(bar.mm, c.mm) << c.s << " " << c.cmPerUnit;
  }
}

}  // namespace
}  // namespace quorvel
