#pragma once
// Small quantised studies with hand-placed labels, for the volume-curve and results tests.
#include "phantom_study.h"
#include "segmentation/segmentation_state.h"

namespace quorvel::testing {

// Labels 1 (left) and 2 (right) on a study of level 1 everywhere, every slice inside the limits.
inline void labelledStudy(StudyWorkspace& w, Segmentation& seg, int Ninst, int NCZ, float xy, float z) {
  w.study = blankStudy(Ninst, NCZ, xy, z);
  for (float& v : w.study.DATA) v = 1.0f;
  w.study.CYCLE = 100.0f;
  w.study.CARD_FREQ = 75.0f;
  INIT_ACQ_PARAM(w.study, w.settings, w.options);
  seg.LPE.assign(w.study.DATA.size(), 0);
  seg.NREG = 2;
  seg.CORR[1] = kClassLeft;
  seg.CORR[2] = kClassRight;
}

inline void putLabel(StudyWorkspace& w, Segmentation& seg, int label, int t, int z, int r, int c, float level) {
  seg.LPE[Segmentation::index(w.study.NCZ, t, z, r, c)] = static_cast<uint16_t>(label);
  w.study.at(t, z, r, c) = level;
}

// A beating left ventricle of 0.125 ml voxels, smallest at instant 3, and a small right one.
inline void beatingLeftVentricle(StudyWorkspace& w, Segmentation& seg) {
  labelledStudy(w, seg, 8, 8, 0.5f, 0.5f);
  const int counts[8] = {400, 330, 220, 180, 300, 340, 370, 390};
  for (int t = 0; t < 8; ++t)
    for (int k = 0; k < counts[t]; ++k) putLabel(w, seg, 1, t, k / 64, 8 + (k % 64) / 8, 40 + k % 8, 800.0f);
  // A small right ventricle that beats too, so that no check takes it for an organ at rest.
  const int right[8] = {6, 5, 3, 3, 4, 5, 6, 6};
  for (int t = 0; t < 8; ++t)
    for (int k = 0; k < right[t]; ++k) putLabel(w, seg, 2, t, 0, 10, 10 + k, 800.0f);
}

}  // namespace quorvel::testing
