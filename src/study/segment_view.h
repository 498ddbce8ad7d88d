#pragma once
// View helpers shared by the re-orientation and segmentation stages: the mosaic grid of the
// segmentation view, the mirrors of DATA and the long-axis projection.
#include <vector>

#include "base/bitmap.h"
#include "base/options.h"
#include "base/platform.h"
#include "base/trace_log.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kCellWidth = 256;   // two panels of 128 pixels
inline constexpr int kCellHeight = 128;  // one slice at 2 x 2 pixels per voxel
inline constexpr int kProjectionSpan = 400;

struct SegmentView {
  int NcellH = 1, NcellV = 1;
  int seg_Xmax = 4, seg_Ymax = 4;
  int htayaff = kCellWidth, vtayaff = kCellHeight;
  Bitmap24 BMP;
  // VLONGAXIS[t][z][r]: long-axis projection per instant, slice and row.
  std::vector<int> VLONGAXIS = std::vector<int>(static_cast<size_t>(kMaxInstants) * kMaxSlices * kMatrix, 0);
  int& vla(int t, int z, int r) { return VLONGAXIS[(static_cast<size_t>(t) * kMaxSlices + z) * kMatrix + r]; }
  int vla(int t, int z, int r) const { return VLONGAXIS[(static_cast<size_t>(t) * kMaxSlices + z) * kMatrix + r]; }
};

// seg_Xmax / seg_Ymax: how many cells fit the screen beside the control panels.
void EVAL_SEGMENT_CAPACITY(SegmentView& view, ScreenSize screen);
// The mosaic grid for NCZ slices, growing down and across in turn, clamped to the screen.
void FORMATE_SEGMENT_DISPLAY(SegmentView& view, int NCZ, TraceLog& log);

// Column c and column 63 - c swap in every row.
void DATA_SYMETRY_HOR(Study& s);
// fich_axis 0: rows r and 63 - r swap; 1 or 2: slice order reversed in every instant.
void DATA_SYMETRY_VER(Study& s, int fich_axis);

struct ProjectionSettings {
  int seuillage = 30;
  bool equilibrium = true;
  bool reprojection = false;
};
inline ProjectionSettings projectionSettingsOf(const Study& s, const Options& opt) {
  return {s.seuillage, opt.equilibrium != 0, opt.REPROJ != 0};
}
// VLONGAXIS from DATA: column sums of voxels scaled to 0..400 of datamax, then to 0..400 overall.
void EVAL_VLA_PROJ(const Study& s, SegmentView& view, const ProjectionSettings& ps);

}  // namespace quorvel
