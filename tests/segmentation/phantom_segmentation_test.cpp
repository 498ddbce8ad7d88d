// The whole automatic road on the digital phantom: re-orientation steps, quantisation, flooding,
// pruning and classification, checked against the phantom's known ventricles.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "phantom/writers.h"
#include "segmentation/reorient.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

struct ClassVoxels {
  std::vector<long> left, right;
};

ClassVoxels countVentricles(const Study& s, const Segmentation& seg) {
  ClassVoxels out{std::vector<long>(s.Ninst, 0), std::vector<long>(s.Ninst, 0)};
  for (int t = 0; t < s.Ninst; ++t) {
    const size_t base = Segmentation::index(s.NCZ, t, 0, 0, 0);
    for (size_t i = base; i < base + s.instantSize(); ++i) {
      out.left[t] += seg.CORR[seg.LPE[i]] == kClassLeft;
      out.right[t] += seg.CORR[seg.LPE[i]] == kClassRight;
    }
  }
  return out;
}

class PhantomSegmentation : public SegmentationTest {
 protected:
  // The three steps with the default square (32 voxels about the centre) and the given pose undo.
  void reorientAndSegment(float rotation, float valvesAngle) {
    auto c = context();
    w.settings.reorient.rotation = rotation;
    ASSERT_EQ(FICH_VALIDATE(c), ReorientOutcome::StepValidated);
    ASSERT_TRUE(selectStep(w.settings.flow, 1));
    w.settings.reorient.valves_angle = valvesAngle;
    ASSERT_EQ(FICH_VALIDATE(c), ReorientOutcome::StepValidated);
    ASSERT_EQ(FICH_VALIDATE(c), ReorientOutcome::Segmented);
  }
};

TEST_F(PhantomSegmentation, DefaultSettingsFindBothVentriclesAtEveryInstant) {
  const phantom::Phantom ph = phantom::buildPhantom(phantom::defaultParams());
  loadPhantom(ph, w);
  reorientAndSegment(0, 0);
  ASSERT_LE(seg.NREG, kMaxLabels);
  const ClassVoxels v = countVentricles(w.study, seg);
  for (int t = 0; t < w.study.Ninst; ++t) {
    EXPECT_GT(v.left[t], 0) << "instant " << t;
    EXPECT_GT(v.right[t], 0) << "instant " << t;
  }
  // The regions reach down to the flooding threshold, so they hold the blurred rim as well:
  // at end-diastole they must lie between the true volume and 1.8 times it.
  const double voxelMl = w.study.VOXEL_SIZE_XY * w.study.VOXEL_SIZE_XY * w.study.VOXEL_SIZE_Z;
  const double leftTruth = ph.lv_true_ml[0] / voxelMl, rightTruth = ph.rv_true_ml[0] / voxelMl;
  EXPECT_GT(v.left[0], leftTruth);
  EXPECT_LT(v.left[0], 1.8 * leftTruth);
  EXPECT_GT(v.right[0], rightTruth);
  EXPECT_LT(v.right[0], 1.8 * rightTruth);
  // The regions follow the beat: their end-systole to end-diastole ratio is the truth's.
  const int es = 3;
  EXPECT_NEAR(double(v.left[es]) / v.left[0], ph.lv_true_ml[es] / ph.lv_true_ml[0], 0.08);
  EXPECT_NEAR(double(v.right[es]) / v.right[0], ph.rv_true_ml[es] / ph.rv_true_ml[0], 0.08);
}

TEST_F(PhantomSegmentation, RotatedAndTiltedPhantomUndoneByItsTruthGivesTheSameVentricles) {
  // Atria apart from the base: the comparison measures the pose, not where the watershed parts a
  // ventricle from the atrium touching it.
  phantom::PhantomParams p = phantom::defaultParams();
  p.anatomy.atrial_gap_mm = 16;
  const phantom::Phantom straight = phantom::buildPhantom(p);
  loadPhantom(straight, w);
  reorientAndSegment(0, 0);
  const ClassVoxels reference = countVentricles(w.study, seg);

  p.rotation_deg = 20;
  p.tilt_deg = -15;
  const phantom::Phantom moved = phantom::buildPhantom(p);
  const auto pose = phantom::groundTruth(moved)["pose"];
  w = StudyWorkspace{};
  seg = Segmentation{};
  loadPhantom(moved, w);
  reorientAndSegment(static_cast<float>(pose["undo_rotation_rad"].get<double>()),
                     static_cast<float>(pose["undo_valves_angle_deg"].get<double>()));
  const ClassVoxels found = countVentricles(w.study, seg);
  for (int t = 0; t < w.study.Ninst; ++t) {
    EXPECT_NEAR(found.left[t], reference.left[t], 0.12 * reference.left[t]) << "instant " << t;
    EXPECT_NEAR(found.right[t], reference.right[t], 0.12 * reference.right[t]) << "instant " << t;
  }
}

TEST_F(PhantomSegmentation, SixteenInstantsSegmentWithinTheLabelCapacity) {
  phantom::PhantomParams p = phantom::defaultParams();
  p.instants = 16;
  loadPhantom(phantom::buildPhantom(p), w);
  reorientAndSegment(0, 0);
  EXPECT_LE(seg.NREG, kMaxLabels);
  const ClassVoxels v = countVentricles(w.study, seg);
  for (int t = 0; t < 16; ++t) EXPECT_GT(v.left[t] * v.right[t], 0) << "instant " << t;
}

}  // namespace
}  // namespace quorvel::testing
