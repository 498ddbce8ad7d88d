#pragma once
// Per-study reset and the intensity interval of DATA.
#include "base/options.h"
#include "base/trace_log.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

// Resets every per-study setting for a new study; uses the new Ninst and NCZ, so it runs after
// the header reader and before the voxels are extracted. IDB_loaded is left as it is.
void INIT_ACQ_PARAM(StudyRecord& s, PerStudySettings& set, const Options& opt);

// datamax = largest voxel, negatives clipped to 0, datamin = seuillage % of datamax.
void EVAL_DATA_INTERVAL(Study& s, TraceLog& log);

}  // namespace quorvel
