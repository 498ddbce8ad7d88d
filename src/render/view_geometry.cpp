#include "render/view_geometry.h"

#include <algorithm>

namespace quorvel {

namespace {

constexpr int kCellPixels = kCellHeight;  // one slice of the mosaic
constexpr int kLongAxisCentreY = kReorientViewSide - 1;

struct MosaicPoint {
  int slice, row, col;
};

MosaicPoint mosaicPoint(const SegmentationLayout& view, int seg_affmin, int x, int y) {
  const int panel = std::max(view.htayaff / 2, kCellPixels);
  const int xr = x % panel;
  const int slice = xr / kCellPixels + (y / kCellPixels) * view.NcellH + seg_affmin;
  return {slice, (y % kCellPixels) / kMosaicPixelsPerVoxel, (xr % kCellPixels) / kMosaicPixelsPerVoxel};
}

}  // namespace

int reorientLongAxisSliceAt(int y, int NCZ) {
  return NCZ / 2 + (y - kLongAxisCentreY) / kReorientPixelsPerVoxel + kMatrix / 2;
}

int reorientLongAxisY(int slice, int NCZ) {
  return (slice - kMatrix / 2 - NCZ / 2) * kReorientPixelsPerVoxel + kLongAxisCentreY;
}

std::pair<int, int> reprojectionSeedAt(int x, int y, int NCZ) {
  const int column = static_cast<int>(x / static_cast<double>(kReorientPixelsPerVoxel) + 0.5);
  const int slice = static_cast<int>(NCZ / 2 + (y - kLongAxisCentreY) / kReorientPixelsPerVoxel + 32.5);
  return {column, slice};
}

std::optional<SliceVoxel> mosaicVoxelAt(const SegmentationLayout& view, int NCZ, int seg_affmin, int x, int y) {
  if (x < 0 || y < 0) return std::nullopt;
  const MosaicPoint p = mosaicPoint(view, seg_affmin, x, y);
  if (p.slice < 0 || p.slice >= NCZ) return std::nullopt;
  return SliceVoxel{p.slice, p.row, p.col};
}

int mosaicSliceClampedAt(const SegmentationLayout& view, int NCZ, int seg_affmin, int x, int y) {
  return std::clamp(mosaicPoint(view, seg_affmin, x, y).slice, 0, std::max(NCZ - 1, 0));
}

std::pair<int, int> mosaicPixelOf(const SegmentationLayout& view, int seg_affmin, const SliceVoxel& v, bool classPanel) {
  const int k = v.slice - seg_affmin;
  const int panel = std::max(view.htayaff / 2, kCellPixels);
  return {(k % view.NcellH) * kCellPixels + kMosaicPixelsPerVoxel * v.col + (classPanel ? panel : 0),
          (k / view.NcellH) * kCellPixels + kMosaicPixelsPerVoxel * v.row};
}

std::optional<SliceVoxel> retouchVoxelAt(int slice, int NCZ, int x, int y) {
  if (x < 0 || y < 0) return std::nullopt;
  const int row = y / kRetouchPixelsPerVoxel, col = x / kRetouchPixelsPerVoxel;
  if (row >= kMatrix || col >= kMatrix || slice < 0 || slice >= NCZ) return std::nullopt;
  return SliceVoxel{slice, row, col};
}

}  // namespace quorvel
