// The 3D model on phantoms of known anatomy: atria against the base or apart from it, an akinetic
// apex and a late lateral wall. Each case runs the whole road once and checks the mesh, the
// apex, the regional maps and, for a fault, where the sector maps show it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "base/language.h"
#include "model3d/bullseye.h"
#include "model3d/model3d_commands.h"
#include "model3d/regional.h"
#include "model3d/skeleton.h"
#include "model3d_fixture.h"

namespace quorvel::testing {
namespace {

struct Case {
  const char* name;
  double atrialGap;  // band between valve plane and atria; below 0 the phantom's default
  phantom::WallFaultParams fault;
};

std::ostream& operator<<(std::ostream& o, const Case& c) { return o << c.name; }

class PhantomModel : public ::testing::TestWithParam<Case> {};

// Sector means of the left ventricle for one layout.
std::string sectorLine(int layout, const SectorValues& values) {
  std::string s;
  for (int k = 1; k <= layout; ++k) s += " " + std::to_string(static_cast<int>(values[k] + 0.5f));
  return s;
}

TEST_P(PhantomModel, ClosedMeshesApexAndRegionalMaps) {
  const Case& c = GetParam();
  phantom::PhantomParams p = phantom::defaultParams();
  if (c.atrialGap >= 0) p.anatomy.atrial_gap_mm = c.atrialGap;
  p.lv_fault = c.fault;
  const auto a = analysePhantom(p);
  const Model3D& m = a->m;
  const MeshModel& mesh = m.mesh;
  const int Ninst = a->w.study.Ninst, A = mesh.mesh_samA, R = mesh.mesh_samR;

  // Closed meshes: beyond the valve ring every ray meets its ventricle, the pole is one point.
  for (int v = 0; v < 2; ++v)
    for (int t = 0; t < Ninst; ++t) {
      float shortest = 1e9f;
      for (int ring = 1; ring < A; ++ring)
        for (int r = 0; r < R; ++r) shortest = std::min(shortest, mesh.MESH_DIS[MeshModel::node(v, t, ring, r)]);
      EXPECT_GT(shortest, 0.5f) << "ventricle " << v << " instant " << t;
      const Vec3f pole = mesh.point(v, t, A - 1, 0), other = mesh.point(v, t, A - 1, R / 2);
      EXPECT_NEAR(pole.x, other.x, 1e-3);
    }

  // The left apex: across the long axis within one voxel of the true apex, along it inside the
  // apical fifth (the specified apex is the centroid of the cavity beyond 80 % of its length).
  const Vec3f tip = heartToModel(p, -p.anatomy.lv_length_mm, 0, 0);
  const auto truth = phantom::lvApexWorking(p);
  const float tipY = static_cast<float>(2 * (truth[1] - 16) - 32);
  for (int t = 0; t < Ninst; ++t) {
    const SkeletonModel& sk = m.skel;
    EXPECT_NEAR(sk.apexY[1][t], tipY, 1.0f) << "instant " << t;
    EXPECT_NEAR(sk.apexZ[1][t], tip.z, 1.0f) << "instant " << t;
    const float length = sk.Sx0[1][t] - tip.x;
    EXPECT_GT(sk.apexX[1][t], tip.x) << "instant " << t;
    EXPECT_LT(sk.apexX[1][t], tip.x + 0.25f * length) << "instant " << t;
  }

  // Regional maps of the left ventricle: no empty curve, the mean regional ejection fraction near
  // the global one, every node's end-systole near the phantom's.
  const RegionalMaps& maps = m.maps;
  EXPECT_EQ(maps.regional_empty_curves[0], 0);
  EXPECT_FALSE(tooManyEmptyCurves(m, 0));
  // With the valve line instead of valve voxels the regional mean comes out about 6 points low.
  EXPECT_NEAR(maps.mesh_fej_mean[0], a->curves.vc.G.FES, c.atrialGap < 0 ? 5.0 : 8.0);
  // End-systole within one instant of the truth at nearly every node: a few curves are erratic,
  // in the valve ring (it lies in the plane of the valve voxels, which give no distance) and in the
  // apical cap, whose curves move least.
  const float es = static_cast<float>(p.lv.es_phase_pct);
  const int nodes = (A - 1) * R;
  int outliers = 0;
  for (int ring = 0; ring < A - 1; ++ring)
    for (int r = 0; r < R; ++r) outliers += std::fabs(maps.MESH_TEJ[RegionalMaps::at(0, ring, r)] - es) > 12.5f;
  if (c.fault.kind == phantom::WallFault::None) {
    EXPECT_LT(outliers, nodes / 20);
  }

  // Sector 1 is the apex in every layout: exactly the polar-cap rings unroll into it.
  const int N = cylindricalRings(A, a->settings3d.model3d.APEX_dismax[1][0]);
  for (int layout : {13, 17, 19, 25})
    for (int ring = 0; ring < A; ++ring) {
      const float rho = static_cast<float>(A - 1 - ring) * 124.0f / static_cast<float>(A - 1);
      const int sector = sectorOf(static_cast<int>(125.5f + rho), 125, layout);
      EXPECT_EQ(sector == 1, ring >= N) << "layout " << layout << " ring " << ring;
    }

  // What the 17-sector maps of the left ventricle show.
  const BullsEye& eye = m.eye;
  std::printf("[%s] LV EF global %.1f regional %.1f +/- %.1f; ES %.1f +/- %.1f %% (truth %.0f), %d of %d nodes "
              "beyond one instant; RV EF global %.1f regional %.1f; empty curves LV %d RV %d; %s  EF "
              "sectors:%s\n  ES sectors:%s\n",
              c.name, a->curves.vc.G.FES, maps.mesh_fej_mean[0], maps.mesh_fej_std[0], maps.mesh_tej_mean[0],
              maps.mesh_tej_std[0], es, outliers, nodes,
              a->curves.vc.D.FES, maps.mesh_fej_mean[1], maps.regional_empty_curves[0], maps.regional_empty_curves[1],
              MODEL_3D_NOTES(m, 0, Ninst, kEnglish).c_str(), sectorLine(17, eye.mesh_smoy_fej[0]).c_str(),
              sectorLine(17, eye.mesh_smoy_tej[0]).c_str());
  const auto& fej = eye.mesh_smoy_fej[0];
  const auto& tej = eye.mesh_smoy_tej[0];
  switch (c.fault.kind) {
    case phantom::WallFault::None: {
      // One valve source per ventricle over the cycle: planes switching between the voxels and the
      // line move ring 0, which the regional curves would read as wall motion.
      std::array<int, 2> lineInstants{};
      for (int v = 0; v < 2; ++v) {
        for (int t = 0; t < Ninst; ++t) lineInstants[v] += m.skel.valve_source[v + 1][t] == kValveLine;
        EXPECT_TRUE(lineInstants[v] == 0 || lineInstants[v] == Ninst) << "ventricle " << v << ": " << lineInstants[v];
      }
      if (c.atrialGap < 0) {
        EXPECT_EQ(lineInstants[0], 0) << "atria near the base give valve voxels";
      } else {
        // A band of background leaves the valve line; a thin one a few valve voxels at some
        // instants, none at others.
        EXPECT_EQ(lineInstants[0], Ninst);
      }
      break;
    }
    case phantom::WallFault::Akinetic:
    case phantom::WallFault::Hypokinetic:
    case phantom::WallFault::Dyskinetic:
      // The faulty apex: sector 1 has the lowest ejection fraction.
      for (int k = 2; k <= 17; ++k) EXPECT_LT(fej[1], fej[k]) << "sector " << k;
      break;
    case phantom::WallFault::Late: {
      // The late wall: its sector ends systole later than the left ventricle's mean.
      EXPECT_GT(tej[c.fault.sector], maps.mesh_tej_mean[0]);
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Anatomies, PhantomModel,
    ::testing::Values(Case{"atria against the base", -1, {}}, Case{"band of background", 20.0, {}},
                      Case{"thin band of background", 12.0, {}},
                      Case{"akinetic apex", -1, {phantom::WallFault::Akinetic, 1, 0.35, 0.0}},
                      Case{"late lateral wall", -1, {phantom::WallFault::Late, 7, 0.3, 15.0}}),
    [](const ::testing::TestParamInfo<Case>& i) {
      std::string n = i.param.name;
      std::replace(n.begin(), n.end(), ' ', '_');
      return n;
    });

// The C/S slider at its top leaves no voxel strictly beyond the largest distance from the valve
// plane: the apex is then the farthest voxels and the notes say so, never the model's origin.
TEST(PhantomModelApex, SliderAtItsTopTakesTheFarthestVoxels) {
  const auto a = analysePhantom(phantom::defaultParams(), /*full=*/false);
  const ModelInputs in = a->inputs();
  Model3D& m = a->m;
  const int Ninst = a->w.study.Ninst;
  const Vec3f below{m.skel.apexX[1][0], m.skel.apexY[1][0], m.skel.apexZ[1][0]};
  PREVIEW_SLIDER_CS(in, a->settings3d.model3d, m, kClassLeft, 0, kCsSliderScale);
  PREV_UNIFORM_CS(in, a->settings3d.model3d, m, kClassLeft);
  for (int t = 0; t < Ninst; ++t) {
    EXPECT_EQ(m.skel.apex_source[1][t], kApexFarthest) << "instant " << t;
    const Vec3f apex{m.skel.apexX[1][t], m.skel.apexY[1][t], m.skel.apexZ[1][t]};
    EXPECT_LT(apex.x, m.skel.Sx0[1][t] - 10.0f) << "instant " << t;  // well beyond the valve plane
  }
  // At the first instant, within a few voxels of the apex the default fraction found.
  EXPECT_NEAR(m.skel.apexX[1][0], below.x, 4.0f);
  EXPECT_NEAR(m.skel.apexY[1][0], below.y, 4.0f);
  EXPECT_NEAR(m.skel.apexZ[1][0], below.z, 4.0f);
  EXPECT_NE(MODEL_3D_NOTES(m, 0, Ninst, kEnglish).find("Apex : farthest voxels at instants 1, 2"), std::string::npos);
}

TEST(PhantomModelThreads, RegionalFitsGiveTheSameMapsOnOneOrTwoThreads) {
  const auto a = analysePhantom(phantom::defaultParams(), /*full=*/true, /*threads=*/2);
  Model3D single = a->m;
  TacFitWork fit = a->curves.fit;
  TacFitSettings settings = a->curves.settings;
  MapRanges ranges = a->settings3d.ranges;
  ASSERT_TRUE(CALCUL_3D(a->inputs(), a->w.settings.curves.TACFIT_switch, settings, fit, ranges, single, nullptr, nullptr,
                        1));
  for (auto member : {&RegionalMaps::MESH_FEJ, &RegionalMaps::MESH_TEJ, &RegionalMaps::MESH_PER,
                      &RegionalMaps::MESH_PFR, &RegionalMaps::MESH_TPER, &RegionalMaps::MESH_TPFR})
    EXPECT_EQ(single.maps.*member, a->m.maps.*member);
  EXPECT_EQ(single.maps.histo_fej, a->m.maps.histo_fej);
  EXPECT_EQ(single.eye.mesh_smoy_tej, a->m.eye.mesh_smoy_tej);
  EXPECT_EQ(settings.TACFIT_ITER, a->w.options.TACFIT_ITvol);  // left at the regional iteration count
}

}  // namespace
}  // namespace quorvel::testing
