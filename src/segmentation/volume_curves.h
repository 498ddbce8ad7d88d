#pragma once
// The two ventricular volume curves: measured per instant from the classified voxels, fitted by
// the selected method into 512 samples, with each ventricle's global results.
#include "base/refusal.h"
#include "curves/tacfit.h"
#include "curves/ventricle_fit.h"
#include "curves/volume_results.h"
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

// The measured volume (ml) of one ventricle (1 left, 2 right) at instant t, with its
// normalisation level; exposed for the tests.
float measuredVolume(const Study& s, const SliceLimits& lim, const Segmentation& seg, int ventricle, int t,
                     int volume_voxels, float normalisation);
// Normalisation levels [left, right]: the brightest ventricle voxel (shared with equilibrium on).
std::array<float, 2> volumeNormalisation(const Study& s, const Segmentation& seg, const Options& opt,
                                         int volume_voxels);

// Developer mode: the 512 samples of the left-ventricle curve to temp/EXTAC.txt.
void EXPORT_VIDANGE(const std::filesystem::path& appFolder, const VolumeCurves& vc);

}  // namespace quorvel
