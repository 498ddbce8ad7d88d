// Re-orientation: the two resamplings, the step progression, the validation records and the
// mouse and key actions; then a rotated, tilted phantom brought back into the working pose.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <filesystem>
#include <numbers>

#include "base/scripted_platform.h"
#include "phantom/phantom.h"
#include "phantom/writers.h"
#include "segmentation/reorient.h"
#include "segmentation/reorient_texts.h"
#include "segmentation/segmentation_texts.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using O = ReorientOutcome;

class Reorient : public SegmentationTest {
 protected:
  void SetUp() override {
    SegmentationTest::SetUp();
    makeStudy(2, 24);
  }
  void makeStudy(int ninst, int ncz) {
    Study& s = w.study;
    s.Ninst = ninst;
    s.NCZ = ncz;
    s.VOXEL_SIZE_XY = s.VOXEL_SIZE_Z = 0.68f;
    s.DATA.assign(s.Ninst * s.instantSize(), 0.0f);
    fill([](int t, int z, int x, int y) { return float((x * 37 + y * 11 + z * 5 + t * 3) % 101) + 0.25f; });
  }
  template <typename F>
  void fill(F f) {
    Study& s = w.study;
    s.datamax = 0;
    for (int t = 0; t < s.Ninst; ++t)
      for (int z = 0; z < s.NCZ; ++z)
        for (int x = 0; x < kMatrix; ++x)
          for (int y = 0; y < kMatrix; ++y) s.datamax = std::max(s.datamax, s.at(t, z, x, y) = f(t, z, x, y));
  }
  O validate() {
    SegmentationContext c = context();
    return FICH_VALIDATE(c);
  }
  ReorientSettings& r() { return w.settings.reorient; }
  WorkflowState& flow() { return w.settings.flow; }
  // The projection the study's current DATA gives, for comparing with the one kept in the view.
  std::vector<int> freshProjection() {
    LongAxisProjection v;
    EVAL_VLA_PROJ(w.study, v, {w.study.seuillage, true, false});
    return v.VLONGAXIS;
  }
};

// ---- step 0 ------------------------------------------------------------------------------

TEST_F(Reorient, FullSquareWithoutRotationLeavesDataBitIdentical) {
  r().recad_t = 64;
  flow().UNDOseg_pos = 3, flow().UNDOseg_lev = 2;
  const std::vector<float> before = w.study.DATA;
  EXPECT_EQ(validate(), O::StepValidated);
  EXPECT_EQ(w.study.DATA, before);
  EXPECT_EQ(w.study.VOXEL_SIZE_XY, 0.68f);
  EXPECT_EQ(flow().stade_axis, 2);
  EXPECT_EQ(flow().fich_axis, 0);
  EXPECT_EQ(flow().UNDOseg_pos + flow().UNDOseg_lev, 0);
  EXPECT_EQ(w.projection.VLONGAXIS, freshProjection());
  EXPECT_GT(*std::max_element(w.projection.VLONGAXIS.begin(), w.projection.VLONGAXIS.end()), 0);
  EXPECT_EQ(platform.picturesChanged, 1);
}

TEST_F(Reorient, DefaultSquareDoublesTheSamplingAndHalvesTheVoxel) {
  const Study src = w.study;
  r().rotation = 0;
  ASSERT_EQ(validate(), O::StepValidated);
  // Output (r, q) reads source (16 + r / 2, 16 + q / 2): a voxel, or the mean of two or four.
  auto mean = [&](int t, int z, int r0, int r1, int q0, int q1) {
    return (src.at(t, z, r0, q0) + src.at(t, z, r0, q1) + src.at(t, z, r1, q0) + src.at(t, z, r1, q1)) / 4;
  };
  for (int t = 0; t < 2; ++t)
    for (int z : {0, 11, 23}) {
      EXPECT_FLOAT_EQ(w.study.at(t, z, 0, 0), src.at(t, z, 16, 16));
      EXPECT_FLOAT_EQ(w.study.at(t, z, 2, 4), src.at(t, z, 17, 18));
      EXPECT_FLOAT_EQ(w.study.at(t, z, 1, 0), mean(t, z, 16, 17, 16, 16));
      EXPECT_FLOAT_EQ(w.study.at(t, z, 7, 33), mean(t, z, 19, 20, 32, 33));
      EXPECT_FLOAT_EQ(w.study.at(t, z, 63, 63), mean(t, z, 47, 48, 47, 48));
    }
  EXPECT_FLOAT_EQ(w.study.VOXEL_SIZE_XY, 0.34f);
  EXPECT_EQ(r().recad_t, 64);
  EXPECT_EQ(r().recad_x, 32);
  EXPECT_EQ(r().recad_y, 32);
}

