// The sequences that run the segmentation, as the stage commands call them.
#include <gtest/gtest.h>

#include <set>

#include "base/language.h"

#include "segmentation/classification.h"
#include "segmentation/undo.h"
#include "segmentation/watershed.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

// Counts: two bright blocks above the valve line, one each side of the septum, on a dark field.
void twoVentricles(Study& s) {
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 1; z < s.NCZ - 1; ++z)
      for (int r = 12; r < 26; ++r) {
        for (int c = 38; c < 50; ++c) s.at(t, z, r, c) = 400.0f + 10 * t;  // left ventricle side
        for (int c = 14; c < 26; ++c) s.at(t, z, r, c) = 300.0f - 10 * t;  // right ventricle side
      }
}

class Commands : public SegmentationTest {
 protected:
  void SetUp() override {
    SegmentationTest::SetUp();
    w.study = blankStudy(8, 6);
    INIT_ACQ_PARAM(w.study, w.settings, w.options);
    w.settings.flow.stade_axis = 3;
    w.settings.flow.fich_axis = 2;
  }
  std::vector<uint16_t> labelsOf(int cls) const {
    std::vector<uint16_t> out;
    for (uint16_t l : seg.LPE)
      if (seg.CORR[l] == cls) out.push_back(l);
    return out;
  }
};

TEST_F(Commands, ValidatedStudyIsQuantisedSegmentedAndClassified) {
  twoVentricles(w.study);
  auto c = context();
  ASSERT_TRUE(segmentValidatedStudy(c).ok());
  EXPECT_EQ(w.settings.flow.segment_done, 1);
  EXPECT_FLOAT_EQ(w.study.datamax, 1000.0f);
  EXPECT_EQ(seg.LPE.size(), w.study.DATA.size());
  EXPECT_EQ(seg.CORR[seg.LPE[Segmentation::index(6, 3, 2, 20, 44)]], kClassLeft);
  EXPECT_EQ(seg.CORR[seg.LPE[Segmentation::index(6, 3, 2, 20, 20)]], kClassRight);
  EXPECT_EQ(seg.LPE[Segmentation::index(6, 3, 2, 40, 40)], 0);
  EXPECT_GT(platform.picturesChanged, 0);
}

TEST_F(Commands, TooManyRegionsRefusesAndRestoresTheCountsAndEverythingElse) {
  // Isolated bright voxels, each its own region: more than the label capacity.
  for (int t = 0; t < 8; t += 2)
    for (int r = 0; r < kMatrix; r += 2)
      for (int c = 0; c < kMatrix; c += 2) w.study.at(t, 2, r, c) = 50.0f + (r + c) % 7;
  w.study.datamax = 56.0f;
  w.study.datamin = 16.8f;
  const std::vector<float> counts = w.study.DATA;
  const PerStudySettings before = w.settings;
  seg.NREG = 7;  // whatever was there stays there
  auto c = context();
  const Status refused = segmentValidatedStudy(c);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.code(), RefusalCode::TooManyRegions);
  EXPECT_EQ(refused.refusal().fr.rfind("Dépassement nombre de régions !!  ", 0), 0u);
  EXPECT_NE(refused.refusal().fr.find("seuil"), std::string::npos);
  EXPECT_EQ(refused.refusal().en.rfind("Dépassement nombre de régions !!  ", 0), 0u);
  EXPECT_NE(refused.refusal().en.find("Raise the threshold"), std::string::npos);
  EXPECT_EQ(platform.count("warning"), 0);  // the command that asked shows it
  EXPECT_TRUE(w.study.DATA == counts);
  EXPECT_FLOAT_EQ(w.study.datamax, 56.0f);
  EXPECT_FLOAT_EQ(w.study.datamin, 16.8f);
  EXPECT_EQ(seg.NREG, 7);
  EXPECT_TRUE(seg.LPE.empty());
  EXPECT_EQ(w.settings.flow.segment_done, before.flow.segment_done);
  EXPECT_EQ(w.settings.flow.stade_axis, 3);
  EXPECT_EQ(w.settings.flow.fich_axis, 2);
}

TEST_F(Commands, CancelledSegmentationPutsEverythingBack) {
  twoVentricles(w.study);
  const std::vector<float> counts = w.study.DATA;
  platform.cancelProgress = true;
  auto c = context();
  const Status cancelled = segmentValidatedStudy(c);
  ASSERT_FALSE(cancelled.ok());
  EXPECT_EQ(cancelled.code(), RefusalCode::Cancelled);
  EXPECT_TRUE(w.study.DATA == counts);
  EXPECT_EQ(w.settings.flow.segment_done, 0);
  EXPECT_EQ(platform.count("progress-begin"), 1);
  EXPECT_EQ(platform.count("progress-end"), 1);
  platform.cancelProgress = false;
  ASSERT_TRUE(segmentValidatedStudy(c).ok());
  EXPECT_EQ(platform.count("progress-end"), 2);
}

