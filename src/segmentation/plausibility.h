#pragma once
// Results that cannot be true: a ventricle cut by the edge of the re-orientation square, or one
// whose peak ejection comes after its end of systole. The front ends warn rather than present
// such numbers as results.
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
};

// One entry per ventricle whose results cannot be trusted, left first; empty when both can.
// The voxels looked at are those the volumes count: the ventricle's class, inside its slice
// limits, at or above the threshold of its class maximum. After the in-plane step the square
// fills the 64 x 64 slice, so its edge is the first and last row and column.
std::vector<ImplausibleVentricle> implausibleResults(const Study& s, const SliceLimits& lim,
                                                     const Segmentation& seg, const VolumeCurves& vc);

// One line saying what is wrong with the ventricle, in the language chosen.
std::string implausibleResultText(const ImplausibleVentricle& v, int LANGUE);

}  // namespace quorvel
