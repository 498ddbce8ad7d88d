// Parametric-map statistics, palettes, texts and the bull's-eye on hand-filled maps.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "base/language.h"
#include "model3d/bullseye.h"
#include "model3d/regional.h"
#include "synthetic_heart.h"

namespace quorvel::testing {
namespace {

TEST(MapStatistics, LinearAndCircularWindows) {
  RegionalMaps maps;
  maps.histo_fej[0][40] = maps.histo_fej[0][60] = 150;
  for (int b : {95, 97, 99, 1, 3, 5}) maps.histo_tej[0][b] = 150;  // around the wrap of the cycle
  maps.histo_tej[0][50] = 150;                                      // kept out by the window below
  maps.tej_cmin[0] = 90, maps.tej_cmax[0] = 10;
  maps.fej_cmin[1] = 45;  // the right ventricle's histograms are empty
  UPDATE_MESH_MEANSTD(maps, nullptr);
  EXPECT_NEAR(maps.mesh_fej_mean[0], 50.0f, 1e-4);
  EXPECT_NEAR(maps.mesh_fej_std[0], 10.0f, 1e-4);
  const float m = maps.mesh_tej_mean[0];
  EXPECT_TRUE(m < 0.01f || m > 99.99f) << m;  // not 50
  EXPECT_NEAR(maps.mesh_tej_std[0], std::sqrt((2 * 25 + 2 * 9 + 2 * 1) / 6.0f), 0.05f);
  EXPECT_EQ(maps.mesh_fej_mean[1], 0.0f);
  EXPECT_EQ(maps.mesh_tej_std[1], 0.0f);
  // The whole cycle: the bin at 50 pulls the spread up but the mean stays at the wrap.
  maps.tej_cmin[0] = 0, maps.tej_cmax[0] = 100;
  UPDATE_MESH_MEANSTD(maps, nullptr);
  EXPECT_GT(maps.mesh_tej_std[0], 15.0f);
}

TEST(MapStatistics, RateScaleAndHistogramBins) {
  struct {
    float largest, corr;
  } rates[] = {{12.3f, 100.0f / 15}, {0.0f, 20.0f}, {4.9f, 20.0f}, {15.0f, 100.0f / 15}, {15.01f, 5.0f}};
  for (auto r : rates) EXPECT_NEAR(meshRateCorrection(r.largest), r.corr, 1e-4) << r.largest;
  struct {
    float value;
    int bin;
  } bins[] = {{57.9f, 57}, {-3.0f, 0}, {100.0f, 100}, {100.4f, 100}, {250.0f, 100}, {std::nanf(""), 0}};
  for (auto b : bins) EXPECT_EQ(histogramBin(b.value), b.bin) << b.value;
}

TEST(MapPalettes, TimeWindowsWrapAroundTheCycle) {
  RegionalMaps maps;
  StudyRecord s;
  s.Ninst = 8, s.CYCLE = 125;  // 45 ms is 4.5 % of the cycle
  maps.mesh_tej_mean = {10, 90};
  maps.mesh_tper_mean = {20, 30};
  maps.mesh_per_mean = {30, 40}, maps.mesh_per_std = {5, 20};
  MapRanges c;
  EVAL_MESH_PALETTES(maps, s, c);
  EXPECT_EQ(c.fej_pmin[0], 40);
  EXPECT_EQ(c.fej_pmax[1], 86);
  EXPECT_EQ(c.tej_pmin[0], 95);  // 45.5 + 50
  EXPECT_EQ(c.tej_pmax[0], 4);   // 54.5 + 50 - 100
  EXPECT_EQ(c.tper_pmin[1], 20);
  EXPECT_EQ(c.tper_pmax[1], 29);
  EXPECT_EQ(c.per_pmin[0], 0);  // 40 - 40, the smaller of the two
  EXPECT_EQ(c.per_pmax[0], 80);
}

TEST(MapTexts, ResultLinesOfEachMapInBothLanguages) {
  Model3D m;
  m.mesh.mesh_samA = m.mesh.mesh_samR = 48;
  StudyRecord s;
  s.Ninst = 8, s.CYCLE = 125;
  RegionalMaps& maps = m.maps;
  maps.mesh_fej_mean = {61.6f, 48.4f}, maps.mesh_fej_std = {9.5f, 12.2f};
  maps.mesh_tej_mean = {35.0f, 36.0f}, maps.mesh_tej_std = {4.0f, 5.0f};
  maps.PER_corr = 10.0f;
  maps.mesh_per_mean = {28.0f, 25.0f}, maps.mesh_per_std = {5.0f, 4.0f};
  maps.regional_empty_curves = {0, 30};
  maps.regional_failed_fits = {0, 7};
  for (int t = 0; t < 8; ++t) {
    m.skel.valve_source[1][t] = kValveLine;  // the left: the line over the cycle, with why
    m.skel.valve_voxels[1][t] = t;
    m.skel.valve_source[2][t] = kValveVoxels;
  }
  m.skel.valve_source[2][3] = kValveLine;
  m.skel.apex_source[1][1] = kApexFarthest;
  m.skel.apex_source[2][6] = kApexKept;
  auto fr = AFFICHAGE_RES_MESH(m, 0, s, kFrench);
  EXPECT_EQ(fr[0].substr(0, fr[0].find('\n') + 1), "FES (%)    :    48   +/-   12\n");
  EXPECT_EQ(fr[1].substr(0, fr[1].find('\n') + 1), "FES (%)   :    62   +/-   10\n");
  EXPECT_NE(fr[0].find("Plan valvulaire : ligne des valves aux instants 4\n"), std::string::npos) << fr[0];
  EXPECT_NE(fr[0].find("Courbes vides : 30 / 2256\n"), std::string::npos);
  EXPECT_NE(fr[0].find("Ajustements régionaux refusés : 7 / 2256\n"), std::string::npos) << fr[0];
  EXPECT_NE(fr[0].find("Attention"), std::string::npos);  // 1.3 % of the nodes
  EXPECT_NE(fr[1].find("Plan valvulaire : ligne des valves (trop peu de voxels valvulaires à un instant au moins : 0, "
                       "1, 2, 3, 4, 5, 6, 7)\n"),
            std::string::npos)
      << fr[1];
  EXPECT_NE(fr[1].find("Apex : voxels les plus éloignés aux instants 2 (curseur C/S au maximum)\n"), std::string::npos);
  EXPECT_NE(fr[0].find("Apex : position précédente gardée aux instants 7"), std::string::npos);
  EXPECT_EQ(fr[1].find("Attention"), std::string::npos);
  EXPECT_EQ(fr[1].find("Ajustements"), std::string::npos);  // said only when some were refused
  auto en = AFFICHAGE_RES_MESH(m, 1, s, kEnglish);
  EXPECT_EQ(en[1].substr(0, 37), "TES (ms)   :    350   +/-   40\n\nValve");
  en = AFFICHAGE_RES_MESH(m, 2, s, kEnglish);
  EXPECT_EQ(en[1].substr(0, en[1].find('\n') + 1), "PER (td vol / s)   :   -2.80  +/-  0.50\n");
}

// A 24 x 24 grid of maps unrolled into the bull's-eye.
struct Unrolled {
  MeshModel mesh;
  RegionalMaps maps;
  BullsEye eye;
  Unrolled() {
    mesh.mesh_samA = mesh.mesh_samR = 24;
    for (auto* v : {&maps.MESH_FEJ, &maps.MESH_TEJ, &maps.MESH_PER, &maps.MESH_PFR, &maps.MESH_TPER, &maps.MESH_TPFR})
      v->assign(static_cast<size_t>(2) * kMeshSize * kMeshSize, 30.0f);
  }
};

TEST(BullsEye, SectorsOfEveryLayout) {
  struct {
    int row, col, layout, sector;
  } pixels[] = {
      {125, 125, 13, 1}, {125, 125, 17, 1}, {125, 125, 19, 1}, {125, 125, 25, 1},  // the centre
      {165, 125, 13, 2}, {165, 125, 17, 2}, {165, 125, 19, 2}, {165, 125, 25, 2},  // angle 0
      {165, 165, 13, 3}, {165, 165, 25, 3},                                         // exactly pi/4
      {85, 165, 13, 4},  {125, 250, 17, 14}, {0, 125, 17, 15}, {125, 60, 19, 13},
      {250, 250, 17, 0},
  };
  for (auto p : pixels) EXPECT_EQ(sectorOf(p.row, p.col, p.layout), p.sector) << p.row << "," << p.col << " " << p.layout;
  // 17 sectors: 4 apical, then 6 and 6.
  std::set<int> rings[3];
  for (int row = 0; row < kBullseye; ++row)
    for (int col = 0; col < kBullseye; ++col) {
      const double f = std::hypot(row - 125, col - 125) / 125;
      const int s = sectorOf(row, col, 17);
      if (f > 0.25 && f <= 1) rings[f <= 0.5 ? 0 : f <= 0.75 ? 1 : 2].insert(s);
    }
  EXPECT_EQ(rings[0], (std::set<int>{2, 3, 4, 5}));
  EXPECT_EQ(rings[1], (std::set<int>{6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(rings[2], (std::set<int>{12, 13, 14, 15, 16, 17}));
}

TEST(BullsEye, TimesSmoothAroundTheCycleAndSectorsAverage) {
  Unrolled u;
  for (int a = 0; a < 24; ++a)
    for (int r = 0; r < 24; ++r) {
      u.maps.MESH_TEJ[RegionalMaps::at(0, a, r)] = r % 2 ? 98.0f : 2.0f;
      u.maps.MESH_FEJ[RegionalMaps::at(0, a, r)] = r % 2 ? 60.0f : 40.0f;
    }
  BULLSEYE_BUILD(u.mesh, u.maps, u.eye, 0);
  int checked = 0;
  for (int row = 20; row < 230; row += 7)
    for (int col = 20; col < 230; col += 7) {
      if (std::hypot(row - 125, col - 125) > 110) continue;
      const float t = u.eye.mesh_sect_tej[BullsEye::image(0, row, col)];
      EXPECT_TRUE(t < 6.0f || t > 94.0f) << row << "," << col << ": " << t;
      EXPECT_GE(u.eye.mesh_sect_fej[BullsEye::image(0, row, col)], 40.0f);
      ++checked;
    }
  EXPECT_GT(checked, 500);
  EXPECT_EQ(u.eye.mesh_sect_tej[BullsEye::image(0, 0, 0)], 0.0f);  // outside the disc

  // Uniform maps: every sector mean is the value; end-systole at 30 % of 8 instants.
  BULLSEYE_BUILD(u.mesh, u.maps, u.eye, 1);
  u.eye.inst_depol_min = 32, u.eye.inst_depol_max = 0;
  DEF_SECTORS(u.eye, 1, 17, 8);
  for (int s = 1; s <= 17; ++s) {
    EXPECT_NEAR(u.eye.mesh_smoy_fej[1][s], 30.0f, 1e-3) << s;
    EXPECT_NEAR(u.eye.mesh_smoy_tej[1][s], 30.0f, 1e-2) << s;
  }
  EXPECT_EQ(u.eye.inst_depol_min, 9);
  EXPECT_EQ(u.eye.inst_depol_max, 10);
  int disc = 0;
  for (int s = 1; s < kSectorSlots; ++s) disc += u.eye.mesh_smoy_pond[s];
  EXPECT_EQ(disc + u.eye.mesh_smoy_pond[0], kBullseye * kBullseye);
}

TEST(BullsEye, OutlineAndLabelsLieOnTheirSectors) {
  Unrolled u;
  StudyRecord s;
  s.Ninst = 8, s.CYCLE = 125;
  for (int layout : {13, 17, 19, 25}) {
    DEFINE_BULLSEYE_BORD(u.eye, layout, 1, 1);
    EXPECT_EQ(u.eye.mesh_sect_bord[BullsEye::px(188, 125)], 1) << layout;  // the circle of radius 62.5
    const auto labels = BULLSEYE_LABELS(u.eye, u.maps, layout, 1, s);
    for (int k = 1; k <= layout; ++k) {
      EXPECT_TRUE(labels[0][k].shown);
      EXPECT_EQ(sectorOf(labels[1][k].row, labels[1][k].col, layout), k) << layout << " " << k;
    }
    if (layout < 25) {
      EXPECT_FALSE(labels[0][layout + 1].shown);
    }
  }
}

}  // namespace
}  // namespace quorvel::testing
