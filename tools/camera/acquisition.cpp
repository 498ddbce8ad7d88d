#include "camera/acquisition.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quorvel::camera {

namespace {

constexpr double kFwhmPerSigma = 2.3548200450309493;

}  // namespace

std::string validate(const AcquisitionParams& a, const phantom::PhantomParams& p) {
  if (a.angles < 4 || a.angles > 360) return "angles must be 4 to 360";
  if (a.orbit_deg != 180.0 && a.orbit_deg != 360.0) return "the orbit must be 180 or 360 degrees";
  if (!(a.activity_mbq > 0) || !(a.blood_volume_ml > 0) || !(a.sensitivity_cps_per_mbq > 0) ||
      !(a.seconds_per_angle > 0))
    return "activity, blood volume, sensitivity and time per angle must be positive";
  if (!(a.scatter_fraction >= 0 && a.scatter_fraction < 0.9)) return "the scatter fraction must be 0 to 0.9";
  if (!(a.collimator.fwhm_face_mm >= 0) || !(a.collimator.fwhm_per_mm >= 0)) return "the collimator blur is negative";
  // The reconstructed field is the circle every angle sees; the collimator stays outside it.
  const double halfSide = (p.matrix - 1) / 2.0 * p.pixel_mm;
  if (!(a.radius_mm >= halfSide))
    return "the orbit's radius must clear the field of view (at least " + std::to_string(std::lround(halfSide)) +
           " mm)";
  if (p.fwhm_mm != 0 || p.noise) return "the phantom must be unblurred and noise-free: the camera blurs and counts";
  return {};
}

CameraGeometry geometryOf(const AcquisitionParams& a, const phantom::PhantomParams& p) {
  CameraGeometry g;
  g.matrix = p.matrix, g.slices = p.slices, g.pixel_mm = p.pixel_mm, g.slice_mm = p.slice_mm;
  g.angles = a.angles, g.orbit_deg = a.orbit_deg, g.radius_mm = a.radius_mm;
  return g;
}

std::vector<float> attenuationMap(const AcquisitionParams& a, const phantom::PhantomParams& p) {
  std::array<double, phantom::kStructureCount> perStructure{};
  std::vector<uint8_t> dominant;
  phantom::voxeliseInstant(p, 0, perStructure, &dominant);
  const auto origin = phantom::heartOriginWorking(p);
  const int n = p.matrix;
  std::vector<float> mu(static_cast<size_t>(p.slices) * n * n, 0.0f);
  for (int z = 0; z < p.slices; ++z)
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        const double dr = (x - origin[0]) * p.pixel_mm / a.body_half_rows_mm;
        const double dc = (y - origin[1]) * p.pixel_mm / a.body_half_columns_mm;
        if (dr * dr + dc * dc > 1.0) continue;
        const size_t i = (static_cast<size_t>(z) * n + x) * n + y;
        mu[i] = static_cast<float>(dominant[i] == phantom::kLungBackground ? kLungMuPerMm : kSoftTissueMuPerMm);
      }
  return mu;
}

double countsPerMlSecond(const AcquisitionParams& a) {
  return a.activity_mbq / a.blood_volume_ml * a.sensitivity_cps_per_mbq;
}

Projections acquire(const phantom::Phantom& ph, const AcquisitionParams& a, std::vector<float> mu) {
  const phantom::PhantomParams& p = ph.params;
  const std::string why = validate(a, p);
  if (!why.empty()) throw std::invalid_argument(why);
  Projections out;
  out.geometry = geometryOf(a, p);
  out.instants = p.instants;
  const Projector projector(out.geometry, a.attenuation ? std::move(mu) : std::vector<float>{}, &a.collimator, a.threads);
  const size_t vs = out.geometry.volumeSize(), per = out.instantSize(), pz = out.geometry.projectionSize();
  out.counts.assign(per * p.instants, 0.0f);
  std::vector<int> all(a.angles);
  for (int k = 0; k < a.angles; ++k) all[k] = k;
  // Each instant is acquired for its share of the time at every angle.
  const double countsPerMl = countsPerMlSecond(a) * a.seconds_per_angle / p.instants;
  const double scatterGain = a.scatter_fraction / (1.0 - a.scatter_fraction);
  const double sb = a.scatter_fwhm_mm / kFwhmPerSigma / p.pixel_mm, sz = a.scatter_fwhm_mm / kFwhmPerSigma / p.slice_mm;
  const std::vector<float> alongBins = gaussianKernel(sb * sb), alongSlices = gaussianKernel(sz * sz);
  std::vector<float> activity(vs), plane(pz), scratch(pz);
  for (int t = 0; t < p.instants; ++t) {
    const float* ml = ph.expected_ml.data() + vs * t;
    for (size_t i = 0; i < vs; ++i) activity[i] = static_cast<float>(ml[i] * countsPerMl);
    std::span<float> proj(out.counts.data() + per * t, per);
    projector.forward(activity, proj, all);
    for (int k = 0; k < a.angles; ++k) {
      float* pk = proj.data() + pz * k;
      std::copy_n(pk, pz, plane.data());
      convolveRows(plane.data(), p.slices, p.matrix, alongBins, scratch.data());
      convolveColumns(plane.data(), p.slices, p.matrix, alongSlices, scratch.data());
      for (size_t i = 0; i < pz; ++i) {
        out.primaryCounts += pk[i];
        out.scatterCounts += scatterGain * plane[i];
        pk[i] += static_cast<float>(scatterGain * plane[i]);
      }
    }
  }
  if (a.noise) {
    phantom::PoissonSource poisson(a.seed);
    for (float& c : out.counts) c = static_cast<float>(poisson.sample(std::max(0.0f, c)));
  }
  return out;
}

}  // namespace quorvel::camera
