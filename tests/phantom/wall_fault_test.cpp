// The regional wall-motion fault of the left ventricle and the atria that follow the valve plane.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numbers>

#include "phantom/phantom.h"
#include "phantom/writers.h"

namespace quorvel::phantom {
namespace {

double lvMl(const PhantomParams& p, int t) {
  std::array<double, kStructureCount> ml{};
  voxeliseInstant(p, t, ml);
  return ml[kLV];
}

TEST(WallFault, TruthNamesTheSectorsOfEveryLayout) {
  PhantomParams p = defaultParams();
  p.lv_fault = {WallFault::Akinetic, 1, 0.35, 15.0};
  nlohmann::json sectors = groundTruth(buildPhantom(p))["lv_wall_fault"]["sectors"];
  for (const char* layout : {"13", "17", "19", "25"}) {
    const auto affected = sectors[layout]["affected_sectors"];
    ASSERT_EQ(affected.size(), 1u) << layout;  // the apex disc, not half of any ring sector
    EXPECT_EQ(affected[0], 1) << layout;
    EXPECT_NEAR(sectors[layout]["share_in_fault"]["2"].get<double>(), 0.3, 0.05) << layout;
  }
  // A mid-ring region centred on sector 7 of the 17-sector layout.
  p.lv_fault = {WallFault::Late, 7, 0.3, 15.0};
  const std::vector<double> share = faultShareBySector(p, 17);
  EXPECT_GT(share[7], 0.8);
  EXPECT_EQ(share[1], 0.0);
  EXPECT_EQ(share[10], 0.0);  // the opposite wall
  // The sector rule: angle 0 (along the slices) is the first sector of each ring.
  EXPECT_EQ(bullseyeSector(0.6, 0.0, 17), 6);
  EXPECT_EQ(bullseyeSector(0.6, std::numbers::pi / 3, 17), 7);
  EXPECT_EQ(bullseyeSector(0.9, 0.0, 25), 18);
  EXPECT_EQ(bullseyeSector(0.2, 2.0, 13), 1);
  EXPECT_EQ(bullseyeSector(1.01, 0.0, 17), 0);
}

TEST(WallFault, FaultyRegionsHoldBackBloodByTheirKind) {
  PhantomParams healthy = defaultParams();
  const int es = 3;  // 35 % of the cycle at 8 instants: instant 3 is nearest
  PhantomParams akinetic = healthy, late = healthy;
  akinetic.lv_fault = {WallFault::Akinetic, 1, 0.4, 0.0};
  late.lv_fault = {WallFault::Late, 7, 0.4, 20.0};
  // End-diastole is untouched; at end-systole the faulty wall holds back blood.
  EXPECT_NEAR(lvMl(akinetic, 0), lvMl(healthy, 0), 0.5);
  EXPECT_GT(lvMl(akinetic, es), lvMl(healthy, es) + 3.0);
  EXPECT_NEAR(lvMl(late, 0), lvMl(healthy, 0), 0.5);
  EXPECT_GT(lvMl(late, es), lvMl(healthy, es) + 1.0);
  // A hypokinetic region holds back part of what an akinetic one does; a dyskinetic one more.
  PhantomParams hypo = akinetic, dys = akinetic;
  hypo.lv_fault.kind = WallFault::Hypokinetic;
  dys.lv_fault.kind = WallFault::Dyskinetic;
  EXPECT_NEAR(lvMl(dys, 0), lvMl(healthy, 0), 0.5);
  EXPECT_GT(lvMl(hypo, es), lvMl(healthy, es) + 1.0);
  EXPECT_LT(lvMl(hypo, es), lvMl(akinetic, es) - 1.0);
  EXPECT_GT(lvMl(dys, es), lvMl(akinetic, es) + 1.0);
  EXPECT_EQ(validate(late), "");  // a valid delay is accepted ...
  late.lv_fault.delay_pct = 60.0;  // ... one that ends systole past 90 % is refused
  EXPECT_NE(validate(late), "");
}

// A band of the right free wall: end-diastole untouched, the band's blood held back at end-systole
// by its kind (hypokinetic < akinetic < dyskinetic), each third of the wall in turn.
TEST(WallFault, RightFreeWallBandsHoldBackBloodByTheirKind) {
  const PhantomParams healthy = defaultParams();
  auto rvMl = [](const PhantomParams& p, int t) {
    std::array<double, kStructureCount> ml{};
    voxeliseInstant(p, t, ml);
    return ml[kRV];
  };
  const int es = 3;
  const double edHealthy = rvMl(healthy, 0), esHealthy = rvMl(healthy, es);
  for (int segment : {2, 4, 6}) {
    std::array<double, 3> held{};  // hypokinetic, akinetic, dyskinetic
    const WallFault kinds[] = {WallFault::Hypokinetic, WallFault::Akinetic, WallFault::Dyskinetic};
    for (int k = 0; k < 3; ++k) {
      PhantomParams p = healthy;
      p.rv_fault = {kinds[k], segment, 0.35};
      ASSERT_EQ(validate(p), "") << segment;
      EXPECT_NEAR(rvMl(p, 0), edHealthy, 0.5) << segment;
      held[k] = rvMl(p, es) - esHealthy;
    }
    EXPECT_GT(held[0], 1.0) << segment;
    EXPECT_GT(held[1], held[0] + 1.0) << segment;
    EXPECT_GT(held[2], held[1] + 1.0) << segment;
  }
  // The band follows the long axis: a basal band lies nearer the valve plane than an apical one.
  PhantomParams p = healthy;
  p.rv_fault = {WallFault::Akinetic, 2, 0.3};
  const double u0 = -(p.anatomy.lv_length_mm + p.anatomy.septum_mm + p.anatomy.rv_apex_extra_mm);
  EXPECT_EQ(rvFreeWallFaultWeight(p, u0 * 1.0 / 6), 1.0);  // the basal third's centre
  EXPECT_EQ(rvFreeWallFaultWeight(p, u0 * 5.0 / 6), 0.0);  // the apical third
  const struct {
    WallFault kind;
    int segment;
    double size;
  } refused[] = {{WallFault::Late, 4, 0.3}, {WallFault::Akinetic, 3, 0.3}, {WallFault::Akinetic, 4, 0.0}};
  for (const auto& r : refused) {
    p.rv_fault = {r.kind, r.segment, r.size};
    EXPECT_NE(validate(p), "") << r.segment << " " << r.size;
  }
}

TEST(Atria, FollowTheValvePlane) {
  // The atria keep their distance from the descending base: at end-systole the atrium voxels
  // nearest the apex lie as far beyond the valve plane as at end-diastole.
  for (double gap : {8.0, 20.0}) {
    PhantomParams p = defaultParams();
    p.anatomy.atrial_gap_mm = gap;
    std::array<double, kStructureCount> ml{};
    std::vector<uint8_t> label;
    std::array<int, 2> nearest{};
    for (int k = 0; k < 2; ++k) {
      voxeliseInstant(p, k == 0 ? 0 : 3, ml, &label);
      int row = 64;
      for (size_t i = 0; i < label.size(); ++i)
        if (label[i] == kLA) row = std::min(row, static_cast<int>((i / 64) % 64));
      nearest[k] = row;
    }
    EXPECT_LE(nearest[1], nearest[0] - 1) << gap;  // moved towards the apex with the base
  }
}

}  // namespace
}  // namespace quorvel::phantom