TEST_F(Reorient, QuarterTurnBringsTheRightSideToTheTop) {
  // Instant 0: a linear field (exact under bilinear sampling); instant 1: one marker voxel.
  fill([](int t, int, int x, int y) { return t == 0 ? float(x * 64 + y) : (x == 10 && y == 50 ? 100.0f : 0.0f); });
  r().recad_t = 64;
  r().rotation = std::numbers::pi_v<float> / 2;
  ASSERT_EQ(validate(), O::StepValidated);
  for (int x = 1; x < 64; ++x)
    for (int y = 0; y < 64; ++y) ASSERT_NEAR(w.study.at(0, 5, x, y), y * 64 + 64 - x, 0.01) << x << "," << y;
  double elsewhere = 0;
  for (int x = 0; x < 64; ++x)
    for (int y = 0; y < 64; ++y) elsewhere += (x == 14 && y == 10) ? 0 : w.study.at(1, 5, x, y);
  EXPECT_NEAR(w.study.at(1, 5, 14, 10), 100.0, 0.01);
  EXPECT_LT(elsewhere, 0.01);
}

TEST_F(Reorient, SourcesJustOffTheSliceExtrapolateAndFartherOnesGiveZero) {
  // Truncating -0.32 gives 0: rows 0 and 1 are taken, with weights 1.32 and -0.32.
  auto field = [](double x, double y) { return 10 * x + y + 1000; };
  fill([&](int, int, int x, int y) { return float(field(x, y)); });
  r().recad_t = 64;
  r().rotation = 0.01f;
  ASSERT_EQ(validate(), O::StepValidated);
  const double sn = std::sin(0.01f), cs = std::cos(0.01f);
  const double u = 32 - 32 * cs - 32 * sn, w0 = 32 + 32 * sn - 32 * cs;
  ASSERT_LT(u, 0);
  EXPECT_NEAR(w.study.at(0, 0, 0, 0), field(u, w0), 1e-3);
  makeStudy(2, 24);
  r().recad_t = 64;
  r().rotation = 0.2f;  // the corner now reads about 5.7 rows above the slice
  ASSERT_EQ(validate(), O::StepValidated);
  EXPECT_EQ(w.study.at(1, 7, 0, 0), 0.0f);
  EXPECT_GT(w.study.at(1, 7, 32, 32), 0.0f);
}

// ---- step 1 ------------------------------------------------------------------------------

TEST_F(Reorient, OppositeTiltsMoveTheUpperRowsOppositeWays) {
  const int h = w.study.NCZ / 2;
  fill([h](int, int z, int, int) { return z == h ? 100.0f : 0.0f; });
  const Study flat = w.study;
  auto meanSlice = [&](int row) {
    double m = 0, n = 0;
    for (int z = 0; z < w.study.NCZ; ++z) m += z * w.study.at(0, z, row, 20), n += w.study.at(0, z, row, 20);
    return m / n;
  };
  for (float angle : {1.0f, -1.0f}) {
    w.study = flat;
    flow().fich_axis = 1;
    r().valves_angle = angle;
    ASSERT_EQ(validate(), O::StepValidated);
    const double up = meanSlice(2) - h, down = meanSlice(62) - h;
    EXPECT_NEAR(up, -angle * 0.525, 0.05) << angle;  // 30 rows above the centre, tan(0.0175)
    EXPECT_NEAR(down, angle * 0.525, 0.05) << angle;
    EXPECT_NEAR(meanSlice(32), h, 1e-6);
  }
}

