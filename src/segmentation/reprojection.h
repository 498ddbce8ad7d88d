#pragma once
// Reprojection mode: the left ventricle analysed on planar-like images instead of the 4D
// segmentation. The re-oriented counts above the valve line are summed along the rows into one
// (slice x column) image per instant; the ventricle is grown from a seed on these images and its
// background-corrected counts, normalised to 100, become the left-ventricular volume curve.
#include <array>
#include <optional>
#include <vector>

#include "base/refusal.h"
#include "base/trace_log.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kReprojectionSpan = 400;  // the largest projected value after scaling

enum ReprojectionMask : uint8_t { kReprojOutside = 0, kReprojVentricle = 1, kReprojBackground = 2 };

struct Reprojection {
  // [t][z][y], sized for 16 instants, 128 slices, 64 columns; only t < Ninst and z < NCZ are used.
  std::vector<float> reprojection = std::vector<float>(static_cast<size_t>(kMaxInstants) * kMaxSlices * kMatrix, 0.0f);
  std::vector<uint8_t> reproj_mask = std::vector<uint8_t>(static_cast<size_t>(kMaxInstants) * kMaxSlices * kMatrix, 0);
  float repromax = 0;
  int reproj_lvx = 0, reproj_lvy = 0;  // seed: column and slice
  std::array<float, kMaxInstants> reproj_tac{};

  static size_t index(int t, int z, int y) { return (static_cast<size_t>(t) * kMaxSlices + z) * kMatrix + y; }
  float& at(int t, int z, int y) { return reprojection[index(t, z, y)]; }
  float at(int t, int z, int y) const { return reprojection[index(t, z, y)]; }
  uint8_t& mask(int t, int z, int y) { return reproj_mask[index(t, z, y)]; }
  uint8_t mask(int t, int z, int y) const { return reproj_mask[index(t, z, y)]; }
};

// The projection of every instant: DATA summed over rows 0..valves_plano_, scaled so that the
// study's largest value is 400. When no seed was placed yet (segment_done 0), the seed goes to the
// first place, in the scan order instant, column, slice, holding that largest value. Refused when
// the projection is zero everywhere (nothing changed then).
Status UPDATE_REPROJECTION(const Study& s, const ReorientSettings& r, WorkflowState& flow, Reprojection& rp,
                           TraceLog& log);

// The left ventricle grown from the seed at every instant (two threshold passes, then filled), the
// background beside it, and the curve: counts inside less half the background, normalised to 100
// and turned so that its maximum comes first. Sets segment_done. Refused when no instant has a
// positive count (the curve is then left as it was).
Status REPROJ_TAC(const Study& s, Reprojection& rp, WorkflowState& flow, TraceLog& log);

// The seed from a pointer on the step-2 picture, in voxel units: column and slice.
void placeReprojectionSeed(Reprojection& rp, int column, int slice, int NCZ);

}  // namespace quorvel
