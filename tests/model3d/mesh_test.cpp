// Surface meshes of a beating half-ellipsoid: grid layout, pole, triangles, weights, the
// preview, threads and the wait window.
#include <gtest/gtest.h>

#include <cmath>

#include "base/scripted_platform.h"
#include "model3d/mesh.h"
#include "model3d/model3d_commands.h"
#include "synthetic_heart.h"

namespace quorvel::testing {
namespace {

class BeatingHeart : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    heart = new SyntheticHeart(8, 32);
    heart->beatingEllipsoid(1, kClassLeft, 8, 30, 40, 16, 8, 0.3f);
    heart->box(2, kClassOther, 10, 22, 31, 36, 34, 46);  // an atrium against the base
    PREVISU_3D_BUILD(heart->in(), heart->settings3d.model3d, heart->m);
    EXPECT_TRUE(MAILLAGE_3D(heart->in(), heart->settings3d.model3d, heart->m, nullptr));
  }
  static void TearDownTestSuite() { delete heart; }
  static SyntheticHeart* heart;
};
SyntheticHeart* BeatingHeart::heart = nullptr;

TEST_F(BeatingHeart, CylinderThenPolarCapClosedAtThePole) {
  const MeshModel& mesh = heart->m.mesh;
  ASSERT_EQ(mesh.mesh_samA, 48);
  auto centre = [&](int a) {
    const float* c = &mesh.MESH_CTR[3 * MeshModel::ring(0, 0, a)];
    return Vec3f{c[0], c[1], c[2]};
  };
  // Rings 0..35 step along the skeleton; rings 36..47 share the centre of the cap.
  for (int a = 1; a < 36; ++a) EXPECT_LT(centre(a).x, centre(a - 1).x) << a;
  for (int a = 37; a < 48; ++a) EXPECT_EQ(centre(a).x, centre(36).x) << a;
  for (int t = 0; t < 8; ++t) {
    const Vec3f pole = mesh.point(0, t, 47, 0);
    for (int r = 0; r < 48; ++r) {
      const Vec3f p = mesh.point(0, t, 47, r);
      EXPECT_NEAR(p.x, pole.x, 1e-4);  // cos of the single-precision right angle is not quite 0
      EXPECT_NEAR(p.y, pole.y, 1e-4);
      EXPECT_NEAR(p.z, pole.z, 1e-4);
    }
    // Every ray beyond the valve ring meets the wall: no node collapses onto its ring centre. (Ring
    // 0 lies in the valve plane, whose valve voxels give no distance.)
    for (int a = 1; a < 48; ++a)
      for (int r = 0; r < 48; ++r) ASSERT_GT(mesh.MESH_DIS[MeshModel::node(0, t, a, r)], 0.5f) << t << " " << a;
  }
  // The ventricle beats: its mid-ventricular radius is smaller at mid-cycle.
  EXPECT_LT(mesh.MESH_DIS[MeshModel::node(0, 4, 18, 0)], mesh.MESH_DIS[MeshModel::node(0, 0, 18, 0)] - 1.0f);
}

TEST_F(BeatingHeart, TrianglesAndNormals) {
  Model3D m = heart->m;
  ASSERT_TRUE(TRIANGULATION_3D(8, m, nullptr));
  ASSERT_EQ(m.mesh.Nmeshtri, 4512);
  const uint8_t* p = m.mesh.MESH_points.data();
  const uint8_t first[12] = {0, 0, 1, 0, 1, 1, 0, 0, 1, 1, 0, 1};
  for (int j = 0; j < 12; ++j) EXPECT_EQ(p[j], first[j]) << j;
  // The last cell of a ring wraps to angle 0.
  const int k = 47;  // ring 0, angle 47
  EXPECT_EQ(p[(2 * k) * 6 + 5], 0);
  // Vertex positions stored Z, X, Y.
  const Vec3f v = m.mesh.point(0, 2, 0, 0);
  const float* tri = &m.mesh.MESH_tri[(static_cast<size_t>(0) * kMaxInstants + 2) * 4512 * 9];
  EXPECT_EQ(tri[0], v.z);
  EXPECT_EQ(tri[1], v.x);
  EXPECT_EQ(tri[2], v.y);
  // Normals are unit vectors pointing out of the ventricle at mid-cavity.
  const size_t n = MeshModel::node(0, 0, 18, 10);
  const float* nor = &m.mesh.MESH_nor[3 * n];
  const float* dir = &m.mesh.MESH_DIR[3 * n];
  EXPECT_NEAR(nor[0] * nor[0] + nor[1] * nor[1] + nor[2] * nor[2], 1.0f, 1e-4);
  EXPECT_GT(std::fabs(nor[0] * dir[0] + nor[1] * dir[1] + nor[2] * dir[2]), 0.8f);
}

TEST_F(BeatingHeart, AreaWeightingAndThreadsChangeNothingElse) {
  SyntheticHeart h = *heart;
  h.w.options.DEFAULT_Vpond = 0;
  ASSERT_TRUE(MAILLAGE_3D(h.in(), h.settings3d.model3d, h.m, nullptr, 1));
  EXPECT_EQ(h.m.mesh.MESH_ACT, h.m.mesh.MESH_act);
  EXPECT_EQ(h.m.mesh.MESH_DIS, heart->m.mesh.MESH_DIS);  // one thread, or every core: the same mesh
  EXPECT_NE(heart->m.mesh.MESH_ACT, heart->m.mesh.MESH_act);
}

TEST_F(BeatingHeart, PreviewGridAndItsFlags) {
  const MeshModel& mesh = heart->m.mesh;
  EXPECT_EQ(mesh.Nmeshtri_pre, 24 * 23 * 2);
  for (int t = 0; t < 8; ++t) EXPECT_EQ(heart->m.skel.UPDT_instant[1][t], 1);
  for (int a = 0; a < 24; ++a)
    EXPECT_GT(mesh.MESHpre_DIS[MeshModel::preNode(0, 0, a, 5)], 0.5f) << a;
}

TEST_F(BeatingHeart, CancelledWaitWindowLeavesNoModel) {
  SyntheticHeart h = *heart;
  ScriptedPlatform platform;
  platform.cancelProgress = true;
  EXPECT_FALSE(COMPUTE_MODEL_3D(h.in(), h.settings3d.model3d, h.w.settings.curves.TACFIT_switch, h.fitSettings, h.fit,
                                h.settings3d.ranges, h.m, platform, nullptr));
  EXPECT_EQ(h.m.mesh.mesh_valid, 0);
  EXPECT_EQ(platform.count("progress-begin"), 1);
  EXPECT_EQ(platform.count("progress-end"), 1);
}

TEST(MeanVect, PhasesAroundTheCycle) {
  EXPECT_NEAR(_MEAN_VECT_(10, 1, 20, 1, 30, 1), 20.0f, 1e-3);
  const float wrapped = _MEAN_VECT_(98, 1, 2, 1, 50, 0);
  EXPECT_TRUE(wrapped < 0.01f || wrapped > 99.99f) << wrapped;
  EXPECT_NEAR(_MEAN_VECT_(90, 3, 10, 1, 0, 0), 95.0f, 1.0f);
}

}  // namespace
}  // namespace quorvel::testing
