// The automatic placement on the digital phantom in a few poses. Its settings are applied by the
// re-orientation steps themselves to the phantom's own anatomy (left ventricle, right ventricle,
// atria), which must then lie where the segmentation looks for them; and it refuses what has no
// heart to place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "phantom/writers.h"
#include "segmentation/placement.h"
#include "segmentation/reorient.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

// Hearts besides the default one: what the placement was refused on before it read the septum
// from the blood pools.
enum class Heart { Default, WeakDilatedLeft, AkineticApexAtriaAgainstBase };

struct PoseCase {
  const char* name;
  double rotation, tilt, rows, columns, slices;  // degrees, mm
  bool mirror;
  Heart heart = Heart::Default;
  double tiltToleranceDeg = 6;
};

// Smaller and coarser than the default phantom, to keep the suite fast.
phantom::PhantomParams smallPhantom(const PoseCase& c) {
  phantom::PhantomParams p = phantom::defaultParams();
  p.slices = 48;
  p.supersample = 2;
  p.rotation_deg = c.rotation;
  p.tilt_deg = c.tilt;
  p.shift_row_mm = c.rows;
  p.shift_column_mm = c.columns;
  p.shift_slice_mm = c.slices;
  p.mirror_slices = c.mirror;
  if (c.heart == Heart::WeakDilatedLeft) {
    p.lv.edv_ml = 250, p.lv.ef_percent = 15, p.rv.edv_ml = 280, p.rv.ef_percent = 58;
    p.anatomy.lv_length_mm = 95, p.anatomy.septum_mm = 8, p.anatomy.base_descent_mm = 3;
  } else if (c.heart == Heart::AkineticApexAtriaAgainstBase) {
    p.anatomy.atrial_gap_mm = 0;
    p.lv_fault = {phantom::WallFault::Akinetic, 1, 0.4, 0.0};
  }
  return p;
}

// Where a structure's end-diastolic volume lies after the re-orientation, as shares of its mass.
struct Share {
  double leftOfSeptum = 0, aboveValves = 0;
};

class AutoPlacement : public SegmentationTest {
 protected:
  // The structures of instant 0 as three indicator "instants" (left ventricle, right ventricle,
  // both atria), turned by the first two steps with the proposal's settings.
  std::array<Share, 3> placeAnatomy(const phantom::PhantomParams& p, const Placement& pl) {
    std::array<double, phantom::kStructureCount> ml{};
    std::vector<uint8_t> dominant;
    phantom::voxeliseInstant(p, 0, ml, &dominant);
    const size_t n = dominant.size();
    StudyWorkspace anatomy;
    anatomy.study = blankStudy(3, p.slices, static_cast<float>(p.pixel_mm / 10), static_cast<float>(p.slice_mm / 10));
    for (size_t i = 0; i < n; ++i) {
      anatomy.study.DATA[i] = dominant[i] == phantom::kLV;
      anatomy.study.DATA[n + i] = dominant[i] == phantom::kRV;
      anatomy.study.DATA[2 * n + i] = dominant[i] == phantom::kLA || dominant[i] == phantom::kRA;
    }
    Segmentation none;
    SegmentationContext c{anatomy, none, platform, log, dir};
    ReorientSettings& r = anatomy.settings.reorient;
    r.recad_x = pl.recad_x, r.recad_y = pl.recad_y, r.recad_t = pl.recad_t, r.rotation = pl.rotation;
    EXPECT_EQ(FICH_VALIDATE(c), ReorientOutcome::StepValidated);
    selectStep(anatomy.settings.flow, 1);
    r.valves_angle = pl.valves_angle;
    EXPECT_EQ(FICH_VALIDATE(c), ReorientOutcome::StepValidated);
    std::array<Share, 3> out;
    for (int s = 0; s < 3; ++s) {
      double total = 0, left = 0, above = 0;
      for (size_t i = 0; i < n; ++i) {
        const double v = anatomy.study.DATA[s * n + i];
        const int row = static_cast<int>(i / kMatrix % kMatrix), col = static_cast<int>(i % kMatrix);
        total += v;
        left += col < pl.septum_plano ? v : 0;
        above += row < pl.valves_plano_ ? v : 0;
      }
      out[s] = {left / total, above / total};
    }
    return out;
  }
};

