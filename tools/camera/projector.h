#pragma once
// Parallel-hole projection of a tomographic volume about its slice axis, with attenuation along
// each ray and a collimator blur that widens with the distance to the detector, and its exact
// adjoint (the back-projection), both spread over the cores by angle.
#include <cstddef>
#include <span>
#include <vector>

namespace quorvel::camera {

// Volumes are [slice][row][column] (slices along the axis of rotation); projections are
// [angle][slice][bin], bins of the pixel size across the detector.
struct CameraGeometry {
  int matrix = 64;
  int slices = 64;
  double pixel_mm = 6.8;
  double slice_mm = 6.8;
  int angles = 64;
  double orbit_deg = 360.0;
  double start_deg = 0.0;
  double radius_mm = 250.0;  // axis of rotation to the collimator face

  size_t volumeSize() const { return static_cast<size_t>(slices) * matrix * matrix; }
  size_t projectionSize() const { return static_cast<size_t>(slices) * matrix; }  // one angle
  double angleDeg(int k) const { return start_deg + orbit_deg * k / angles; }
};

// Collimator response: a Gaussian of FWHM fwhm_face_mm + fwhm_per_mm times the distance from the
// collimator face (a low-energy high-resolution collimator: about 7.4 mm at 10 cm).
struct CollimatorModel {
  double fwhm_face_mm = 1.9;
  double fwhm_per_mm = 0.055;
};

class Projector {
 public:
  // mu: linear attenuation per mm on the volume grid, empty for none; collimator: null for ideal
  // parallel rays. threads 0: every core.
  Projector(const CameraGeometry& g, std::vector<float> mu, const CollimatorModel* collimator, int threads = 0);

  const CameraGeometry& geometry() const { return g_; }
  // Writes the projections of the given angles (their slots of proj; the others untouched).
  void forward(std::span<const float> volume, std::span<float> proj, std::span<const int> angles) const;
  // volume = the adjoint of forward over the given angles applied to proj.
  void back(std::span<const float> proj, std::span<float> volume, std::span<const int> angles) const;

 private:
  struct Tap {
    int index[4];
    float weight[4];
  };
  struct DepthKernels {
    std::vector<float> alongBins, alongSlices;  // symmetric, odd length
  };
  // Gathers a rotated plane (depth, bin) of slice z of vol for angle k.
  void rotateSlice(const float* vol, int k, float* out) const;
  void rotateSliceAdjoint(const float* in, int k, float* vol) const;
  void attenuationOf(int k, float* factors) const;  // [depth][slice][bin]
  void blurPlane(float* plane, const DepthKernels& kernels, float* scratch) const;

  CameraGeometry g_;
  std::vector<float> mu_;
  std::vector<std::vector<Tap>> taps_;   // per angle, per (depth, bin)
  std::vector<float> attenuationCache_;  // per angle [depth][slice][bin] when it fits, else empty
  bool collimator_ = false;
  std::vector<DepthKernels> stepKernels_;  // blur from depth d - 1 to depth d; [depth]
  DepthKernels finalKernels_;              // the blur of the plane nearest the detector
  int threads_ = 0;
};

// Symmetric Gaussian kernel of variance `variance` (in samples squared), normalised; a three-tap
// kernel of exactly that variance when it is small.
std::vector<float> gaussianKernel(double variance);
// Separable convolution of a rows x columns plane with zero outside; symmetric kernels make it its own adjoint.
void convolveRows(float* plane, int rows, int columns, std::span<const float> kernel, float* scratch);
void convolveColumns(float* plane, int rows, int columns, std::span<const float> kernel, float* scratch);

}  // namespace quorvel::camera
