#include "segmentation/plausibility.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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

constexpr double kMaxAgainstShare = 0.35;  // activity beating against a ventricle, of what beats with it
constexpr double kMinBeat = 0.01;          // first harmonic of the volume curve, of its sum
constexpr double kValleyShare = 0.1;       // the second pool stands out by this share of the highest

bool counted(const Study& s, const Segmentation& seg, size_t i, int ventricle) {
  return seg.CORR[seg.LPE[i] % kLabelSlots] == ventricle &&
         !belowThreshold(static_cast<int>(s.DATA[i]), seg.struct_max[ventricle], s.seuillage);
}

// The first harmonic of a volume curve (real and imaginary parts) and the curve's sum.
struct Harmonic {
  double re = 0, im = 0, sum = 0;
};
Harmonic firstHarmonic(const InstantCurve& volume, int N) {
  Harmonic h;
  for (int t = 0; t < N; ++t) {
    const double a = 2 * std::numbers::pi * t / N;
    h.re += volume[t] * std::cos(a), h.im += volume[t] * std::sin(a), h.sum += volume[t];
  }
  return h;
}

// Whether a curve beats at all: its first harmonic against its sum. A sinusoidal beat of ejection
// fraction E gives about E / 4, so the limit lies near an ejection fraction of 4 %.
bool beats(const Harmonic& h) { return std::hypot(h.re, h.im) > kMinBeat * std::fabs(h.sum); }

// A curve that holds a volume but does not beat; an empty curve neither beats nor rests.
bool rests(const InstantCurve& volume, int N) {
  return N >= 2 && std::any_of(volume.begin(), volume.begin() + N, [](float v) { return v > 0; }) &&
         !beats(firstHarmonic(volume, N));
}

// The first harmonic of every voxel the ventricle counts at some instant, projected on the phase
// of the ventricle's own volume curve: what beats against it, as a share of what beats with it.
double againstShare(const Study& s, const SliceLimits& lim, const Segmentation& seg, const InstantCurve& volume,
                    int ventricle) {
  const int N = s.Ninst;
  const Harmonic h = firstHarmonic(volume, N);
  if (!beats(h)) return 0;  // a curve that does not beat has no phase
  const double re = h.re, im = h.im, norm = std::hypot(re, im);
  std::vector<double> weight(static_cast<size_t>(N));
  for (int t = 0; t < N; ++t) {
    const double a = 2 * std::numbers::pi * t / N;
    weight[t] = (std::cos(a) * re + std::sin(a) * im) / norm;
  }
  const auto& first = ventricle == kClassLeft ? lim.limG_inf : lim.limD_inf;
  const auto& hi = ventricle == kClassLeft ? lim.limG_sup : lim.limD_sup;
  double with = 0, against = 0;
  for (int z = 0; z < s.NCZ; ++z)
    for (int i = 0; i < kSliceVoxels; ++i) {
      bool member = false;
      for (int t = 0; t < N && !member; ++t)
        member = z >= first[t] && z <= hi[t] && counted(s, seg, Segmentation::index(s.NCZ, t, z, 0, 0) + i, ventricle);
      if (!member) continue;
      double h = 0;
      for (int t = 0; t < N; ++t) h += weight[t] * s.DATA[Segmentation::index(s.NCZ, t, z, 0, 0) + i];
      (h > 0 ? with : against) += std::fabs(h);
    }
  return with > 0 ? against / with : 0;
}

// End-diastolic counts of both ventricles profiled across the columns: the valley between the
// highest pool and the pool standing out most on the other side, and how far up the lower pool's
// flank the septum line sits.
void septumFlank(const Study& s, const Segmentation& seg, int septumColumn, QualityFigures& q) {
  std::array<double, kMatrix> f{};
  for (int z = 0; z < s.NCZ; ++z)
    for (int r = 0; r < kMatrix; ++r)
      for (int c = 0; c < kMatrix; ++c) {
        const size_t i = Segmentation::index(s.NCZ, 0, z, r, c);
        if (counted(s, seg, i, kClassLeft) || counted(s, seg, i, kClassRight)) f[c] += s.DATA[i];
      }
  const int top = static_cast<int>(std::max_element(f.begin(), f.end()) - f.begin());
  int valley = top, other = top;
  double prominence = 0;
  for (int b = 0; b < kMatrix; ++b) {
    const int lo = std::min(b, top), hi = std::max(b, top);
    const int low = static_cast<int>(std::min_element(f.begin() + lo, f.begin() + hi + 1) - f.begin());
    if (f[b] - f[low] > prominence) prominence = f[b] - f[low], valley = low, other = b;
  }
  if (!(prominence > kValleyShare * f[top]) || septumColumn < 0 || septumColumn >= kMatrix) return;
  const double rise = std::min(f[top], f[other]) - f[valley];
  q.septumFlank = rise > 0 ? std::max(0.0, (f[septumColumn] - f[valley]) / rise) : 0;
}

}  // namespace

QualityFigures qualityFigures(const Study& s, const SliceLimits& lim, const Segmentation& seg,
                              const VolumeCurves& vc, int septumColumn) {
  QualityFigures q;
  if (seg.LPE.size() != s.DATA.size() || s.Ninst < 2) return q;
  q.againstShare = {againstShare(s, lim, seg, vc.volG, kClassLeft), againstShare(s, lim, seg, vc.volD, kClassRight)};
  septumFlank(s, seg, septumColumn, q);
  return q;
}

std::vector<ImplausibleVentricle> implausibleResults(const Study& s, const SliceLimits& lim,
                                                     const Segmentation& seg, const VolumeCurves& vc,
                                                     int septumColumn) {
  std::vector<ImplausibleVentricle> out;
  if (seg.LPE.size() != s.DATA.size()) return out;
  const QualityFigures q = qualityFigures(s, lim, seg, vc, septumColumn);
  for (int ventricle : {kClassLeft, kClassRight}) {
    const VentricleResults& r = ventricle == kClassLeft ? vc.G : vc.D;
    const int k = ventricle == kClassLeft ? 0 : 1;
    ImplausibleVentricle v{ventricle, touchesSquareEdge(s, lim, seg, ventricle), r.TPER > static_cast<float>(r.TFS),
                           r.TPER, r.TFS};
    v.atrialActivityInside = q.againstShare[k] > kMaxAgainstShare;
    v.restingVolume = rests(ventricle == kClassLeft ? vc.volG : vc.volD, s.Ninst);
    if (v.any()) out.push_back(v);
  }
  return out;
}

std::string implausibleResultText(const ImplausibleVentricle& v, int LANGUE) {
  using namespace segmentation_texts;
  std::string line = (v.ventricle == kClassLeft ? kLeftVentricle : kRightVentricle).pick(LANGUE);
  if (v.touchesSquareEdge) line += kTouchesSquareEdge.pick(LANGUE);
  if (v.ejectionAfterSystole) line += format(kEjectionAfterSystole.pick(LANGUE), static_cast<int>(v.TPER), v.TFS);
  if (v.atrialActivityInside) line += kAtrialActivityInside.pick(LANGUE);
  if (v.restingVolume) line += kRestingVolume.pick(LANGUE);
  return line + kResultsNotTrusted.pick(LANGUE);
}

}  // namespace quorvel
