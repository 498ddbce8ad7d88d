#pragma once
// The grid of the segmentation mosaic: how many slices it shows across and down, sized to the
// screen, and the canvas it is drawn on.
#include "base/bitmap.h"
#include "base/platform.h"
#include "base/trace_log.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kCellWidth = 256;   // two panels of 128 pixels
inline constexpr int kCellHeight = 128;  // one slice at 2 x 2 pixels per voxel

struct SegmentationLayout {
  int NcellH = 1, NcellV = 1;
  int seg_Xmax = 4, seg_Ymax = 4;
  int htayaff = kCellWidth, vtayaff = kCellHeight;
  Bitmap24 BMP;
};

// seg_Xmax / seg_Ymax: how many cells fit the screen beside the control panels.
void fitMosaicToScreen(SegmentationLayout& layout, ScreenSize screen);
// The mosaic grid for NCZ slices, growing down and across in turn, clamped to the screen.
void FORMATE_SEGMENT_DISPLAY(SegmentationLayout& layout, int NCZ, TraceLog& log);
// The first slice shown (seg_affmin): the grid centred on the study's count centroid across
// slices, kept inside the study; 0 when the loader found no centroid.
void centreMosaic(const SegmentationLayout& layout, Study& s, TraceLog& log);
// The first slice shown so that slice centre sits in the middle of the cells, within the study.
int firstSliceAround(const SegmentationLayout& layout, const Study& s, int centre);
// After a segmentation: the cells centred on the slices holding the ventricles at the first
// instant (the re-oriented counts are no longer those the opening centred on).
void centreMosaicOnVentricles(const SegmentationLayout& layout, Study& s, const SliceLimits& lim);

}  // namespace quorvel
