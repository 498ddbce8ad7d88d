#include "ui/segmentation_input.h"

#include "render/view_geometry.h"
#include "segmentation/corrections.h"
#include "segmentation/undo.h"

namespace quorvel {

namespace {

std::optional<SliceVoxel> voxelAt(const Workstation& ws, int x, int y) {
  return mosaicVoxelAt(ws.mosaic, ws.w.study.NCZ, ws.w.study.seg_affmin, x, y);
}

std::optional<SliceVoxel> retouchVoxel(const Workstation& ws, int x, int y) {
  return retouchVoxelAt(ws.w.settings.flow.retouche_slice, ws.w.study.NCZ, x, y);
}

bool isAssignedClass(int cls) {
  return cls == kClassLeft || cls == kClassRight || cls == kClassOther || cls == kClassExcludedConnected ||
         cls == kClassExcludedRegion;
}

// Applies the action held to the voxel under (x, y); an overflow ends the drag.
void assignAt(Workstation& ws, int x, int y) {
  SegmentationContext c = ws.segmentation();
  if (CHOOSE_REG(c, ws.input.butt_down, voxelAt(ws, x, y), ws.input.visu_contupdt != 0, &ws.input.sliceDrag) ==
      AssignOutcome::RegionOverflow) {
    ws.input.butt_down = 0;
    ws.show(regionOverflow());
  }
}

void setLimitAt(Workstation& ws, MouseButton b, KeyModifiers m, int x, int y, bool everyInstant) {
  SegmentationContext c = ws.segmentation();
  const int ventricle = b == MouseButton::Primary ? kClassRight : kClassLeft;
  setSliceLimit(c, ventricle, m.ctrl, mosaicSliceClampedAt(ws.mosaic, ws.w.study.NCZ, ws.w.study.seg_affmin, x, y),
                everyInstant);
}

}  // namespace

void segButtonPress(Workstation& ws, MouseButton b, KeyModifiers m, int x, int y) {
  if (m.ctrl || m.shift) {
    setLimitAt(ws, b, m, x, y, false);
    return;
  }
  SegmentationContext c = ws.segmentation();
  SAVE_UNDO(kUndoSegmentationRing, c);
  ws.input.butt_down = b == MouseButton::Primary ? kClassRight : kClassLeft;
  ws.input.sliceDrag = SliceDragLabels{};  // a new press issues new labels
  assignAt(ws, x, y);
}

void segDoubleClick(Workstation& ws, MouseButton b, KeyModifiers m, int x, int y) {
  if (m.ctrl || m.shift) setLimitAt(ws, b, m, x, y, true);
}

void segButtonRelease(Workstation& ws) {
  ws.input.butt_down = 0;
  WorkflowState& flow = ws.w.settings.flow;
  if (flow.Paint_on && flow.Paint_no > 0) {
    flow.Paint_no = 0;
    SegmentationContext c = ws.segmentation();
    recountAfterPainting(c);
  }
}

void segMouseMove(Workstation& ws, int x, int y) {
  SegmentationContext c = ws.segmentation();
  if (ws.w.settings.flow.retouche_on) closeRetouching(c);
  AFF_REGG(c, voxelAt(ws, x, y));
  // The hovered region is highlighted; a drag redraws through its assignment.
  if (ws.input.butt_down == 0) ws.platform.pictureChanged(View::Segmentation);
  if (isAssignedClass(ws.input.butt_down)) assignAt(ws, x, y);
}

bool markKeyDown(Workstation& ws, int cls, int x, int y) {
  if (cls != kClassOther && cls != kClassExcludedConnected && cls != kClassExcludedRegion) return false;
  if (ws.input.butt_down >= 3 || ws.w.settings.flow.retouche_on) return false;
  SegmentationContext c = ws.segmentation();
  SAVE_UNDO(kUndoSegmentationRing, c);
  ws.input.butt_down_tmp = ws.input.butt_down;
  ws.input.butt_down = cls;
  ws.input.sliceDrag = SliceDragLabels{};
  assignAt(ws, x, y);
  return true;
}

void markKeyUp(Workstation& ws) {
  if (ws.input.butt_down >= 3) ws.input.butt_down = ws.input.butt_down_tmp;
}

bool lockSliceAt(Workstation& ws, int x, int y) {
  const auto v = voxelAt(ws, x, y);
  SegmentationContext c = ws.segmentation();
  return v && lockSlice(c, v->slice);
}

bool unlockSliceAt(Workstation& ws, int x, int y) {
  const auto v = voxelAt(ws, x, y);
  SegmentationContext c = ws.segmentation();
  return v && unlockSlice(c, v->slice);
}

bool openRetouchingAt(Workstation& ws, int x, int y) {
  const auto v = voxelAt(ws, x, y);
  SegmentationContext c = ws.segmentation();
  return v && openRetouching(c, v->slice);
}

void retouchMove(Workstation& ws, int x, int y) {
  WorkflowState& flow = ws.w.settings.flow;
  if (!flow.retouche_on) return;
  SegmentationContext c = ws.segmentation();
  if (!flow.Paint_on)
    pickPaintLabel(c, retouchVoxel(ws, x, y));
  else if (flow.Paint_no > 0)
    DO_PAINT_SEG(c, retouchVoxel(ws, x, y));
}

void retouchPress(Workstation& ws, int x, int y) {
  WorkflowState& flow = ws.w.settings.flow;
  if (!flow.retouche_on) return;
  SegmentationContext c = ws.segmentation();
  // A press without a move before it picks where it lands, as the move would have.
  if (!flow.Paint_on) pickPaintLabel(c, retouchVoxel(ws, x, y));
  flow.Paint_on = 1;
  if (flow.Paint_no > 0) DO_PAINT_SEG(c, retouchVoxel(ws, x, y));
}

void retouchRelease(Workstation& ws) {
  if (!ws.w.settings.flow.retouche_on) return;
  SegmentationContext c = ws.segmentation();
  endPaintStroke(c);
}

}  // namespace quorvel
