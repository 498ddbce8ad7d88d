// Region sizes and contacts, pruning of small regions, classification and per-class maxima.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "segmentation/classification.h"
#include "segmentation/region_stats.h"
#include "segmentation/corrections.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

struct Labels {
  int Ninst, NCZ;
  Segmentation seg;
  Labels(int n, int z) : Ninst(n), NCZ(z) { seg.LPE.assign(static_cast<size_t>(n) * z * kSliceVoxels, 0); }
  uint16_t& at(int t, int z, int r, int c) { return seg.LPE[Segmentation::index(NCZ, t, z, r, c)]; }
  // A box of label l over instants [t0, t1], slices [z0, z1], rows [r0, r1], columns [c0, c1].
  void box(int l, int t0, int t1, int z0, int z1, int r0, int r1, int c0, int c1) {
    for (int t = t0; t <= t1; ++t)
      for (int z = z0; z <= z1; ++z)
        for (int r = r0; r <= r1; ++r)
          for (int c = c0; c <= c1; ++c) at(t, z, r, c) = static_cast<uint16_t>(l);
    seg.NREG = std::max(seg.NREG, l);
  }
  void stats(int prune) {
    TraceLog log;
    RECOUP_CLASS(prune, Ninst, NCZ, seg, log);
  }
};

TEST(RegionStatistics, CountsOnlyInnerVoxelsAndTheirEightNeighbours) {
  Labels L(8, 3);
  L.box(1, 0, 0, 1, 1, 10, 10, 10, 11);  // two voxels side by side at instant 0, middle slice
  L.box(2, 0, 0, 0, 0, 0, 0, 5, 5);      // on the outer ring: never counted
  L.stats(0);
  EXPECT_EQ(L.seg.CARD[1], 2);
  EXPECT_EQ(L.seg.CARD[2], 0);
  // Each voxel: one neighbour of its own label, five background spatial, two background in time.
  EXPECT_EQ(L.seg.RECOUP(1, 1), 2);
  EXPECT_EQ(L.seg.RECOUP(1, 0), 14);
  EXPECT_EQ(L.seg.RECOUP_Z(1, 1), 2);
  EXPECT_EQ(L.seg.RECOUP_Z(1, 0), 10);
}

TEST(RegionStatistics, FirstAndLastSlicesCountThemselvesAndInstantsWrap) {
  Labels L(8, 2);
  L.box(3, 7, 7, 0, 0, 20, 20, 20, 20);
  L.box(4, 0, 0, 0, 0, 20, 20, 20, 20);
  L.stats(0);
  // Slice below the first counts as the voxel itself; the slice above is background.
  EXPECT_EQ(L.seg.RECOUP_Z(3, 3), 1);
  EXPECT_EQ(L.seg.RECOUP_Z(3, 0), 5);
  // Instant 7 touches instant 0 (next) and instant 6 (previous, background); time is not spatial.
  EXPECT_EQ(L.seg.RECOUP(3, 4), 1);
  EXPECT_EQ(L.seg.RECOUP(4, 3), 1);
  EXPECT_EQ(L.seg.RECOUP_Z(3, 4), 0);
}

TEST(Pruning, ThirtyOneVoxelsMergeIntoTheMainNeighbourThirtyTwoStay) {
  Labels L(8, 4);
  L.box(1, 0, 7, 0, 3, 10, 19, 10, 19);  // large
  L.box(2, 0, 0, 1, 1, 20, 20, 10, 40);  // 31 voxels under region 1's last row: merged into 1
  L.box(3, 0, 0, 1, 1, 40, 40, 10, 40);  // 31 voxels touching nothing: background
  L.box(4, 0, 0, 1, 1, 50, 50, 10, 41);  // 32 voxels: stays
  L.stats(1);
  EXPECT_EQ(L.at(0, 1, 20, 12), 1);
  EXPECT_EQ(L.at(0, 1, 40, 12), 0);
  EXPECT_EQ(L.at(0, 1, 50, 12), 4);
  EXPECT_EQ(L.seg.CARD[2], 0);
  EXPECT_EQ(L.seg.CARD[3], 0);
  EXPECT_EQ(L.seg.CARD[4], 32);
  EXPECT_EQ(L.seg.CARD[1], 8 * 4 * 100 + 31);
  EXPECT_EQ(L.seg.NREG, 4);  // labels are never renumbered
}

