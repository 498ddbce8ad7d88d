#pragma once
// Small hand-made studies for the picture tests and the golden pictures they are compared with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "render/pictures.h"
#include "render/png_io.h"
#include "render/segmentation_layout.h"
#include "segmentation/segmentation_state.h"
#include "study/loading.h"

namespace quorvel::testing {

// A study of Ninst x NCZ slices of the working matrix, counts 0, datamax = ECH (quantised).
inline void blankWorkspace(StudyWorkspace& w, int Ninst, int NCZ) {
  w = StudyWorkspace{};
  Study& s = w.study;
  s.Ninst = Ninst;
  s.NCZ = NCZ;
  s.VOXEL_SIZE_XY = s.VOXEL_SIZE_Z = 0.5f;
  s.datamax = static_cast<float>(w.options.ECH);
  s.DATA.assign(static_cast<size_t>(Ninst) * NCZ * kSliceVoxels, 0.0f);
}

// Two ventricles above row 32 (right ventricle left of the septum), two atria below, and small
// excluded structures at the lower right; labels 1 left, 2 right, 3 atria, 4 excluded with its
// neighbours (7), 5 excluded alone (13), 6 a second left-ventricle region.
inline void labelledHeart(StudyWorkspace& w, Segmentation& seg, int Ninst, int NCZ) {
  blankWorkspace(w, Ninst, NCZ);
  Study& s = w.study;
  seg = Segmentation{};
  seg.LPE.assign(s.DATA.size(), 0);
  seg.AFFECT.assign(s.DATA.size(), 0);
  seg.NREG = 6;
  const int classes[7] = {0, kClassLeft, kClassRight, kClassOther, kClassExcludedConnected, kClassExcludedRegion,
                          kClassLeft};
  for (int l = 0; l < 7; ++l) seg.CORR[l] = classes[l];
  for (int t = 0; t < Ninst; ++t)
    for (int z = 0; z < NCZ; ++z)
      for (int r = 0; r < kMatrix; ++r)
        for (int c = 0; c < kMatrix; ++c) {
          auto blob = [&](double r0, double c0, double rr, double rc) {
            const double size = 1.0 - 0.15 * t - 0.1 * std::abs(z - NCZ / 2.0);
            const double d = std::pow((r - r0) / (rr * size), 2) + std::pow((c - c0) / (rc * size), 2);
            return d;
          };
          const double lv = blob(20, 41, 12, 7), rv = blob(21, 24, 12, 7), atria = blob(42, 32, 6, 12);
          const double extra = blob(54, 54, 4, 4);
          double level = 40;
          int label = 0;
          if (lv < 1) level = 1000 - 600 * lv, label = r < 14 ? 6 : 1;
          else if (rv < 1) level = 900 - 500 * rv, label = 2;
          else if (atria < 1) level = 700 - 400 * atria, label = 3;
          else if (extra < 1) level = 500 - 200 * extra, label = c < 54 ? 4 : 5;
          const size_t i = Segmentation::index(NCZ, t, z, r, c);
          s.DATA[i] = static_cast<float>(level);
          seg.LPE[i] = static_cast<uint16_t>(label);
        }
  for (int c = 1; c < kStructMaxEntries; ++c) seg.struct_max[c] = 1000;
}

// Compares a picture with the golden PNG of that name, pixel for pixel. With
// QUORVEL_UPDATE_GOLDEN=1 the golden picture is written instead (look at it before committing).
inline void expectGolden(const Bitmap24& actual, const std::string& name) {
  const auto golden = std::filesystem::path(QUORVEL_GOLDEN_DIR) / (name + ".png");
  if (const char* update = std::getenv("QUORVEL_UPDATE_GOLDEN"); update && std::string(update) == "1") {
    ASSERT_TRUE(writePng(golden, actual));
    return;
  }
  const auto expected = readPng(golden);
  ASSERT_TRUE(expected) << golden;
  ASSERT_EQ(expected->width, actual.width);
  ASSERT_EQ(expected->height, actual.height);
  int differing = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < actual.height; ++y)
    for (int x = 0; x < actual.width; ++x) {
      const Rgb a = actual.get(x, y), e = expected->get(x, y);
      if (a.r != e.r || a.g != e.g || a.b != e.b) {
        if (differing++ == 0) firstX = x, firstY = y;
      }
    }
  if (differing) {
    const auto seen = std::filesystem::path(QUORVEL_TEST_TMP) / (name + ".actual.png");
    std::filesystem::create_directories(seen.parent_path());
    writePng(seen, actual);
    ADD_FAILURE() << differing << " pixels differ from " << golden << ", the first at (" << firstX << ", " << firstY
                  << "); the picture drawn is " << seen;
  }
}

}  // namespace quorvel::testing