TEST_F(Reorient, TiltIsARotationInMillimetresAboutTheCentreSliceAndRow) {
  // A linear field is reproduced exactly by bilinear sampling, so the expected value is the
  // field at the rotated position, computed here with complex numbers in millimetres.
  auto field = [](double z, double x, double y) { return 3 * z + 2 * x + 5 * y + 50; };
  for (float sliceMm : {0.68f, 1.36f}) {
    makeStudy(1, 24);
    w.study.VOXEL_SIZE_Z = sliceMm;
    fill([&](int, int z, int x, int y) { return float(field(z, x, y)); });
    flow().fich_axis = 1;
    r().valves_angle = 10;
    ASSERT_EQ(validate(), O::StepValidated);
    const double xy = 0.68, h = 12;
    int checked = 0;
    for (int z = 0; z < 24; z += 3)
      for (int x = 0; x < 64; x += 7) {
        const std::complex<double> p((x - 32) * xy, (z - h) * sliceMm);
        const std::complex<double> src = p * std::polar(1.0, -10 * 0.0175);
        const double u = 32 + src.real() / xy, wz = h + src.imag() / sliceMm;
        if (u < 0 || wz < 0) {
          EXPECT_EQ(w.study.at(0, z, x, 9), 0.0f) << z << "," << x;
        } else if (u <= 63 && wz <= 23) {
          EXPECT_NEAR(w.study.at(0, z, x, 9), field(wz, u, 9), 1e-3) << z << "," << x << " k " << sliceMm / xy;
          ++checked;
        }
      }
    EXPECT_GT(checked, 30);
  }
}

TEST_F(Reorient, TiltOfAHundredthOfADegreeOrLessIsNotApplied) {
  const std::vector<float> before = w.study.DATA;
  flow().fich_axis = 1, flow().UNDOseg_lev = 4;
  r().valves_angle = 0.005f;
  EXPECT_EQ(validate(), O::StepValidated);
  EXPECT_EQ(w.study.DATA, before);
  EXPECT_EQ(flow().UNDOseg_lev, 0);
  EXPECT_EQ(r().valves_angle, 0.0f);
  EXPECT_EQ(flow().fich_axis, 2);
  EXPECT_EQ(flow().stade_axis, 3);
}

// ---- progression and records ---------------------------------------------------------------

TEST_F(Reorient, StepsBecomeReachableInOrderAndAResamplingDropsTheSegmentation) {
  nextStep(flow());
  EXPECT_EQ(flow().fich_axis, 0);
  EXPECT_FALSE(selectStep(flow(), 1));
  r().recad_t = 64;
  validate();
  EXPECT_EQ(flow().stade_axis, 2);
  nextStep(flow());
  EXPECT_EQ(flow().fich_axis, 1);
  validate();
  EXPECT_EQ(flow().stade_axis, 3);
  EXPECT_EQ(flow().fich_axis, 2);
  nextStep(flow());
  EXPECT_EQ(flow().fich_axis, 0);
  EXPECT_TRUE(selectStep(flow(), 2));
  EXPECT_FALSE(selectStep(flow(), 3));
  flow().fich_axis = 0;
  validate();  // a new crop asks for a new tilt
  EXPECT_EQ(flow().stade_axis, 2);
  // Once segmented, a resampling leaves labels that no longer fit the counts: they are dropped
  // with everything computed from them, and step 2 must be validated again.
  flow().stade_axis = 3, flow().segment_done = flow().vidange_done = flow().Previsu_OK = 1;
  flow().segment_updt1 = flow().segment_updt2 = 0;
  seg.LPE.assign(w.study.DATA.size(), 1);
  validate();
  EXPECT_EQ(flow().stade_axis, 2);
  EXPECT_EQ(flow().segment_done, 0);
  EXPECT_EQ(flow().vidange_done, 0);
  EXPECT_EQ(flow().Previsu_OK, 0);
  EXPECT_EQ(flow().segment_updt1, 1);
  EXPECT_EQ(flow().segment_updt2, 1);
  EXPECT_TRUE(seg.LPE.empty());
  EXPECT_EQ(r().records.N_list, 4);
}

