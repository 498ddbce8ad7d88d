#include "segmentation/volume_curves.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "base/messages.h"
#include "segmentation/classification.h"
#include "segmentation/segmentation_texts.h"

namespace quorvel {

std::array<float, 2> volumeNormalisation(const Study& s, const Segmentation& seg, const Options& opt,
                                         int volume_voxels) {
  if (volume_voxels != 0) return {1.0f, 1.0f};
  float left = 0, right = 0;
  const size_t n = std::min(seg.LPE.size(), s.DATA.size());
  for (size_t i = 0; i < n; ++i) {
    const int c = seg.CORR[seg.LPE[i]];
    const float level = static_cast<int>(s.DATA[i]);
    if (c == kClassLeft) left = std::max(left, level);
    if (c == kClassRight) right = std::max(right, level);
  }
  if (opt.equilibrium != 0) left = right = std::max(left, right);
  return {left, right};
}

float measuredVolume(const Study& s, const SliceLimits& lim, const Segmentation& seg, int ventricle, int t,
                     int volume_voxels, float normalisation) {
  double sum = 0;
  forEachMeasuredVoxel(s, lim, seg, ventricle, t, volume_voxels, [&](size_t, double value) { sum += value; });
  return volumeOfMeasuredSum(s, sum, normalisation);
}

float volumeOfMeasuredSum(const Study& s, double sum, float normalisation) {
  // No voxel of the class anywhere (a normalisation of 0): no volume, not 0 / 0.
  if (!(normalisation > 0)) return 0.0f;
  const double voxel = static_cast<double>(s.VOXEL_SIZE_XY) * s.VOXEL_SIZE_XY * s.VOXEL_SIZE_Z;
  return static_cast<float>(voxel * sum / normalisation);
}

Status VIDANGE(SegmentationContext& c, CurveState& curves, const float* reprojectedLeft) {
  Study& s = c.w.study;
  const Options& opt = c.w.options;
  VolumeCurves& vc = curves.vc;
  TacFitWork& fit = curves.fit;
  TraceLog& log = c.log;
  const bool developer = log.enabled();
  // Measured volumes read a label for every voxel: without labels of these counts there is nothing
  // to measure (a reprojected curve needs none).
  if (!reprojectedLeft && c.seg.LPE.size() != s.DATA.size())
    return Refusal::of(RefusalCode::SegmentationMissing, segmentation_texts::kSegmentationMissing);
  const float voxel = s.VOXEL_SIZE_XY * s.VOXEL_SIZE_XY * s.VOXEL_SIZE_Z;
  log.writef("******** Voxel volume = %2.4f  (xy : %2.4f  ;  z : %2.4f)\n", voxel, s.VOXEL_SIZE_XY, s.VOXEL_SIZE_Z);
  c.w.settings.flow.vidange_done = 1;
  c.w.settings.flow.segment_updt1 = 0;
  vc.maxvol = 0;
  vc.filling_ampl = 0;
  fit.out.filling_ampl = 0;
  log.WRITE_LOGFILE("******** VOLUMES :\n");
  const std::array<float, 2> norm =
      reprojectedLeft ? std::array<float, 2>{1.0f, 1.0f} : volumeNormalisation(s, c.seg, opt, vc.volume_voxels);
  log.writef("Normalisation : G = %2.2f  D = %2.2f\n", norm[0], norm[1]);

  // The reference-curve method is a developer's tool; a stored choice of it falls back to method 1.
  int& selected = c.w.settings.curves.TACFIT_switch;
  if (selected < kTacFitRef || selected >= kTacFitMethods || (selected == kTacFitRef && !developer))
    selected = kTacFitNew;
  const FitContext ctx = FitContext::from(opt, s.Ninst, s.CYCLE, developer ? &log : nullptr);
  Status status;
  auto process = [&](int cls, InstantCurve& vol, FittedVentricle out, const std::array<float, kMaxInstants>& noise,
                     const char* title, const char* tag, float normalisation) {
    log.WRITE_LOGFILE(title);
    vc.Cmax = 0;
    vc.tmax = 0;
    for (int t = 0; t < s.Ninst; ++t) {
      float volume = reprojectedLeft ? (cls == kClassLeft ? reprojectedLeft[t] : 0.0f)
                                     : noise[t] + measuredVolume(s, c.w.settings.limits, c.seg, cls, t,
                                                                 vc.volume_voxels, normalisation);
      volume = std::max(volume, 0.0f);
      vol[t] = volume;
      vc.maxvol = std::max(vc.maxvol, volume);
      if (volume > vc.Cmax) vc.Cmax = volume, vc.tmax = t;
      log.writef("******** V-%s   -   instant %d  :  Vol. = %2.2f cc   (Atot = %2.4f  ;  Amax = %2.0f  ;  Vox = "
                 "%2.1f mm * %2.1f mm * %2.1f mm = %2.5f cc)\n",
                 tag, t + 1, volume, s.VOXS_init > 0 ? volume * normalisation / s.VOXS_init : 0.0f, normalisation,
                 s.VOX_XY_init * 10, s.VOX_XY_init * 10, s.VOXEL_SIZE_Z * 10, s.VOXS_init);
    }
    vol[s.Ninst] = vol[0];
    log.writef("Wyy %s in\n", tag);
    if (!fitVentricleCurve(selected, curves.settings, fit, ctx, developer, vol, vc.Cmax, vc.tmax, s.CARD_FREQ, out,
                             vc))
      status = Refusal::of(RefusalCode::FitFailed, segmentation_texts::kFitFailed);
    log.writef("Wyy %s out\n", tag);
  };
  process(kClassRight, vc.volD, {vc.vidange_D, vc.filling_D, vc.D}, vc.TACFIT_noise[0], "******** Ventricule Droit\n", "D",
          norm[1]);
  process(kClassLeft, vc.volG, {vc.vidange_G, vc.filling_G, vc.G}, vc.TACFIT_noise[1], "******** Ventricule Gauche\n", "G",
          norm[0]);

  vc.maxvol = volumeAxisBound(vc.maxvol);
  log.writef("******** MAX   -   Vol. = %2.2f\n", vc.maxvol);
  log.WRITE_LOGFILE("VIDANGE out\n");
  vc.filling_ampl = rateAxisBound(vc.filling_ampl);
  if (developer) {
    EXPORT_VIDANGE(c.appFolder, vc);
    if (selected == kTacFitNew && !curves.splineTraceWritten)
      curves.splineTraceWritten = writeReferenceSplineTrace(fit, c.appFolder);
  }
  return status;
}

void EXPORT_VIDANGE(const std::filesystem::path& appFolder, const VolumeCurves& vc) {
  std::ofstream out(appFolder / "temp" / "EXTAC.txt", std::ios::trunc);
  char line[32];
  for (float v : vc.vidange_G) {
    std::snprintf(line, sizeof line, "%2.3f\n", v);
    out << line;
  }
}

}  // namespace quorvel
