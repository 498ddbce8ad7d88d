#include "segmentation/classification.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace quorvel {

namespace {

constexpr double kMinComponentBeat = 0.25;  // of the strongest component's beat, in all and per voxel

// Each voxel's first harmonic over the instants projected on the phase of its region's class (the
// sum of those harmonics over the class's 4D voxels), summed over the 4D voxels of each region of
// either ventricle: what beats with the ventricle and what beats against it.
struct RegionBeat {
  double with = 0, against = 0;
};

std::vector<RegionBeat> regionBeats(const Study& s, const Segmentation& seg) {
  const int N = s.Ninst, nreg = seg.NREG;
  std::vector<RegionBeat> out(nreg + 1);
  const size_t perInstant = s.instantSize();
  if (N < 2 || seg.LPE.size() != s.DATA.size() || s.DATA.size() != N * perInstant) return out;
  std::vector<float> re(perInstant), im(perInstant);
  for (int t = 0; t < N; ++t) {
    const float c = static_cast<float>(std::cos(2 * std::numbers::pi * t / N)),
                sn = static_cast<float>(std::sin(2 * std::numbers::pi * t / N));
    const float* d = s.DATA.data() + t * perInstant;
    for (size_t v = 0; v < perInstant; ++v) re[v] += c * d[v], im[v] += sn * d[v];
  }
  std::array<double, 2> refRe{}, refIm{};
  for (size_t i = 0; i < seg.LPE.size(); ++i) {
    const int c = seg.CORR[seg.LPE[i] % kLabelSlots];
    if (c != kClassLeft && c != kClassRight) continue;
    const size_t v = i % perInstant;
    refRe[c - 1] += re[v], refIm[c - 1] += im[v];
  }
  const std::array<double, 2> norm{std::hypot(refRe[0], refIm[0]), std::hypot(refRe[1], refIm[1])};
  for (size_t i = 0; i < seg.LPE.size(); ++i) {
    const int l = seg.LPE[i] % kLabelSlots, c = seg.CORR[l];
    if (l > nreg || (c != kClassLeft && c != kClassRight) || !(norm[c - 1] > 0)) continue;
    const size_t v = i % perInstant;
    const double p = (re[v] * refRe[c - 1] + im[v] * refIm[c - 1]) / norm[c - 1];
    (p > 0 ? out[l].with : out[l].against) += std::fabs(p);
  }
  return out;
}

struct MeanPosition {
  double row = 0, col = 0;
};

std::vector<MeanPosition> meanPositions(const Segmentation& seg, int nreg) {
  std::vector<long long> count(nreg + 1, 0), rows(nreg + 1, 0), cols(nreg + 1, 0);
  const size_t n = seg.LPE.size();
  for (size_t i = 0; i < n; ++i) {
    const int l = seg.LPE[i];
    if (l > nreg) continue;  // cannot happen with a consistent NREG; never index past the tables
    ++count[l];
    rows[l] += static_cast<long long>((i / kMatrix) % kMatrix);
    cols[l] += static_cast<long long>(i % kMatrix);
  }
  std::vector<MeanPosition> mean(nreg + 1);
  for (int l = 0; l <= nreg; ++l)
    if (count[l] > 0) mean[l] = {static_cast<double>(rows[l]) / count[l], static_cast<double>(cols[l]) / count[l]};
  return mean;
}

void logClasses(const Segmentation& seg, const std::vector<MeanPosition>& mean, TraceLog& log) {
  for (int l = 1; l <= seg.NREG; ++l)
    log.writef("%d  -  ( %2.2f   %2.2f)  ;  %d\n", l, mean[l].row, mean[l].col, seg.CORR[l]);
}

// Keeps, among the regions of one ventricle, only the component(s) of largest total size among
// those that beat.
// Regions join a component through more than kContactThreshold spatial contacts counted from
// the member towards the other; labels take the smallest component number they can reach.
void keepLargestComponent(const std::vector<int>& members, const std::vector<RegionBeat>& beats, Segmentation& seg,
                          int group, TraceLog& log) {
  const int m = static_cast<int>(members.size());
  log.writef("connex corr - %d A\n", group);
  std::vector<int> component(members.begin(), members.end());
  std::vector<std::vector<int>> joins(m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j)
      if (j != i && seg.RECOUP_Z(members[i], members[j]) > kContactThreshold) joins[i].push_back(j);
  log.writef("connex corr - %d B\n", group);
  // Sweeps in list order with immediate updates; once a sweep changes nothing, the remaining
  // repetitions (NREG in all) would change nothing either.
  for (int sweep = 0; sweep < seg.NREG; ++sweep) {
    bool changed = false;
    for (int i = 0; i < m; ++i)
      for (int j : joins[i])
        if (component[j] < component[i]) component[i] = component[j], changed = true;
    if (!changed) break;
  }
  log.writef("connex corr - %d C\n", group);
  std::vector<long long> total(kLabelSlots, 0);
  std::vector<double> beat(kLabelSlots, 0);
  for (int i = 0; i < m; ++i) {
    total[component[i]] += seg.CARD[members[i]];
    beat[component[i]] += beats[members[i]].with - beats[members[i]].against;
  }
  // A component that hardly beats beside the one beating most, in all or per voxel (an organ at
  // rest, the liver or the spleen, with what it takes from the ventricle's blur), is no ventricle
  // however large; among those that beat, the largest is kept.
  const int top = static_cast<int>(std::max_element(beat.begin(), beat.end()) - beat.begin());
  const double strongest = beat[top], density = total[top] > 0 ? strongest / total[top] : 0;
  auto beating = [&](int c) {
    return !(strongest > 0) ||
           (beat[c] >= kMinComponentBeat * strongest && beat[c] >= kMinComponentBeat * density * total[c]);
  };
  long long largest = 0;
  for (int c = 0; c < kLabelSlots; ++c)
    if (beating(c)) largest = std::max(largest, total[c]);
  log.writef("connex corr - %d D\n", group);
  for (int i = 0; i < m; ++i) {
    log.writef("CARDTOT (%d)  ==  %d (%d)   %d   %d   %d   -   %d\n", group, members[i], component[i],
               static_cast<int>(total[component[i]]), static_cast<int>(largest), seg.CARD[members[i]],
               seg.CORR[members[i]]);
    if (!beating(component[i]) || total[component[i]] < largest) seg.CORR[members[i]] = kClassOther;
  }
  log.writef("connex corr - %d E\n", group);
}

}  // namespace

