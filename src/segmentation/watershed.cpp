#include "segmentation/watershed.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "base/large_buffers.h"
#include "segmentation/region_stats.h"
#include "study/study_model.h"

namespace quorvel {

namespace {

constexpr int kPlaneShift = 12;  // log2 of kSliceVoxels
constexpr int kRowShift = 6;     // log2 of kMatrix
static_assert(kSliceVoxels == 1 << kPlaneShift && kMatrix == 1 << kRowShift);

inline int levelOf(float v, int ECH) { return std::clamp(static_cast<int>(v), 1, ECH); }

// Label counts of one box: the labels met, in a short list (a box holds few distinct labels),
// emptied by each decision.
class BoxTally {
 public:
  void add(int label) {
    for (int k = 0; k < size_; ++k)
      if (labels_[k] == label) {
        ++counts_[k];
        return;
      }
    labels_[size_] = label;
    counts_[size_++] = 1;
  }
  // Most frequent label, ties to the smaller; -1 when the box held none. Empties the tally.
  int takeMode() {
    int best = -1, bestCount = 0;
    for (int k = 0; k < size_; ++k) {
      const int l = labels_[k], c = counts_[k];
      if (c > bestCount || (c == bestCount && l < best)) best = l, bestCount = c;
    }
    size_ = 0;
    return best;
  }