TEST(Pruning, MergesIntoTheMostTouchedNeighbourTiesToTheSmaller) {
  Labels L(8, 3);
  L.box(1, 0, 7, 0, 2, 5, 14, 5, 14);
  L.box(2, 0, 7, 0, 2, 5, 14, 25, 34);
  // 3 x 3 voxels at instant 0 between the two, touching 1 on one column face and 2 on none.
  L.box(3, 0, 0, 1, 1, 6, 8, 15, 17);
  // Touching both equally: 1 on its left face, 2 on its right face.
  L.box(5, 0, 0, 1, 1, 10, 12, 15, 24);
  L.box(4, 0, 7, 0, 2, 30, 39, 5, 14);  // large, elsewhere
  L.stats(1);
  EXPECT_EQ(L.at(0, 1, 7, 16), 1);
  EXPECT_EQ(L.at(0, 1, 11, 20), 1);  // tie between 1 and 2 goes to 1
}

TEST(Pruning, TablesAfterEachMergeEqualAFullRecount) {
  // Many small regions merging in chains: the incremental tables must be a recount's.
  Labels L(8, 6);
  int l = 0;
  for (int t = 0; t < 8; ++t)
    for (int z = 0; z < 6; ++z)
      for (int r = 1; r < 60; r += 3)
        for (int c = 1; c < 60; c += 7) {
          ++l;
          if (l > kMaxLabels) break;
          L.box(l, t, t, z, z, r, r + 2 - (l % 2), c, c + 6 - (l % 3));
        }
  L.box(kMaxLabels, 0, 7, 2, 3, 30, 40, 30, 40);
  L.stats(1);
  Labels fresh = L;
  fresh.stats(0);
  EXPECT_TRUE(fresh.seg.CARD == L.seg.CARD);
  EXPECT_TRUE(fresh.seg.RECOUP == L.seg.RECOUP);
  EXPECT_TRUE(fresh.seg.RECOUP_Z == L.seg.RECOUP_Z);
  int small = 0;
  for (int k = 1; k <= L.seg.NREG; ++k) small += L.seg.CARD[k] > 0 && L.seg.CARD[k] < kPruneMinimum;
  EXPECT_EQ(small, 0);
}

struct Classified : Labels {
  Study s = blankStudy(8, 4);
  PerStudySettings set;
  Classified() : Labels(8, 4) {
    for (float& v : s.DATA) v = 500.0f;
    for (int t = 0; t < 8; ++t) set.limits.limG_sup[t] = set.limits.limD_sup[t] = 3;
  }
  void classify() {
    stats(0);
    TraceLog log;
    SEGMENT_EVAL(s, set.reorient, set.limits, set.flow, seg, log);
  }
};

TEST(Classification, MeanRowAndColumnAgainstTheValveAndSeptumLines) {
  Classified C;
  C.box(1, 0, 7, 0, 3, 10, 20, 35, 50);  // above the valves, right of the septum: left ventricle
  C.box(2, 0, 7, 0, 3, 10, 20, 14, 24);  // left of the septum: right ventricle
  C.box(3, 0, 7, 0, 3, 10, 20, 30, 34);  // mean column exactly on the septum: neither
  C.box(4, 0, 7, 0, 3, 40, 50, 40, 50);  // below the valve line: neither
  C.box(5, 0, 7, 0, 3, 26, 38, 40, 50);  // mean row 32, on the valve line: neither
  C.classify();
  EXPECT_EQ(C.seg.CORR[1], kClassLeft);
  EXPECT_EQ(C.seg.CORR[2], kClassRight);
  EXPECT_EQ(C.seg.CORR[3], kClassOther);
  EXPECT_EQ(C.seg.CORR[4], kClassOther);
  EXPECT_EQ(C.seg.CORR[5], kClassOther);
  EXPECT_EQ(C.set.flow.segment_updt1, 1);
  EXPECT_EQ(C.set.flow.segment_updt2, 1);
  // Moving the septum line changes the verdict (region 3 touches region 1 widely).
  C.set.reorient.septum_plano = 31;
  C.classify();
  EXPECT_EQ(C.seg.CORR[3], kClassLeft);
}

// Two left-ventricle regions meeting face to face on `contacts` voxel pairs at one instant.
void twoTouchingRegions(Classified& C, int contacts) {
  C.box(1, 0, 7, 0, 3, 10, 25, 40, 50);  // large
  C.box(2, 0, 0, 1, 1, 10, 10 + contacts - 1, 51, 56);
}

