#pragma once
// The two ventricular volume curves: measured per instant from the classified voxels, fitted by
// the selected method into 512 samples, with each ventricle's global results.
#include <algorithm>

#include "base/refusal.h"
#include "curves/tacfit.h"
#include "curves/ventricle_fit.h"
#include "curves/volume_results.h"
#include "segmentation/classification.h"
#include "segmentation/segment_commands.h"

namespace quorvel {

// Everything the curves need besides the segmentation context: the method settings (the method
// itself is the per-study TACFIT_switch), the fitting buffers and the curves with their results.
struct CurveState {
  TacFitSettings settings;
  TacFitWork fit;
  VolumeCurves vc;
  bool splineTraceWritten = false;  // developer trace TAC.txt, written once per session
};

// Measures both ventricles at every instant and fits them with the method of
// settings.curves.TACFIT_switch (method 0 only in developer mode). Sets vidange_done, clears
// segment_updt1. Refused (FitFailed) when a fit failed numerically: that ventricle's curve and
// results are then left at zero. In reprojection mode the caller gives the reprojected curve
// (Ninst values) as the left ventricle's volumes; the right ventricle's are then 0.
Status VIDANGE(SegmentationContext& c, CurveState& curves, const float* reprojectedLeft = nullptr);

// Calls visit(index, value) for every voxel the volume of a ventricle (1 left, 2 right) counts at
// instant t: value is its count, or 1 when volumes count voxels. index is the voxel's DATA index.
template <class Visit>
void forEachMeasuredVoxel(const Study& s, const SliceLimits& lim, const Segmentation& seg, int ventricle, int t,
                          int volume_voxels, Visit&& visit) {
  const auto& lo = ventricle == kClassLeft ? lim.limG_inf : lim.limD_inf;
  const auto& hi = ventricle == kClassLeft ? lim.limG_sup : lim.limD_sup;
  const float classMax = seg.struct_max[ventricle];
  for (int z = std::max(0, lo[t]); z <= std::min(s.NCZ - 1, hi[t]); ++z) {
    const size_t base = Segmentation::index(s.NCZ, t, z, 0, 0);
    for (size_t i = base; i < base + kSliceVoxels; ++i) {
      if (seg.CORR[seg.LPE[i]] != ventricle) continue;
      const int level = static_cast<int>(s.DATA[i]);
      if (belowThreshold(level, classMax, s.seuillage)) continue;
      visit(i, volume_voxels ? 1.0 : static_cast<double>(level));
    }
  }
}

// Millilitres of one unit of a visited voxel's value, with the ventricle's normalisation level;
// 0 when there is no level (no voxel of the class anywhere).
inline double millilitresPerUnit(const Study& s, float normalisation) {
  if (!(normalisation > 0)) return 0.0;
  return static_cast<double>(s.VOXEL_SIZE_XY) * s.VOXEL_SIZE_XY * s.VOXEL_SIZE_Z / normalisation;
}

// The measured volume (ml) of one ventricle (1 left, 2 right) at instant t, with its
// normalisation level; exposed for the tests.
float measuredVolume(const Study& s, const SliceLimits& lim, const Segmentation& seg, int ventricle, int t,
                     int volume_voxels, float normalisation);
// The same from the sum of the visited voxels' values at one instant.
float volumeOfMeasuredSum(const Study& s, double sum, float normalisation);
// Normalisation levels [left, right]: the brightest ventricle voxel (shared with equilibrium on).
std::array<float, 2> volumeNormalisation(const Study& s, const Segmentation& seg, const Options& opt,
                                         int volume_voxels);

// Developer mode: the 512 samples of the left-ventricle curve to temp/EXTAC.txt.
void EXPORT_VIDANGE(const std::filesystem::path& appFolder, const VolumeCurves& vc);

}  // namespace quorvel
