#pragma once
// Small hand-made label volumes for the geometric rules of the 3D model: boxes and ellipsoids of
// labels with their classes, counts and the per-study settings of a new study.
#include <gtest/gtest.h>

#include <cmath>

#include "phantom_study.h"
#include "curves/tacfit.h"
#include "model3d/model3d_state.h"

namespace quorvel::testing {

struct SyntheticHeart {
  StudyWorkspace w;
  Segmentation seg;
  Model3DStudySettings settings3d;
  Model3D m;
  TacFitSettings fitSettings;
  TacFitWork fit;

  SyntheticHeart(int Ninst, int NCZ) {
    w.study = blankStudy(Ninst, NCZ, 0.5f, 0.5f);
    w.study.CYCLE = 125.0f;
    INIT_ACQ_PARAM(w.study, w.settings, w.options);
    seg.LPE.assign(w.study.DATA.size(), 0);
    seg.struct_max.fill(1000.0f);
  }
  ModelInputs in() const { return {w.study, seg, w.settings.limits, w.settings.reorient, w.options}; }
  size_t at(int t, int z, int r, int c) const { return Study::index(w.study.NCZ, t, z, r, c); }

  // Label l of class cls over every instant of a box (inclusive ranges), with `counts` per voxel.
  void box(int l, int cls, int z0, int z1, int r0, int r1, int c0, int c1, float counts = 100.0f) {
    seg.CORR[l] = cls;
    for (int t = 0; t < w.study.Ninst; ++t)
      for (int z = z0; z <= z1; ++z)
        for (int r = r0; r <= r1; ++r)
          for (int c = c0; c <= c1; ++c) {
            seg.LPE[at(t, z, r, c)] = static_cast<uint16_t>(l);
            w.study.DATA[at(t, z, r, c)] = counts;
          }
  }
  // A ventricle of class cls: an ellipsoid whose cross radius beats from `radius` at instant 0
  // to radius * (1 - squeeze) at mid-cycle; long axis along the rows from rowApex to rowBase.
  void beatingEllipsoid(int l, int cls, float rowApex, float rowBase, float col, float slice, float radius,
                        float squeeze) {
    seg.CORR[l] = cls;
    const int N = w.study.Ninst;
    for (int t = 0; t < N; ++t) {
      const float r = radius * (1.0f - squeeze * 0.5f * (1.0f - std::cos(6.2831853f * t / N)));
      const float half = (rowBase - rowApex);
      for (int z = 0; z < w.study.NCZ; ++z)
        for (int row = 0; row < kMatrix; ++row)
          for (int c = 0; c < kMatrix; ++c) {
            if (row > rowBase) continue;
            const float u = (row - rowBase) / half, dy = (c - col) / r, dz = (z - slice) / r;
            if (u * u + dy * dy + dz * dz > 1.0f) continue;
            seg.LPE[at(t, z, row, c)] = static_cast<uint16_t>(l);
            w.study.DATA[at(t, z, row, c)] = 100.0f;
          }
    }
  }
};

}  // namespace quorvel::testing
