#pragma once
// Results that cannot be true: a ventricle cut by the edge of the re-orientation square, one
// whose peak ejection comes after its end of systole, one holding activity that beats against
// it (an atrium left inside by the valve plane), or one whose volume hardly beats (the liver or the
// spleen classed as a ventricle when both ventricles lie on one side of the septum line). The front
// ends warn rather than present such numbers as results, whatever made them wrong (a placement, a
// segmentation or the study).
#include <array>
#include <string>
#include <vector>

#include "curves/volume_results.h"
#include "segmentation/segmentation_state.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

struct ImplausibleVentricle {
  int ventricle = 0;                  // 1 left, 2 right
  bool touchesSquareEdge = false;     // a counted voxel on the in-plane border at some instant
  bool ejectionAfterSystole = false;  // TPER later than TFS
  float TPER = 0;                     // ms, for the message
  int TFS = 0;                        // ms
  bool atrialActivityInside = false;  // much of its activity beats against it
  bool restingVolume = false;         // its volume curve hardly beats (an organ at rest taken for it)
  bool any() const {
    return touchesSquareEdge || ejectionAfterSystole || atrialActivityInside || restingVolume;
  }
};

// The figures the checks read, per ventricle (0 left, 1 right): the activity beating against the
// ventricle as a share of the activity beating with it; how far up a pool's flank the septum line
// sits (0 at the valley between the pools, 1 at the lower pool's peak; -1 when no valley shows),
// a figure for the reader only: a one-column offset of a sound line can reach half way up.
struct QualityFigures {
  std::array<double, 2> againstShare{0, 0};
  double septumFlank = -1;
};
QualityFigures qualityFigures(const Study& s, const SliceLimits& lim, const Segmentation& seg,
                              const VolumeCurves& vc, int septumColumn);

// One entry per ventricle whose results cannot be trusted, left first; empty when both can.
// The voxels looked at are those the volumes count: the ventricle's class, inside its slice
// limits, at or above the threshold of its class maximum. After the in-plane step the square
// fills the 64 x 64 slice, so its edge is the first and last row and column.
// septumColumn: the septum line's column in the re-oriented slices (-1: not checked).
std::vector<ImplausibleVentricle> implausibleResults(const Study& s, const SliceLimits& lim,
                                                     const Segmentation& seg, const VolumeCurves& vc,
                                                     int septumColumn = -1);

// One line saying what is wrong with the ventricle, in the language chosen.
std::string implausibleResultText(const ImplausibleVentricle& v, int LANGUE);

}  // namespace quorvel
