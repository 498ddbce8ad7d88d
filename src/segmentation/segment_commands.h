#pragma once
// The sequences that run the automatic segmentation: after the re-orientation is validated, the
// re-segment, split and re-classify commands, and the statistics after an exam is loaded.
#include <filesystem>

#include "base/platform.h"
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

// RECH_IMAGE, SEGMENT, SEGMENT_EVAL. When the flooding needs more than kMaxLabels regions the
// counts, the segmentation and every flag are restored as they were before the quantisation,
// the user is told why and how to avoid it, and false is returned.
bool SEGMENT_VALIDATED_STUDY(SegmentationContext& c);

// The re-segment command: asks "Update segmentation ?"; on OK takes a snapshot and floods the
// quantised study again from scratch, then classifies. False when cancelled or refused.
bool RESEGMENT_COMMAND(SegmentationContext& c);

// Floods the voxels of label N_segsel again with the 1, 1, 1 box: voxels reached from
// neighbouring regions join them, the rest form new class-3 regions. No new classification.
bool SPLIT_REGION_COMMAND(SegmentationContext& c, int N_segsel);

// Classifies every label again (manual assignments are lost).
void RECLASSIFY_COMMAND(SegmentationContext& c);

// Sizes and contact counts rebuilt from the stored labels of an exam (no pruning).
void REBUILD_REGION_STATISTICS(SegmentationContext& c);

}  // namespace quorvel
