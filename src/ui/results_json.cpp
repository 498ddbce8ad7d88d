#include "ui/results_json.h"

#include <algorithm>
#include <string>
#include <vector>

#include "ui/uncertainty.h"

namespace quorvel {

nlohmann::json resultsJson(const Workstation& ws) {
  const VolumeCurves& vc = ws.curves.vc;
  const int Ninst = ws.w.study.Ninst;
  nlohmann::json j;
  auto ventricle = [&](const std::string& p, const VentricleResults& r) {
    j[p + "volmax"] = r.volmax;
    j[p + "volmin"] = r.volmin;
    j[p + "VES"] = r.VES;
    j[p + "debit"] = r.debit;
    j[p + "FES"] = r.FES;
    j[p + "TFS"] = r.TFS;
    j[p + "PER"] = r.PER;
    j[p + "TPER"] = r.TPER;
    j[p + "PFR"] = r.PFR;
    j[p + "TPFR"] = r.TPFR;
  };
  ventricle("G_", vc.G);
  ventricle("D_", vc.D);
  j["volG"] = std::vector<float>(vc.volG.begin(), vc.volG.begin() + Ninst);
  j["volD"] = std::vector<float>(vc.volD.begin(), vc.volD.begin() + Ninst);
  j["vidange_G"] = vc.vidange_G;
  j["vidange_D"] = vc.vidange_D;
  j["filling_G"] = vc.filling_G;
  j["filling_D"] = vc.filling_D;
  j["CYCLE"] = ws.w.study.CYCLE;
  j["Ninst"] = Ninst;
  j["CARD_FREQ"] = ws.w.study.CARD_FREQ;
  j["TACFIT_switch"] = ws.w.settings.curves.TACFIT_switch;
  return j;
}

nlohmann::json model3dJson(const Workstation& ws) {
  const RegionalMaps& maps = ws.model.maps;
  const BullsEye& eye = ws.model.eye;
  const int layout = ws.w.options.SECT_25;
  nlohmann::json j;
  auto pair = [](const std::array<float, 2>& a) { return std::vector<float>{a[0], a[1]}; };
  const std::pair<const char*, const std::array<float, 2>*> stats[] = {
      {"mesh_fej_mean", &maps.mesh_fej_mean},   {"mesh_fej_std", &maps.mesh_fej_std},
      {"mesh_tej_mean", &maps.mesh_tej_mean},   {"mesh_tej_std", &maps.mesh_tej_std},
      {"mesh_per_mean", &maps.mesh_per_mean},   {"mesh_per_std", &maps.mesh_per_std},
      {"mesh_pfr_mean", &maps.mesh_pfr_mean},   {"mesh_pfr_std", &maps.mesh_pfr_std},
      {"mesh_tper_mean", &maps.mesh_tper_mean}, {"mesh_tper_std", &maps.mesh_tper_std},
      {"mesh_tpfr_mean", &maps.mesh_tpfr_mean}, {"mesh_tpfr_std", &maps.mesh_tpfr_std}};
  for (const auto& [name, value] : stats) j[name] = pair(*value);
  const std::pair<const char*, const std::array<SectorValues, 2>*> sectors[] = {
      {"mesh_smoy_fej", &eye.mesh_smoy_fej}, {"mesh_smoy_tej", &eye.mesh_smoy_tej},
      {"mesh_smoy_per", &eye.mesh_smoy_per}, {"mesh_smoy_pfr", &eye.mesh_smoy_pfr},
      {"mesh_smoy_tper", &eye.mesh_smoy_tper}, {"mesh_smoy_tpfr", &eye.mesh_smoy_tpfr}};
  const int shown = std::clamp(layout, 0, kSectorSlots - 1);
  for (const auto& [name, value] : sectors)
    for (int v = 0; v < 2; ++v)
      j[name].push_back(std::vector<float>((*value)[v].begin() + 1, (*value)[v].begin() + 1 + shown));
  j["SECT_25"] = layout;
  j["PER_corr"] = maps.PER_corr;
  j["PFR_corr"] = maps.PFR_corr;
  j["mesh_samA"] = ws.model.mesh.mesh_samA;
  j["mesh_samR"] = ws.model.mesh.mesh_samR;
  j["segmental"] = segmentalJson(ws.segmental);
  return j;
}

namespace {
nlohmann::json phaseJson(const PhaseIndices& p, const char* countKey) {
  return {{countKey, p.voxels},           {"mean_deg", p.meanDeg},       {"sd_deg", p.sdDeg},
          {"bandwidth_deg", p.bandwidthDeg}, {"entropy_pct", p.entropyPct}, {"synchrony", p.synchrony}};
}
}  // namespace

nlohmann::json segmentalJson(const SegmentalAnalysis& a) {
  nlohmann::json j;
  j["valid"] = a.valid;
  if (!a.valid) return j;
  const char* const names[2] = {"left", "right"};
  for (int v = 0; v < 2; ++v) {
    const VentricleSegments& vs = a.ventricles[v];
    nlohmann::json side;
    side["numbering"] = v == 0 ? "17-segment model" : "basal, mid, apical by septal and free wall; 7 apex";
    side["end_diastole_instant"] = vs.frame.edInstant + 1;
    side["septum_from_voxels"] = vs.frame.septalFromVoxels;
    for (int k = 1; k <= vs.count; ++k) {
      const SegmentResult& r = vs.segments[k];
      side["segments"].push_back({{"segment", k},
                                  {"name", v == 0 ? leftSegmentName(k) : rightSegmentName(k)},
                                  {"edv_ml", r.edvMl},
                                  {"esv_ml", r.esvMl},
                                  {"ef", r.ef},
                                  {"time_to_min_pct", r.timeToMinPct},
                                  {"time_to_min_ms", r.timeToMinMs},
                                  {"per_edv_s", r.peakEjectionRate},
                                  {"pfr_edv_s", r.peakFillingRate},
                                  {"ml_per_instant", std::vector<float>(r.ml.begin(), r.ml.begin() + a.Ninst)}});
    }
    side["dyssynchrony_sd_pct"] = vs.dyssynchronyPct;
    side["dyssynchrony_sd_ms"] = vs.dyssynchronyMs;
    side["phase"] = phaseJson(vs.phase, "voxels");
    side["node_phase"] = phaseJson(vs.nodePhase, "nodes");
    j[names[v]] = side;
  }
  j["phase_delay_lv_minus_rv_ms"] = a.phaseDelayMs;
  return j;
}

nlohmann::json uncertaintyJson(const UncertaintyReport& r) {
  nlohmann::json j{{"valid", r.valid},
                   {"placement_measured", r.placementMeasured},
                   {"halvings", r.halvings},
                   {"seed", kUncertaintySeed},
                   {"counting_runs", r.countingRuns},
                   {"placement_runs", r.placementRuns},
                   {"failed_runs", r.failedRuns}};
  const NoiseModel& n = r.noise;
  j["noise"] = {{"variance_to_mean", n.varianceToMean},
                {"neighbour_correlation", n.neighbourCorrelation},
                {"kernel_sigma_voxels", n.kernelSigma},
                {"static_voxels", n.staticVoxels},
                {"halves", n.poisson() ? "binomial thinning" : "correlated gaussian split"}};
  for (int i = 0; i < kUncertainResults; ++i) {
    const ResultUncertainty& u = r.results[i];
    j["results"][kUncertainResultKeys[i]] = {{"value", u.value},         {"u", u.standard}, {"u_counting", u.counting},
                                             {"u_placement", u.placement}, {"low95", u.low95}, {"high95", u.high95}};
  }
  return j;
}

}  // namespace quorvel
