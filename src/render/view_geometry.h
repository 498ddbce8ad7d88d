#pragma once
// Where each view's pixels fall in the study, and back: the one place that knows the scale and
// layout of the pictures. Positions are in view pixels, x across and y down from the top left.
#include <optional>
#include <utility>

#include "render/segmentation_layout.h"

namespace quorvel {

// A position in a view's picture: x across, y down from the top left.
struct ViewPoint {
  int x = 0, y = 0;
  bool operator==(const ViewPoint&) const = default;
};

// ---- re-orientation view: one 64 x 64 slice at 8 x 8 pixels per voxel -------------------------

inline constexpr int kReorientPixelsPerVoxel = 8;
inline constexpr int kReorientViewSide = kMatrix * kReorientPixelsPerVoxel;  // 512

// Voxel coordinates (row, column) of a pixel of the slice view, in voxel units.
inline std::pair<double, double> reorientVoxelAt(int x, int y) {
  return {y / static_cast<double>(kReorientPixelsPerVoxel), x / static_cast<double>(kReorientPixelsPerVoxel)};
}
// Whole voxels a drag of (dx, dy) pixels moves, truncated towards zero: (rows, columns).
inline std::pair<int, int> reorientDragVoxels(int dx, int dy) {
  return {dy / kReorientPixelsPerVoxel, dx / kReorientPixelsPerVoxel};
}
// Top-left pixel of a voxel of the slice view: (x, y).
inline std::pair<int, int> reorientPixelOf(int row, int col) {
  return {col * kReorientPixelsPerVoxel, row * kReorientPixelsPerVoxel};
}
// The slice of the long-axis panel of step 2 at height y; the centre row (511) is slice NCZ / 2 + 32.
int reorientLongAxisSliceAt(int y, int NCZ);
// Height in the long-axis panel where that slice starts.
int reorientLongAxisY(int slice, int NCZ);

// Step 2 in reprojection mode: the seed's column and slice under (x, y) of the projected picture.
std::pair<int, int> reprojectionSeedAt(int x, int y, int NCZ);

// ---- volume-curve plots: 512 columns over the cycle, 400 rows up to the volume bound ------------

inline constexpr int kCurvePlotWidth = 512;
inline constexpr int kCurvePlotHeight = 400;

// The sample of the fitted curve under column x (clamped to 0..511).
inline int curveSampleAt(int x) { return x < 0 ? 0 : (x >= kCurvePlotWidth ? kCurvePlotWidth - 1 : x); }
// Time (ms) of column x over a cycle of Ninst instants of CYCLE ms, and the column of a time.
double curveTimeAt(int x, int Ninst, double CYCLE);
int curveColumnOf(double timeMs, int Ninst, double CYCLE);
// Plot row counted from the bottom (0) that shows a volume (rounded), and the volume of a row.
int curveRowOf(double volume, double maxvol);
double curveVolumeAt(int row, double maxvol);
// Height y (from the top) of a row counted from the bottom.
inline int curvePlotY(int row) { return kCurvePlotHeight - 1 - row; }

// ---- long-axis panels of steps 1 and 2: slices down, rows (step 1) or columns (step 2) across --
// Both axes share one physical scale: k = VOXEL_SIZE_Z / VOXEL_SIZE_XY compresses the in-plane
// axis. The slice band of the step-2 panel is the one reorientLongAxisSliceAt gives.

inline constexpr int kValveStep = 1, kCheckStep = 2;

struct LongAxisVoxel {
  int slice = 0;
  int inPlane = 0;  // row in step 1, column in step 2
  bool operator==(const LongAxisVoxel&) const = default;
};
// The fractional position the panel samples at (x, y): slice and in-plane coordinate.
struct LongAxisPosition {
  double slice = 0, inPlane = 0;
};
LongAxisPosition longAxisPositionAt(int step, int x, int y, int NCZ, double k);
// The two coordinates apart: the slice band of height y, the row or column band of column x
// (either may lie outside the study).
int longAxisSliceAt(int step, int y, int NCZ);
int longAxisInPlaneAt(int x, double k);
// The voxel band under (x, y); nothing outside the study's slices or the 64 rows or columns.
std::optional<LongAxisVoxel> longAxisVoxelAt(int step, int x, int y, int NCZ, double k);
// Top-left pixel of that voxel's band (x clamped to the panel when the band starts left of it).
std::pair<int, int> longAxisPixelOf(int step, const LongAxisVoxel& v, int NCZ, double k);

// ---- segmentation mosaic: count and class panels side by side, 2 x 2 pixels per voxel ----------

inline constexpr int kMosaicPixelsPerVoxel = kCellHeight / kMatrix;  // 2

// The voxel under (x, y) in either panel; nothing when it lies outside the study's slices.
std::optional<SliceVoxel> mosaicVoxelAt(const SegmentationLayout& view, int NCZ, int seg_affmin, int x, int y);
// The slice under (x, y) clamped to 0..NCZ-1, for the limit commands.
int mosaicSliceClampedAt(const SegmentationLayout& view, int NCZ, int seg_affmin, int x, int y);
// Top-left pixel of the voxel in the count panel (classPanel false) or the class panel.
std::pair<int, int> mosaicPixelOf(const SegmentationLayout& view, int seg_affmin, const SliceVoxel& v, bool classPanel);

// ---- retouching window: one slice at 4 x 4 pixels per voxel ------------------------------------

inline constexpr int kRetouchPixelsPerVoxel = 4;

// The voxel of slice under (x, y); nothing outside the 64 x 64 slice or for a slice outside 0..NCZ-1.
std::optional<SliceVoxel> retouchVoxelAt(int slice, int NCZ, int x, int y);
inline std::pair<int, int> retouchPixelOf(const SliceVoxel& v) {
  return {v.col * kRetouchPixelsPerVoxel, v.row * kRetouchPixelsPerVoxel};
}

}  // namespace quorvel