TEST_F(Reorient, ValidationRecordsHoldTheSixValuesAndAReplayUsesThem) {
  const Study src = w.study;
  r().rotation = 0.3f, r().valves_angle = 7, r().recad_x = 30, r().recad_y = 34, r().recad_t = 40;
  ASSERT_EQ(validate(), O::StepValidated);
  const ValidationRecords& rec = r().records;
  EXPECT_EQ(rec.N_list, 1);
  EXPECT_EQ(rec.list_fich_axis[0], 0);
  EXPECT_EQ(rec.list_rotation[0], 0.3f);
  EXPECT_EQ(rec.list_valve_angle[0], 7.0f);
  EXPECT_EQ(rec.list_recad_x[0], 30);
  EXPECT_EQ(rec.list_recad_y[0], 34);
  EXPECT_EQ(rec.list_recad_t[0], 40);
  const Study once = w.study;

  // Replaying on the original counts, whatever the current settings, gives the same result.
  w.study = src;
  r().records.LIST_PROC = 1, r().records.C_list = 0;
  flow().fich_axis = 1, r().rotation = 1, r().recad_t = 20;
  ASSERT_EQ(validate(), O::StepValidated);
  EXPECT_EQ(w.study.DATA, once.DATA);
  EXPECT_EQ(w.study.VOXEL_SIZE_XY, once.VOXEL_SIZE_XY);
  EXPECT_EQ(flow().fich_axis, 0);
  EXPECT_EQ(r().records.N_list, 1);
}

TEST_F(Reorient, RefusedValidationsChangeNothing) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    O outcome;
    const Text* message;
  };
  const Case cases[] = {
      {"101st record", [&] { r().records.N_list = 100; }, O::RecordsFull, &reorient_texts::kRecordsFull},
      {"replay past the records", [&] { r().records.N_list = 1, r().records.LIST_PROC = 1, r().records.C_list = 1; },
       O::BadRecord, &reorient_texts::kBadRecord},
      {"replayed step 7", [&] { r().records.N_list = 1, r().records.LIST_PROC = 1, r().records.list_fich_axis[0] = 7; },
       O::BadRecord, &reorient_texts::kBadRecord},
      {"replayed square of side 0",
       [&] { r().records.N_list = 1, r().records.LIST_PROC = 1, r().records.list_recad_t[0] = 0; }, O::BadRecord,
       &reorient_texts::kBadRecord},
      {"replayed square off the slice",
       [&] {
         r().records = {}, r().records.N_list = 1, r().records.LIST_PROC = 1;
         r().records.list_recad_x[0] = 60, r().records.list_recad_y[0] = 32, r().records.list_recad_t[0] = 32;
       },
       O::BadRecord, &reorient_texts::kBadRecord},
      {"replayed rotation of 10 radians",
       [&] {
         r().records = {}, r().records.N_list = 1, r().records.LIST_PROC = 1;
         r().records.list_recad_x[0] = r().records.list_recad_y[0] = r().records.list_recad_t[0] = 32;
         r().records.list_rotation[0] = 10;
       },
       O::BadRecord, &reorient_texts::kBadRecord},
      {"replayed tilt of 60 degrees",
       [&] {
         r().records = {}, r().records.N_list = 1, r().records.LIST_PROC = 1;
         r().records.list_recad_x[0] = r().records.list_recad_y[0] = r().records.list_recad_t[0] = 32;
         r().records.list_fich_axis[0] = 1, r().records.list_valve_angle[0] = 60;
       },
       O::BadRecord, &reorient_texts::kBadRecord},
      {"tilt without slice size", [&] { w.study.VOXEL_SIZE_Z = 0, flow().fich_axis = 1, r().valves_angle = 5; },
       O::NoVoxelSize, &reorient_texts::kNoVoxelSize},
      {"too many regions",
       [&] {
         fill([](int t, int z, int x, int y) { return float((x * 7919 + y * 104729 + z * 1299709 + t * 31) % 997); });
         w.study.seuillage = 0, flow().fich_axis = 2, flow().stade_axis = 3;
       },
       O::SegmentationRefused, &segmentation_texts::kTooManyRegions},
  };
  for (const Case& c : cases) {
    w = StudyWorkspace{};
    makeStudy(2, 24);
    platform.calls.clear();
    platform.picturesChanged = 0;
    c.arrange();
    const StudyWorkspace before = w;
    EXPECT_EQ(validate(), c.outcome) << c.what;
    EXPECT_EQ(w.study.DATA, before.study.DATA) << c.what;
    EXPECT_EQ(w.study.VOXEL_SIZE_XY, before.study.VOXEL_SIZE_XY) << c.what;
    EXPECT_EQ(r().records.N_list, before.settings.reorient.records.N_list) << c.what;
    EXPECT_EQ(r().recad_t, before.settings.reorient.recad_t) << c.what;
    EXPECT_EQ(flow().stade_axis, before.settings.flow.stade_axis) << c.what;
    EXPECT_EQ(flow().fich_axis, before.settings.flow.fich_axis) << c.what;
    EXPECT_EQ(platform.picturesChanged, 0) << c.what;
    const auto refusal = refusalOf(c.outcome);
    ASSERT_EQ(refusal.has_value(), c.message != nullptr) << c.what;
    if (refusal) {
      EXPECT_EQ(refusal->fr, c.message->fr) << c.what;
      EXPECT_EQ(refusal->en, c.message->en) << c.what;
    }
    EXPECT_EQ(platform.count("warning"), 0) << c.what;  // shown by the command that asked
  }
}

