// The geometric frame on hand-made label volumes: BORD rules, valve planes (voxels, the valve
// line, a plane from a side contact), apex, barycentre slab, skeleton and tilt axes.
#include <gtest/gtest.h>

#include "model3d/mesh.h"
#include "model3d/model3d_commands.h"
#include "model3d/skeleton.h"
#include "synthetic_heart.h"

namespace quorvel::testing {
namespace {

constexpr int kLv = 1;  // label of the left ventricle, class 1
constexpr int kAt = 2;  // label of an atrium, class 3

// Left ventricle rows 10..25, columns 30..41, slices 4..15; atrium rows 26..31 below it, or
// beside it.
SyntheticHeart heartWithAtrium(int atriumFirstRow = 26, bool sideways = false) {
  SyntheticHeart h(1, 20);
  h.box(kLv, kClassLeft, 4, 15, 10, 25, 30, 41);
  if (sideways) {  // a triangle of contact on the lateral face, so that its normals do not cancel
    for (int z = 4; z <= 15; ++z) h.box(kAt, kClassOther, z, z, 12, 12 + (z - 4), 42, 47);
  }
  else h.box(kAt, kClassOther, 4, 15, atriumFirstRow, atriumFirstRow + 5, 30, 41);
  h.w.settings.reorient.valves_plano_ = 28;
  return h;
}

TEST(Bord, SurfaceInteriorLimitAndIsolatedRules) {
  SyntheticHeart h(1, 20);
  h.box(kLv, kClassLeft, 4, 15, 10, 25, 30, 41);
  h.box(3, kClassLeft, 10, 10, 50, 50, 10, 10);  // a lone voxel of the ventricle
  h.box(4, kClassRight, 11, 11, 0, 3, 5, 5);      // a line of voxels from row 0
  h.w.settings.limits.limG_inf[0] = 6;            // slices 4..5 lie outside the left ventricle
  BUILD_VISU_3D1(h.in(), h.m.skel);
  struct Case {
    int z, row, col, bord;
    const char* why;
  };
  const Case cases[] = {
      {10, 17, 35, 101, "inside the box"},      {10, 10, 35, 1, "on a face"},
      {6, 17, 35, 1, "on the lower limit slice"}, {5, 17, 35, 3, "outside the limits: class 3"},
      {10, 50, 10, 0, "isolated: removed"},      {11, 0, 5, 2, "row 0: always kept"},
      {11, 2, 5, 0, "a line off the border: removed"},
  };
  for (const Case& c : cases) EXPECT_EQ(h.m.skel.BORD[h.at(0, c.z, c.row, c.col)], c.bord) << c.why;
  EXPECT_EQ(h.m.skel.NPTS[1], 16 * 12 * 10 + 1);  // extents count classes before the surface rules
}

TEST(ValvePlane, FromValveVoxelsElseFromTheValveLine) {
  struct Case {
    const char* name;
    int atriumRow;
    bool sideways, rebuild;
    int source;
    float centreX;
  };
  // The valve line takes the two basal rows 24 and 25; the box's edges went as isolated voxels,
  // leaving 140 voxels on row 24 and 10 x 10 on row 25.
  const float basal = (140 * -8.0f + 100 * -7.0f) / 240;
  const Case cases[] = {
      {"atrium against the base", 26, false, true, kValveVoxels, -7.0f},
      {"band of background", 29, false, true, kValveLine, basal},
      {"contact on the side only", 0, true, true, kValveLine, basal},
      {"second run on marked voxels", 26, false, false, kValveLine, basal},
  };
  for (const Case& c : cases) {
    SyntheticHeart h = heartWithAtrium(c.atriumRow, c.sideways);
    BUILD_VISU_3D1(h.in(), h.m.skel);
    if (!c.rebuild) EVAL_VALVES_PLANES(h.in(), h.m.skel, kClassLeft, kClassLeft, 0, 0);
    EVAL_VALVES_PLANES(h.in(), h.m.skel, kClassLeft, kClassLeft, 0, 0);
    const SkeletonModel& sk = h.m.skel;
    EXPECT_EQ(sk.valve_source[1][0], c.source) << c.name;
    EXPECT_NEAR(sk.Sx0[1][0], c.centreX, 1e-4) << c.name;
    EXPECT_NEAR(sk.Sy0[1][0], 35.5f - 32, 1e-4) << c.name;
    EXPECT_NEAR(sk.dsx1[1][0], -1.0f, 1e-6) << c.name;
    EXPECT_NEAR(sk.dsy1[1][0], 0.0f, 1e-6) << c.name;
    EXPECT_NEAR(sk.dsz1[1][0], 0.0f, 1e-6) << c.name;
  }
  // The marked valve voxels carry v + 200.
  SyntheticHeart h = heartWithAtrium();
  BUILD_VISU_3D1(h.in(), h.m.skel);
  EVAL_VALVES_PLANES(h.in(), h.m.skel, kClassLeft, kClassLeft, 0, 0);
  EXPECT_EQ(h.m.skel.BORD[h.at(0, 10, 25, 35)], 201);
  EXPECT_EQ(h.m.skel.BORD[h.at(0, 10, 24, 35)], 101);
}

TEST(Apex, BeyondTheDistanceFractionAndTheMeanOfTheApexSideAtZero) {
  SyntheticHeart h = heartWithAtrium();
  BUILD_VISU_3D1(h.in(), h.m.skel);
  EVAL_VALVES_PLANES(h.in(), h.m.skel, kClassLeft, kClassLeft, 0, 0);  // centre on row 25: X = -7
  Model3DSettings set;
  set.APEX_dismax[1][0] = 0.0f;
  EVAL_SKEL_APEX(h.in(), set, h.m.skel, kClassLeft, kClassLeft, 0, 0);
  EXPECT_NEAR(h.m.skel.apexX[1][0], -14.5f, 1e-4);  // interior rows 11..24
  EXPECT_NEAR(h.m.skel.apexY[1][0], 35.5f - 32, 1e-4);
  set.APEX_dismax[1][0] = 0.8f;
  EVAL_SKEL_APEX(h.in(), set, h.m.skel, kClassLeft, kClassLeft, 0, 0);
  EXPECT_LT(h.m.skel.apexX[1][0], -18.0f);
  EXPECT_NEAR(h.m.skel.apexY[1][0], 35.5f - 32, 1e-4);
}

TEST(Barycentre, SlabIncludesBothBoundingPlanes) {
  SyntheticHeart h(1, 20);
  h.box(kLv, kClassLeft, 4, 15, 10, 26, 30, 41, 0.0f);
  // Counts on the valve plane (row 25), the apex plane (row 11) and just beyond each.
  for (int row : {10, 11, 25, 26})
    for (int z = 4; z <= 15; ++z)
      for (int c = 30; c <= 41; ++c) h.w.study.DATA[h.at(0, z, row, c)] = 100.0f;
  SkeletonModel& sk = h.m.skel;
  sk.Sx0[1][0] = -7, sk.apexX[1][0] = -21, sk.dsx1[1][0] = -1;
  EVAL_BARYCENTRES(h.in(), sk, 0, kClassLeft, kClassLeft, 0, 0);
  EXPECT_FLOAT_EQ(sk.bcx[1][0], -14.0f);
}

TEST(Skeleton, CurvatureWeightStraightAxisAndSamples) {
  struct Case {
    const char* name;
    float bcx, deriv;
    bool parabola;
  };
  const Case cases[] = {{"curved", -5, 1.0f, true}, {"straight", -5, 0.0f, false}, {"singular fit", 0, 1.0f, false}};
  for (const Case& c : cases) {
    SyntheticHeart h(1, 20);
    SkeletonModel& sk = h.m.skel;
    Model3DSettings set;
    set.Apex_deriv[1][0] = c.deriv;
    sk.Sx0[1][0] = 0, sk.Sy0[1][0] = 0, sk.Sz0[1][0] = 0;
    sk.bcx[1][0] = c.bcx, sk.bcy[1][0] = 2, sk.bcz[1][0] = 1;
    sk.apexX[1][0] = -10, sk.apexY[1][0] = 0, sk.apexZ[1][0] = 3;
    SKEL_DISCRETISE(h.in(), set, 48, sk, kClassLeft, kClassLeft, 0, 0);
    const Vec3f mid = EVAL_SKEL_COORD(sk, 0.5f, kClassLeft, 0), end = EVAL_SKEL_COORD(sk, 1.0f, kClassLeft, 0);
    EXPECT_NEAR(end.x, -10, 1e-5) << c.name;
    EXPECT_NEAR(end.z, 3, 1e-4) << c.name;
    if (c.parabola) {
      EXPECT_NEAR(mid.y, 2.0f, 1e-4) << c.name << ": through the barycentre";
    } else {
      EXPECT_EQ(sk.Cy2[1][0], 0.0f) << c.name;
      EXPECT_EQ(sk.Cz2[1][0], 0.0f) << c.name;
      EXPECT_NEAR(mid.y, 0.0f, 1e-5) << c.name << ": on the straight axis";
      EXPECT_NEAR(mid.z, 1.5f, 1e-5) << c.name;
    }
    // 36 equal arc-length intervals for 48 rings and the default apex distance, the last at the apex.
    const auto& s = sk.Skel_Discret[0][0];
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_GT(s[36], 0.99f) << c.name;
    EXPECT_LT(s[35], s[36]) << c.name;
    EXPECT_LT(sk.dsx2[1][0], 0.0f) << c.name << ": the apex direction leaves towards smaller X";
  }
  EXPECT_EQ(cylindricalRings(48, 0.8f), 36);
  EXPECT_EQ(cylindricalRings(24, 0.0f), 8);
  EXPECT_EQ(cylindricalRings(24, 1.3f), 22);  // clamped: two cap rings remain
}

TEST(ValveTilt, AxesArePerpendicularToTheNormalEvenWithoutAnXComponent) {
  for (Vec3f n : {Vec3f{-1, 0, 0}, Vec3f{-0.6f, 0.8f, 0}, Vec3f{0, 0.6f, 0.8f}, Vec3f{0, 1, 0}}) {
    Vec3f a0, a1;
    valveTiltAxes(n, a0, a1);
    for (Vec3f a : {a0, a1}) {
      EXPECT_NEAR(a.x * a.x + a.y * a.y + a.z * a.z, 1.0f, 1e-5) << n.x << " " << n.y << " " << n.z;
      EXPECT_NEAR(a.x * n.x + a.y * n.y + a.z * n.z, 0.0f, 1e-5) << n.x << " " << n.y << " " << n.z;
    }
  }
}

}  // namespace
}  // namespace quorvel::testing
