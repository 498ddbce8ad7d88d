// The 4D flooding: quantisation, the voxel decision and the order in which regions grow.
#include <gtest/gtest.h>

#include <set>

#include "segmentation/watershed.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

// A quantised study: every voxel at level 1 (background) unless set.
struct LevelStudy {
  Study s;
  Segmentation seg;
  LevelStudy(int Ninst, int NCZ) : s(blankStudy(Ninst, NCZ)) {
    for (float& v : s.DATA) v = 1.0f;
    seg.LPE.assign(s.DATA.size(), 0);
  }
  float& level(int t, int z, int r, int c) { return s.at(t, z, r, c); }
  uint16_t label(int t, int z, int r, int c) const { return seg.LPE[Segmentation::index(s.NCZ, t, z, r, c)]; }
  void setLabel(int t, int z, int r, int c, int l) { seg.LPE[Segmentation::index(s.NCZ, t, z, r, c)] = l; }
  FloodStatus flood(bool equilibrium = true, int T = 1, int Z = 1, int XY = 1) {
    TraceLog log;
    return SEGMENTE(0, T, Z, XY, -1, -1, s, {1000, equilibrium, 30}, seg, log);
  }
};

TEST(VoxelDecision, MostFrequentLabelWinsAndTiesGoToTheSmallerLabel) {
  LevelStudy st(8, 4);
  // Three voxels of label 5 and three of label 2 in the box of (t 0, z 1, row 10, col 10).
  st.setLabel(0, 0, 9, 9, 5), st.setLabel(0, 1, 9, 10, 5), st.setLabel(1, 2, 11, 11, 5);
  st.setLabel(0, 0, 11, 9, 2), st.setLabel(7, 1, 10, 11, 2), st.setLabel(1, 1, 10, 10, 2);
  EXPECT_EQ(DEF_REG(st.seg, 8, 4, 0, 1, 10, 10, 1, 1, 1), 2);
  st.setLabel(0, 2, 9, 11, 5);  // a fourth voxel of label 5
  EXPECT_EQ(DEF_REG(st.seg, 8, 4, 0, 1, 10, 10, 1, 1, 1), 5);
  // Outside the box (two instants, two rows away) nothing is seen.
  EXPECT_EQ(DEF_REG(st.seg, 8, 4, 3, 1, 10, 10, 1, 1, 1), -1);
  EXPECT_EQ(DEF_REG(st.seg, 8, 4, 0, 1, 12, 10, 1, 1, 1), 2);  // row 11: one of each, tie
  EXPECT_EQ(DEF_REG(st.seg, 8, 4, 0, 1, 13, 10, 1, 1, 1), -1);
}

TEST(VoxelDecision, InstantsCloseTheCycle) {
  LevelStudy st(8, 3);
  st.setLabel(7, 1, 20, 20, 4);
  EXPECT_EQ(DEF_REG(st.seg, 8, 3, 0, 1, 20, 20, 1, 1, 1), 4);  // instant 7 is next to instant 0
  EXPECT_EQ(DEF_REG(st.seg, 8, 3, 6, 1, 20, 20, 1, 1, 1), 4);
  EXPECT_EQ(DEF_REG(st.seg, 8, 3, 1, 1, 20, 20, 1, 1, 1), -1);
  // A wider box in instants reaches further round the cycle.
  EXPECT_EQ(DEF_REG(st.seg, 8, 3, 1, 1, 20, 20, 2, 1, 1), 4);
  // Slices do not wrap: slice 0 and the last slice are not neighbours.
  LevelStudy edge(8, 5);
  edge.setLabel(0, 4, 20, 20, 3);
  EXPECT_EQ(DEF_REG(edge.seg, 8, 5, 0, 0, 20, 20, 1, 1, 1), -1);
}

