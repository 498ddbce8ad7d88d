#include "camera/reconstruction.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <stdexcept>

#include "model3d/parallel.h"

namespace quorvel::camera {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFwhmPerSigma = 2.3548200450309493;
constexpr float kSmallestEstimate = 1e-6f;  // a projected estimate below this is taken as empty
constexpr int kSlicePadding = 8;            // zero slices before the wrap-around of the filter

int nextPowerOfTwo(int n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

// In-place radix-2 transform of n (a power of two) values spaced by stride.
void fft(std::complex<float>* a, int n, size_t stride, bool inverse) {
  for (int i = 1, j = 0; i < n; ++i) {
    int bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i * stride], a[j * stride]);
  }
  for (int len = 2; len <= n; len <<= 1) {
    const double ang = 2 * kPi / len * (inverse ? 1 : -1);
    const std::complex<float> wl(static_cast<float>(std::cos(ang)), static_cast<float>(std::sin(ang)));
    for (int i = 0; i < n; i += len) {
      std::complex<float> w(1.0f, 0.0f);
      for (int j = 0; j < len / 2; ++j) {
        const std::complex<float> u = a[(i + j) * stride], v = a[(i + j + len / 2) * stride] * w;
        a[(i + j) * stride] = u + v;
        a[(i + j + len / 2) * stride] = u - v;
        w *= wl;
      }
    }
  }
}

// Transforms every line of a [nz][nx][ny] complex volume along each axis.
void fft3(std::vector<std::complex<float>>& v, int nz, int nx, int ny, bool inverse) {
  const size_t plane = static_cast<size_t>(nx) * ny;
  for (size_t i = 0; i < static_cast<size_t>(nz) * nx; ++i) fft(v.data() + i * ny, ny, 1, inverse);
  for (int z = 0; z < nz; ++z)
    for (int y = 0; y < ny; ++y) fft(v.data() + z * plane + y, nx, ny, inverse);
  for (size_t i = 0; i < plane; ++i) fft(v.data() + i, nz, plane, inverse);
}

double signedFrequency(int k, int n, double spacingCm) { return (k <= n / 2 ? k : k - n) / (n * spacingCm); }

}  // namespace

std::string parseFilter(const std::string& text, FilterParams& f) {
  FilterParams out;
  if (text == "none") {
    out.kind = PostFilter::None;
  } else if (text.rfind("butterworth:", 0) == 0) {
    int order = 0;
    double cutoff = 0;
    char tail = 0;
    if (std::sscanf(text.c_str() + 12, "%d:%lf%c", &order, &cutoff, &tail) != 2 || order < 1 || order > 20 ||
        !(cutoff > 0 && cutoff < 10))
      return "a Butterworth filter is butterworth:ORDER:CUTOFF, order 1 to 20, cutoff in cycles/cm";
    out.kind = PostFilter::Butterworth, out.order = order, out.cutoff_cycles_per_cm = cutoff;
  } else if (text.rfind("gaussian:", 0) == 0) {
    double fwhm = 0;
    char tail = 0;
    if (std::sscanf(text.c_str() + 9, "%lf%c", &fwhm, &tail) != 1 || !(fwhm >= 0 && fwhm < 100))
      return "a Gaussian filter is gaussian:FWHM, in mm below 100";
    out.kind = PostFilter::Gaussian, out.fwhm_mm = fwhm;
  } else {
    return "unknown filter " + text + " (none, butterworth:ORDER:CUTOFF or gaussian:FWHM)";
  }
  f = out;
  return {};
}

std::string filterName(const FilterParams& f) {
  char buf[64];
  switch (f.kind) {
    case PostFilter::None:
      return "none";
    case PostFilter::Butterworth:
      std::snprintf(buf, sizeof buf, "butterworth:%d:%g", f.order, f.cutoff_cycles_per_cm);
      break;
    case PostFilter::Gaussian:
      std::snprintf(buf, sizeof buf, "gaussian:%g", f.fwhm_mm);
      break;
  }
  return buf;
}

std::string validate(const ReconParams& r, int angles) {
  if (r.iterations < 1 || r.iterations > 100) return "iterations must be 1 to 100";
  if (r.subsets < 1 || r.subsets > angles || angles % r.subsets != 0)
    return "subsets must divide the number of angles (" + std::to_string(angles) + ")";
  return {};
}

std::vector<int> subsetAngles(int angles, int subsets, int s) {
  std::vector<int> out;
  for (int k = s; k < angles; k += subsets) out.push_back(k);
  return out;
}