// ---- mouse and keys ------------------------------------------------------------------------

TEST_F(Reorient, SquareShrinksToSixteenAndGrowsOnlyWhenClearOfTheBorder) {
  int shrinks = 0;
  while (shrinkSquare(r())) ++shrinks;
  EXPECT_EQ(shrinks, 8);
  EXPECT_EQ(r().recad_t, 16);
  int grows = 0;
  while (growSquare(r())) ++grows;
  EXPECT_EQ(r().recad_t, 62);  // 60 at centre 32 still clears row 63; 62 touches it
  EXPECT_EQ(grows, 23);
  auto grows32At = [&](int x, int y) {
    r().recad_t = 32, r().recad_x = x, r().recad_y = y;
    return growSquare(r());
  };
  EXPECT_FALSE(grows32At(16, 32));
  EXPECT_TRUE(grows32At(17, 32));
  EXPECT_TRUE(grows32At(32, 46));
  EXPECT_FALSE(grows32At(32, 47));
}

TEST_F(Reorient, PageKeysMoveTheLineOfTheStepAndCtrlTiltsWithinLimits) {
  EXPECT_TRUE(movePlaneLine(r(), 0, 1));
  EXPECT_EQ(r().septum_plano, 33);
  EXPECT_EQ(r().valves_plano_, 32);
  for (int i = 0; i < 40; ++i) movePlaneLine(r(), 0, 1);
  EXPECT_EQ(r().septum_plano, 60);
  EXPECT_FALSE(movePlaneLine(r(), 0, 1));
  for (int i = 0; i < 40; ++i) movePlaneLine(r(), 1, -1);
  EXPECT_EQ(r().valves_plano_, 4);
  EXPECT_FALSE(movePlaneLine(r(), 1, -1));
  EXPECT_FALSE(movePlaneLine(r(), 2, 1));
  EXPECT_FALSE(tiltValves(r(), 0, 1));
  for (int i = 0; i < 50; ++i) tiltValves(r(), 1, 1);
  EXPECT_EQ(r().valves_angle, 40.0f);
  for (int i = 0; i < 100; ++i) tiltValves(r(), 1, -1);
  EXPECT_EQ(r().valves_angle, -40.0f);
  EXPECT_EQ(r().septum_plano, 60);
}

