// The pose the ground truth promises: undoing its rotation and tilt with the re-orientation's
// resampling rules brings a rotated, tilted phantom back onto the default one.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "phantom/phantom.h"
#include "phantom/writers.h"

namespace quorvel::phantom {
namespace {

constexpr int M = 64;

// Bilinear sample of a plane with rows 0..rows-1 and columns 0..cols-1; 0 when no neighbour.
float bilinear(const std::vector<float>& plane, int rows, int cols, double u, double w) {
  const int u0 = static_cast<int>(u), w0 = static_cast<int>(w);
  double sum = 0, weight = 0;
  for (int du = 0; du <= 1; ++du)
    for (int dw = 0; dw <= 1; ++dw) {
      const int r = u0 + du, c = w0 + dw;
      if (r < 0 || r >= rows || c < 0 || c >= cols) continue;
      const double f = (du ? u - u0 : u0 + 1 - u) * (dw ? w - w0 : w0 + 1 - w);
      sum += f * plane[size_t(r) * cols + c], weight += f;
    }
  return weight > 0 ? static_cast<float>(sum / weight) : 0.0f;
}

// In-plane step: full square (side 64) centred at (32, 32), rotation in radians.
void reorientInPlane(std::vector<float>& vol, int slices, double rotation) {
  const double s = std::sin(rotation), c = std::cos(rotation);
  std::vector<float> plane(M * M), out(M * M);
  for (int z = 0; z < slices; ++z) {
    std::copy_n(vol.begin() + long(z) * M * M, M * M, plane.begin());
    for (int r = 0; r < M; ++r)
      for (int q = 0; q < M; ++q) {
        const double pr = r - 32, pq = q - 32;
        out[r * M + q] = bilinear(plane, M, M, 32 + pr * c + pq * s, 32 - pr * s + pq * c);
      }
    std::copy(out.begin(), out.end(), vol.begin() + long(z) * M * M);
  }
}

// Valve-tilt step with equal voxel sizes: valvesAngle in degrees, 0.0175 rad per degree.
void reorientTilt(std::vector<float>& vol, int slices, double valvesAngle) {
  const double a = valvesAngle * 0.0175, c = std::cos(a), s = std::sin(a);
  const int h = slices / 2;
  std::vector<float> plane(size_t(slices) * M), out(plane.size());
  for (int q = 0; q < M; ++q) {
    for (int z = 0; z < slices; ++z)
      for (int r = 0; r < M; ++r) plane[size_t(z) * M + r] = vol[(size_t(z) * M + r) * M + q];
    for (int z = 0; z < slices; ++z)
      for (int r = 0; r < M; ++r) {
        const double d = z - h, u = (r - 32) * c + d * s + 32, w = h + (d * c - (r - 32) * s);
        // plane is indexed [slice][row]: bilinear over (slice w, row u)
        out[size_t(z) * M + r] = (u >= 0 && w >= 0) ? bilinear(plane, slices, M, w, u) : 0.0f;
      }
    for (int z = 0; z < slices; ++z)
      for (int r = 0; r < M; ++r) vol[(size_t(z) * M + r) * M + q] = out[size_t(z) * M + r];
  }
}

double relativeL1(const std::vector<float>& a, const std::vector<float>& b) {
  double d = 0, n = 0;
  for (size_t i = 0; i < a.size(); ++i) d += std::fabs(a[i] - b[i]), n += std::fabs(b[i]);
  return d / n;
}

TEST(Pose, GroundTruthUndoBringsTheHeartBack) {
  // Mirrored across the slices, the same undo must bring the heart back to the mirrored rest pose.
  for (bool mirror : {false, true}) {
    SCOPED_TRACE(mirror ? "mirrored" : "plain");
    PhantomParams p = defaultParams(M);
    p.noise = false;
    p.anatomy.lung_blood_fraction = 0;  // compare the heart and organs, not the thorax edge
    p.mirror_slices = mirror;
    const Phantom ref = buildPhantom(p);
    p.rotation_deg = 25;
    p.tilt_deg = 12;
    const Phantom moved = buildPhantom(p);
    const auto truth = groundTruth(moved);
    const size_t n = size_t(p.slices) * M * M;
    std::vector<float> want(ref.expected_ml.begin(), ref.expected_ml.begin() + long(n));
    std::vector<float> got(moved.expected_ml.begin(), moved.expected_ml.begin() + long(n));
    const double before = relativeL1(got, want);
    reorientInPlane(got, p.slices, truth["pose"]["undo_rotation_rad"].get<double>());
    reorientTilt(got, p.slices, truth["pose"]["undo_valves_angle_deg"].get<double>());
    const double after = relativeL1(got, want);
    EXPECT_GT(before, 0.3);
    EXPECT_LT(after, 0.08) << "before " << before;  // two bilinear resamplings leave about 5 %
    // The opposite signs must not work: the stated directions are the ones that undo the pose.
    std::vector<float> wrong(moved.expected_ml.begin(), moved.expected_ml.begin() + long(n));
    reorientInPlane(wrong, p.slices, -truth["pose"]["undo_rotation_rad"].get<double>());
    reorientTilt(wrong, p.slices, -truth["pose"]["undo_valves_angle_deg"].get<double>());
    EXPECT_GT(relativeL1(wrong, want), 4 * after);
  }
}

TEST(Pose, ShiftsAndMirrorMoveTheWholeSceneWhereTheTruthSays) {
  PhantomParams p = defaultParams(M);
  p.noise = false;
  p.slices = 48;
  p.supersample = 2;
  const Phantom ref = buildPhantom(p);
  p.shift_row_mm = 2 * p.pixel_mm;
  p.shift_column_mm = -3 * p.pixel_mm;
  p.shift_slice_mm = p.slice_mm;
  p.mirror_slices = true;
  const Phantom moved = buildPhantom(p);
  // Mirrored about slice 24, then moved by (2, -3, 1) voxels: slice z shows slice 49 - z.
  double diff = 0, total = 0;
  for (int z = 6; z < p.slices - 6; ++z)
    for (int x = 6; x < M - 6; ++x)
      for (int y = 6; y < M - 6; ++y) {
        const float want = ref.expected_ml[ref.index(0, 2 * (p.slices / 2) + 1 - z, x - 2, y + 3)];
        diff += std::fabs(moved.expected_ml[moved.index(0, z, x, y)] - want);
        total += want;
      }
  EXPECT_LT(diff / total, 1e-4);
  const auto pose = groundTruth(moved)["pose"];
  EXPECT_DOUBLE_EQ(pose["origin_row"].get<double>(), 34.0);
  EXPECT_DOUBLE_EQ(pose["origin_column"].get<double>(), 29.0);
  EXPECT_DOUBLE_EQ(pose["origin_slice"].get<double>(), 25.0);
  EXPECT_EQ(pose["rv_outflow_side"], "larger slices");
  p.shift_slice_mm = INFINITY;
  EXPECT_EQ(validate(p), "shifts must lie within +-500 mm");
}

}  // namespace
}  // namespace quorvel::phantom
