#pragma once
// Automatic placement of the re-orientation: from the loaded study (before step 0) it proposes
// the square, its rotation, the septum line, the valve line and its tilt, so that the study can
// be analysed without anyone placing them.
#include <vector>

#include "base/language.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

// The settings of the three re-orientation steps, in the units the steps use.
struct Placement {
  int recad_x = 32, recad_y = 32;  // row and column of the centre of the square
  int recad_t = 32;                // side of the square in voxels (even, 16..64, inside the slice)
  float rotation = 0;              // radians
  int septum_plano = 32;           // column of the septum line once step 0 is validated
  int valves_plano_ = 32;          // row of the valve line once step 1 is validated
  float valves_angle = 0;          // degrees (applied with 0.0175 rad per degree)
  int infand_plane = -1;           // first slice of the right ventricle; -1: none
};

// Puts the square, rotation, lines and tilt of p into the re-orientation settings (step 0 keeps
// the lines and tilt for the steps after it); the infundibulum plane is a command of its own.
void applyPlacement(const Placement& p, ReorientSettings& r);

enum class PlacementStatus {
  Proposed,
  NoStudy,       // nothing loaded
  NoVoxelSize,   // the voxel sizes are unknown
  NoCounts,      // the study holds no count
  NoBeat,        // nothing beats above the noise
  NoVentricles,  // the beating structures do not form two ventricles above a valve plane
};

// What to check in a proposal the method made under strain; each comes with its French and
// English text.
enum class PlacementWarning {
  WeakBeat,       // the stroke stands little above the noise
  ShallowSeptum,  // the valley between the ventricles is shallow, or none was found
  SquareAtEdge,   // the square was pushed off the crux by the slice's edge
  SquareFull,     // the ventricles and their margin do not fit the largest square
  TiltAtLimit,    // the valve plane's tilt reached its limit
  LaterLook,      // the first look's proposal left a ventricle out of the segmentation
};
Text placementWarningText(PlacementWarning w);

struct PlacementProposal {
  PlacementStatus status = PlacementStatus::NoStudy;
  Placement placement;  // meaningful only when proposed
  Text why{"", ""};     // the refusal; empty when proposed
  // How clearly the study showed what was placed: the largest stroke over the noise's deviation,
  // and the septal valley's depth as a fraction of the highest peak beside it.
  double beatToNoise = 0, septumDepth = 0;
  int look = 0;  // which of the looks at the study (index into the smoothings) made it
  std::vector<PlacementWarning> warnings;
  bool proposed() const { return status == PlacementStatus::Proposed; }
};

// How far the proposal stands from the limits of confidence, 0..1: the lesser of the beat's and
// the septum's margins (0 at the limit, 1 at four times it), halved for a square at its largest.
// 0 when nothing was proposed, when the tilt was held at its limit, when the septum was put
// through the ventricles' centre for want of a valley between them, or when an earlier look's
// proposal left a ventricle out.
double placementConfidence(const PlacementProposal& p);
inline constexpr double kLowPlacementConfidence = 0.1;

// A point or a direction in millimetres of the study: rows, columns and slices from voxel 0.
struct PointMm {
  double row = 0, column = 0, slice = 0;
};

struct FramedPlacement {
  Placement placement;
  bool squareFull = false;    // the ventricles and their margin do not fit the largest square
  bool squareAtEdge = false;  // the square was pushed off the crux by the slice's edge
  bool linesInside = true;    // both lines fall inside the range the steps accept
};

// The placement of a heart whose valve plane meets its septum at `crux`, whose long axis runs
// along `axis` (apex towards base) and whose ventricles cover `ventricles`: rows follow the axis,
// the tilt makes the valve plane a row, both lines pass through the crux, and the square is
// centred on the crux as far as the slice allows, its side reaching every ventricular point with
// a margin.
FramedPlacement placementOfFrame(const Study& s, const PointMm& crux, const PointMm& axis,
                                 const std::vector<PointMm>& ventricles);

// Proposes the placement of the study as loaded (end-diastole at instant 0). Deterministic; reads
// DATA, Ninst, NCZ and the voxel sizes, changes nothing. It proposes no infundibulum plane.
//
// The first harmonic of every voxel's time-activity curve, taken in the phase of the whole study's
// curve (or of the ventricles' own when they beat clearly out of it), is a signed stroke image:
// positive where counts fall in systole (ventricles), negative where they rise (atria). The long
// axis runs from the ventricles towards the atria; it is then leaned until the valve plane, the
// outer edge of the stroke band where the base travels, lies at one height on every side of the axis
// (a less levelled axis is kept when it shows the septal valley clearly deeper: a weak ventricle's
// base misleads the levelling). Rows of the re-oriented slices follow that axis (the rotation) and
// the tilt makes the valve plane horizontal. The septum is the valley of the stroke between the two
// ventricles across the axis. The square is centred where the valve plane meets the septum and
// framed on the ventricles with a margin.
//
// The study is looked at with a growing smoothing, from `fromLook` on, until something beats above
// the noise. A caller whose segmentation of the proposal lacks a ventricle may ask again from the
// next look: a heart whose left ventricle barely beats shows both ventricles only when smoother.
inline constexpr int kPlacementLooks = 2;
PlacementProposal proposePlacement(const Study& s, int fromLook = 0);

}  // namespace quorvel
