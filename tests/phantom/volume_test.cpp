// Ground truth of the phantom: the analytic curve and the voxelised ventricles agree.
#include <gtest/gtest.h>

#include <cmath>

#include "phantom/phantom.h"
#include "phantom/volume_curve.h"

namespace quorvel::phantom {
namespace {

constexpr double kVolumeTolerance = 0.02;  // voxelised vs analytic, relative

TEST(VolumeCurve, HitsItsEndpointsAndIsContinuous) {
  const VolumeCurveParams p;  // 120 ml, 60 %
  const VolumeCurve c(p);
  EXPECT_DOUBLE_EQ(c.volume(0.0), 120.0);
  EXPECT_NEAR(c.volume(p.es_phase_pct / 100.0), 48.0, 1e-9);
  EXPECT_NEAR(c.volume(0.999999), 120.0, 1e-3);
  // No jumps, and the derivative integrates back to the curve.
  const int n = 20000;
  double integral = c.volume(0.0), maxStep = 0;
  for (int k = 0; k < n; ++k) {
    const double a = double(k) / n, b = double(k + 1) / n;
    integral += 0.5 * (c.derivative(a) + c.derivative(b)) / n;
    maxStep = std::max(maxStep, std::fabs(c.volume(b) - c.volume(a)));
    EXPECT_NEAR(integral, c.volume(b == 1.0 ? 0.99999999 : b), 1e-3) << "phase " << b;
    if (HasFailure()) break;
  }
  EXPECT_LT(maxStep, 0.05);
  // Minimum is at end-systole, maximum at end-diastole.
  for (int k = 0; k < 1000; ++k) {
    EXPECT_GE(c.volume(k / 1000.0), c.esv() - 1e-9);
    EXPECT_LE(c.volume(k / 1000.0), c.edv() + 1e-9);
  }
}

TEST(VolumeCurve, TruthFollowsTheDefinitionsAndUnits) {
  VolumeCurveParams p;
  p.atrial_fraction = 0.0;
  p.rapid_fraction = 1.0;
  p.rapid_duration_pct = 30.0;
  p.atrial_start_pct = 90.0;
  const double bpm = 60.0;  // cycle 1 s
  const CurveTruth t = curveTruth(VolumeCurve(p), bpm);
  EXPECT_DOUBLE_EQ(t.ef_percent, 60.0);
  EXPECT_DOUBLE_EQ(t.sv_ml, 72.0);
  EXPECT_DOUBLE_EQ(t.t_es_ms, 350.0);
  // Raised cosine: peak slope SV * pi / (2 * duration), in EDV per second, at mid-segment.
  EXPECT_NEAR(t.per_edv_per_s, 72.0 * M_PI / (2 * 0.35) / 120.0, 1e-4);
  EXPECT_NEAR(t.t_per_ms, 175.0, 0.1);
  EXPECT_NEAR(t.pfr_edv_per_s, 72.0 * M_PI / (2 * 0.30) / 120.0, 1e-4);
  EXPECT_NEAR(t.t_pfr_pct, 50.0, 0.01);
  EXPECT_NEAR(t.cardiac_output_l_min, 72.0 * 60.0 / 1000.0, 1e-12);
  // Doubling the heart rate halves the times and doubles the rates.
  const CurveTruth f = curveTruth(VolumeCurve(p), 2 * bpm);
  EXPECT_NEAR(f.t_es_ms, 175.0, 1e-9);
  EXPECT_NEAR(f.per_edv_per_s, 2 * t.per_edv_per_s, 1e-9);
}

TEST(VolumeCurve, RejectsInconsistentShapes) {
  VolumeCurveParams p;
  EXPECT_EQ(validate(p), "");
  p.ef_percent = 100;
  EXPECT_NE(validate(p), "");
  p = {};
  p.rapid_fraction = 0.9;  // + atrial 0.2 > 1
  EXPECT_NE(validate(p), "");
  p = {};
  p.atrial_start_pct = p.es_phase_pct + p.rapid_duration_pct - 1;
  EXPECT_NE(validate(p), "");
}

// Voxelised ventricular volumes before blur against the analytic curve, at every instant.
void expectVoxelisedMatches(const PhantomParams& p) {
  ASSERT_EQ(validate(p), "");
  for (int t = 0; t < p.instants; ++t) {
    std::array<double, kStructureCount> ml{};
    voxeliseInstant(p, t, ml);
    const double phase = double(t) / p.instants;
    const double lv = VolumeCurve(p.lv).volume(phase), rv = VolumeCurve(p.rv).volume(phase);
    EXPECT_NEAR(ml[kLV], lv, kVolumeTolerance * lv) << "LV instant " << t;
    EXPECT_NEAR(ml[kRV], rv, kVolumeTolerance * rv) << "RV instant " << t;
  }
}

TEST(Voxelisation, DefaultPhantomMatchesTheCurvesAtEveryInstant) { expectVoxelisedMatches(defaultParams(64)); }

TEST(Voxelisation, RotatedTiltedSixteenInstantsMatch) {
  PhantomParams p = defaultParams(64);
  p.instants = 16;
  p.rotation_deg = 30;
  p.tilt_deg = -20;
  expectVoxelisedMatches(p);
}

TEST(Voxelisation, FineMatrixAndOtherVolumesMatch) {
  PhantomParams p = defaultParams(128);
  p.slices = 96;
  p.lv.edv_ml = 200;
  p.lv.ef_percent = 25;
  p.rv.edv_ml = 180;
  p.rv.ef_percent = 35;
  expectVoxelisedMatches(p);
}

TEST(Voxelisation, StructuresDoNotOverlapTheVentricles) {
  // Every structure keeps (almost) its own volume: no priority clipping took a large part of it.
  const PhantomParams p = defaultParams(64);
  std::array<double, kStructureCount> ml{};
  voxeliseInstant(p, 3, ml);
  for (int s = 0; s < kStructureCount; ++s) EXPECT_GT(ml[s], 5.0) << structureName(s);
  // Blood-pool total of one instant is the weighted sum of the structures.
  std::array<double, kStructureCount> ml2{};
  const std::vector<float> v = voxeliseInstant(p, 3, ml2);
  double sum = 0;
  for (float x : v) sum += x;
  double expect = 0;
  for (int s = 0; s < kStructureCount; ++s) {
    const double f = s == kLiver ? p.anatomy.liver_blood_fraction
                     : s == kSpleen ? p.anatomy.spleen_blood_fraction
                     : s == kLungBackground ? p.anatomy.lung_blood_fraction : 1.0;
    expect += f * ml2[s];
  }
  EXPECT_NEAR(sum, expect, 1e-3 * expect);
}

TEST(Voxelisation, DefaultPoseHasTheHeartWhereReorientationExpectsIt) {
  const PhantomParams p = defaultParams(64);
  std::array<double, kStructureCount> ml{};
  std::vector<uint8_t> label;
  voxeliseInstant(p, 0, ml, &label);
  double n[kStructureCount] = {}, row[kStructureCount] = {}, col[kStructureCount] = {};
  int rowMin[kStructureCount], rowMax[kStructureCount], colMin[kStructureCount], colMax[kStructureCount];
  std::fill(std::begin(rowMin), std::end(rowMin), 64), std::fill(std::begin(colMin), std::end(colMin), 64);
  std::fill(std::begin(rowMax), std::end(rowMax), -1), std::fill(std::begin(colMax), std::end(colMax), -1);
  for (int z = 0; z < p.slices; ++z)
    for (int x = 0; x < 64; ++x)
      for (int y = 0; y < 64; ++y) {
        const int s = label[(size_t(z) * 64 + x) * 64 + y];
        if (s >= kStructureCount) continue;
        n[s] += 1, row[s] += x, col[s] += y;
        rowMin[s] = std::min(rowMin[s], x), rowMax[s] = std::max(rowMax[s], x);
        colMin[s] = std::min(colMin[s], y), colMax[s] = std::max(colMax[s], y);
      }
  // Both ventricles lie apex-side of the valve plane (rows < 32), inside the central 32 x 32.
  for (int s : {kLV, kRV}) {
    ASSERT_GT(n[s], 0) << structureName(s);
    EXPECT_LE(rowMax[s], 32) << structureName(s);
    EXPECT_GE(rowMin[s], 16) << structureName(s);
    EXPECT_GE(colMin[s], 16) << structureName(s);
    EXPECT_LT(colMax[s], 48) << structureName(s);
  }
  EXPECT_GT(col[kLV] / n[kLV], 33.0);  // left ventricle to the right of the septum column
  EXPECT_LT(col[kRV] / n[kRV], 32.0);
  EXPECT_GE(colMin[kLV], 32);
  // Atria beyond the valve plane.
  for (int s : {kLA, kRA}) EXPECT_GT(rowMin[s], 32) << structureName(s);
}

TEST(Voxelisation, SeptumColumnSeparatesTheVentriclesAtEveryInstant) {
  // The segmentation splits the ventricles at the septum column: no RV blood beyond it, no LV before it.
  const PhantomParams p = defaultParams(64);
  const int M = p.matrix, septum = M / 2;
  const double voxelMl = p.pixel_mm * p.pixel_mm * p.slice_mm / 1000.0;
  for (int t = 0; t < p.instants; ++t) {
    std::array<double, kStructureCount> ml{};
    std::vector<float> rv, lv;
    voxeliseInstant(p, t, ml, nullptr, kRV, &rv);
    voxeliseInstant(p, t, ml, nullptr, kLV, &lv);
    double rvBeyond = 0, rvTotal = 0, rvSeptumMax = 0, lvBefore = 0, lvTotal = 0;
    for (int z = 0; z < p.slices; ++z)
      for (int x = 0; x < M; ++x)
        for (int y = 0; y < M; ++y) {
          const size_t i = (size_t(z) * M + x) * M + y;
          rvTotal += rv[i], lvTotal += lv[i];
          if (y > septum) rvBeyond += rv[i];
          if (y == septum) rvSeptumMax = std::max<double>(rvSeptumMax, rv[i]);
          if (y < septum) lvBefore += lv[i];
        }
    ASSERT_GT(rvTotal, 0.0) << "instant " << t;
    ASSERT_GT(lvTotal, 0.0) << "instant " << t;
    EXPECT_EQ(rvBeyond, 0.0) << "instant " << t;
    EXPECT_EQ(lvBefore, 0.0) << "instant " << t;
    // The septal plane halves column 32, so at most half of one of its voxels is RV.
    EXPECT_LE(rvSeptumMax, 0.5 * voxelMl + 1e-6) << "instant " << t;
  }
}

TEST(Poisson, MeanAndVarianceAndDeterminism) {
  for (double lam : {0.5, 4.0, 37.0, 900.0}) {
    PoissonSource a(7), b(7);
    const int n = 40000;
    double s = 0, s2 = 0;
    for (int i = 0; i < n; ++i) {
      const uint64_t drawn = a.sample(lam);
      ASSERT_EQ(drawn, b.sample(lam)) << "lam " << lam;
      const double k = double(drawn);
      s += k, s2 += k * k;
    }
    const double mean = s / n, var = s2 / n - mean * mean;
    EXPECT_NEAR(mean, lam, 5 * std::sqrt(lam / n)) << lam;
    EXPECT_NEAR(var, lam, 0.05 * lam + 0.02) << lam;
  }
}

// Reconstructed noise: a 6.8 mm voxel keeps its Poisson spread, but neighbours move together. A
// region is as noisy on a finer grid: a 3.4 mm voxel spreads as an eighth of a 6.8 mm one's count.
TEST(Noise, CorrelatedAsAfterReconstructionWithPoissonSpread) {
  struct Stats {
    double relativeSpread;  // standard deviation over the square root of the mean
    double neighbourCorrelation;
  };
  auto measure = [](double noiseFwhm, int matrix = 64) {
    PhantomParams p = defaultParams(matrix);
    p.noise_fwhm_mm = noiseFwhm;
    const Phantom ph = buildPhantom(p);
    const double bright = 200.0 * std::pow(p.pixel_mm / 6.8, 3);
    double ratio2 = 0, cov = 0, var = 0;
    long n = 0;
    for (size_t i = 0; i + 1 < ph.counts.size(); ++i) {
      const double m = ph.expected_ml[i] * ph.counts_per_ml, m1 = ph.expected_ml[i + 1] * ph.counts_per_ml;
      if (m < bright || m1 < bright || (i + 1) % p.matrix == 0) continue;  // bright voxels, same row
      const double d = ph.counts[i] - m, d1 = ph.counts[i + 1] - m1;
      ratio2 += d * d / m, cov += d * d1, var += d * d, ++n;
    }
    EXPECT_GT(n, 10000);
    return Stats{std::sqrt(ratio2 / n), cov / var};
  };
  const Stats white = measure(0.0), reconstructed = measure(12.8);
  EXPECT_NEAR(white.relativeSpread, 1.0, 0.05);
  EXPECT_NEAR(white.neighbourCorrelation, 0.0, 0.05);
  EXPECT_NEAR(reconstructed.relativeSpread, 1.0, 0.1);
  EXPECT_GT(reconstructed.neighbourCorrelation, 0.5);
  const Stats fine = measure(12.8, 128);
  EXPECT_NEAR(fine.relativeSpread, std::sqrt(1.0 / 8), 0.05);
  EXPECT_GT(fine.neighbourCorrelation, 0.5);
}

}  // namespace
}  // namespace quorvel::phantom
