#include "study/view_data.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quorvel {

void DATA_SYMETRY_HOR(Study& s) {
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int x = 0; x < kMatrix; ++x)
        for (int y = 0; y < kMatrix / 2; ++y) std::swap(s.at(t, z, x, y), s.at(t, z, x, kMatrix - 1 - y));
  stampCounts(s);
}

void DATA_SYMETRY_VER(Study& s, int fich_axis) {
  if (fich_axis == 0) {
    for (int t = 0; t < s.Ninst; ++t)
      for (int z = 0; z < s.NCZ; ++z)
        for (int x = 0; x < kMatrix / 2; ++x)
          std::swap_ranges(&s.at(t, z, x, 0), &s.at(t, z, x, 0) + kMatrix, &s.at(t, z, kMatrix - 1 - x, 0));
  } else {
    for (int t = 0; t < s.Ninst; ++t)
      for (int z = 0; z < s.NCZ / 2; ++z)
        std::swap_ranges(&s.at(t, z, 0, 0), &s.at(t, z, 0, 0) + kSliceVoxels, &s.at(t, s.NCZ - 1 - z, 0, 0));
  }
  stampCounts(s);
}

void EVAL_VLA_PROJ(const Study& s, LongAxisProjection& view, const ProjectionSettings& ps) {
  const bool thresholded = ps.equilibrium && !ps.reprojection;
  const int floorTerm = ps.seuillage * 4;
  int largest = 0;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int r = 0; r < kMatrix; ++r) {
        int sum = 0;
        if (s.datamax > 0 && std::isfinite(s.datamax)) {  // each term then stays within 0..400
          for (int c = 0; c < kMatrix; ++c) {
            const int term = static_cast<int>(std::trunc(s.at(t, z, r, c)) * kProjectionSpan / s.datamax);
            if (!(thresholded && term < floorTerm)) sum += term;
          }
        }
        view.vla(t, z, r) = sum;
        largest = std::max(largest, sum);
      }
  if (largest <= 0) return;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int r = 0; r < kMatrix; ++r)
        view.vla(t, z, r) = static_cast<int>(static_cast<long long>(view.vla(t, z, r)) * kProjectionSpan / largest);
}

}  // namespace quorvel
