#include <gtest/gtest.h>

#include <numeric>

#include "base/language.h"
#include "study/view_data.h"
#include "study/study_model.h"
#include "study/timing.h"
#include "base/scripted_platform.h"
#include "study_fixture.h"

using namespace quorvel;
using namespace quorvel::testing;

class LoadingTest : public StudyTest {
 protected:
  // A study whose instant 0 holds the largest count, so that no rotation happens.
  GatedStudy diastoleFirst() {
    GatedStudy g;
    g.value = [](int t, int, int, int) { return static_cast<int16_t>(100 - t); };
    return g;
  }
};

TEST_F(LoadingTest, SixtyFourMatrixIsCopiedUnchanged) {
  GatedStudy g = diastoleFirst();
  g.value = [](int t, int z, int x, int y) { return static_cast<int16_t>(1000 - t * 10 + z + x + y); };
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  EXPECT_EQ(w.study.seg_affmin, 0);
  EXPECT_EQ(w.study.Inst_telesys, 7);
  for (int t : {0, 7})
    for (int z : {0, 3})
      EXPECT_EQ(w.study.at(t, z, 5, 9), static_cast<float>(1000 - t * 10 + z + 5 + 9));
}

TEST_F(LoadingTest, LargeMatrixIsCroppedAroundTheCentroidWithTheManualShift) {
  GatedStudy g = diastoleFirst();
  g.rows = g.columns = 128;
  // A bright block centred on row 90, column 20; the rest empty.
  g.value = [](int t, int, int x, int y) {
    return static_cast<int16_t>((std::abs(x - 90) <= 2 && std::abs(y - 20) <= 2) ? 100 - t : 0);
  };
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  // Row origin 90 - 8 - 32 = 50; column origin 20 + 8 - 32 < 0 -> 0.
  EXPECT_EQ(w.study.at(0, 0, 90 - 50, 20), 100.0f);
  EXPECT_EQ(w.study.at(0, 0, 90 - 50 - 3, 20), 0.0f);
  // A window running past the image edge is filled with zeros: a block on rows 120..127 and
  // columns 60..64 puts the row origin at 124 - 8 - 32 = 84, the column origin at 62 + 8 - 32 = 38.
  GatedStudy edge = g;
  edge.value = [](int t, int, int x, int y) {
    return static_cast<int16_t>((x >= 120 && y >= 60 && y <= 64) ? 100 - t : 0);
  };
  StudyWorkspace e;
  ASSERT_TRUE(read(write("edge.dcm", edge.file()), e).ok());
  EXPECT_EQ(e.study.at(0, 0, 120 - 84, 60 - 38), 100.0f);
  EXPECT_EQ(e.study.at(0, 0, 127 - 84, 64 - 38), 100.0f);
  for (int x = 128 - 84; x < 64; ++x) EXPECT_EQ(e.study.at(0, 0, x, 62 - 38), 0.0f) << x;
  EXPECT_EQ(e.study.at(0, 0, 119 - 84, 62 - 38), 0.0f);
}

TEST_F(LoadingTest, SmallMatrixIsCentredWithAZeroBorder) {
  GatedStudy g = diastoleFirst();
  g.rows = g.columns = 32;
  g.value = [](int t, int, int x, int y) { return static_cast<int16_t>(50 + x + y - t); };
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  EXPECT_EQ(w.study.at(0, 0, 15, 15), 0.0f);
  EXPECT_EQ(w.study.at(0, 0, 16, 16), 50.0f);
  EXPECT_EQ(w.study.at(0, 0, 47, 47), 50.0f + 31 + 31);
  EXPECT_EQ(w.study.at(0, 0, 48, 30), 0.0f);
  EXPECT_EQ(w.study.at(0, 0, 30, 48), 0.0f);
}

TEST_F(LoadingTest, SixteenInstantsAreRebinnedByPairs) {
  GatedStudy g;
  g.instants = 16;
  g.value = [](int t, int, int, int) { return static_cast<int16_t>(200 - t); };
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  EXPECT_EQ(w.study.Ninst, 8);
  EXPECT_NEAR(w.study.CYCLE, 2 * 60000.0f / (16 * 72), 1e-3);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(w.study.at(k, 0, 0, 0), static_cast<float>(400 - 4 * k - 1)) << k;

  // The re-crop of stage 1 re-reads the file as it is: still 8 re-binned instants, CYCLE not doubled again.
  w.study.mantrans_x += 2;
  ASSERT_TRUE(LOAD_TOMO_DATA(0, w, log, notices).ok());
  EXPECT_EQ(w.study.Ninst, 8);
  EXPECT_NEAR(w.study.CYCLE, 2 * 60000.0f / (16 * 72), 1e-3);
  EXPECT_EQ(w.study.at(3, 0, 0, 0), 400.0f - 13);

  StudyWorkspace keep;
  keep.options.RECH_8 = 0;
  ASSERT_TRUE(read(dir / "a.dcm", keep).ok());
  EXPECT_EQ(keep.study.Ninst, 16);
  EXPECT_EQ(keep.study.at(15, 0, 0, 0), 185.0f);
}

