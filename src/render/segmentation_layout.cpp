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

int firstSliceAround(const SegmentationLayout& layout, const Study& s, int centre) {
  const int first = std::min(centre - (layout.NcellV * layout.NcellH) / 2, s.NCZ - layout.seg_Ymax * layout.seg_Xmax - 1);
  return std::max(first, 0);
}

void centreMosaic(const SegmentationLayout& layout, Study& s, TraceLog& log) {
  if (s.countCentreSlice < 0) {
    s.seg_affmin = 0;
    return;
  }
  s.seg_affmin = firstSliceAround(layout, s, s.countCentreSlice);
  log.writef("seg_affmin = %d  (centroid slice %d)\n", s.seg_affmin, s.countCentreSlice);
}

void centreMosaicOnVentricles(const SegmentationLayout& layout, Study& s, const SliceLimits& lim) {
  const int first = std::min(lim.limG_inf[0], lim.limD_inf[0]), last = std::max(lim.limG_sup[0], lim.limD_sup[0]);
  if (first < 0 || last < first || last >= s.NCZ) return;  // no ventricle found: the view stays
  s.seg_affmin = firstSliceAround(layout, s, (first + last) / 2);
}

}  // namespace quorvel
