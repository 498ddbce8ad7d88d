#pragma once
// Results computed afresh from a workstation's current counts, labels and settings, leaving the
// workstation untouched: what anything it shows, exports or saves must equal.
#include <cmath>
#include <string>

#include "base/scripted_platform.h"
#include "model3d/bullseye.h"
#include "segmentation/reprojection.h"
#include "segmentation/volume_curves.h"
#include "ui/workstation.h"

namespace quorvel::testing {

inline VolumeCurves freshCurves(const Workstation& ws) {
  StudyWorkspace w = ws.w;
  CurveState curves = ws.curves;
  ScriptedPlatform quiet;
  TraceLog noLog;
  // The curves only read the labels: no copy of them (with their contact tables, megabytes).
  SegmentationContext c{w, const_cast<Segmentation&>(ws.seg), quiet, noLog, ws.folder};
  if (w.options.REPROJ) {
    Reprojection rp = ws.reprojection;
    if (!UPDATE_REPROJECTION(w.study, w.settings.reorient, w.settings.flow, rp, noLog)) rp.reproj_tac.fill(0.0f);
    std::ignore = VIDANGE(c, curves, rp.reproj_tac.data());
  } else {
    std::ignore = VIDANGE(c, curves);
  }
  return curves.vc;
}

// The sector means of both ventricles for the current layout, from the current maps.
inline BullsEye freshSectors(const Workstation& ws) {
  BullsEye eye = ws.model.eye;
  for (int v = 0; v < 2; ++v) DEF_SECTORS(eye, v, ws.w.options.SECT_25, ws.w.study.Ninst);
  return eye;
}

// Empty when both hold the same global results and measured volumes, else the first difference.
inline std::string curvesDifference(const VolumeCurves& a, const VolumeCurves& b, int Ninst) {
  auto same = [](float x, float y) { return x == y || (std::isnan(x) && std::isnan(y)); };
  for (int t = 0; t < Ninst; ++t) {
    if (!same(a.volG[t], b.volG[t])) return "left volume at instant " + std::to_string(t);
    if (!same(a.volD[t], b.volD[t])) return "right volume at instant " + std::to_string(t);
  }
  const std::pair<const char*, const VentricleResults*> sides[][2] = {{{"left", &a.G}, {"left", &b.G}},
                                                                      {{"right", &a.D}, {"right", &b.D}}};
  for (const auto& side : sides) {
    const VentricleResults& x = *side[0].second;
    const VentricleResults& y = *side[1].second;
    const std::string who = side[0].first;
    if (!same(x.volmax, y.volmax)) return who + " EDV " + std::to_string(x.volmax) + " / " + std::to_string(y.volmax);
    if (!same(x.volmin, y.volmin)) return who + " ESV";
    if (!same(x.FES, y.FES)) return who + " EF " + std::to_string(x.FES) + " / " + std::to_string(y.FES);
    if (!same(x.debit, y.debit)) return who + " output";
    if (x.TFS != y.TFS) return who + " end-systole";
    if (!same(x.PER, y.PER) || !same(x.TPER, y.TPER)) return who + " peak ejection rate";
    if (!same(x.PFR, y.PFR) || !same(x.TPFR, y.TPFR)) return who + " peak filling rate";
  }
  return {};
}

// Empty when the sector means of every map agree for the sectors of the layout.
inline std::string sectorsDifference(const BullsEye& a, const BullsEye& b, int SECT_25) {
  const std::pair<const char*, std::array<SectorValues, 2> BullsEye::*> maps[] = {
      {"EF", &BullsEye::mesh_smoy_fej},     {"end-systole", &BullsEye::mesh_smoy_tej},
      {"PER", &BullsEye::mesh_smoy_per},    {"PFR", &BullsEye::mesh_smoy_pfr},
      {"TPER", &BullsEye::mesh_smoy_tper},  {"TPFR", &BullsEye::mesh_smoy_tpfr}};
  for (const auto& [name, member] : maps)
    for (int v = 0; v < 2; ++v)
      for (int k = 1; k <= SECT_25 && k < kSectorSlots; ++k)
        if ((a.*member)[v][k] != (b.*member)[v][k])
          return std::string(name) + " of sector " + std::to_string(k) + (v ? " (right)" : " (left)");
  return {};
}

}  // namespace quorvel::testing
