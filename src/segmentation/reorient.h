#pragma once
// The re-orientation stage: three steps that bring the loaded study into the pose the
// segmentation expects (square crop and in-plane rotation, valve tilt, check and segmentation),
// and the mouse and key actions that set them up.
#include <optional>

#include "base/refusal.h"
#include "segmentation/segment_commands.h"
#include "study/per_study_settings.h"
#include "study/loading.h"

namespace quorvel {

enum class ReorientOutcome {
  StepValidated,         // step 0 or 1 resampled DATA (or left it, for a tilt of 0.01 degree or less)
  Segmented,             // step 2: the study is segmented; the caller enters the segmentation stage
  SegmentationRefused,   // step 2: too many regions; the segmentation put everything back
  SegmentationCancelled, // step 2: the user stopped the segmentation; everything put back
  RecordsFull,           // no room for one more validation record: nothing changed
  BadRecord,             // the record being replayed is unusable: nothing changed
  NoVoxelSize,           // a tilt needs both voxel sizes: nothing changed
  ReprojectionValidated, // step 2 in reprojection mode: recorded; the caller computes the reprojected curve
  UnknownStep,           // fich_axis outside 0..2: nothing changed
  NoStudy,               // no DATA loaded: nothing changed
};

// What to tell the user about an outcome that refused the validation; nothing for the others
// (which change nothing silently or succeed).
std::optional<Refusal> refusalOf(ReorientOutcome outcome);

// Validates the current step fich_axis (Enter in stage 1, the validation button, a template
// replay). Records the six settings (or, while LIST_PROC is set, takes them from record C_list),
// then resamples DATA for step 0 or 1, or segments for step 2. Resampling drops an existing
// segmentation and what was computed from it: step 2 has to be validated again. Every refusal leaves the study and
// the settings exactly as they were. Allocation failure of the work volume ends the program
// (" DD345 ").
ReorientOutcome FICH_VALIDATE(SegmentationContext& c);

// Step 0. The square is dragged from where it was when the drag began, by whole voxels (rows
// down, columns across), and kept inside the slice.
void beginSquareDrag(ReorientSettings& r);
void dragSquare(ReorientSettings& r, int dRows, int dCols);
// The square turns to point at (row, col), in voxel units.
void pointSquareAt(ReorientSettings& r, double row, double col);
// Side +/- 2. False when refused (touching the border / already 16).
bool growSquare(ReorientSettings& r);
bool shrinkSquare(ReorientSettings& r);

// Septum line in step 0, valve line in step 1, by delta within 4..60; valve angle by delta
// degrees within -40..40 in step 1. False when nothing moved.
bool movePlaneLine(ReorientSettings& r, int fich_axis, int delta);
bool tiltValves(ReorientSettings& r, int fich_axis, int delta);

// Mirror DATA left-right (step 0 only, else false) or top-bottom, and recompute the projection.
bool mirrorColumns(StudyWorkspace& w);
void mirrorRowsOrSlices(StudyWorkspace& w);

// The next reachable step, or a chosen one (false when it is not reachable yet).
void nextStep(WorkflowState& flow);
bool selectStep(WorkflowState& flow, int step);

// Step 2 outside reprojection mode: the infundibulum plane at a slice (clamped to the study's
// slices) sets infand_plane and the right ventricle's lower slice limit of every instant; like the
// limit command, it recomputes struct_max and marks the curves and the preview out of date.
// False (nothing changed) in another step, in reprojection mode or without a study.
bool setInfundibulumSlice(SegmentationContext& c, int slice);

}  // namespace quorvel
