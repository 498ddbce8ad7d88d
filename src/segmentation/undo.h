#pragma once
// The ring of snapshot files that lets every correction of the segmentation be undone.
#include <filesystem>

#include "base/options.h"
#include "segmentation/segmentation_state.h"
#include "study/acq_settings.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kUndoSegmentationRing = 2;  // the only ring; other arguments do nothing

// temp/undo_seg_NNN in the application folder.
std::filesystem::path undoSlotPath(const std::filesystem::path& appFolder, int slot);

// Both counters to 0; snapshot files stay and are overwritten as slots are reused.
void EMPTY_UNDO(WorkflowState& flow);

// Writes CORR, the four slice-limit tables and LPE to slot UNDOseg_pos and advances the ring.
// A slot that cannot be written is skipped silently (counters unchanged). Returns 1 when written.
int SAVE_UNDO(int ring, const std::filesystem::path& appFolder, const Options& opt, const Study& s,
              const SliceLimits& lim, WorkflowState& flow, const Segmentation& seg);
// Restores the last snapshot and steps the ring back. Returns 1 when one was restored.
int LOAD_UNDO(int ring, const std::filesystem::path& appFolder, const Options& opt, const Study& s, SliceLimits& lim,
              WorkflowState& flow, Segmentation& seg);

}  // namespace quorvel