void SEGMENT_EVAL(const Study& s, const ReorientSettings& lines, const SliceLimits& lim, WorkflowState& flow,
                  Segmentation& seg, TraceLog& log) {
  const int nreg = seg.NREG;
  const std::vector<MeanPosition> mean = meanPositions(seg, nreg);
  const double valves = lines.valves_plano_, septum = lines.septum_plano;
  std::vector<int> left, right;
  for (int l = 1; l <= nreg; ++l) {
    const MeanPosition p = mean[l];
    if (p.row < valves && p.col > septum) {
      seg.CORR[l] = kClassLeft;
      left.push_back(l);
    } else if (p.row < valves && p.col < septum) {
      seg.CORR[l] = kClassRight;
      right.push_back(l);
    } else {
      seg.CORR[l] = kClassOther;
    }
  }
  log.writef("valves_plano = %d    -    septum_plano = %d\n\n", lines.valves_plano_, lines.septum_plano);
  if (log.enabled()) logClasses(seg, mean, log);
  log.writef("VREG :: %d  %d\n", static_cast<int>(left.size()), static_cast<int>(right.size()));
  const std::vector<RegionBeat> beats = regionBeats(s, seg);
  keepLargestComponent(left, beats, seg, 1, log);
  keepLargestComponent(right, beats, seg, 2, log);
  if (log.enabled()) logClasses(seg, mean, log);
  flow.segment_updt1 = flow.segment_updt2 = 1;
  EVAL_STRUC_MAX(s, lim, seg);
}

void EVAL_STRUC_MAX(const Study& s, const SliceLimits& lim, Segmentation& seg) {
  seg.struct_max.fill(1.0f);
  std::array<int, 4> top{1, 1, 1, 1};
  const int NCZ = s.NCZ;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < NCZ; ++z) {
      const bool leftIn = z >= lim.limG_inf[t] && z <= lim.limG_sup[t];
      const bool rightIn = z >= lim.limD_inf[t] && z <= lim.limD_sup[t];
      const size_t base = Segmentation::index(NCZ, t, z, 0, 0);
      for (size_t i = base; i < base + kSliceVoxels; ++i) {
        const int l = seg.LPE[i];
        if (l >= kLabelSlots) continue;
        int c = seg.CORR[l];
        if ((c == kClassLeft && !leftIn) || (c == kClassRight && !rightIn)) c = kClassOther;
        if (c >= 0 && c < 4) top[c] = std::max(top[c], static_cast<int>(s.DATA[i]));
      }
    }
  for (int c = 0; c < 4; ++c) seg.struct_max[c] = static_cast<float>(top[c]);
  seg.struct_max[3] = (seg.struct_max[1] + seg.struct_max[2]) * 0.5f;
  for (int c = 1; c <= 3; ++c) seg.struct_max[c + 3] = seg.struct_max[c + 16] = seg.struct_max[c];
}

}  // namespace quorvel
