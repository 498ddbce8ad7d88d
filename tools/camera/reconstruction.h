#pragma once
// Gated reconstruction as a camera's console makes it: ordered-subsets expectation maximisation
// of each instant's projections (attenuation and collimator modelled only when asked), then a
// three-dimensional post-filter.
#include <span>
#include <string>
#include <vector>

#include "camera/acquisition.h"
#include "camera/projector.h"

namespace quorvel::camera {

enum class PostFilter { None, Butterworth, Gaussian };
struct FilterParams {
  PostFilter kind = PostFilter::Butterworth;
  int order = 5;
  double cutoff_cycles_per_cm = 0.40;  // Butterworth: frequency of half power
  double fwhm_mm = 0;                  // Gaussian
};
// "none", "butterworth:ORDER:CUTOFF" (cycles/cm) or "gaussian:FWHM" (mm); empty when parsed, else the reason.
std::string parseFilter(const std::string& text, FilterParams& f);
std::string filterName(const FilterParams& f);

struct ReconParams {
  int iterations = 4;
  int subsets = 8;
  bool attenuation_correction = false;
  bool resolution_recovery = false;  // model the collimator's blur in the projector
  FilterParams filter;
  int threads = 0;
};
std::string validate(const ReconParams& r, int angles);

// Angles of subset s of `subsets`, interleaved (s, s + subsets, ...).
std::vector<int> subsetAngles(int angles, int subsets, int s);

// OSEM of one instant's projections with the given projector; sensitivity[s] is the
// back-projection of ones over subset s. Voxels outside the orbit's circle stay zero.
std::vector<float> osem(const Projector& projector, std::span<const float> proj, int iterations, int subsets,
                        const std::vector<std::vector<float>>& sensitivity);

// Butterworth magnitude 1 / sqrt(1 + (f / cutoff)^(2 order)) of the radial frequency, or a
// Gaussian, applied in three dimensions (zero beyond the volume along the slices).
void postFilter(std::vector<float>& volume, int slices, int matrix, double pixel_mm, double slice_mm,
                const FilterParams& f);

// Every instant reconstructed and filtered: [instant][slice][row][column], in counts per voxel.
std::vector<float> reconstructGated(const Projections& proj, const std::vector<float>& mu,
                                    const CollimatorModel& collimator, const ReconParams& r);

}  // namespace quorvel::camera
