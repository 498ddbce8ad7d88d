#pragma once
// The ring of snapshot files that lets every correction of the segmentation be undone.
#include <filesystem>

#include "base/options.h"
#include "segmentation/segment_commands.h"
#include "segmentation/segmentation_state.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kUndoSegmentationRing = 2;  // the only ring; other arguments do nothing

// temp/undo_seg_NNN in the application folder.
std::filesystem::path undoSlotPath(const std::filesystem::path& appFolder, int slot);

// Both counters to 0; snapshot files stay and are overwritten as slots are reused.
void emptyUndo(WorkflowState& flow);
// Removes every snapshot file of the ring from appFolder/temp (the session ends).
void removeUndoFiles(const std::filesystem::path& appFolder);

// Writes CORR, the four slice-limit tables and LPE to slot UNDOseg_pos and advances the ring.
// The snapshot goes to a temporary file beside the slot and is renamed into place, so a slot
// holds either its previous snapshot or the new one, whole. A snapshot that cannot be written
// is skipped silently (counters unchanged). Returns 1 when written.
int SAVE_UNDO(int ring, const std::filesystem::path& appFolder, const Options& opt, const Study& s,
              const SliceLimits& lim, WorkflowState& flow, const Segmentation& seg);
// Restores CORR, the limits and LPE from the last snapshot and steps the ring back; NREG goes back
// to what it was when the snapshot was written (never below the restored labels), so the labels
// issued since are free again. A slot that is missing, not exactly the size of the current
// study's snapshot, or holding a label above kMaxLabels restores nothing and leaves the counters.
// The statistics are not touched: the caller recounts them. Returns 1 when one was restored.
int LOAD_UNDO(int ring, const std::filesystem::path& appFolder, const Options& opt, const Study& s, SliceLimits& lim,
              WorkflowState& flow, Segmentation& seg);

// The commands: the same on the workspace. The restoring one then recounts the region statistics
// (ADD_IN_REGS reads the contacts), recomputes struct_max, marks the curves and the preview out
// of date and redraws.
int SAVE_UNDO(int ring, SegmentationContext& c);
int LOAD_UNDO(int ring, SegmentationContext& c);

// The undo button is available while a snapshot can be restored.
inline bool undoAvailable(const WorkflowState& flow) { return flow.UNDOseg_lev > 0; }

}  // namespace quorvel
