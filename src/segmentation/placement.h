#pragma once
// Automatic placement of the re-orientation: from the loaded study (before step 0) it proposes
// the square, its rotation, the septum line, the valve line and tilt, and when it can the
// infundibulum slice, so that the study can be analysed without anyone placing them.
#include "base/language.h"
#include "study/study_record.h"

namespace quorvel {

// The settings of the three re-orientation steps, in the units the steps use.
struct Placement {
  int recad_x = 32, recad_y = 32;  // row and column of the centre of the square
  int recad_t = 32;                // side of the square in voxels (even, 16..64)
  float rotation = 0;              // radians
  int septum_plano = 32;           // column of the septum line once step 0 is validated
  int valves_plano_ = 32;          // row of the valve line once step 1 is validated
  float valves_angle = 0;          // degrees (applied with 0.0175 rad per degree)
  int infand_plane = -1;           // first slice of the right ventricle; -1 when none is proposed
};

enum class PlacementStatus {
  Proposed,
  NoStudy,       // nothing loaded
  NoVoxelSize,   // the voxel sizes are unknown
  NoCounts,      // the study holds no count
  NoBeat,        // nothing beats above the noise
  NoVentricles,  // the beating structures do not form two ventricles above a valve plane
};

// What the proposal found, for the log and the pose-grid program.
struct PlacementTrace {
  double beatToNoise = 0;      // largest stroke over the noise of the stroke image
  double axis[3] = {0, 0, 0};  // long axis, apex to base (rows, columns, slices; unit vector in mm)
  double crux[3] = {0, 0, 0};  // where valve plane and septum meet (row, column, slice; voxels)
  double reachMm = 0;          // farthest ventricular voxel from the crux, in-plane
};

struct PlacementProposal {
  PlacementStatus status = PlacementStatus::NoStudy;
  Placement placement;  // meaningful only when proposed
  Text why{"", ""};     // the refusal, empty when proposed
  bool proposed() const { return status == PlacementStatus::Proposed; }
};

// Proposes the placement of the loaded study (counts as loaded, end-diastole at instant 0).
// Deterministic; reads DATA, Ninst, NCZ and the voxel sizes, changes nothing.
//
// The first harmonic of every voxel's time-activity curve, taken in the phase of the whole
// study's curve, is the signed stroke image: positive where counts fall in systole (ventricles),
// negative where they rise (atria, great vessels). The valve plane is the plane that best
// separates the two: its normal, searched over the in-plane rotation and the tilt, maximises the
// stroke summed on its ventricular side. The septum is the count valley between the two
// ventricles across that axis. The square is centred on the meeting point of the two planes and
// framed on the ventricles.
PlacementProposal proposePlacement(const Study& s, PlacementTrace* trace = nullptr);

}  // namespace quorvel
