#pragma once
// Studies for the segmentation tests and benchmarks: small hand-made ones and the digital phantom.
#include "base/trace_log.h"
#include "phantom/phantom.h"
#include "study/loading.h"
#include "study/study_model.h"

namespace quorvel::testing {

// A study of the working matrix with every voxel 0 and the given voxel sizes in cm.
inline Study blankStudy(int Ninst, int NCZ, float voxelXY = 0.68f, float voxelZ = 0.68f) {
  Study s;
  s.Ninst = Ninst;
  s.NCZ = NCZ;
  s.VOXEL_SIZE_XY = voxelXY;
  s.VOXEL_SIZE_Z = voxelZ;
  s.VOXS_init = voxelXY * voxelXY * voxelZ;
  s.seuillage = 30;
  s.DATA.assign(static_cast<size_t>(Ninst) * NCZ * kSliceVoxels, 0.0f);
  return s;
}

// The phantom's counts as the loader leaves them (working pose, end-diastole at instant 0),
// with the per-study settings reset as for a newly opened study.
inline void loadPhantom(const phantom::Phantom& ph, StudyWorkspace& w) {
  Study& s = w.study;
  s = blankStudy(ph.params.instants, ph.params.slices, static_cast<float>(ph.params.pixel_mm / 10),
                 static_cast<float>(ph.params.slice_mm / 10));
  s.CYCLE = static_cast<float>(60000.0 / ph.params.heart_rate_bpm / ph.params.instants);
  for (size_t i = 0; i < s.DATA.size(); ++i) s.DATA[i] = ph.counts[i];
  INIT_ACQ_PARAM(s, w.settings, w.options);
  w.settings.flow.IDB_loaded = 1;
  TraceLog quiet;
  EVAL_DATA_INTERVAL(s, quiet);
}

}  // namespace quorvel::testing