TEST(Flooding, DarkGapGivesTwoRegionsAndTheFirstInScanOrderIsLabelOne) {
  LevelStudy st(8, 6);
  for (int t = 0; t < 8; ++t)
    for (int z = 1; z < 5; ++z)
      for (int r = 20; r < 26; ++r) {
        for (int c = 10; c < 16; ++c) st.level(t, z, r, c) = 800;  // left blob
        for (int c = 30; c < 36; ++c) st.level(t, z, r, c) = 800;  // right blob, same level
      }
  ASSERT_EQ(st.flood(), FloodStatus::Done);
  EXPECT_EQ(st.seg.NREG, 2);
  EXPECT_EQ(st.label(0, 1, 20, 10), 1);  // seeded first: earlier column in the same row
  EXPECT_EQ(st.label(5, 3, 24, 14), 1);
  EXPECT_EQ(st.label(5, 3, 24, 33), 2);
  EXPECT_EQ(st.seg.CORR[1], kClassOther);
  EXPECT_EQ(st.label(0, 1, 20, 20), 0);  // background level stays unlabelled
}

TEST(Flooding, PlateauGrowsFromItsFirstVoxelAlsoAgainstTheScanOrder) {
  // A U-shaped plateau: its right arm can only be reached from the bottom row, which comes later
  // in the scan; the pass loop must still give the whole plateau one label.
  LevelStudy st(8, 1);
  for (int t = 0; t < 8; ++t) {
    for (int r = 10; r <= 30; ++r) st.level(t, 0, r, 10) = 600, st.level(t, 0, r, 20) = 600;
    for (int c = 10; c <= 20; ++c) st.level(t, 0, 30, c) = 600;
  }
  ASSERT_EQ(st.flood(), FloodStatus::Done);
  EXPECT_EQ(st.seg.NREG, 1);
  for (int t = 0; t < 8; ++t)
    for (int r = 10; r <= 30; ++r) ASSERT_EQ(st.label(t, 0, r, 20), 1) << t << " " << r;
}

TEST(Flooding, EachLevelMaySeedOnceAtItsStartThenOnlyWhenGrowthStalls) {
  LevelStudy st(8, 3);
  for (int t = 0; t < 8; ++t)
    for (int z = 0; z < 3; ++z)
      for (int r = 10; r < 20; ++r)
        for (int c = 10; c < 20; ++c) st.level(t, z, r, c) = (r == 15 && c == 15) ? 900 : 500;
  for (int t = 0; t < 8; ++t) st.level(t, 0, 2, 2) = 700;  // a separate, dimmer maximum
  ASSERT_EQ(st.flood(), FloodStatus::Done);
  EXPECT_EQ(st.label(0, 0, 15, 15), 1);  // the brightest level is flooded first
  EXPECT_EQ(st.label(7, 2, 15, 15), 1);
  EXPECT_EQ(st.label(0, 0, 2, 2), 2);
  // The rim's first voxel in scan order touches no region: the start of its level lets it seed.
  EXPECT_EQ(st.label(0, 0, 10, 10), 3);
  EXPECT_EQ(st.seg.NREG, 3);
  std::set<int> rim;
  for (int t = 0; t < 8; ++t)
    for (int r = 10; r < 20; ++r) rim.insert(st.label(t, 1, r, 19));
  EXPECT_TRUE(rim.count(1) + rim.count(3) == rim.size());
}

TEST(Flooding, EquilibriumLeavesLevelsAtOrBelowTheThresholdUnlabelled) {
  LevelStudy on(8, 2), off(8, 2);
  for (LevelStudy* st : {&on, &off})
    for (int t = 0; t < 8; ++t)
      for (int z = 0; z < 2; ++z)
        for (int c = 0; c < kMatrix; ++c) {
          st->level(t, z, 30, c) = 300;  // exactly 30 % of 1000: not flooded
          st->level(t, z, 31, c) = 301;
        }
  ASSERT_EQ(on.flood(true), FloodStatus::Done);
  ASSERT_EQ(off.flood(false), FloodStatus::Done);
  EXPECT_EQ(on.label(4, 1, 30, 7), 0);
  EXPECT_NE(on.label(4, 1, 31, 7), 0);
  EXPECT_EQ(on.label(4, 1, 50, 50), 0);
  size_t unlabelled = 0;
  for (uint16_t l : off.seg.LPE) unlabelled += l == 0;
  EXPECT_EQ(unlabelled, 0u);
}

