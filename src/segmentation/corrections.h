#pragma once
// Corrections by hand of the automatic segmentation: assigning regions (or one slice of a region)
// to a ventricle, excluding structures, slice limits, the brush of the retouching window, locks
// and the presence check. The stage machine and the desktop call these with view positions.
#include <optional>

#include "base/options.h"
#include "base/trace_log.h"
#include "segmentation/segment_commands.h"
#include "segmentation/segmentation_state.h"
#include "study/acq_settings.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kBrushMax = 4;            // Paint_sz range 0..kBrushMax
inline constexpr int kRetouchePixels = 4;      // the retouching window shows 4 x 4 pixels per voxel
inline constexpr int kLineMin = 4, kLineMax = 60;  // valve and septum lines

// ---- where the mouse points ---------------------------------------------------------------

struct ViewVoxel {
  int slice = 0, row = 0, col = 0;
  bool operator==(const ViewVoxel&) const = default;
};

// Segmentation view position (x across, y down, both panels) to the voxel of the mosaic;
// nothing when the position lies outside the study.
std::optional<ViewVoxel> SEG_VIEW_VOXEL(const StudyWorkspace& w, int x, int y);
// The slice of the same mapping clamped to 0..NCZ-1, for the limit commands.
int SEG_VIEW_SLICE_CLAMPED(const StudyWorkspace& w, int x, int y);
// Retouching window position to the voxel of retouche_slice; nothing outside the 64 x 64 slice.
std::optional<ViewVoxel> RETOUCHE_VIEW_VOXEL(const StudyWorkspace& w, int x, int y);

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

// Hovering: N_segsel, Paint_no and N_coupesel from the voxel under (x, y); N_segsel = 0 outside,
// on background or on a locked slice or instant. Redraws when no button is held.
void AFF_REGG(SegmentationContext& c, int x, int y);

// Applies the class butt_down (1, 2, 3, 7 or 13) to the region under (x, y) at the current
// instant: the whole region, or with visu_contupdt held only its voxels of that slice, which take
// a new label. Then absorbs enclosed regions (1, 2) or spreads an exclusion (7). Always marks the
// curves and the preview out of date and recomputes struct_max. A slice-only assignment that
// would need label 1000 is refused with "Dépassement nombre de régions !!  ", changes nothing and
// ends the drag (butt_down = 0). Takes no snapshot.
void CHOOSE_REG(SegmentationContext& c, int x, int y);

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
// Presence check: both ventricles must have a voxel at every instant. Shows one message per
// missing ventricle; returns 1 when both are present, else 0. Changes nothing.
int VERIF_VENT(SegmentationContext& c);
// Paints a disc of radius Paint_sz with label Paint_reg around the voxel under retouching window
// position (x, y), in retouche_slice at the current instant. Ignored on a locked slice or instant.
void DO_PAINT_SEG(SegmentationContext& c, int x, int y);

// ---- mouse and keys of the segmentation view ----------------------------------------------

enum class MouseButton { Primary, Secondary };
struct KeyModifiers {
  bool ctrl = false;
  bool shift = false;
};

// Press: none -> snapshot and assign (primary: right ventricle, secondary: left ventricle);
// Ctrl -> upper, Shift -> lower slice limit of that ventricle at the current instant.
void SEG_BUTTON_PRESS(SegmentationContext& c, MouseButton b, KeyModifiers m, int x, int y);
// Double click with Ctrl or Shift: the same limit at every instant. Without them: nothing.
void SEG_DOUBLE_CLICK(SegmentationContext& c, MouseButton b, KeyModifiers m, int x, int y);
// Release: ends the action; a brush stroke still pending gets its statistics recounted.
void SEG_BUTTON_RELEASE(SegmentationContext& c);
// Move: closes the retouching window, hovers, and drags the assignment while a button or a
// marking key is down.
void SEG_MOUSE_MOVE(SegmentationContext& c, int x, int y);

// A limit set from the view: ventricle 1 (G) or 2 (D), upper (sup) or lower (inf), at the current
// instant or at every instant; then VERIF_VLIMS, struct_max, flags, redraw.
void SET_SLICE_LIMIT(SegmentationContext& c, int ventricle, bool upper, int slice, bool everyInstant);

// Marking keys, held: up arrow cls 13, down arrow cls 3, Escape cls 7. Ignored while butt_down is
// 3 or more or the retouching window is open; else snapshot, butt_down = cls, CHOOSE_REG.
// Returns true when the marking started.
bool MARK_KEY_DOWN(SegmentationContext& c, int cls, int x, int y);
// Release of a marking key: butt_down back to what it was.
void MARK_KEY_UP(SegmentationContext& c);
// Escape with Shift: one snapshot, then every class 7 becomes 3.
void CLEAR_MARKS(SegmentationContext& c);
// The ventricle reset key: snapshot, then INIT_REG(cls).
void RESET_VENTRICLE(SegmentationContext& c, int cls);

// Ctrl + arrows while the lines are shown: the valve line (row) or the septum line (column) by
// delta, kept within 4..60. False when nothing moved.
bool MOVE_VALVE_LINE(SegmentationContext& c, int delta);
bool MOVE_SEPTUM_LINE(SegmentationContext& c, int delta);

// ---- retouching window ---------------------------------------------------------------------

// Opens the window on the slice under (x, y) when neither it nor the instant is locked; takes a
// snapshot. False when nothing opened.
bool OPEN_RETOUCHE(SegmentationContext& c, int x, int y);
// The cursor is back in the segmentation view: recounts a pending stroke, painting off.
void CLOSE_RETOUCHE(SegmentationContext& c);
// Paint buttons 1..3 toggle painting.
void RETOUCHE_PAINT_BUTTON(SegmentationContext& c, int button);
// Window coordinates. Without painting a move picks Paint_reg and Paint_no; with painting on it
// paints (when Paint_no > 0).
void RETOUCHE_MOVE(SegmentationContext& c, int x, int y);
void RETOUCHE_PRESS(SegmentationContext& c, int x, int y);
// Painting off; the statistics are recounted (RECOUP_CLASS(0)) and struct_max recomputed.
void RETOUCHE_RELEASE(SegmentationContext& c);
// Page keys: brush radius by delta within 0..4, only while the window is open.
bool CHANGE_BRUSH_SIZE(SegmentationContext& c, int delta);

// ---- locks ---------------------------------------------------------------------------------

// L: locks the slice under (x, y) at the current instant and freezes it. False when refused.
bool LOCK_SLICE(SegmentationContext& c, int x, int y);
// Ctrl + L: unlocks it (not while the instant is locked).
bool UNLOCK_SLICE(SegmentationContext& c, int x, int y);
// Ctrl + Shift + L: every slice lock of the current instant and its instant lock cleared.
void UNLOCK_INSTANT(SegmentationContext& c);
// Lock button: toggles the current instant's lock, freezing the slices without their own lock.
void LOCK_BUTTON(SegmentationContext& c);

}  // namespace quorvel
