#include "render/view_geometry.h"

#include <algorithm>
#include <cmath>

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

namespace {

// The bands of slices start at NCZ / 2 + 31 (step 1) or NCZ / 2 + 32 (step 2) on the bottom line.
int longAxisTopSlice(int step, int NCZ) { return NCZ / 2 + (step == kValveStep ? 31 : 32); }
double inPlaneAt(int x, double k) {
  if (!(k > 0)) k = 1;  // unknown voxel sizes: square voxels
  return (x - kReorientViewSide / 2) * k / kReorientPixelsPerVoxel + kMatrix / 2 + 0.5;
}

}  // namespace

LongAxisPosition longAxisPositionAt(int step, int x, int y, int NCZ, double k) {
  const int line = kReorientViewSide - 1 - y;
  return {longAxisTopSlice(step, NCZ) - line / static_cast<double>(kReorientPixelsPerVoxel), inPlaneAt(x, k)};
}

int longAxisSliceAt(int step, int y, int NCZ) {
  return longAxisTopSlice(step, NCZ) - (kReorientViewSide - 1 - y) / kReorientPixelsPerVoxel;
}

int longAxisInPlaneAt(int x, double k) { return static_cast<int>(inPlaneAt(x, k)); }

std::optional<LongAxisVoxel> longAxisVoxelAt(int step, int x, int y, int NCZ, double k) {
  if (x < 0 || y < 0 || x >= kReorientViewSide || y >= kReorientViewSide) return std::nullopt;
  const LongAxisVoxel v{longAxisSliceAt(step, y, NCZ), longAxisInPlaneAt(x, k)};
  if (v.slice < 0 || v.slice >= NCZ || v.inPlane < 0 || v.inPlane >= kMatrix) return std::nullopt;
  return v;
}

std::pair<int, int> longAxisPixelOf(int step, const LongAxisVoxel& v, int NCZ, double k) {
  const int topLine = (longAxisTopSlice(step, NCZ) - v.slice) * kReorientPixelsPerVoxel + kReorientPixelsPerVoxel - 1;
  // The first column whose in-plane position reaches v.inPlane.
  const double first =
      kReorientViewSide / 2 + (v.inPlane - kMatrix / 2 - 0.5) * kReorientPixelsPerVoxel / (k > 0 ? k : 1);
  int x = static_cast<int>(std::ceil(first - 1e-9));
  while (x > 0 && static_cast<int>(inPlaneAt(x - 1, k)) >= v.inPlane) --x;
  while (static_cast<int>(inPlaneAt(x, k)) < v.inPlane) ++x;
  return {std::max(x, 0), kReorientViewSide - 1 - topLine};
}

double curveTimeAt(int x, int Ninst, double CYCLE) { return Ninst * CYCLE * x / kCurvePlotWidth; }

int curveColumnOf(double timeMs, int Ninst, double CYCLE) {
  const double cycle = Ninst * CYCLE;
  if (cycle <= 0) return 0;
  return curveSampleAt(static_cast<int>(timeMs * kCurvePlotWidth / cycle + 0.5));
}

int curveRowOf(double volume, double maxvol) {
  return maxvol > 0 ? static_cast<int>(volume * kCurvePlotHeight / maxvol + 0.5) : 0;
}

double curveVolumeAt(int row, double maxvol) { return row * maxvol / kCurvePlotHeight; }

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
