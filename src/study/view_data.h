#pragma once
// What the views read of the study besides DATA: the long-axis projection, and the mirrors of
// DATA the re-orientation stage offers.
#include <vector>

#include "base/options.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kProjectionSpan = 400;

struct LongAxisProjection {
  // VLONGAXIS[t][z][r]: long-axis projection per instant, slice and row.
  std::vector<int> VLONGAXIS = std::vector<int>(static_cast<size_t>(kMaxInstants) * kMaxSlices * kMatrix, 0);
  int& vla(int t, int z, int r) { return VLONGAXIS[(static_cast<size_t>(t) * kMaxSlices + z) * kMatrix + r]; }
  int vla(int t, int z, int r) const { return VLONGAXIS[(static_cast<size_t>(t) * kMaxSlices + z) * kMatrix + r]; }
};

// Column c and column 63 - c swap in every row.
void DATA_SYMETRY_HOR(Study& s);
// fich_axis 0: rows r and 63 - r swap; 1 or 2: slice order reversed in every instant.
void DATA_SYMETRY_VER(Study& s, int fich_axis);

struct ProjectionSettings {
  int seuillage = 30;
  bool equilibrium = true;
  bool reprojection = false;
};
inline ProjectionSettings projectionSettingsOf(const Study& s, const Options& opt) {
  return {s.seuillage, opt.equilibrium != 0, opt.REPROJ != 0};
}
// VLONGAXIS from DATA: column sums of voxels scaled to 0..400 of datamax, then to 0..400 overall.
void EVAL_VLA_PROJ(const Study& s, LongAxisProjection& view, const ProjectionSettings& ps);

}  // namespace quorvel
