#include "ui/results_json.h"

#include <string>
#include <vector>

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

}  // namespace quorvel
