#pragma once
// Classification of the regions into left ventricle, right ventricle or neither, and the
// per-class maximum levels.
#include "base/trace_log.h"
#include "segmentation/segmentation_state.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

// Every label by its mean row and column against valves_plano_ and septum_plano, then per
// ventricle only the largest group of touching regions is kept among the groups that beat (an
// organ at rest is no ventricle however large). Sets segment_updt1/2 and recomputes struct_max.
// Manual assignments are lost.
void SEGMENT_EVAL(const Study& s, const ReorientSettings& lines, const SliceLimits& lim, WorkflowState& flow,
                  Segmentation& seg, TraceLog& log);

// A level below seuillage percent of its reference maximum (a class maximum, or ECH): such a
// voxel does not count in the volumes and, with equilibrium off, is no ventricle at all.
inline bool belowThreshold(int level, float reference, int seuillage) {
  return static_cast<float>(level) * 400.0f / reference < static_cast<float>(seuillage * 4);
}

// struct_max[c]: largest level of class c (ventricle voxels outside their slice limits count as 3).
void EVAL_STRUC_MAX(const Study& s, const SliceLimits& lim, Segmentation& seg);

}  // namespace quorvel
