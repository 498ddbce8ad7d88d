#pragma once
// A gated tomographic acquisition of the digital phantom as a gamma camera makes it: the blood's
// activity seen through an attenuating body, a collimator whose blur widens with depth, scattered
// photons in the window, and Poisson counts per projection bin set by the injected activity, the
// camera's sensitivity and the time per angle.
#include <cstdint>
#include <string>
#include <vector>

#include "camera/projector.h"
#include "phantom/phantom.h"

namespace quorvel::camera {

// Linear attenuation coefficients at 140 keV, per mm.
inline constexpr double kSoftTissueMuPerMm = 0.0150;
inline constexpr double kLungMuPerMm = 0.0045;

struct AcquisitionParams {
  int angles = 64;
  double orbit_deg = 360.0;  // 180 or 360
  double radius_mm = 250.0;  // axis of rotation to the collimator face
  CollimatorModel collimator;
  double activity_mbq = 800.0;            // injected, labelled red cells
  double blood_volume_ml = 5000.0;        // the activity spreads over it
  double sensitivity_cps_per_mbq = 90.0;  // a low-energy high-resolution collimator's system sensitivity
  double seconds_per_angle = 25.0;        // over the whole cycle; each instant gets its share
  double scatter_fraction = 0.30;         // share of the window's counts that scattered
  double scatter_fwhm_mm = 60.0;          // their spread on the detector
  // Body: an elliptic cylinder along the axis of rotation around the heart, lungs where the
  // phantom's lung background is.
  double body_half_rows_mm = 145.0, body_half_columns_mm = 165.0;
  bool attenuation = true;
  bool noise = true;
  uint64_t seed = 1;
  int threads = 0;  // 0: every core
};

// Empty when the acquisition can be simulated, else the reason.
std::string validate(const AcquisitionParams& a, const phantom::PhantomParams& p);

CameraGeometry geometryOf(const AcquisitionParams& a, const phantom::PhantomParams& p);

// Attenuation per mm on the phantom's grid [slice][row][column]: the body's elliptic cylinder
// (clipped by the field of view) as soft tissue, lung where the phantom's lung background dominates.
std::vector<float> attenuationMap(const AcquisitionParams& a, const phantom::PhantomParams& p);

// Expected counts per projection bin for one instant, from the blood (ml per voxel, unblurred).
struct Projections {
  CameraGeometry geometry;
  int instants = 0;
  std::vector<float> counts;                    // [instant][angle][slice][bin]
  double primaryCounts = 0, scatterCounts = 0;  // expected, over every instant
  size_t instantSize() const { return geometry.projectionSize() * geometry.angles; }
};

// Counts per ml of blood and per second the camera sees from an unattenuated voxel at the centre.
double countsPerMlSecond(const AcquisitionParams& a);

// Projects every instant of ph.expected_ml (which must be unblurred: fwhm 0) through mu (the
// attenuation map when a.attenuation, else empty) and draws the Poisson counts when a.noise is set.
Projections acquire(const phantom::Phantom& ph, const AcquisitionParams& a, std::vector<float> mu);

}  // namespace quorvel::camera
