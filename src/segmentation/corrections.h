#pragma once
// Corrections by hand of the automatic segmentation: assigning regions (or one slice of a region)
// to a ventricle, excluding structures, slice limits, the brush of the retouching window, locks
// and the presence check. Each operation takes the voxel it acts on (of the current instant); the
// user interface finds it under the pointer.
#include <array>
#include <optional>
#include <vector>

#include "base/options.h"
#include "base/refusal.h"
#include "base/trace_log.h"
#include "segmentation/segment_commands.h"
#include "segmentation/segmentation_state.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kBrushMax = 4;            // Paint_sz range 0..kBrushMax
inline constexpr int kLineMin = 4, kLineMax = 60;  // valve and septum lines

// ---- class rules ---------------------------------------------------------------------------

bool isLockedSlice(const Segmentation& seg, int t, int z);
// CORR of the voxel's label, 0 when equilibrium is off and its level is below seuillage percent
// of struct_max of that class.
int effectiveClass(const Study& s, const Options& opt, const Segmentation& seg, size_t voxel);
// The same, with a ventricle voxel outside its slice limits counted as class 3.
int presenceClass(const Study& s, const Options& opt, const SliceLimits& lim, const Segmentation& seg, int t, int z,
                  size_t voxel);

// ---- the operations ------------------------------------------------------------------------

// Shows the infundibulum button off (after every change of the right ventricle).
void INFU_NOOPT(WorkflowState& flow);

// Hovering: N_segsel, Paint_no and N_coupesel from the voxel pointed at; N_segsel = 0 outside the
// study (no voxel), on background or on a locked slice or instant.
void AFF_REGG(SegmentationContext& c, std::optional<SliceVoxel> v);

enum class AssignOutcome {
  Applied,         // the class was applied (or nothing was under the voxel)
  RegionOverflow,  // a slice-only assignment would need label 1000: refused, nothing changed
  Ignored,         // no labels, or not a class the corrections apply
};

// The labels a slice-only drag has issued: one per slice of the instant it runs on, so that the
// moves of one press reuse the label of their slice instead of issuing one per move.
struct SliceDragLabels {
  int instant = -1;
  std::array<int, kMaxSlices> label{};
};

// Applies class cls (1, 2, 3, 7 or 13) to the region of voxel v at the current instant: the whole
// region, or with sliceOnly only its voxels of that slice, which take the drag's label of that
// slice (a new one the first time). Then absorbs enclosed regions (1, 2) or spreads an exclusion
// (7). Always marks the curves and the preview out of date and recomputes struct_max. Takes no
// snapshot. An overflow is refused: regionOverflow().
AssignOutcome CHOOSE_REG(SegmentationContext& c, int cls, std::optional<SliceVoxel> v, bool sliceOnly,
                         SliceDragLabels* drag = nullptr);

// The refusal of a slice-only assignment that would need label 1000.
Refusal regionOverflow();

// One ascending pass: every label touching only regions of class cls (1 or 2) joins it.
void ADD_IN_REGS(int cls, Segmentation& seg, TraceLog& log);
// Every region connected through contacts to a class-7 region becomes 7.
void ADD_OUT_REGS(Segmentation& seg);
// Every label of class cls becomes 3; struct_max, flags, redraw. Takes no snapshot.
void INIT_REG(SegmentationContext& c, int cls);
// Keeps every instant's limits ordered: which = 0 pulls a lower limit down to the upper one,
// which = 1 pushes an upper limit up to the lower one.
void VERIF_VLIMS(int which, int Ninst, SliceLimits& lim);
// Freezes the effective classes of slices first..last of instant t into AFFECT, skipping slices
// with their own lock when respectSliceLocks is 1.
void LOCK_SEGMENT(SegmentationContext& c, int t, int first, int last, int respectSliceLocks);
// Presence check: both ventricles must have a voxel at every instant. Returns 1 when both are
// present, else 0, with one refusal per missing ventricle added to absent. Changes nothing.
int VERIF_VENT(const SegmentationContext& c, std::vector<Refusal>* absent = nullptr);
// Paints a disc of radius Paint_sz with label Paint_reg around voxel v (its slice at the current
// instant). Ignored on a locked slice or instant.
void DO_PAINT_SEG(SegmentationContext& c, std::optional<SliceVoxel> v);

// A limit: ventricle 1 (G) or 2 (D), upper (sup) or lower (inf), at the current instant or at
// every instant; then VERIF_VLIMS, struct_max, flags, redraw.
void setSliceLimit(SegmentationContext& c, int ventricle, bool upper, int slice, bool everyInstant);

// One snapshot, then every class 7 becomes 3.
void clearExclusionMarks(SegmentationContext& c);
// One snapshot, then INIT_REG(cls) for a ventricle.
void resetVentricle(SegmentationContext& c, int cls);

// The valve line (row) or the septum line (column) by delta, kept within 4..60, while the lines
// are shown. False when nothing moved.
bool moveValveLine(SegmentationContext& c, int delta);
bool moveSeptumLine(SegmentationContext& c, int delta);

// ---- retouching window ---------------------------------------------------------------------

// Opens the window on a slice when neither it nor the instant is locked; takes a snapshot. False
// when nothing opened.
bool openRetouching(SegmentationContext& c, int slice);
// Closes it: recounts a pending stroke, painting off.
void closeRetouching(SegmentationContext& c);
// Paint buttons 1..3 toggle painting.
void selectPaintButton(SegmentationContext& c, int button);
// The label under voxel v becomes the brush's (Paint_reg, Paint_no); Paint_no 0 where painting may
// not start (outside, locked, below the threshold with equilibrium off).
void pickPaintLabel(SegmentationContext& c, std::optional<SliceVoxel> v);
// A stroke ends: painting off, the statistics recounted and struct_max recomputed.
void endPaintStroke(SegmentationContext& c);
// Brush strokes leave the statistics stale until they end: this recounts them (and struct_max)
// when labels were painted since the last recount, and leaves painting as it is.
void recountAfterPainting(SegmentationContext& c);
// Brush radius by delta within 0..4, only while the window is open.
bool changeBrushSize(SegmentationContext& c, int delta);

// ---- locks ---------------------------------------------------------------------------------

// Locks a slice at the current instant and freezes it. False when refused.
bool lockSlice(SegmentationContext& c, int slice);
// Unlocks it (not while the instant is locked).
bool unlockSlice(SegmentationContext& c, int slice);
// Every slice lock of the current instant and its instant lock cleared.
void unlockInstant(SegmentationContext& c);
// Toggles the current instant's lock, freezing the slices without their own lock.
void toggleInstantLock(SegmentationContext& c);

}  // namespace quorvel