TEST(Flooding, InstantsSevenAndZeroBelongToOneRegion) {
  LevelStudy st(8, 3);
  for (int t : {7, 0})
    for (int r = 20; r < 24; ++r)
      for (int c = 20; c < 24; ++c) st.level(t, 1, r, c) = t == 7 ? 900 : 800;
  ASSERT_EQ(st.flood(), FloodStatus::Done);
  EXPECT_EQ(st.seg.NREG, 1);
  EXPECT_EQ(st.label(0, 1, 21, 21), st.label(7, 1, 21, 21));
}

TEST(Flooding, SplitFloodsOneLabelAgainAndLeavesTheOthers) {
  LevelStudy st(8, 3);
  for (int t = 0; t < 8; ++t)
    for (int r = 20; r < 24; ++r) {
      for (int c = 10; c < 14; ++c) st.level(t, 1, r, c) = 800, st.setLabel(t, 1, r, c, 1);
      for (int c = 30; c < 34; ++c) st.level(t, 1, r, c) = 800, st.setLabel(t, 1, r, c, 1);
      for (int c = 40; c < 44; ++c) st.level(t, 1, r, c) = 800, st.setLabel(t, 1, r, c, 2);
    }
  st.seg.NREG = 2;
  TraceLog log;
  ASSERT_EQ(SEGMENTE(1, 1, 1, 1, -1, -1, st.s, {1000, true, 30}, st.seg, log), FloodStatus::Done);
  EXPECT_EQ(st.seg.NREG, 4);
  EXPECT_EQ(st.label(0, 1, 21, 11), 3);
  EXPECT_EQ(st.label(0, 1, 21, 31), 4);
  EXPECT_EQ(st.label(0, 1, 21, 41), 2);  // untouched
  // Restricted to one instant and slice, only those voxels are taken.
  ASSERT_EQ(SEGMENTE(4, 1, 1, 1, 2, 1, st.s, {1000, true, 30}, st.seg, log), FloodStatus::Done);
  EXPECT_EQ(st.label(2, 1, 21, 31), 4);  // joined its own region from instants 1 and 3
  EXPECT_EQ(st.seg.NREG, 4);
}

TEST(Flooding, MoreThanTheLabelCapacityIsReportedNotWritten) {
  // Isolated single bright voxels: every one needs its own seed.
  LevelStudy st(8, 1);
  int placed = 0;
  for (int t = 0; t < 8; t += 2)
    for (int z = 0; z < 1; ++z)
      for (int r = 0; r < kMatrix; r += 2)
        for (int c = 0; c < kMatrix; c += 2) st.level(t, z, r, c) = 900, ++placed;
  ASSERT_GT(placed, kMaxLabels);
  EXPECT_EQ(st.flood(), FloodStatus::RegionOverflow);
  EXPECT_EQ(st.seg.NREG, kMaxLabels);
}

TEST(Quantisation, LevelsSpanOneToEchAndNegativesAreClipped) {
  Study s = blankStudy(8, 2);
  s.at(0, 0, 0, 0) = -50.0f;
  s.at(3, 1, 5, 5) = 123.456f;
  s.at(7, 1, 63, 63) = 61.728f;
  Options opt;
  Segmentation seg;
  TraceLog log;
  RECH_IMAGE(s, opt, seg, log);
  EXPECT_FLOAT_EQ(s.at(3, 1, 5, 5), 1000.0f);
  EXPECT_EQ(static_cast<int>(s.at(3, 1, 5, 5)), 1000);
  EXPECT_NEAR(s.at(7, 1, 63, 63), 500.5f, 1e-3);
  EXPECT_FLOAT_EQ(s.at(0, 0, 0, 0), 1.0f);
  EXPECT_FLOAT_EQ(s.datamax, 1000.0f);
  EXPECT_FLOAT_EQ(s.datamin, 123.456f * 0.3f);
  for (float m : seg.struct_max) EXPECT_FLOAT_EQ(m, 1000.0f);
}

}  // namespace
}  // namespace quorvel::testing
