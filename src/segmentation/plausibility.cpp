#include "segmentation/plausibility.h"

#include <algorithm>

#include "base/language.h"
#include "segmentation/classification.h"
#include "segmentation/segmentation_texts.h"

namespace quorvel {

namespace {

bool touchesSquareEdge(const Study& s, const SliceLimits& lim, const Segmentation& seg, int ventricle) {
  const auto& lo = ventricle == kClassLeft ? lim.limG_inf : lim.limD_inf;
  const auto& hi = ventricle == kClassLeft ? lim.limG_sup : lim.limD_sup;
  auto counted = [&](size_t i) {
    return seg.CORR[seg.LPE[i]] == ventricle &&
           !belowThreshold(static_cast<int>(s.DATA[i]), seg.struct_max[ventricle], s.seuillage);
  };
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = std::max(0, lo[t]); z <= std::min(s.NCZ - 1, hi[t]); ++z)
      for (int k = 0; k < kMatrix; ++k)
        if (counted(Segmentation::index(s.NCZ, t, z, 0, k)) || counted(Segmentation::index(s.NCZ, t, z, kMatrix - 1, k)) ||
            counted(Segmentation::index(s.NCZ, t, z, k, 0)) || counted(Segmentation::index(s.NCZ, t, z, k, kMatrix - 1)))
          return true;
  return false;
}

}  // namespace

std::vector<ImplausibleVentricle> implausibleResults(const Study& s, const SliceLimits& lim,
                                                     const Segmentation& seg, const VolumeCurves& vc) {
  std::vector<ImplausibleVentricle> out;
  if (seg.LPE.size() != s.DATA.size()) return out;
  for (int ventricle : {kClassLeft, kClassRight}) {
    const VentricleResults& r = ventricle == kClassLeft ? vc.G : vc.D;
    ImplausibleVentricle v{ventricle, touchesSquareEdge(s, lim, seg, ventricle), r.TPER > static_cast<float>(r.TFS),
                           r.TPER, r.TFS};
    if (v.touchesSquareEdge || v.ejectionAfterSystole) out.push_back(v);
  }
  return out;
}

std::string implausibleResultText(const ImplausibleVentricle& v, int LANGUE) {
  using namespace segmentation_texts;
  std::string line = (v.ventricle == kClassLeft ? kLeftVentricle : kRightVentricle).pick(LANGUE);
  if (v.touchesSquareEdge) line += kTouchesSquareEdge.pick(LANGUE);
  if (v.ejectionAfterSystole) line += format(kEjectionAfterSystole.pick(LANGUE), static_cast<int>(v.TPER), v.TFS);
  return line + kResultsNotTrusted.pick(LANGUE);
}

}  // namespace quorvel
