#pragma once
// Region sizes and contact counts of the label volume, and the pruning of small regions.
#include "base/trace_log.h"
#include "segmentation/segmentation_state.h"

namespace quorvel {

// Recomputes CARD, RECOUP and RECOUP_Z from LPE (rows and columns 1..62 only); prune = 1 then
// merges every region under kPruneMinimum voxels into the neighbour it touches most.
void RECOUP_CLASS(int prune, int Ninst, int NCZ, Segmentation& seg, TraceLog& log);

// Merges, in ascending label order, each label with fewer than `minimum` counted voxels into the
// label it touches most (ties to the smaller; background when it touches none). The tables read by
// each decision equal a full recount after the previous merges.
void ELAGAGE(int minimum, Segmentation& seg, TraceLog& log);

// Adds (sign 1) or takes away (sign -1) what the counted voxels of slice z of instant t give to
// CARD, RECOUP and RECOUP_Z. A full recount is this over every slice of cleared tables; a change
// confined to some slices takes their share away before and adds it back after.
void addSliceStatistics(Segmentation& seg, int Ninst, int NCZ, int t, int z, int sign);

}  // namespace quorvel