TEST_F(AutoPlacement, ProposalPutsTheAnatomyWhereTheSegmentationLooks) {
  const PoseCase cases[] = {
      {"default pose", 0, 0, 0, 0, 0, false},
      {"turned, tilted and shifted", 30, -15, 20, -25, 15, false},
      {"mirrored across the slices", -35, 18, -30, 30, -20, true},
      {"weak dilated left ventricle", 20, 10, 10, -10, 5, false, Heart::WeakDilatedLeft},
      // Atria against the base blur the valve plane's edge: the tilt is found 7 degrees off.
      {"akinetic apex, atria against the base", -15, -8, 0, 10, 0, false, Heart::AkineticApexAtriaAgainstBase, 8},
  };
  for (const PoseCase& c : cases) {
    SCOPED_TRACE(c.name);
    const phantom::PhantomParams p = smallPhantom(c);
    const phantom::Phantom ph = phantom::buildPhantom(p);
    loadPhantom(ph, w);
    const PlacementProposal proposal = proposePlacement(w.study);
    ASSERT_TRUE(proposal.proposed()) << proposal.why.en;
    EXPECT_GT(placementConfidence(proposal), 0.0);
    EXPECT_LE(placementConfidence(proposal), 1.0);
    const Placement& pl = proposal.placement;
    const auto pose = phantom::groundTruth(ph)["pose"];
    EXPECT_NEAR(pl.rotation * 180 / std::numbers::pi, pose["undo_rotation_rad"].get<double>() * 180 / std::numbers::pi,
                4.0);
    EXPECT_NEAR(pl.valves_angle, pose["undo_valves_angle_deg"].get<double>(), c.tiltToleranceDeg);
    EXPECT_EQ(pl.recad_t % 2, 0);
    EXPECT_GE(pl.recad_x - pl.recad_t / 2, 0);
    EXPECT_LE(pl.recad_y + pl.recad_t / 2, kMatrix);

    const std::array<Share, 3> at = placeAnatomy(p, pl);
    EXPECT_LT(at[0].leftOfSeptum, 0.05) << "left ventricle";
    EXPECT_GT(at[0].aboveValves, 0.95) << "left ventricle";
    EXPECT_GT(at[1].leftOfSeptum, 0.9) << "right ventricle";
    EXPECT_GT(at[1].aboveValves, 0.9) << "right ventricle";
    EXPECT_LT(at[2].aboveValves, 0.1) << "atria";
  }
}

TEST_F(AutoPlacement, RefusesWhatHasNoHeartToPlace) {
  EXPECT_EQ(proposePlacement(Study{}).status, PlacementStatus::NoStudy);
  const Study empty = blankStudy(8, 32);
  const PlacementProposal none = proposePlacement(empty);
  EXPECT_EQ(none.status, PlacementStatus::NoCounts);
  EXPECT_STRNE(none.why.fr, "");
  EXPECT_STRNE(none.why.en, "");

  // Organs and blood pools with their noise, but nothing beats: every instant is drawn afresh
  // from the same expected counts.
  phantom::PhantomParams p = smallPhantom({"still", 0, 0, 0, 0, 0, false});
  p.lv.ef_percent = p.rv.ef_percent = 0.01;
  p.anatomy.base_descent_mm = 0;
  loadPhantom(phantom::buildPhantom(p), w);
  // Its noise can stand out as much as a heart of EF 8 %: refused, or proposed without confidence.
  const PlacementProposal still = proposePlacement(w.study);
  if (still.proposed()) {
    EXPECT_LT(placementConfidence(still), kLowPlacementConfidence);
    EXPECT_NE(std::find(still.warnings.begin(), still.warnings.end(), PlacementWarning::WeakBeat), still.warnings.end());
  } else {
    EXPECT_EQ(still.status, PlacementStatus::NoBeat);
  }
  // Every instant the same: nothing beats at all.
  const size_t n = w.study.instantSize();
  for (int t = 1; t < w.study.Ninst; ++t) std::copy_n(w.study.DATA.begin(), n, w.study.DATA.begin() + t * n);
  const PlacementProposal frozen = proposePlacement(w.study);
  EXPECT_EQ(frozen.status, PlacementStatus::NoBeat);
  EXPECT_STREQ(frozen.why.en, "Nothing beats above the noise: the ventricles cannot be placed.");
}

// A thin septum under a wide blur leaves no valley between the pools: the septum line goes through
// the ventricles' centre, proposed without confidence so that a person places it.
TEST_F(AutoPlacement, PoolsWithoutAValleyAreProposedWithoutConfidence) {
  phantom::PhantomParams p = smallPhantom({"merged", 0, 0, 0, 0, 0, false});
  p.anatomy.septum_mm = 2;
  p.fwhm_mm = 35;
  loadPhantom(phantom::buildPhantom(p), w);
  const PlacementProposal merged = proposePlacement(w.study);
  ASSERT_TRUE(merged.proposed());
  EXPECT_EQ(merged.septumDepth, 0.0);
  EXPECT_EQ(placementConfidence(merged), 0.0);
  EXPECT_NE(std::find(merged.warnings.begin(), merged.warnings.end(), PlacementWarning::ShallowSeptum),
            merged.warnings.end());
}

// The confidence figure from the proposal's margins and strains.
TEST(PlacementConfidence, FallsWithTheMarginsAndTheStrains) {
  using W = PlacementWarning;
  const struct {
    double beatToNoise, septumDepth;
    std::vector<W> warnings;
    double expected;
  } kCases[] = {
      {24, 0.4, {}, 1.0},                 // both at four times their limit
      {15, 0.4, {}, 0.5},                 // the beat halfway
      {24, 0.25, {}, 0.5},                // the septum halfway
      {4, 0.4, {}, 0.0},                  // a beat under its confident limit
      {24, 0.4, {W::SquareFull}, 0.5},    // the ventricles overflow the square
      {24, 0.4, {W::SquareAtEdge}, 1.0},  // the lines stay on the crux
      {24, 0.4, {W::TiltAtLimit}, 0.0},   // the valve plane was out of reach
  };
  for (const auto& c : kCases) {
    PlacementProposal p;
    p.status = PlacementStatus::Proposed;
    p.beatToNoise = c.beatToNoise, p.septumDepth = c.septumDepth, p.warnings = c.warnings;
    EXPECT_NEAR(placementConfidence(p), c.expected, 1e-12) << c.beatToNoise << " " << c.septumDepth;
  }
  EXPECT_EQ(placementConfidence(PlacementProposal{}), 0.0);
}

}  // namespace
}  // namespace quorvel::testing