TEST_F(LoadingTest, CycleIsRotatedToEndDiastole) {
  const struct {
    int totals[8];
    int first, endSystole;
  } cases[] = {
      {{50, 60, 70, 90, 80, 40, 30, 45}, 3, 3},  // the first instant lies low in the cycle's range
      // A late-diastolic total just above the first's: the acquisition starts at end-diastole.
      {{200, 180, 150, 170, 190, 198, 202, 201}, 0, 2},
  };
  for (const auto& c : cases) {
    GatedStudy g;
    g.value = [&](int t, int, int, int) { return static_cast<int16_t>(c.totals[t]); };
    ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
    for (int t = 0; t < 8; ++t)
      EXPECT_EQ(w.study.at(t, 1, 2, 3), static_cast<float>(c.totals[(t + c.first) % 8])) << c.first << " " << t;
    EXPECT_EQ(w.study.Inst_telesys, c.endSystole);
  }

  // Totals above ten million still give an end-systole.
  Study big;
  big.Ninst = 8;
  big.NCZ = 40;
  big.Inst_telesys = 99;
  big.DATA.assign(big.Ninst * big.instantSize(), 0.0f);
  for (int t = 0; t < 8; ++t)
    std::fill_n(&big.DATA[t * big.instantSize()], big.instantSize(), t == 5 ? 100.0f : 200.0f);
  DATA_TRANSLATION(big);
  EXPECT_EQ(big.Inst_telesys, 5);
}

TEST_F(LoadingTest, RescaleIntervalAndStartSlice) {
  GatedStudy g = diastoleFirst();
  g.slope = "2";
  g.intercept = "10";
  g.value = [](int t, int z, int, int) { return static_cast<int16_t>(z == 2 ? 5 + (t == 0) : 1); };
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  EXPECT_EQ(w.study.at(1, 2, 0, 0), 20.0f);  // 5 x 2 + 10
  EXPECT_EQ(w.study.coupe, 2);
  EXPECT_EQ(w.study.datamax, 22.0f);
  EXPECT_FLOAT_EQ(w.study.datamin, 0.3f * 22.0f);

  // Without a slope in the file nothing is rescaled, the intercept included.
  GatedStudy plain = g;
  plain.slope.clear();
  StudyWorkspace p;
  ASSERT_TRUE(read(write("b.dcm", plain.file()), p).ok());
  EXPECT_EQ(p.study.at(1, 2, 0, 0), 5.0f);

  Study s;
  s.Ninst = 8;
  s.NCZ = 1;
  s.seuillage = 30;
  s.DATA.assign(8 * 4096, -3.0f);
  s.DATA[17] = 1000;
  EVAL_DATA_INTERVAL(s, log);
  EXPECT_EQ(s.datamax, 1000.0f);
  EXPECT_EQ(s.datamin, 300.0f);
  EXPECT_EQ(s.DATA[0], 0.0f);
}

TEST_F(LoadingTest, HeadFirstLongAxisSlicesAreReversed) {
  GatedStudy g = diastoleFirst();
  g.slices = 5;
  g.position = "HFS";
  g.value = [](int t, int z, int, int) { return static_cast<int16_t>(100 - t + 10 * z); };
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  EXPECT_EQ(w.study.patient_orientation, 0);
  EXPECT_EQ(w.study.at(0, 0, 0, 0), 140.0f);
  EXPECT_EQ(w.study.at(0, 2, 0, 0), 120.0f);  // the middle slice of an odd count stays
  EXPECT_EQ(w.study.at(0, 4, 0, 0), 100.0f);
}

TEST_F(LoadingTest, ShortAxisSlicesAreTransposed) {
  GatedStudy g = diastoleFirst();
  g.slices = 3;
  g.position = "HFS";  // head-first short axis: no reversal
  g.value = [](int t, int z, int x, int y) { return static_cast<int16_t>(1000 - t + 100 * z + x + 0 * y); };
  w.options.short_axis = 1;
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  EXPECT_EQ(w.study.NCZ, 64);
  EXPECT_EQ(w.study.OrImSize_H, 3);
  // File (t, z, x, y) lands at slice 63 - x, row z, then the 3-row image is centred among 64 rows.
  const int rowOrigin = (3 - 64) / 2;  // -30
  EXPECT_EQ(w.study.at(0, 63 - 10, 1 - rowOrigin, 7), 1000.0f + 100 + 10);
  EXPECT_EQ(w.study.at(0, 63 - 10, 0, 7), 0.0f);
}

