#include "segmentation/corrections.h"

#include <algorithm>
#include <vector>

#include "base/messages.h"
#include "segmentation/classification.h"
#include "segmentation/corrections_texts.h"
#include "segmentation/region_stats.h"
#include "segmentation/undo.h"

namespace quorvel {

namespace {

bool currentInstantValid(const SegmentationContext& c) {
  return c.w.study.instant >= 0 && c.w.study.instant < c.w.study.Ninst;
}

bool isAssignedClass(int cls) {
  return cls == kClassLeft || cls == kClassRight || cls == kClassOther || cls == kClassExcludedConnected ||
         cls == kClassExcludedRegion;
}

void markChanged(SegmentationContext& c) {
  c.w.settings.flow.segment_updt1 = c.w.settings.flow.segment_updt2 = 1;
}

void evalStructMax(SegmentationContext& c) { EVAL_STRUC_MAX(c.w.study, c.w.settings.limits, c.seg); }

int saveUndo(SegmentationContext& c) { return SAVE_UNDO(kUndoSegmentationRing, c); }

// Gives every voxel of slice (t, z) labelled `from` the label `to`, keeping the statistics equal
// to a full recount: only the slice itself and the four slices whose neighbours lie in it change.
void relabelSlice(Segmentation& seg, int Ninst, int NCZ, int t, int z, int from, int to) {
  std::vector<std::pair<int, int>> touched{{t, z}};
  auto add = [&](int tt, int zz) {
    if (zz < 0 || zz >= NCZ) return;
    if (std::find(touched.begin(), touched.end(), std::pair{tt, zz}) == touched.end()) touched.emplace_back(tt, zz);
  };
  add(t, z - 1);
  add(t, z + 1);
  add((t + Ninst - 1) % Ninst, z);
  add((t + 1) % Ninst, z);
  for (auto [tt, zz] : touched) addSliceStatistics(seg, Ninst, NCZ, tt, zz, -1);
  const size_t base = Segmentation::index(NCZ, t, z, 0, 0);
  for (size_t i = base; i < base + kSliceVoxels; ++i)
    if (seg.LPE[i] == from) seg.LPE[i] = static_cast<uint16_t>(to);
  seg.labelsChanged();
  for (auto [tt, zz] : touched) addSliceStatistics(seg, Ninst, NCZ, tt, zz, 1);
}

}  // namespace

void recountAfterPainting(SegmentationContext& c) {
  WorkflowState& flow = c.w.settings.flow;
  if (!flow.paintPending) return;
  flow.paintPending = 0;
  if (!hasLabels(c)) return;
  RECOUP_CLASS(0, c.w.study.Ninst, c.w.study.NCZ, c.seg, c.log);
  evalStructMax(c);
  markChanged(c);
}

Refusal regionOverflow() { return Refusal::of(RefusalCode::TooManyRegions, corrections_texts::kRegionOverflow); }

// ---- class rules ---------------------------------------------------------------------------

bool isLockedSlice(const Segmentation& seg, int t, int z) {
  if (t < 0 || t >= kMaxInstants || z < 0 || z >= kMaxSlices) return false;
  return seg.InstLock[t] != 0 || seg.SegLock[t][z] != 0;
}

int effectiveClass(const Study& s, const Options& opt, const Segmentation& seg, size_t voxel) {
  const int L = seg.LPE[voxel];
  if (L >= kLabelSlots) return kClassBackground;
  const int c = seg.CORR[L];
  if (opt.equilibrium == 0 && c > 0 && c < kStructMaxEntries &&
      belowThreshold(static_cast<int>(s.DATA[voxel]), seg.struct_max[c], s.seuillage))
    return kClassBackground;
  return c;
}

int presenceClass(const Study& s, const Options& opt, const SliceLimits& lim, const Segmentation& seg, int t, int z,
                  size_t voxel) {
  const int c = effectiveClass(s, opt, seg, voxel);
  if (c == kClassLeft && (z < lim.limG_inf[t] || z > lim.limG_sup[t])) return kClassOther;
  if (c == kClassRight && (z < lim.limD_inf[t] || z > lim.limD_sup[t])) return kClassOther;
  return c;
}

// ---- the operations ------------------------------------------------------------------------

void INFU_NOOPT(WorkflowState& flow) { flow.infuButton = 0; }

void AFF_REGG(SegmentationContext& c, std::optional<SliceVoxel> v) {
  WorkflowState& flow = c.w.settings.flow;
  const Study& s = c.w.study;
  if (!v || !hasLabels(c) || !currentInstantValid(c)) {
    flow.N_segsel = 0;
    flow.Paint_no = 0;
    return;
  }
  flow.N_coupesel = v->slice;
  if (isLockedSlice(c.seg, s.instant, v->slice)) {
    flow.N_segsel = 0;
    flow.Paint_no = 0;
  } else {
    const int L = c.seg.LPE[Segmentation::index(s.NCZ, s.instant, v->slice, v->row, v->col)];
    flow.N_segsel = L;
    flow.Paint_no = L < kLabelSlots ? c.seg.CORR[L] : 0;
  }
}

AssignOutcome CHOOSE_REG(SegmentationContext& c, int cls, std::optional<SliceVoxel> v, bool sliceOnly,
                         SliceDragLabels* drag) {
  WorkflowState& flow = c.w.settings.flow;
  const Study& s = c.w.study;
  Segmentation& seg = c.seg;
  if (!isAssignedClass(cls) || !hasLabels(c)) return AssignOutcome::Ignored;
  const int t = s.instant;
  if (v && currentInstantValid(c) && !isLockedSlice(seg, t, v->slice)) {
    const int L = seg.LPE[Segmentation::index(s.NCZ, t, v->slice, v->row, v->col)];
    if (L != 0) {
      if (sliceOnly) {
        SliceDragLabels single;
        SliceDragLabels& d = drag ? *drag : single;
        if (d.instant != t) d = SliceDragLabels{t, {}};
        int& issued = d.label[v->slice];
        if (issued <= 0 || issued > seg.NREG) {
          // Refused rather than fatal: the user keeps the work done so far.
          if (seg.NREG >= kMaxLabels) return AssignOutcome::RegionOverflow;
          issued = ++seg.NREG;
        }
        if (L != issued) relabelSlice(seg, s.Ninst, s.NCZ, t, v->slice, L, issued);
        seg.CORR[issued] = cls;
      } else {
        seg.CORR[L] = cls;
      }
      if (cls == kClassRight) INFU_NOOPT(flow);
    }
    if (cls == kClassLeft || cls == kClassRight)
      ADD_IN_REGS(cls, seg, c.log);
    else if (cls == kClassExcludedConnected)
      ADD_OUT_REGS(seg);
    c.platform.pictureChanged(View::Segmentation);
  }
  markChanged(c);
  evalStructMax(c);
  return AssignOutcome::Applied;
}

void ADD_IN_REGS(int cls, Segmentation& seg, TraceLog& log) {
  log.writef("add_reg 1\n");
  const int nreg = std::min(seg.NREG, kMaxLabels);
  const unsigned wanted = 1u << cls;
  for (int a = 0; a <= nreg; ++a) {
    if (seg.CORR[a] >= 4) continue;
    const int* touches = seg.RECOUP.row(a);
    unsigned seen = 0;
    for (int b = 1; b <= nreg; ++b) {
      if (b == a || touches[b] <= 0) continue;
      const int cb = seg.CORR[b];
      if (cb <= 0 || cb >= 4) continue;
      seen |= 1u << cb;
      if (seen != wanted) break;  // another class touches: a stays as it is
    }
    if (seen == wanted) seg.CORR[a] = cls;
  }
  log.writef("add_reg 2\n");
}

void ADD_OUT_REGS(Segmentation& seg) {
  // The passes until nothing changes reach exactly the regions connected to a marked one.
  const int nreg = std::min(seg.NREG, kMaxLabels);
  std::vector<int> pending;
  for (int a = 1; a <= nreg; ++a)
    if (seg.CORR[a] == kClassExcludedConnected) pending.push_back(a);
  while (!pending.empty()) {
    const int a = pending.back();
    pending.pop_back();
    const int* touches = seg.RECOUP.row(a);
    for (int b = 1; b <= nreg; ++b)
      if (touches[b] > 0 && seg.CORR[b] > 0 && seg.CORR[b] != kClassExcludedConnected) {
        seg.CORR[b] = kClassExcludedConnected;
        pending.push_back(b);
      }
  }
}

void INIT_REG(SegmentationContext& c, int cls) {
  for (int l = 1; l <= std::min(c.seg.NREG, kMaxLabels); ++l)
    if (c.seg.CORR[l] == cls) c.seg.CORR[l] = kClassOther;
  if (cls == kClassRight) INFU_NOOPT(c.w.settings.flow);
  if (hasLabels(c)) evalStructMax(c);
  markChanged(c);
  c.platform.pictureChanged(View::Segmentation);
}

void VERIF_VLIMS(int which, int Ninst, SliceLimits& lim) {
  auto order = [which](int& inf, int& sup) {
    if (sup >= inf) return;
    if (which == 0)
      inf = sup;
    else
      sup = inf;
  };
  for (int t = 0; t < std::min(Ninst, kMaxInstants); ++t) {
    order(lim.limG_inf[t], lim.limG_sup[t]);
    order(lim.limD_inf[t], lim.limD_sup[t]);
  }
}

void LOCK_SEGMENT(SegmentationContext& c, int t, int first, int last, int respectSliceLocks) {
  const Study& s = c.w.study;
  if (!hasLabels(c) || t < 0 || t >= s.Ninst) return;
  if (c.seg.AFFECT.size() != c.seg.LPE.size()) c.seg.AFFECT.assign(c.seg.LPE.size(), 0);
  first = std::max(first, 0);
  last = std::min(last, s.NCZ - 1);
  for (int z = first; z <= last; ++z) {
    if (respectSliceLocks == 1 && c.seg.SegLock[t][z] != 0) continue;
    const size_t base = Segmentation::index(s.NCZ, t, z, 0, 0);
    for (size_t i = base; i < base + kSliceVoxels; ++i)
      c.seg.AFFECT[i] = static_cast<uint8_t>(effectiveClass(s, c.w.options, c.seg, i));
  }
  c.seg.labelsChanged();
}

int VERIF_VENT(const SegmentationContext& c, std::vector<Refusal>* absent) {
  const Study& s = c.w.study;
  bool present[3] = {false, true, true};
  if (!hasLabels(c)) {
    present[1] = present[2] = false;
  } else {
    for (int t = 0; t < s.Ninst; ++t) {
      bool here[3] = {false, false, false};
      for (int z = 0; z < s.NCZ && !(here[1] && here[2]); ++z) {
        const size_t base = Segmentation::index(s.NCZ, t, z, 0, 0);
        for (size_t i = base; i < base + kSliceVoxels; ++i) {
          const int k = presenceClass(s, c.w.options, c.w.settings.limits, c.seg, t, z, i);
          if (k == kClassLeft || k == kClassRight) here[k] = true;
        }
      }
      present[1] = present[1] && here[1];
      present[2] = present[2] && here[2];
    }
  }
  if (absent) {
    if (!present[1])
      absent->push_back(Refusal::of(RefusalCode::LeftVentricleAbsent, corrections_texts::kLeftVentricleAbsent));
    if (!present[2])
      absent->push_back(Refusal::of(RefusalCode::RightVentricleAbsent, corrections_texts::kRightVentricleAbsent));
  }
  return present[1] && present[2] ? 1 : 0;
}

void DO_PAINT_SEG(SegmentationContext& c, std::optional<SliceVoxel> v) {
  WorkflowState& flow = c.w.settings.flow;
  const Study& s = c.w.study;
  if (!v || !hasLabels(c) || !currentInstantValid(c) || isLockedSlice(c.seg, s.instant, v->slice)) return;
  if (flow.Paint_reg < 0 || flow.Paint_reg > c.seg.NREG) return;
  const int r = std::clamp(flow.Paint_sz, 0, kBrushMax);
  for (int row = std::max(v->row - r, 0); row <= std::min(v->row + r, kMatrix - 1); ++row)
    for (int col = std::max(v->col - r, 0); col <= std::min(v->col + r, kMatrix - 1); ++col) {
      const int dr = row - v->row, dc = col - v->col;
      if (dr * dr + dc * dc <= r * r)
        c.seg.LPE[Segmentation::index(s.NCZ, s.instant, v->slice, row, col)] = static_cast<uint16_t>(flow.Paint_reg);
    }
  c.seg.labelsChanged();
  flow.paintPending = 1;
  markChanged(c);
  c.platform.pictureChanged(View::Segmentation);
}

// ---- limits, marks and lines --------------------------------------------------------------

void setSliceLimit(SegmentationContext& c, int ventricle, bool upper, int slice, bool everyInstant) {
  SliceLimits& lim = c.w.settings.limits;
  const Study& s = c.w.study;
  if (ventricle != kClassLeft && ventricle != kClassRight) return;
  InstantTable& table = ventricle == kClassLeft ? (upper ? lim.limG_sup : lim.limG_inf)
                                                : (upper ? lim.limD_sup : lim.limD_inf);
  if (everyInstant) {
    for (int t = 0; t < std::min(s.Ninst, kMaxInstants); ++t) table[t] = slice;
  } else {
    if (!currentInstantValid(c)) return;
    table[s.instant] = slice;
  }
  VERIF_VLIMS(upper ? 1 : 0, s.Ninst, lim);
  if (ventricle == kClassRight) INFU_NOOPT(c.w.settings.flow);
  // struct_max counts ventricle voxels outside the limits as class 3.
  if (hasLabels(c)) evalStructMax(c);
  markChanged(c);
  c.platform.pictureChanged(View::Segmentation);
}

void clearExclusionMarks(SegmentationContext& c) {
  saveUndo(c);
  for (int l = 1; l <= std::min(c.seg.NREG, kMaxLabels); ++l)
    if (c.seg.CORR[l] == kClassExcludedConnected) c.seg.CORR[l] = kClassOther;
  if (hasLabels(c)) evalStructMax(c);
  markChanged(c);
  c.platform.pictureChanged(View::Segmentation);
}

void resetVentricle(SegmentationContext& c, int cls) {
  if (cls != kClassLeft && cls != kClassRight) return;
  saveUndo(c);
  INIT_REG(c, cls);
}

namespace {

bool moveLine(SegmentationContext& c, int& line, int delta) {
  if (c.w.settings.reorient.valves_planaff == 0) return false;
  const int moved = std::clamp(line + delta, kLineMin, kLineMax);
  if (moved == line) return false;
  line = moved;
  c.platform.pictureChanged(View::Segmentation);
  return true;
}

}  // namespace

bool moveValveLine(SegmentationContext& c, int delta) {
  return moveLine(c, c.w.settings.reorient.valves_plano_, delta);
}

bool moveSeptumLine(SegmentationContext& c, int delta) {
  return moveLine(c, c.w.settings.reorient.septum_plano, delta);
}

// ---- retouching window ---------------------------------------------------------------------

bool openRetouching(SegmentationContext& c, int slice) {
  WorkflowState& flow = c.w.settings.flow;
  if (flow.retouche_on || !hasLabels(c) || !currentInstantValid(c)) return false;
  if (slice < 0 || slice >= c.w.study.NCZ || isLockedSlice(c.seg, c.w.study.instant, slice)) return false;
  saveUndo(c);
  flow.retouche_on = 1;
  flow.retouche_slice = slice;
  flow.Paint_on = flow.Paint_type = 0;
  flow.Paint_no = 0;
  c.platform.pictureChanged(View::Retouching);
  return true;
}

void closeRetouching(SegmentationContext& c) {
  WorkflowState& flow = c.w.settings.flow;
  if (!flow.retouche_on) return;
  recountAfterPainting(c);
  flow.retouche_on = 0;
  flow.Paint_on = flow.Paint_type = 0;
  c.platform.pictureChanged(View::Retouching);
}

void selectPaintButton(SegmentationContext& c, int button) {
  WorkflowState& flow = c.w.settings.flow;
  if (!flow.retouche_on || button < 1 || button > 3) return;
  if (flow.Paint_type == button) {
    flow.Paint_type = flow.Paint_on = 0;
    recountAfterPainting(c);
  } else {
    flow.Paint_type = button;
    flow.Paint_on = 1;
  }
}

void pickPaintLabel(SegmentationContext& c, std::optional<SliceVoxel> v) {
  WorkflowState& flow = c.w.settings.flow;
  const Study& s = c.w.study;
  if (!v || !hasLabels(c) || !currentInstantValid(c) || isLockedSlice(c.seg, s.instant, v->slice)) {
    flow.Paint_no = 0;
    return;
  }
  const size_t i = Segmentation::index(s.NCZ, s.instant, v->slice, v->row, v->col);
  const int L = c.seg.LPE[i];
  flow.Paint_reg = L;
  flow.Paint_no = L < kLabelSlots ? c.seg.CORR[L] : 0;
  if (c.w.options.equilibrium == 0 &&
      belowThreshold(static_cast<int>(s.DATA[i]), static_cast<float>(c.w.options.ECH), s.seuillage))
    flow.Paint_no = 0;
}

void endPaintStroke(SegmentationContext& c) {
  c.w.settings.flow.Paint_on = 0;
  recountAfterPainting(c);
}

bool changeBrushSize(SegmentationContext& c, int delta) {
  WorkflowState& flow = c.w.settings.flow;
  if (!flow.retouche_on) return false;
  const int size = std::clamp(flow.Paint_sz + delta, 0, kBrushMax);
  if (size == flow.Paint_sz) return false;
  flow.Paint_sz = size;
  c.platform.pictureChanged(View::Retouching);
  return true;
}

// ---- locks ---------------------------------------------------------------------------------

bool lockSlice(SegmentationContext& c, int slice) {
  const int t = c.w.study.instant;
  if (slice < 0 || slice >= c.w.study.NCZ || !hasLabels(c) || !currentInstantValid(c) || isLockedSlice(c.seg, t, slice))
    return false;
  c.seg.SegLock[t][slice] = 1;
  LOCK_SEGMENT(c, t, slice, slice, 0);
  c.platform.pictureChanged(View::Segmentation);
  return true;
}

bool unlockSlice(SegmentationContext& c, int slice) {
  const int t = c.w.study.instant;
  if (slice < 0 || slice >= c.w.study.NCZ || !currentInstantValid(c) || c.seg.InstLock[t] != 0 ||
      c.seg.SegLock[t][slice] == 0)
    return false;
  c.seg.SegLock[t][slice] = 0;
  // The slice shows its current classes again, so the preview may differ.
  c.w.settings.flow.segment_updt2 = 1;
  c.platform.pictureChanged(View::Segmentation);
  return true;
}

void unlockInstant(SegmentationContext& c) {
  if (!currentInstantValid(c)) return;
  const int t = c.w.study.instant;
  c.seg.SegLock[t].fill(0);
  c.seg.InstLock[t] = 0;
  c.w.settings.flow.segment_updt2 = 1;
  c.platform.pictureChanged(View::Segmentation);
}

void toggleInstantLock(SegmentationContext& c) {
  if (!currentInstantValid(c)) return;
  const int t = c.w.study.instant;
  c.seg.InstLock[t] = c.seg.InstLock[t] ? 0 : 1;
  if (c.seg.InstLock[t])
    LOCK_SEGMENT(c, t, 0, c.w.study.NCZ - 1, 1);
  else
    c.w.settings.flow.segment_updt2 = 1;
  c.platform.pictureChanged(View::Segmentation);
}

}  // namespace quorvel
