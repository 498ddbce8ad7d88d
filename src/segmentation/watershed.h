#pragma once
// Quantisation of the re-oriented counts and the 4D watershed by flooding from the brightest
// level downwards.
#include "base/options.h"
#include "base/platform.h"
#include "base/trace_log.h"
#include "segmentation/segmentation_state.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

enum class FloodStatus {
  Done,
  RegionOverflow,  // a label above kMaxLabels was needed; the labels are then half-built
  Cancelled,       // the progress report asked to stop; the labels are then half-built
};

// What the flooding reads besides the labels.
struct FloodSettings {
  int ECH = 1000;
  bool equilibrium = true;
  int seuillage = 30;
};
FloodSettings floodSettingsOf(const Study& s, const Options& opt);

// DATA becomes levels in [1, ECH] (after EVAL_DATA_INTERVAL); datamax = ECH, struct_max = ECH.
void RECH_IMAGE(Study& s, const Options& opt, Segmentation& seg, TraceLog& log);

// The decision for one voxel: the label most frequent in the box of half-widths T (instants,
// cyclic), Z (slices) and XY (rows and columns) around it, ties to the smaller label; -1 when
// the box holds no label.
int DEF_REG(const Segmentation& seg, int Ninst, int NCZ, int t, int z, int row, int col, int T, int Z, int XY);

// Floods every voxel labelled L0 (restricted to instant I and slice S unless -1) again, level by
// level from ECH down; a new region is seeded only when growth at a level stalls.
// progress (optional) hears the fraction of voxels flooded and may cancel.
FloodStatus SEGMENTE(int L0, int T, int Z, int XY, int I, int S, const Study& s, const FloodSettings& fs,
                     Segmentation& seg, TraceLog& log, const ProgressFn& progress = {});

// Full segmentation from scratch into seg: locks cleared, LPE rebuilt, statistics with pruning,
// every label class 3, current instant 0, segment_done set. On RegionOverflow or Cancelled only seg
// was touched (it is half-built and must be dropped): the study and the flags are as they were.
FloodStatus SEGMENT(Study& s, const Options& opt, WorkflowState& flow, Segmentation& seg, TraceLog& log,
                    const ProgressFn& progress = {});

}  // namespace quorvel
