#include "camera/projector.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "model3d/parallel.h"

namespace quorvel::camera {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFwhmPerSigma = 2.3548200450309493;
// Attenuation factors of every angle are kept when they fit; beyond, they are recomputed per use.
constexpr size_t kMaxAttenuationCacheBytes = size_t(768) << 20;
// Variances up to this many samples squared are blurred by a three-tap kernel of that exact variance.
constexpr double kMaxThreeTapVariance = 0.5;
// Partial sums of a back-projection; fixed so that the result does not depend on the cores.
constexpr int kBackProjectionParts = 4;

}  // namespace

std::vector<float> gaussianKernel(double variance) {
  if (!(variance > 1e-9)) return {1.0f};
  if (variance <= kMaxThreeTapVariance) {
    const float w = static_cast<float>(variance / 2.0);
    return {w, 1.0f - 2.0f * w, w};
  }
  const double sigma = std::sqrt(variance);
  const int radius = static_cast<int>(std::ceil(3.0 * sigma));
  std::vector<float> k(2 * radius + 1);
  double sum = 0;
  for (int i = -radius; i <= radius; ++i) sum += k[i + radius] = static_cast<float>(std::exp(-0.5 * i * i / variance));
  for (float& v : k) v = static_cast<float>(v / sum);
  return k;
}

void convolveRows(float* plane, int rows, int columns, std::span<const float> kernel, float* scratch) {
  const int r = static_cast<int>(kernel.size()) / 2;
  if (r == 0) return;
  for (int i = 0; i < rows; ++i) {
    float* row = plane + static_cast<size_t>(i) * columns;
    std::copy(row, row + columns, scratch);
    for (int j = 0; j < columns; ++j) {
      const int lo = std::max(-r, -j), hi = std::min(r, columns - 1 - j);
      float s = 0;
      for (int t = lo; t <= hi; ++t) s += kernel[t + r] * scratch[j + t];
      row[j] = s;
    }
  }
}

void convolveColumns(float* plane, int rows, int columns, std::span<const float> kernel, float* scratch) {
  const int r = static_cast<int>(kernel.size()) / 2;
  if (r == 0) return;
  std::copy(plane, plane + static_cast<size_t>(rows) * columns, scratch);
  for (int i = 0; i < rows; ++i) {
    float* out = plane + static_cast<size_t>(i) * columns;
    std::fill(out, out + columns, 0.0f);
    const int lo = std::max(-r, -i), hi = std::min(r, rows - 1 - i);
    for (int t = lo; t <= hi; ++t) {
      const float w = kernel[t + r];
      const float* in = scratch + static_cast<size_t>(i + t) * columns;
      for (int j = 0; j < columns; ++j) out[j] += w * in[j];
    }
  }
}

