#pragma once
// The two ventricular volume curves: measured per instant from the classified voxels, fitted by
// the selected method into 512 samples, with each ventricle's global results.
#include "curves/tacfit.h"
#include "curves/volume_results.h"
#include "segmentation/segment_commands.h"

namespace quorvel {

// Everything the curves need besides the segmentation context.
struct CurveState {
  CurveState() { INIT_TACFITNEW(fit); }
  TacFitState fit;
  VolumeCurves vc;
};

// Measures both ventricles at every instant and fits them with the method of
// settings.curves.TACFIT_switch (method 0 only in developer mode). Sets vidange_done, clears
// segment_updt1. Returns 0; 1 when a fit failed numerically (the user is told; that
// ventricle's curve and results are left at zero).
int VIDANGE(SegmentationContext& c, CurveState& curves);

// Where one ventricle's fitted curve, rates and results go.
struct FittedVentricle {
  CycleCurve& vidange;
  CycleCurve& filling;
  VentricleResults& res;
};
// Fits one ventricle's measured curve (Ninst values and the first again) with fit.TACFIT_switch
// and derives its results; raises bounds.maxvol and bounds.filling_ampl. False when the fit failed
// numerically (curve and results then zero).
bool FIT_VENTRICLE_CURVE(TacFitState& fit, const FitContext& ctx, bool developer, const InstantCurve& vol,
                         float Cmax, int tmax, float CARD_FREQ, FittedVentricle out, VolumeCurves& bounds);

// The measured volume (ml) of one ventricle (1 left, 2 right) at instant t, with its
// normalisation level; exposed for the tests.
float measuredVolume(const Study& s, const SliceLimits& lim, const Segmentation& seg, int ventricle, int t,
                     int volume_voxels, float normalisation);
// Normalisation levels [left, right]: the brightest ventricle voxel (shared with equilibrium on).
std::array<float, 2> volumeNormalisation(const Study& s, const Segmentation& seg, const Options& opt,
                                         int volume_voxels);

// Commands of the results stage: each changes the method or its setting, then refits both
// curves at once and redraws. Returns false when the command changed nothing (no refit).
enum class FitCommand { NextMethod, PreviousMethod, MoreSetting, FewerSetting };
bool FIT_METHOD_COMMAND(SegmentationContext& c, CurveState& curves, FitCommand command);

// Developer mode: the 512 samples of the left-ventricle curve to temp/EXTAC.txt.
void EXPORT_VIDANGE(const std::filesystem::path& appFolder, const VolumeCurves& vc);

}  // namespace quorvel