std::vector<float> osem(const Projector& projector, std::span<const float> proj, int iterations, int subsets,
                        const std::vector<std::vector<float>>& sensitivity) {
  const CameraGeometry& g = projector.geometry();
  const int n = g.matrix;
  const size_t vs = g.volumeSize(), pz = g.projectionSize();
  // Start from ones inside the circle every angle sees.
  std::vector<float> x(vs, 0.0f);
  const double c = (n - 1) / 2.0, r2 = (n / 2.0) * (n / 2.0);
  std::vector<uint8_t> inside(static_cast<size_t>(n) * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) inside[static_cast<size_t>(i) * n + j] = (i - c) * (i - c) + (j - c) * (j - c) <= r2;
  for (size_t i = 0; i < vs; ++i) x[i] = inside[i % inside.size()] ? 1.0f : 0.0f;
  std::vector<float> estimate(proj.size()), update(vs);
  for (int it = 0; it < iterations; ++it)
    for (int s = 0; s < subsets; ++s) {
      const std::vector<int> angles = subsetAngles(g.angles, subsets, s);
      projector.forward(x, estimate, angles);
      for (int k : angles)
        for (size_t i = pz * k; i < pz * (k + 1); ++i)
          estimate[i] = estimate[i] > kSmallestEstimate ? proj[i] / estimate[i] : 0.0f;
      projector.back(estimate, update, angles);
      const std::vector<float>& sens = sensitivity[s];
      for (size_t i = 0; i < vs; ++i)
        x[i] = sens[i] > 0 && inside[i % inside.size()] ? x[i] * update[i] / sens[i] : 0.0f;
    }
  return x;
}

void postFilter(std::vector<float>& volume, int slices, int matrix, double pixel_mm, double slice_mm,
                const FilterParams& f) {
  if (f.kind == PostFilter::None) return;
  const int nx = nextPowerOfTwo(matrix), nz = nextPowerOfTwo(slices + kSlicePadding);
  std::vector<std::complex<float>> v(static_cast<size_t>(nz) * nx * nx);
  for (int z = 0; z < slices; ++z)
    for (int x = 0; x < matrix; ++x)
      for (int y = 0; y < matrix; ++y)
        v[(static_cast<size_t>(z) * nx + x) * nx + y] = volume[(static_cast<size_t>(z) * matrix + x) * matrix + y];
  fft3(v, nz, nx, nx, false);
  const double pcm = pixel_mm / 10.0, zcm = slice_mm / 10.0;
  const double sigmaCm = f.fwhm_mm / 10.0 / kFwhmPerSigma;
  for (int z = 0; z < nz; ++z)
    for (int x = 0; x < nx; ++x)
      for (int y = 0; y < nx; ++y) {
        const double fz = signedFrequency(z, nz, zcm), fx = signedFrequency(x, nx, pcm),
                     fy = signedFrequency(y, nx, pcm);
        const double f2 = fz * fz + fx * fx + fy * fy;
        const double h =
            f.kind == PostFilter::Butterworth
                ? 1.0 / std::sqrt(1.0 + std::pow(f2 / (f.cutoff_cycles_per_cm * f.cutoff_cycles_per_cm), f.order))
                : std::exp(-2.0 * kPi * kPi * sigmaCm * sigmaCm * f2);
        v[(static_cast<size_t>(z) * nx + x) * nx + y] *= static_cast<float>(h);
      }
  fft3(v, nz, nx, nx, true);
  const float scale = 1.0f / (static_cast<float>(nz) * nx * nx);
  for (int z = 0; z < slices; ++z)
    for (int x = 0; x < matrix; ++x)
      for (int y = 0; y < matrix; ++y)
        volume[(static_cast<size_t>(z) * matrix + x) * matrix + y] =
            std::max(0.0f, v[(static_cast<size_t>(z) * nx + x) * nx + y].real() * scale);
}

std::vector<float> reconstructGated(const Projections& proj, const std::vector<float>& mu,
                                    const CollimatorModel& collimator, const ReconParams& r) {
  const CameraGeometry& g = proj.geometry;
  const std::string why = validate(r, g.angles);
  if (!why.empty()) throw std::invalid_argument(why);
  const Projector projector(g, r.attenuation_correction ? mu : std::vector<float>{},
                            r.resolution_recovery ? &collimator : nullptr, r.threads);
  const size_t vs = g.volumeSize(), per = proj.instantSize();
  // The system is the same for every instant: one sensitivity image per subset.
  std::vector<std::vector<float>> sensitivity(r.subsets);
  const std::vector<float> ones(per, 1.0f);
  for (int s = 0; s < r.subsets; ++s) {
    sensitivity[s].resize(vs);
    projector.back(ones, sensitivity[s], subsetAngles(g.angles, r.subsets, s));
  }
  std::vector<float> out(vs * proj.instants);
  for (int t = 0; t < proj.instants; ++t) {
    std::vector<float> x = osem(projector, std::span<const float>(proj.counts.data() + per * t, per), r.iterations,
                                r.subsets, sensitivity);
    postFilter(x, g.slices, g.matrix, g.pixel_mm, g.slice_mm, r.filter);
    std::copy(x.begin(), x.end(), out.begin() + vs * t);
  }
  return out;
}

}  // namespace quorvel::camera