Projector::Projector(const CameraGeometry& g, std::vector<float> mu, const CollimatorModel* collimator, int threads)
    : g_(g), mu_(std::move(mu)), collimator_(collimator != nullptr), threads_(threads) {
  if (g.matrix < 2 || g.slices < 1 || g.angles < 1 || !(g.pixel_mm > 0) || !(g.slice_mm > 0))
    throw std::invalid_argument("camera geometry: empty matrix, no angle or no pixel size");
  if (!mu_.empty() && mu_.size() != g.volumeSize()) throw std::invalid_argument("attenuation map of another size");
  const int n = g.matrix;
  const double c = (n - 1) / 2.0;
  if (g.radius_mm < c * g.pixel_mm)
    throw std::invalid_argument("the orbit's radius leaves the collimator inside the field of view");
  taps_.resize(g.angles);
  for (int k = 0; k < g.angles; ++k) {
    const double th = g.angleDeg(k) * kPi / 180.0, ct = std::cos(th), st = std::sin(th);
    std::vector<Tap>& taps = taps_[k];
    taps.resize(static_cast<size_t>(n) * n);
    for (int d = 0; d < n; ++d)
      for (int b = 0; b < n; ++b) {
        // Depth d runs along the ray towards the detector, bin b across it.
        const double x = c + (d - c) * ct - (b - c) * st, y = c + (d - c) * st + (b - c) * ct;
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0, fy = y - y0;
        Tap& t = taps[static_cast<size_t>(d) * n + b];
        const int xs[4] = {x0, x0 + 1, x0, x0 + 1}, ys[4] = {y0, y0, y0 + 1, y0 + 1};
        const double ws[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
        for (int i = 0; i < 4; ++i) {
          const bool inside = xs[i] >= 0 && xs[i] < n && ys[i] >= 0 && ys[i] < n;
          t.index[i] = inside ? xs[i] * n + ys[i] : 0;
          t.weight[i] = inside ? static_cast<float>(ws[i]) : 0.0f;
        }
      }
  }
  if (collimator_) {
    auto sigmas = [&](int d) {
      // The square's corners lie beyond the orbit's circle: they are taken at the collimator face.
      const double distance = std::max(0.0, g.radius_mm - (d - c) * g.pixel_mm);
      const double fwhm = collimator->fwhm_face_mm + collimator->fwhm_per_mm * distance;
      return std::pair{fwhm / kFwhmPerSigma / g.pixel_mm, fwhm / kFwhmPerSigma / g.slice_mm};
    };
    stepKernels_.resize(n);
    for (int d = 1; d < n; ++d) {
      const auto [b0, z0] = sigmas(d - 1);
      const auto [b1, z1] = sigmas(d);
      stepKernels_[d] = {gaussianKernel(b0 * b0 - b1 * b1), gaussianKernel(z0 * z0 - z1 * z1)};
    }
    const auto [bn, zn] = sigmas(n - 1);
    finalKernels_ = {gaussianKernel(bn * bn), gaussianKernel(zn * zn)};
  }
  const size_t perAngle = g.volumeSize();
  if (!mu_.empty() && perAngle * g.angles * sizeof(float) <= kMaxAttenuationCacheBytes) {
    std::vector<float> cache(perAngle * g.angles);
    parallelFor(
        g.angles, threads_, [&](int k, int) { attenuationOf(k, cache.data() + perAngle * k); },
        [](int) { return true; });
    attenuationCache_ = std::move(cache);
  }
}

void Projector::rotateSlice(const float* vol, int k, float* out) const {
  for (const Tap& t : taps_[k])
    *out++ = t.weight[0] * vol[t.index[0]] + t.weight[1] * vol[t.index[1]] + t.weight[2] * vol[t.index[2]] +
             t.weight[3] * vol[t.index[3]];
}

void Projector::rotateSliceAdjoint(const float* in, int k, float* vol) const {
  for (const Tap& t : taps_[k]) {
    const float v = *in++;
    for (int i = 0; i < 4; ++i) vol[t.index[i]] += t.weight[i] * v;
  }
}

void Projector::attenuationOf(int k, float* factors) const {
  const int n = g_.matrix, z = g_.slices;
  const size_t plane = static_cast<size_t>(n) * n;
  std::vector<float> rotated(plane);
  const double step = g_.pixel_mm;
  for (int s = 0; s < z; ++s) {
    rotateSlice(mu_.data() + plane * s, k, rotated.data());
    for (int b = 0; b < n; ++b) {
      // Half of the voxel's own path, then every voxel between it and the detector.
      double beyond = 0;
      for (int d = n - 1; d >= 0; --d) {
        const double m = rotated[static_cast<size_t>(d) * n + b];
        factors[(static_cast<size_t>(d) * z + s) * n + b] = static_cast<float>(std::exp(-step * (beyond + m / 2)));
        beyond += m;
      }
    }
  }
}

void Projector::blurPlane(float* plane, const DepthKernels& kernels, float* scratch) const {
  convolveRows(plane, g_.slices, g_.matrix, kernels.alongBins, scratch);
  convolveColumns(plane, g_.slices, g_.matrix, kernels.alongSlices, scratch);
}

namespace {

struct Workspace {
  std::vector<float> stack, factors, rotated, acc, scratch, volume;
};

}  // namespace

void Projector::forward(std::span<const float> volume, std::span<float> proj, std::span<const int> angles) const {
  const int n = g_.matrix, z = g_.slices;
  const size_t plane = static_cast<size_t>(n) * n, pz = g_.projectionSize(), vs = g_.volumeSize();
  if (volume.size() != vs || proj.size() != pz * g_.angles) throw std::invalid_argument("projection sizes differ");
  std::vector<Workspace> ws(workerCount(threads_, static_cast<int>(angles.size())));
  parallelFor(
      static_cast<int>(angles.size()), threads_,
      [&](int item, int worker) {
        const int k = angles[item];
        Workspace& w = ws[worker];
        w.stack.resize(vs), w.rotated.resize(plane), w.acc.resize(pz), w.scratch.resize(std::max(pz, plane));
        // Rotated volume, depth-major: [depth][slice][bin].
        for (int s = 0; s < z; ++s) {
          rotateSlice(volume.data() + plane * s, k, w.rotated.data());
          for (int d = 0; d < n; ++d)
            std::copy_n(w.rotated.data() + static_cast<size_t>(d) * n, n,
                        w.stack.data() + (static_cast<size_t>(d) * z + s) * n);
        }
        if (!mu_.empty()) {
          const float* f = attenuationCache_.empty() ? nullptr : attenuationCache_.data() + vs * k;
          if (!f) w.factors.resize(vs), attenuationOf(k, w.factors.data()), f = w.factors.data();
          for (size_t i = 0; i < vs; ++i) w.stack[i] *= f[i];
        }
        float* out = proj.data() + pz * k;
        std::copy_n(w.stack.data(), pz, w.acc.data());
        for (int d = 1; d < n; ++d) {
          if (collimator_) blurPlane(w.acc.data(), stepKernels_[d], w.scratch.data());
          const float* p = w.stack.data() + pz * d;
          for (size_t i = 0; i < pz; ++i) w.acc[i] += p[i];
        }
        if (collimator_) blurPlane(w.acc.data(), finalKernels_, w.scratch.data());
        std::copy_n(w.acc.data(), pz, out);
      },
      [](int) { return true; });
}

void Projector::back(std::span<const float> proj, std::span<float> volume, std::span<const int> angles) const {
  const int n = g_.matrix, z = g_.slices;
  const size_t plane = static_cast<size_t>(n) * n, pz = g_.projectionSize(), vs = g_.volumeSize();
  if (volume.size() != vs || proj.size() != pz * g_.angles) throw std::invalid_argument("projection sizes differ");
  // A fixed share of the angles per partial sum, added in order: the same sums on any number of cores.
  const int parts = std::min<int>(kBackProjectionParts, static_cast<int>(angles.size()));
  std::vector<Workspace> ws(parts);
  parallelFor(
      parts, threads_,
      [&](int part, int) {
        Workspace& w = ws[part];
        w.stack.resize(vs), w.rotated.resize(plane), w.acc.resize(pz), w.scratch.resize(std::max(pz, plane));
        w.volume.assign(vs, 0.0f);
        for (size_t item = part; item < angles.size(); item += parts) {
          const int k = angles[item];
          std::copy_n(proj.data() + pz * k, pz, w.acc.data());
          if (collimator_) blurPlane(w.acc.data(), finalKernels_, w.scratch.data());
          for (int d = n - 1; d >= 0; --d) {
            std::copy_n(w.acc.data(), pz, w.stack.data() + pz * d);
            if (collimator_ && d > 0) blurPlane(w.acc.data(), stepKernels_[d], w.scratch.data());
          }
          if (!mu_.empty()) {
            const float* f = attenuationCache_.empty() ? nullptr : attenuationCache_.data() + vs * k;
            if (!f) w.factors.resize(vs), attenuationOf(k, w.factors.data()), f = w.factors.data();
            for (size_t i = 0; i < vs; ++i) w.stack[i] *= f[i];
          }
          for (int s = 0; s < z; ++s) {
            for (int d = 0; d < n; ++d)
              std::copy_n(w.stack.data() + (static_cast<size_t>(d) * z + s) * n, n,
                          w.rotated.data() + static_cast<size_t>(d) * n);
            rotateSliceAdjoint(w.rotated.data(), k, w.volume.data() + plane * s);
          }
        }
      },
      [](int) { return true; });
  std::fill(volume.begin(), volume.end(), 0.0f);
  for (const Workspace& w : ws)
    for (size_t i = 0; i < vs; ++i) volume[i] += w.volume[i];
}

}  // namespace quorvel::camera