TEST(StudyReset, InitAcqParamUsesTheNewSliceCount) {
  StudyRecord s;
  s.NCZ = 40;
  PerStudySettings set;
  set.flow.IDB_loaded = 1;
  set.limits.limG_inf[3] = 7;
  set.reorient.rotation = 1.5f;
  Options opt;
  opt.LANGUE = kEnglish;
  INIT_ACQ_PARAM(s, set, opt);
  EXPECT_EQ(s.coupe, 20);
  EXPECT_EQ(s.seuillage, 30);
  for (int t = 0; t < kMaxInstants; ++t) {
    EXPECT_EQ(set.limits.limG_sup[t], 39);
    EXPECT_EQ(set.limits.limD_sup[t], 39);
    EXPECT_EQ(set.limits.limG_inf[t], 0);
  }
  EXPECT_EQ(set.reorient.rotation, 0.0f);
  EXPECT_EQ(set.flow.IDB_loaded, 1);
  EXPECT_EQ(set.flow.comment, "Comments : ");
  EXPECT_EQ(set.curves.TACFIT_switch, 1);

  opt.REPROJ = 1;
  INIT_ACQ_PARAM(s, set, opt);
  EXPECT_EQ(s.seuillage, 50);
  EXPECT_EQ(set.curves.TACFIT_switch, 2);
  EXPECT_FLOAT_EQ(set.reorient.rotation, 0.7853982f);
  EXPECT_EQ(set.reorient.recad_t, 64);
  EXPECT_EQ(set.reorient.valves_angle, 25.0f);
}

TEST(StudyTiming, HeartRateCycleAndGraduation) {
  ScriptedPlatform p;
  StudyRecord s;
  s.Ninst = 8;
  s.FREQ_ASKING = 1;
  setHeartRate(s, 72, p, kFrench);
  EXPECT_NEAR(s.CYCLE, 104.17f, 0.01f);
  EXPECT_EQ(s.mesh_ngradpas, 4);
  EXPECT_EQ(s.mesh_ngradmax, 4);
  EXPECT_EQ(s.FREQ_ASKING, 0);
  EXPECT_EQ(p.count("heart-rate-prompt-close"), 1);
  setHeartRate(s, 300, p, kFrench);
  EXPECT_EQ(s.CARD_FREQ_INT, 240);
  setHeartRate(s, 5, p, kFrench);
  EXPECT_EQ(s.CARD_FREQ_INT, 30);
  // A very long instant runs out of steps.
  s.CYCLE = 1000;
  EXPECT_FALSE(EVAL_GRADMAX(s));
  EXPECT_EQ(s.mesh_ngradpas, 9);
  EXPECT_EQ(s.mesh_ngradmax, 5);
  EXPECT_EQ(lowHeartRate().en, "PROBLEM :: Cardiac frequency lower than 12 bpm ?");
}

TEST(Mirrors, HorizontalVerticalAndSliceOrder) {
  Study s;
  s.Ninst = 8;
  s.NCZ = 3;
  s.DATA.resize(8 * s.instantSize());
  std::iota(s.DATA.begin(), s.DATA.end(), 0.0f);
  const Study orig = s;
  DATA_SYMETRY_HOR(s);
  EXPECT_EQ(s.at(2, 1, 5, 0), orig.at(2, 1, 5, 63));
  DATA_SYMETRY_HOR(s);
  DATA_SYMETRY_VER(s, 0);
  EXPECT_EQ(s.at(2, 1, 0, 9), orig.at(2, 1, 63, 9));
  DATA_SYMETRY_VER(s, 0);
  DATA_SYMETRY_VER(s, 1);
  EXPECT_EQ(s.at(4, 0, 3, 3), orig.at(4, 2, 3, 3));
  EXPECT_EQ(s.at(4, 1, 3, 3), orig.at(4, 1, 3, 3));
}

TEST(LongAxisProjection, SpansZeroToFourHundred) {
  Study s;
  s.Ninst = 8;
  s.NCZ = 2;
  s.DATA.assign(8 * s.instantSize(), 0.0f);
  s.at(0, 1, 10, 3) = 1000;
  s.at(0, 1, 10, 4) = 1000;
  s.at(0, 1, 20, 4) = 500;
  s.at(0, 1, 30, 4) = 100;  // 40 / 400 of the maximum: below a 30 % threshold
  s.datamax = 1000;
  LongAxisProjection v;
  EVAL_VLA_PROJ(s, v, {30, true, false});
  EXPECT_EQ(v.vla(0, 1, 10), 400);
  EXPECT_EQ(v.vla(0, 1, 20), 100);
  EXPECT_EQ(v.vla(0, 1, 30), 0);
  EVAL_VLA_PROJ(s, v, {30, false, false});
  EXPECT_EQ(v.vla(0, 1, 30), 20);
}
