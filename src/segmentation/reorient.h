#pragma once
// The re-orientation stage: three steps that bring the loaded study into the pose the
// segmentation expects (square crop and in-plane rotation, valve tilt, check and segmentation),
// and the mouse and key actions that set them up.
#include "segmentation/segment_commands.h"
#include "study/acq_settings.h"
#include "study/loading.h"

namespace quorvel {

enum class ReorientOutcome {
  StepValidated,         // step 0 or 1 resampled DATA (or left it, for a tilt of 0.01 degree or less)
  Segmented,             // step 2: the study is segmented; the caller enters the segmentation stage
  SegmentationRefused,   // step 2: the segmentation refused and put everything back (message shown)
  RecordsFull,           // no room for one more validation record: nothing changed (message shown)
  BadRecord,             // the record being replayed is unusable: nothing changed (message shown)
  NoVoxelSize,           // a tilt needs both voxel sizes: nothing changed (message shown)
  ReprojectionNotBuilt,  // step 2 in reprojection mode: nothing changed
  UnknownStep,           // fich_axis outside 0..2: nothing changed
  NoStudy,               // no DATA loaded: nothing changed
};

// Validates the current step fich_axis (Enter in stage 1, the validation button, a template
// replay). Records the six settings (or, while LIST_PROC is set, takes them from record C_list),
// then resamples DATA for step 0 or 1, or segments for step 2. Every refusal leaves the study and
// the settings exactly as they were. Allocation failure of the work volume ends the program
// (" DD345 ").
ReorientOutcome FICH_VALIDATE(SegmentationContext& c);

// Step 0. The square is dragged with the primary button from where it was at the press;
// displacements are in display pixels (8 per voxel), dx across, dy down.
void BEGIN_SQUARE_DRAG(ReorientSettings& r);
void DRAG_SQUARE(ReorientSettings& r, int dxPixels, int dyPixels);
// Secondary button at display position (x, y): the square turns to point at it.
void ROTATE_SQUARE(ReorientSettings& r, int x, int y);
// Ctrl+Up / Ctrl+Down: side +/- 2. False when refused (touching the border / already 16).
bool GROW_SQUARE(ReorientSettings& r);
bool SHRINK_SQUARE(ReorientSettings& r);

// Page keys: septum line in step 0, valve line in step 1, by delta within 4..60.
// With Ctrl in step 1: valve angle by delta degrees within -40..40. False when nothing moved.
bool MOVE_PLANE_LINE(ReorientSettings& r, int fich_axis, int delta);
bool TILT_VALVES(ReorientSettings& r, int fich_axis, int delta);

// Shift+H (step 0 only, else false) and Shift+V: mirror DATA and recompute the projection.
bool MIRROR_COLUMNS(StudyWorkspace& w);
void MIRROR_ROWS_OR_SLICES(StudyWorkspace& w);

// Step key: next reachable step. Step buttons: false when the step is not reachable yet.
void NEXT_STEP(WorkflowState& flow);
bool SELECT_STEP(WorkflowState& flow, int step);

// Step 2 outside reprojection mode: the primary button at display height y in the long-axis
// panel sets infand_plane and the right ventricle's lower slice limit of every instant.
// False (nothing changed) in another step, in reprojection mode or without a study.
bool SET_INFUNDIBULUM_PLANE(StudyWorkspace& w, int y);
// The same plane given as a slice (command line, templates); clamped to the study's slices.
bool SET_INFUNDIBULUM_SLICE(StudyWorkspace& w, int slice);

}  // namespace quorvel
