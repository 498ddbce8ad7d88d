#pragma once
// The sequences that run the automatic segmentation: after the re-orientation is validated, the
// re-segment, split and re-classify commands, and the statistics after an exam is loaded.
#include <filesystem>

#include "base/platform.h"
#include "base/refusal.h"
#include "base/trace_log.h"
#include "segmentation/segmentation_state.h"
#include "study/loading.h"

namespace quorvel {

// Everything the segmentation commands work on.
struct SegmentationContext {
  StudyWorkspace& w;
  Segmentation& seg;
  Platform& platform;
  TraceLog& log;
  std::filesystem::path appFolder;  // undo snapshots go to its temp/
};

// True when seg holds one label per voxel of the open study.
bool hasLabels(const SegmentationContext& c);

// The refusal of a flooding that needed more than kMaxLabels regions, with its advice.
Refusal tooManyRegions();

// RECH_IMAGE, SEGMENT, SEGMENT_EVAL, with the platform's wait window (progress and cancel). When
// the flooding needs more than kMaxLabels regions, or is cancelled, the counts, the segmentation
// and every flag are restored as they were before the quantisation and the refusal says why.
Status segmentValidatedStudy(SegmentationContext& c);

// Re-segmentation of a segmented study (after the user confirmed): a snapshot, then the quantised
// study flooded again from scratch and classified. Refused without a segmentation, or when the
// flooding overflowed (nothing changed then).
Status resegmentStudy(SegmentationContext& c);

// Floods the voxels of label N_segsel again with the 1, 1, 1 box: voxels reached from
// neighbouring regions join them, the rest form new class-3 regions. No new classification.
// Refused without a segmentation, for a label that does not exist, or on overflow.
Status splitRegion(SegmentationContext& c, int N_segsel);

// Classifies every label again (manual assignments are lost).
void reclassifyRegions(SegmentationContext& c);

// Sizes and contact counts rebuilt from the stored labels of an exam (no pruning).
void rebuildRegionStatistics(SegmentationContext& c);

// A segmentation of the open study exists (labels for it and the flag set).
bool hasQuantisedStudy(const SegmentationContext& c);

}  // namespace quorvel
