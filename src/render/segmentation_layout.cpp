#include "render/segmentation_layout.h"

#include <algorithm>

namespace quorvel {

namespace {
// Room the control panels and window frame take around the mosaic.
constexpr int kPanelWidth = 320;
constexpr int kFrameHeight = 200;
}  // namespace

void fitMosaicToScreen(SegmentationLayout& view, ScreenSize screen) {
  view.seg_Xmax = std::max(1, (screen.width - kPanelWidth) / kCellWidth);
  view.seg_Ymax = std::max(1, (screen.height - kFrameHeight) / kCellHeight);
}

void FORMATE_SEGMENT_DISPLAY(SegmentationLayout& view, int NCZ, TraceLog& log) {
  int h = 1, v = 1;
  bool across = true;
  // Stops once the grid holds NCZ cells or can grow no further.
  while (h * v < NCZ && (h < view.seg_Xmax || v < view.seg_Ymax)) {
    const bool hRoom = h < view.seg_Xmax, vRoom = v < view.seg_Ymax;
    if (hRoom == vRoom)
      across = !across;
    else
      across = hRoom;
    if (across)
      ++h;
    else
      ++v;
  }
  log.writef("N cells  ::  H = %d  ;  V = %d     ||     X max = %d  ;  Y max = %d\n", h, v, view.seg_Xmax,
             view.seg_Ymax);
  view.NcellH = std::min(h, view.seg_Xmax);
  view.NcellV = std::min(v, view.seg_Ymax);
  log.writef("N cells  ::  H = %d  ;  V = %d\n", view.NcellH, view.NcellV);
  view.htayaff = view.NcellH * kCellWidth;
  view.vtayaff = view.NcellV * kCellHeight;
  view.BMP.resize(view.htayaff, view.vtayaff);
}

void centreMosaic(const SegmentationLayout& layout, Study& s, TraceLog& log) {
  if (s.countCentreSlice < 0) {
    s.seg_affmin = 0;
    return;
  }
  s.seg_affmin = s.countCentreSlice - (layout.NcellV * layout.NcellH) / 2;
  s.seg_affmin = std::min(s.seg_affmin, s.NCZ - layout.seg_Ymax * layout.seg_Xmax - 1);
  s.seg_affmin = std::max(s.seg_affmin, 0);
  log.writef("seg_affmin = %d  (centroid slice %d)\n", s.seg_affmin, s.countCentreSlice);
}

}  // namespace quorvel
