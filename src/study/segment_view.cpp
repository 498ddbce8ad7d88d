#include "study/segment_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quorvel {

namespace {
// Room the control panels and window frame take around the mosaic.
constexpr int kPanelWidth = 320;
constexpr int kFrameHeight = 200;
}  // namespace

void EVAL_SEGMENT_CAPACITY(SegmentView& view, ScreenSize screen) {
  view.seg_Xmax = std::max(1, (screen.width - kPanelWidth) / kCellWidth);
  view.seg_Ymax = std::max(1, (screen.height - kFrameHeight) / kCellHeight);
}

void FORMATE_SEGMENT_DISPLAY(SegmentView& view, int NCZ, TraceLog& log) {
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

void DATA_SYMETRY_HOR(Study& s) {
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int x = 0; x < kMatrix; ++x)
        for (int y = 0; y < kMatrix / 2; ++y) std::swap(s.at(t, z, x, y), s.at(t, z, x, kMatrix - 1 - y));
}

void DATA_SYMETRY_VER(Study& s, int fich_axis) {
  if (fich_axis == 0) {
    for (int t = 0; t < s.Ninst; ++t)
      for (int z = 0; z < s.NCZ; ++z)
        for (int x = 0; x < kMatrix / 2; ++x)
          std::swap_ranges(&s.at(t, z, x, 0), &s.at(t, z, x, 0) + kMatrix, &s.at(t, z, kMatrix - 1 - x, 0));
    return;
  }
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ / 2; ++z)
      std::swap_ranges(&s.at(t, z, 0, 0), &s.at(t, z, 0, 0) + kSliceVoxels, &s.at(t, s.NCZ - 1 - z, 0, 0));
}

void EVAL_VLA_PROJ(const Study& s, SegmentView& view, const ProjectionSettings& ps) {
  const bool thresholded = ps.equilibrium && !ps.reprojection;
  const int floorTerm = ps.seuillage * 4;
  int largest = 0;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int r = 0; r < kMatrix; ++r) {
        int sum = 0;
        if (s.datamax > 0 && std::isfinite(s.datamax)) {  // each term then stays within 0..400
          for (int c = 0; c < kMatrix; ++c) {
            const int term = static_cast<int>(std::trunc(s.at(t, z, r, c)) * kProjectionSpan / s.datamax);
            if (!(thresholded && term < floorTerm)) sum += term;
          }
        }
        view.vla(t, z, r) = sum;
        largest = std::max(largest, sum);
      }
  if (largest <= 0) return;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int r = 0; r < kMatrix; ++r)
        view.vla(t, z, r) = static_cast<int>(static_cast<long long>(view.vla(t, z, r)) * kProjectionSpan / largest);
}

}  // namespace quorvel