TEST(Classification, TwelveContactsKeepRegionsApartThirteenJoinThem) {
  Classified twelve, thirteen;
  twoTouchingRegions(twelve, 12);
  twoTouchingRegions(thirteen, 13);
  twelve.classify();
  thirteen.classify();
  ASSERT_EQ(twelve.seg.RECOUP_Z(2, 1), 12);
  EXPECT_EQ(twelve.seg.CORR[1], kClassLeft);
  EXPECT_EQ(twelve.seg.CORR[2], kClassOther);  // separate and smaller: excluded
  EXPECT_EQ(thirteen.seg.CORR[1], kClassLeft);
  EXPECT_EQ(thirteen.seg.CORR[2], kClassLeft);
}

TEST(Classification, ContactsSummedOverInstantsAndEqualComponentsBothKept) {
  Classified C;
  C.box(1, 0, 7, 0, 3, 10, 25, 40, 50);
  // 4 contacts at each of 4 instants: 16 in all joins them.
  C.box(2, 0, 3, 1, 1, 10, 13, 51, 53);
  C.classify();
  EXPECT_EQ(C.seg.CORR[2], kClassLeft);

  Classified equal;
  equal.box(1, 0, 7, 0, 3, 5, 10, 40, 45);
  equal.box(2, 0, 7, 0, 3, 20, 25, 50, 55);  // same size, not touching
  equal.box(3, 0, 7, 0, 3, 5, 10, 10, 15);   // right ventricle, alone
  equal.classify();
  EXPECT_EQ(equal.seg.CORR[1], kClassLeft);
  EXPECT_EQ(equal.seg.CORR[2], kClassLeft);
  EXPECT_EQ(equal.seg.CORR[3], kClassRight);
}

// A large region and a smaller one apart from it on the left ventricle's side; the small one's
// counts beat by 200, the large one's by `largeBeat` in the same phase.
TEST(Classification, AGroupThatHardlyBeatsIsNoVentricleHoweverLarge) {
  const struct {
    float largeBeat;
    int largeClass, smallClass;
  } kCases[] = {{0.0f, kClassOther, kClassLeft},    // an organ at rest
                {3.0f, kClassOther, kClassLeft},    // beats, under a quarter of the other's beat
                {8.0f, kClassOther, kClassLeft},    // 42 % of it in all, 4 % per voxel
                {60.0f, kClassLeft, kClassOther}};  // both beat: the larger is kept
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.largeBeat);
    Classified C;
    C.box(1, 0, 7, 0, 3, 5, 25, 40, 55);  // 1344 voxels at every instant
    C.box(2, 0, 7, 0, 3, 5, 12, 57, 60);  // 128
    for (int t = 0; t < 8; ++t)
      for (int z = 0; z < 4; ++z)
        for (int r = 5; r <= 25; ++r)
          for (int c = 40; c <= 60; ++c) {
            const float wave = static_cast<float>(std::cos(2 * std::numbers::pi * t / 8));
            if (c <= 55) C.s.at(t, z, r, c) = 500.0f + k.largeBeat * wave;
            else if (c >= 57 && r <= 12) C.s.at(t, z, r, c) = 500.0f + 200.0f * wave;
          }
    C.classify();
    EXPECT_EQ(C.seg.CORR[1], k.largeClass);
    EXPECT_EQ(C.seg.CORR[2], k.smallClass);
  }
}

TEST(ClassMaxima, LevelsPerClassWithSliceLimitsAndCopies) {
  Classified C;
  C.box(1, 0, 7, 0, 3, 10, 20, 40, 50);
  C.box(2, 0, 7, 0, 3, 10, 20, 14, 24);
  C.s.at(2, 3, 15, 45) = 950.7f;  // left ventricle, slice 3
  C.s.at(2, 1, 15, 45) = 800.0f;
  C.s.at(5, 2, 15, 20) = 700.0f;  // right ventricle
  C.s.at(0, 0, 60, 60) = 600.0f;  // background
  C.classify();
  EXPECT_FLOAT_EQ(C.seg.struct_max[1], 950.0f);
  EXPECT_FLOAT_EQ(C.seg.struct_max[2], 700.0f);
  EXPECT_FLOAT_EQ(C.seg.struct_max[0], 600.0f);
  EXPECT_FLOAT_EQ(C.seg.struct_max[3], 825.0f);
  EXPECT_FLOAT_EQ(C.seg.struct_max[4], 950.0f);
  EXPECT_FLOAT_EQ(C.seg.struct_max[18], 700.0f);
  EXPECT_FLOAT_EQ(C.seg.struct_max[19], 825.0f);
  // With slice 3 outside the left ventricle's limits at instant 2, its voxel counts as class 3.
  C.set.limits.limG_sup[2] = 2;
  EVAL_STRUC_MAX(C.s, C.set.limits, C.seg);
  EXPECT_FLOAT_EQ(C.seg.struct_max[1], 800.0f);
  EXPECT_FLOAT_EQ(C.seg.struct_max[3], 750.0f);  // the mean replaces the class-3 maximum
}