TEST_F(Reorient, InfundibulumPlaneInStepTwoOnlyActsAsTheLimitCommand) {
  auto c = context();
  flow().fich_axis = 2;
  flow().segment_updt1 = flow().segment_updt2 = 0;
  w.settings.limits.limD_inf.fill(-1);
  w.settings.limits.limD_sup.fill(23);
  // A right-ventricle region on slices 5..20 with its brightest voxel on slice 8.
  seg.LPE.assign(w.study.DATA.size(), 0);
  seg.NREG = 1, seg.CORR[1] = kClassRight;
  for (int t = 0; t < 2; ++t)
    for (int z = 5; z <= 20; ++z) {
      seg.LPE[Segmentation::index(24, t, z, 10, 10)] = 1;
      w.study.at(t, z, 10, 10) = z == 8 ? 900.0f : 100.0f + z;
    }
  EXPECT_TRUE(setInfundibulumSlice(c, 14));
  EXPECT_EQ(flow().segment_updt1, 1);
  EXPECT_EQ(flow().segment_updt2, 1);
  EXPECT_FLOAT_EQ(seg.struct_max[kClassRight], 120.0f);  // slice 8 now lies below the plane
  EXPECT_EQ(r().infand_plane, 14);
  EXPECT_EQ(w.settings.limits.limD_inf[0], 14);
  EXPECT_EQ(w.settings.limits.limD_inf[1], 14);
  EXPECT_EQ(w.settings.limits.limD_inf[2], -1);  // beyond Ninst
  setInfundibulumSlice(c, -5);
  EXPECT_EQ(r().infand_plane, 0);
  setInfundibulumSlice(c, 99);
  EXPECT_EQ(r().infand_plane, 23);
  EXPECT_EQ(w.settings.limits.limD_inf[1], 23);
  w.options.REPROJ = 1;
  EXPECT_FALSE(setInfundibulumSlice(c, 14));
  w.options.REPROJ = 0, flow().fich_axis = 0;
  EXPECT_FALSE(setInfundibulumSlice(c, 14));
  EXPECT_EQ(r().infand_plane, 23);
}

// ---- phantom -------------------------------------------------------------------------------

double relativeL1(const std::vector<float>& a, const std::vector<float>& b) {
  double d = 0, n = 0;
  for (size_t i = 0; i < a.size(); ++i) d += std::fabs(a[i] - b[i]), n += std::fabs(b[i]);
  return d / n;
}

TEST_F(Reorient, RotatedTiltedPhantomComesBackToTheWorkingPose) {
  phantom::PhantomParams p = phantom::defaultParams(64);
  p.noise = false;
  p.anatomy.lung_blood_fraction = 0;  // compare the heart and organs, not the thorax edge
  const std::vector<float> want = phantom::buildPhantom(p).expected_ml;
  p.rotation_deg = 25;
  p.tilt_deg = 12;
  const phantom::Phantom moved = phantom::buildPhantom(p);
  const auto pose = phantom::groundTruth(moved)["pose"];
  auto undo = [&](double sign) {
    makeStudy(p.instants, p.slices);
    w.study.DATA = moved.expected_ml;
    w.settings = {};
    r().recad_t = 64;
    r().rotation = float(sign * pose["undo_rotation_rad"].get<double>());
    EXPECT_EQ(validate(), O::StepValidated);
    nextStep(flow());
    r().valves_angle = float(sign * pose["undo_valves_angle_deg"].get<double>());
    EXPECT_EQ(validate(), O::StepValidated);
    return relativeL1(w.study.DATA, want);
  };
  const double before = relativeL1(moved.expected_ml, want), after = undo(1), wrong = undo(-1);
  EXPECT_GT(before, 0.3);
  EXPECT_LT(after, 0.08) << "before " << before;
  EXPECT_GT(wrong, 4 * after);
}

TEST_F(Reorient, ValidatingTheThirdStepSegmentsTheDefaultPhantom) {
  const phantom::Phantom ph = phantom::buildPhantom(phantom::defaultParams(64));
  const auto files = phantom::writeAcquisitions(ph, dir, "ph", {phantom::OutputFormat::DicomExplicit});
  ASSERT_TRUE(readAcquisition(files.at(0), 1, w, log).ok());
  r().recad_t = 64;
  ASSERT_EQ(validate(), O::StepValidated);
  selectStep(flow(), 1);
  ASSERT_EQ(validate(), O::StepValidated);
  ASSERT_EQ(flow().fich_axis, 2);
  EXPECT_EQ(validate(), O::Segmented);
  EXPECT_EQ(flow().segment_done, 1);
  EXPECT_GT(seg.NREG, 0);
  EXPECT_EQ(r().records.N_list, 3);
  EXPECT_EQ(r().records.list_fich_axis[2], 2);
}

}  // namespace
}  // namespace quorvel::testing