TEST_F(Commands, ResegmentKeepsASnapshotAndClearsTheLocks) {
  twoVentricles(w.study);
  auto c = context();
  ASSERT_TRUE(segmentValidatedStudy(c).ok());
  const std::vector<uint16_t> automatic = seg.LPE;
  for (int l = 1; l <= seg.NREG; ++l) seg.CORR[l] = kClassOther;  // the user's corrections
  seg.SegLock[0][2] = 1;

  ASSERT_TRUE(resegmentStudy(c).ok());
  EXPECT_TRUE(seg.LPE == automatic);  // no new quantisation: the same flooding
  EXPECT_EQ(seg.SegLock[0][2], 0);   // locks cleared
  EXPECT_FALSE(labelsOf(kClassLeft).empty());
  EXPECT_EQ(w.settings.flow.UNDOseg_lev, 1);
  // The snapshot holds the corrected classes.
  Segmentation back = seg;
  ASSERT_EQ(LOAD_UNDO(kUndoSegmentationRing, dir, w.options, w.study, w.settings.limits, w.settings.flow, back), 1);
  for (int l = 1; l <= seg.NREG; ++l) EXPECT_EQ(back.CORR[l], kClassOther);
}

TEST_F(Commands, SplitRefloodsOneRegionIntoNewRegionsOfClassThree) {
  twoVentricles(w.study);
  auto c = context();
  ASSERT_TRUE(segmentValidatedStudy(c).ok());
  const int left = seg.LPE[Segmentation::index(6, 0, 2, 20, 44)];
  const int right = seg.LPE[Segmentation::index(6, 0, 2, 20, 20)];
  ASSERT_NE(left, right);
  // The user had joined both blocks into one region.
  for (uint16_t& l : seg.LPE)
    if (l == right) l = static_cast<uint16_t>(left);
  const int nreg = seg.NREG;
  w.settings.flow.segment_updt1 = w.settings.flow.segment_updt2 = 0;
  ASSERT_TRUE(splitRegion(c, left).ok());
  EXPECT_EQ(seg.NREG, nreg + 2);
  EXPECT_EQ(seg.CARD[left], 0);
  const int a = seg.LPE[Segmentation::index(6, 0, 2, 20, 44)], b = seg.LPE[Segmentation::index(6, 0, 2, 20, 20)];
  EXPECT_NE(a, b);
  EXPECT_GT(a, nreg);
  EXPECT_GT(b, nreg);
  EXPECT_EQ(seg.CORR[a], kClassOther);
  EXPECT_EQ(seg.CORR[b], kClassOther);
  EXPECT_EQ(w.settings.flow.segment_updt1, 1);
  EXPECT_EQ(w.settings.flow.segment_updt2, 1);
  EXPECT_EQ(w.settings.flow.UNDOseg_lev, 1);
  EXPECT_EQ(splitRegion(c, 0).code(), RefusalCode::NoRegion);
  EXPECT_EQ(splitRegion(c, seg.NREG + 1).code(), RefusalCode::NoRegion);
}

TEST_F(Commands, ReclassifyRestoresTheAutomaticClasses) {
  twoVentricles(w.study);
  auto c = context();
  ASSERT_TRUE(segmentValidatedStudy(c).ok());
  const Segmentation::ClassTable automatic = seg.CORR;
  for (int l = 1; l <= seg.NREG; ++l) seg.CORR[l] = kClassOther;
  reclassifyRegions(c);
  EXPECT_TRUE(seg.CORR == automatic);
  EXPECT_EQ(w.settings.flow.UNDOseg_lev, 1);
}

TEST_F(Commands, StatisticsRebuiltFromStoredLabelsMatchTheSegmentation) {
  twoVentricles(w.study);
  auto c = context();
  ASSERT_TRUE(segmentValidatedStudy(c).ok());
  Segmentation stored;
  stored.LPE = seg.LPE;
  stored.NREG = seg.NREG;
  stored.CORR = seg.CORR;
  Segmentation original = std::move(seg);
  seg = std::move(stored);
  rebuildRegionStatistics(c);
  EXPECT_TRUE(seg.CARD == original.CARD);
  EXPECT_TRUE(seg.RECOUP == original.RECOUP);
  EXPECT_TRUE(seg.RECOUP_Z == original.RECOUP_Z);
}

TEST_F(Commands, CommandsNeedASegmentation) {
  auto c = context();
  EXPECT_EQ(resegmentStudy(c).code(), RefusalCode::SegmentationMissing);
  EXPECT_EQ(splitRegion(c, 1).code(), RefusalCode::SegmentationMissing);
}

}  // namespace
}  // namespace quorvel::testing