// ---- a small study: the contact counts of a slice-only assignment ----------------------------

TEST(EnclosedRegions, OnePassThatSeesItsOwnChangesAndTakesTheOtherVentricleToo) {
  Labels L(2, 3);
  L.box(1, 0, 1, 1, 1, 5, 7, 10, 19);   // the left ventricle
  L.box(2, 0, 1, 1, 1, 2, 6, 20, 20);   // class 3, touching only the ventricle...
  L.box(2, 0, 1, 1, 1, 0, 0, 21, 21);   // ...and, on the uncounted outer ring, over region 3
  L.box(3, 0, 1, 1, 1, 1, 1, 21, 21);   // class 3, touching only region 2 (one way: the ring)
  L.box(4, 0, 1, 1, 1, 8, 9, 10, 12);   // the right ventricle, touching only the left one
  L.box(5, 0, 1, 1, 1, 5, 7, 8, 9);     // class 3 between the ventricle and region 6
  L.box(6, 0, 1, 1, 1, 5, 7, 6, 7);     // class 3
  L.stats(0);
  ASSERT_GT(L.seg.RECOUP(3, 2), 0);
  ASSERT_EQ(L.seg.RECOUP(2, 3), 0);
  L.seg.CORR = {};
  L.seg.CORR[1] = kClassLeft, L.seg.CORR[4] = kClassRight;
  L.seg.CORR[2] = L.seg.CORR[3] = L.seg.CORR[5] = L.seg.CORR[6] = kClassOther;
  TraceLog log;
  ADD_IN_REGS(kClassLeft, L.seg, log);
  EXPECT_EQ(L.seg.CORR[2], kClassLeft);
  EXPECT_EQ(L.seg.CORR[3], kClassLeft) << "region 2, changed earlier in the pass, counts as the ventricle";
  EXPECT_EQ(L.seg.CORR[4], kClassLeft) << "a region of the other ventricle is absorbed too";
  EXPECT_EQ(L.seg.CORR[5], kClassOther) << "it also touches a class-3 region";
  EXPECT_EQ(L.seg.CORR[6], kClassOther);
}

TEST_F(SegmentationTest, SliceOnlyAssignmentKeepsExactContactsWithTwoInstants) {
  // Two instants: the previous and next instant are the same one. Slice 0: its missing lower
  // neighbour counts as the voxel itself.
  w.study = blankStudy(2, 3);
  w.study.DATA.assign(w.study.DATA.size(), 500.0f);
  seg.LPE.assign(w.study.DATA.size(), 0);
  seg.AFFECT.assign(w.study.DATA.size(), 0);
  for (int t = 0; t < 2; ++t)
    for (int z = 0; z < 3; ++z)
      for (int r = 10; r < 30; ++r)
        for (int col = 10; col < 40; ++col)
          seg.LPE[Segmentation::index(3, t, z, r, col)] = col < 20 ? 1 : (col < 30 ? 2 : 3);
  seg.NREG = 3;
  seg.CORR = {};
  seg.CORR[1] = seg.CORR[2] = seg.CORR[3] = kClassOther;
  TraceLog quiet;
  RECOUP_CLASS(0, 2, 3, seg, quiet);
  w.settings.limits.limG_sup.fill(2);
  w.settings.limits.limD_sup.fill(2);
  w.study.instant = 1;
  auto c = context();
  CHOOSE_REG(c, kClassLeft, SliceVoxel{0, 15, 25}, true);  // label 2
  ASSERT_EQ(seg.NREG, 4);
  EXPECT_EQ(seg.CORR[4], kClassLeft);
  Segmentation fresh = seg;
  RECOUP_CLASS(0, 2, 3, fresh, quiet);
  EXPECT_EQ(seg.CARD, fresh.CARD);
  EXPECT_TRUE(seg.RECOUP == fresh.RECOUP);
  EXPECT_TRUE(seg.RECOUP_Z == fresh.RECOUP_Z);
  EXPECT_EQ(seg.CARD[4], 20 * 10);
}

}  // namespace
}  // namespace quorvel::testing