 private:
  // Every label slot at most: a box cannot hold more distinct labels.
  std::array<int, kLabelSlots> labels_, counts_;
  int size_ = 0;
};

struct Box {
  int T, Z, XY;
};

int decideVoxel(const uint16_t* lpe, int Ninst, int NCZ, int t, int z, int row, int col, Box b, BoxTally& tally) {
  const int r0 = std::max(0, row - b.XY), r1 = std::min(kMatrix - 1, row + b.XY);
  const int c0 = std::max(0, col - b.XY), c1 = std::min(kMatrix - 1, col + b.XY);
  const int z0 = std::max(0, z - b.Z), z1 = std::min(NCZ - 1, z + b.Z);
  for (int dt = -b.T; dt <= b.T; ++dt) {
    const int tt = ((t + dt) % Ninst + Ninst) % Ninst;  // the cycle closes on itself
    for (int zz = z0; zz <= z1; ++zz) {
      const uint16_t* plane = lpe + ((static_cast<size_t>(tt) * NCZ + zz) << kPlaneShift);
      for (int r = r0; r <= r1; ++r) {
        const uint16_t* line = plane + (r << kRowShift);
        for (int c = c0; c <= c1; ++c)
          if (line[c] != 0) tally.add(line[c]);
      }
    }
  }
  return tally.takeMode();
}

}  // namespace

FloodSettings floodSettingsOf(const Study& s, const Options& opt) {
  return {opt.ECH, opt.equilibrium != 0, s.seuillage};
}

void RECH_IMAGE(Study& s, const Options& opt, Segmentation& seg, TraceLog& log) {
  EVAL_DATA_INTERVAL(s, log);
  log.writef("DATA max = %2.2f\n", s.datamax);
  log.writef("Seuillage = %d\n", s.seuillage);
  log.writef("DATA min = %2.2f\n", s.datamin);
  const double top = s.datamax;
  const double span = opt.ECH - 1;
  // In double, so that the largest voxel lands exactly on ECH.
  for (float& v : s.DATA) v = top > 0 ? static_cast<float>(span * v / top + 1.0) : 1.0f;
  s.datamax = static_cast<float>(opt.ECH);
  stampCounts(s);
  seg.struct_max.fill(static_cast<float>(opt.ECH));
}

int DEF_REG(const Segmentation& seg, int Ninst, int NCZ, int t, int z, int row, int col, int T, int Z, int XY) {
  BoxTally tally;
  return decideVoxel(seg.LPE.data(), Ninst, NCZ, t, z, row, col, {T, Z, XY}, tally);
}

FloodStatus SEGMENTE(int L0, int T, int Z, int XY, int I, int S, const Study& s, const FloodSettings& fs,
                     Segmentation& seg, TraceLog& log, const ProgressFn& progress) {
  const int Ninst = s.Ninst, NCZ = s.NCZ, ECH = fs.ECH;
  seg.labelsChanged();  // the flooding writes labels from here on
  uint16_t* lpe = seg.LPE.data();
  const uint16_t taken = static_cast<uint16_t>(L0);
  const int t0 = I < 0 ? 0 : I, t1 = I < 0 ? Ninst - 1 : I;
  const int z0 = S < 0 ? 0 : S, z1 = S < 0 ? NCZ - 1 : S;
  log.WRITE_LOGFILE("segmente 1\n");

  // Per-level lists of linear indices in scan order, built in two sweeps (count, then fill).
  std::vector<uint32_t> start(static_cast<size_t>(ECH) + 2, 0);
  auto forEachTaken = [&](auto&& visit) {
    for (int t = t0; t <= t1; ++t)
      for (int z = z0; z <= z1; ++z) {
        const size_t base = (static_cast<size_t>(t) * NCZ + z) << kPlaneShift;
        for (size_t i = base; i < base + kSliceVoxels; ++i)
          if (lpe[i] == taken) visit(i);
      }
  };
  forEachTaken([&](size_t i) { ++start[levelOf(s.DATA[i], ECH) + 1]; });
  for (int l = 1; l <= ECH + 1; ++l) start[l] += start[l - 1];
  std::vector<uint32_t> order;
  assignVolume(order, start[ECH + 1], 0u);
  {
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    forEachTaken([&](size_t i) {
      order[fill[levelOf(s.DATA[i], ECH)]++] = static_cast<uint32_t>(i);
      lpe[i] = 0;
    });
  }
  log.WRITE_LOGFILE("segmente 2\n");

  const int lowest = fs.equilibrium ? ECH * fs.seuillage / 100 + 1 : 1;
  const Box box{T, Z, XY};
  BoxTally tally;
  std::vector<uint32_t> pending, next;
  log.WRITE_LOGFILE("/************************************   DEBUT BOUCLE  *//////////\n");
  // Voxels are flooded from the brightest level down; report every few levels.
  const double toFlood = std::max<double>(1.0, start[ECH + 1] - start[std::max(lowest, 1)]);
  constexpr int kLevelsPerReport = 32;
  for (int level = ECH; level >= std::max(lowest, 1); --level) {
    if (progress && (ECH - level) % kLevelsPerReport == 0 &&
        !progress((start[ECH + 1] - start[level + 1]) / toFlood))
      return FloodStatus::Cancelled;
    const uint32_t first = start[level], last = start[level + 1];
    log.writef("*********   ECH  :  %d  --   %d   ******************************\n", level,
               static_cast<int>(last - first));
    if (first == last) continue;
    pending.assign(order.begin() + first, order.begin() + last);
    bool seedsAllowed = true;
    while (!pending.empty()) {
      bool labelled = false;
      next.clear();
      for (uint32_t i : pending) {
        const int col = i & (kMatrix - 1), row = (i >> kRowShift) & (kMatrix - 1);
        const int tz = static_cast<int>(i >> kPlaneShift);
        const int label = decideVoxel(lpe, Ninst, NCZ, tz / NCZ, tz % NCZ, row, col, box, tally);
        if (label > 0) {
          lpe[i] = static_cast<uint16_t>(label);
        } else if (seedsAllowed) {
          if (seg.NREG >= kMaxLabels) return FloodStatus::RegionOverflow;
          lpe[i] = static_cast<uint16_t>(++seg.NREG);
          seg.CORR[seg.NREG] = kClassOther;
        } else {
          next.push_back(i);
          continue;
        }
        labelled = true;
        seedsAllowed = false;
      }
      pending.swap(next);
      // Growth stalled: the next pass may plant exactly one new seed.
      if (!labelled) seedsAllowed = true;
    }
  }
  log.WRITE_LOGFILE("/************************************   FIN BOUCLE  *//////////\n");
  log.WRITE_LOGFILE("segmente 5\n");
  return FloodStatus::Done;
}

FloodStatus SEGMENT(Study& s, const Options& opt, WorkflowState& flow, Segmentation& seg, TraceLog& log,
                    const ProgressFn& progress) {
  for (auto& lock : seg.SegLock) lock.fill(0);
  seg.InstLock.fill(0);
  const size_t voxels = static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels;
  assignVolume(seg.LPE, voxels, uint16_t{0});
  assignVolume(seg.AFFECT, voxels, uint8_t{0});
  seg.NREG = 0;
  seg.CORR.fill(0);
  const FloodStatus status =
      SEGMENTE(0, opt.TT_, opt.TZ_, opt.TX_, -1, -1, s, floodSettingsOf(s, opt), seg, log, progress);
  if (status != FloodStatus::Done) return status;
  RECOUP_CLASS(1, s.Ninst, s.NCZ, seg, log);
  seg.CORR[0] = kClassBackground;
  for (int l = 1; l <= seg.NREG; ++l) seg.CORR[l] = kClassOther;
  s.instant = 0;
  flow.segment_done = 1;
  flow.infuButton = 0;  // the infundibulum option starts off with every new segmentation
  return FloodStatus::Done;
}

}  // namespace quorvel
