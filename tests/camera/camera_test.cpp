// The simulated camera: the projector against its own adjoint and against attenuation and
// collimator blur computed by hand, OSEM on a known object, and the camera's file read by
// dciodvfy and by the loader in both patient orientations.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>
#include <random>
#include <set>

#include "base/trace_log.h"
#include "camera/camera_study.h"
#include "camera/projector.h"
#include "camera/reconstruction.h"
#include "camera/validation.h"
#include "run_command.h"
#include "study/dicom_reader.h"
#include "study/loading.h"

namespace quorvel::camera {
namespace {

namespace fs = std::filesystem;

CameraGeometry smallGeometry(int angles = 12) {
  CameraGeometry g;
  g.matrix = 24, g.slices = 6, g.pixel_mm = 6.0, g.slice_mm = 6.0, g.angles = angles, g.radius_mm = 150.0;
  return g;
}

std::vector<int> allAngles(int n) {
  std::vector<int> a(n);
  std::iota(a.begin(), a.end(), 0);
  return a;
}

std::vector<float> uniformDisc(const CameraGeometry& g, double radiusMm, float value) {
  std::vector<float> v(g.volumeSize(), 0.0f);
  const double c = (g.matrix - 1) / 2.0;
  for (int z = 0; z < g.slices; ++z)
    for (int x = 0; x < g.matrix; ++x)
      for (int y = 0; y < g.matrix; ++y)
        if (std::hypot(x - c, y - c) * g.pixel_mm <= radiusMm)
          v[(static_cast<size_t>(z) * g.matrix + x) * g.matrix + y] = value;
  return v;
}

TEST(CameraProjector, BackProjectionIsTheExactAdjointOfProjection) {
  const CameraGeometry g = smallGeometry();
  const CollimatorModel collimator;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> x(g.volumeSize()), y(g.projectionSize() * g.angles);
  for (float& v : x) v = u(rng);
  for (float& v : y) v = u(rng);
  const struct {
    const char* name;
    bool mu, blur;
  } cases[] = {{"ideal", false, false}, {"attenuated", true, false}, {"blurred", false, true}, {"both", true, true}};
  for (const auto& c : cases) {
    const Projector a(g, c.mu ? uniformDisc(g, 60.0, 0.015f) : std::vector<float>{}, c.blur ? &collimator : nullptr);
    std::vector<float> ax(y.size()), aty(x.size());
    a.forward(x, ax, allAngles(g.angles));
    a.back(y, aty, allAngles(g.angles));
    const double lhs = std::inner_product(ax.begin(), ax.end(), y.begin(), 0.0);
    const double rhs = std::inner_product(x.begin(), x.end(), aty.begin(), 0.0);
    EXPECT_NEAR(lhs / rhs, 1.0, 1e-5) << c.name;
  }
}

TEST(CameraProjector, PointSourceIsAttenuatedByItsDepthAndBlurredByItsDistance) {
  CameraGeometry g = smallGeometry(4);  // 0, 90, 180, 270 degrees
  g.slices = 16;                        // room for the blur across the slices
  const int n = g.matrix, mid = g.slices / 2;
  const double c = (n - 1) / 2.0;
  // A voxel 6 voxels from the centre along the rows, at a voxel centre (c is half-integral).
  const int sx = static_cast<int>(c + 0.5) + 6, sy = static_cast<int>(c + 0.5);
  std::vector<float> point(g.volumeSize(), 0.0f);
  point[(static_cast<size_t>(mid) * n + sx) * n + sy] = 1000.0f;
  const double mu = 0.015, radius = 66.0;
  const Projector attenuated(g, uniformDisc(g, radius, static_cast<float>(mu)), nullptr);
  std::vector<float> proj(g.projectionSize() * g.angles);
  attenuated.forward(point, proj, allAngles(g.angles));
  auto total = [&](int k) {
    return std::accumulate(proj.begin() + g.projectionSize() * k, proj.begin() + g.projectionSize() * (k + 1), 0.0);
  };
  // Angle 0 looks along increasing rows, 180 degrees along decreasing ones: the path is half the
  // source's voxel and every voxel of the disc beyond it.
  const std::vector<float> disc = uniformDisc(g, radius, 1.0f);
  auto expected = [&](int step) {
    double voxels = 0.5;
    for (int x = sx + step; x >= 0 && x < n; x += step) voxels += disc[(static_cast<size_t>(mid) * n + x) * n + sy];
    return 1000.0 * std::exp(-mu * g.pixel_mm * voxels);
  };
  EXPECT_NEAR(total(0) / expected(+1), 1.0, 1e-4);
  EXPECT_NEAR(total(2) / expected(-1), 1.0, 1e-4);
  const double offset = (sx - c) * g.pixel_mm;

  const CollimatorModel collimator;
  const Projector blurred(g, {}, &collimator);
  blurred.forward(point, proj, allAngles(g.angles));
  auto binVariance = [&](int k) {
    double s = 0, s1 = 0, s2 = 0;
    for (int b = 0; b < n; ++b) {
      double v = 0;  // the blur spreads across the slices too
      for (int zs = 0; zs < g.slices; ++zs) v += proj[g.projectionSize() * k + static_cast<size_t>(zs) * n + b];
      s += v, s1 += v * b, s2 += v * b * b;
    }
    EXPECT_NEAR(s, 1000.0, 1.0) << "the blur keeps the counts, angle " << k;
    return s2 / s - (s1 / s) * (s1 / s);
  };
  auto modelVariance = [&](double distance) {
    const double sigma = (collimator.fwhm_face_mm + collimator.fwhm_per_mm * distance) / 2.35482 / g.pixel_mm;
    return sigma * sigma;
  };
  // Nearer the detector at angle 0 than at 180 degrees.
  EXPECT_NEAR(binVariance(0), modelVariance(g.radius_mm - offset), 0.03);
  EXPECT_NEAR(binVariance(2), modelVariance(g.radius_mm + offset), 0.03);
}

TEST(CameraReconstruction, OsemRecoversAHotDiscInAWarmOne) {
  CameraGeometry g = smallGeometry(24);
  std::vector<float> truth = uniformDisc(g, 60.0, 10.0f);
  const std::vector<float> hot = uniformDisc(g, 24.0, 30.0f);
  for (size_t i = 0; i < truth.size(); ++i) truth[i] += hot[i];
  const Projector a(g, {}, nullptr);
  std::vector<float> proj(g.projectionSize() * g.angles);
  a.forward(truth, proj, allAngles(g.angles));
  const int subsets = 4;
  std::vector<std::vector<float>> sens(subsets, std::vector<float>(g.volumeSize()));
  for (int s = 0; s < subsets; ++s)
    a.back(std::vector<float>(proj.size(), 1.0f), sens[s], subsetAngles(g.angles, subsets, s));
  const std::vector<float> x = osem(a, proj, 10, subsets, sens);
  const double sumTruth = std::accumulate(truth.begin(), truth.end(), 0.0),
               sumX = std::accumulate(x.begin(), x.end(), 0.0);
  EXPECT_NEAR(sumX / sumTruth, 1.0, 0.02);
  const int n = g.matrix, mid = g.slices / 2;
  const size_t centre = (static_cast<size_t>(mid) * n + n / 2) * n + n / 2,
               warm = (static_cast<size_t>(mid) * n + n / 2) * n + n / 2 + 7;
  EXPECT_NEAR(x[centre], 40.0, 2.0);
  EXPECT_NEAR(x[warm], 10.0, 1.5);
}

TEST(CameraReconstruction, FilterTextsAreParsedOrRefused) {
  const struct {
    const char* text;
    bool ok;
    PostFilter kind;
  } cases[] = {{"none", true, PostFilter::None},
               {"butterworth:5:0.4", true, PostFilter::Butterworth},
               {"gaussian:8", true, PostFilter::Gaussian},
               {"butterworth:5", false, PostFilter::None},
               {"butterworth:0:0.4", false, PostFilter::None},
               {"gaussian:8mm", false, PostFilter::None},
               {"hann", false, PostFilter::None}};
  for (const auto& c : cases) {
    FilterParams f;
    EXPECT_EQ(parseFilter(c.text, f).empty(), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(f.kind, c.kind) << c.text;
    EXPECT_EQ(filterName(f), c.text);
  }
}

// The camera's file in both patient orientations: valid for dciodvfy, read with its orientation
// from the NM code sequences, and loaded to the same working volume.
TEST(CameraFile, BothOrientationsAreValidAndLoadToTheSameVolume) {
  const fs::path dir = fs::path(QUORVEL_TEST_TMP) / "camera_file";
  fs::remove_all(dir);
  AcquisitionParams a;
  a.angles = 32;
  ReconParams r;
  r.iterations = 2;
  std::vector<std::vector<float>> loaded;
  for (const char* position : {"HFS", "FFS"}) {
    phantom::PhantomParams p = phantom::defaultParams(64);
    p.patient.position = position;
    a.threads = loaded.empty() ? 1 : 2;  // the sums must not depend on the cores
    const SimulatedStudy s = simulateStudy(p, a, r);
    const fs::path file = writeCameraStudy(s, dir, position);
    const testing::Outcome check = testing::run(std::string(QUORVEL_DCIODVFY) + " " + file.string());
    EXPECT_EQ(check.out.find("Error"), std::string::npos) << position << "\n" << check.out;
    ASSERT_TRUE(fs::exists(dir / (std::string(position) + ".dcm.truth.json")));

    TraceLog log;
    Options opt;
    StudyRecord rec;
    Notices notices;
    ASSERT_TRUE(LOAD_DCM_DATA(file, rec, opt, log, notices).ok()) << position;
    EXPECT_EQ(rec.patient_orientation, std::string(position) == "FFS" ? 1 : 0) << position;
    EXPECT_EQ(rec.Ninst, 8);
    EXPECT_EQ(rec.NCZ, 64);
    EXPECT_NEAR(rec.VOXEL_SIZE_XY, 0.68f, 1e-6);
    EXPECT_NEAR(rec.VOXEL_SIZE_Z, 0.68f, 1e-6);
    StudyWorkspace w;
    ASSERT_TRUE(readAcquisition(file, 1, w, log).ok()) << position;
    loaded.push_back(w.study.DATA);
  }
  ASSERT_EQ(loaded[0].size(), loaded[1].size());
  EXPECT_TRUE(loaded[0] == loaded[1]) << "the slice order of one orientation was not undone";
}

TEST(CameraValidation, AgreementAndReportCountWhatTheyShould) {
  auto outcome = [](const char* name, const char* status, double lvef, std::vector<double> measured) {
    return CaseOutcome{name,
                       status,
                       "p",
                       0,
                       {{"attenuation correction", measured.empty() ? "on" : "off"}},
                       {lvef, 50, 100, 120},
                       std::move(measured)};
  };
  const std::vector<CaseOutcome> outcomes = {
      outcome("a", "ok", 60, {62, 50, 110, 120}), outcome("b", "ok", 60, {64, 50, 120, 120}),
      outcome("c", "warned", 60, {66, 50, 130, 120}), outcome("d", "not placed", 60, {})};
  const Agreement lvef = agreementOf(outcomes, 0), lvedv = agreementOf(outcomes, 2);
  EXPECT_EQ(lvef.n, 3);
  EXPECT_DOUBLE_EQ(lvef.bias, 4.0);
  EXPECT_DOUBLE_EQ(lvef.sd, 2.0);
  EXPECT_NEAR(lvef.lower, 4.0 - 3.92, 1e-12);
  EXPECT_NEAR(lvedv.biasPercent, 20.0, 1e-12);
  const std::string report = validationReport(outcomes, "t");
  EXPECT_NE(report.find("3 of 4 simulated studies analysed, 1 of them with warnings"), std::string::npos) << report;
  EXPECT_NE(
      report.find("## Studies without warnings\n\n| Result | n | Bias | SD | Limits of agreement | Bias (% of truth) "
                  "|\n|---|---|---|---|---|---|\n| LVEF (%) | 2 | 3.0 |"),
      std::string::npos)
      << report;
  EXPECT_NE(report.find("- d: not placed"), std::string::npos) << report;
  const Bitmap24 picture = blandAltmanPicture(outcomes, 0);
  EXPECT_EQ(picture.width, kAgreementWidth);
  EXPECT_EQ(picture.height, kAgreementHeight);
}

TEST(CameraValidation, CalibrationIsJudgedOnHeartsItWasNotFittedOn) {
  // Protocol "a" measures 1.25 x the truth, "b" 0.8 x; heart 3 of "a" is an outlier seen only when judged.
  std::vector<CaseOutcome> outcomes;
  for (const char* protocol : {"a", "b"})
    for (int heart = 0; heart < 4; ++heart) {
      const double gain = std::string(protocol) == "a" ? (heart == 3 ? 1.5 : 1.25) : 0.8, truth = 100.0 + 20 * heart;
      outcomes.push_back(
          {"h", "ok", protocol, heart, {}, {60, 50, truth, truth}, {60, 50, gain * truth, gain * truth}});
    }
  outcomes.push_back({"w", "warned", "b", 0, {}, {60, 50, 100, 100}, {60, 50, 500, 500}});  // never fitted on
  const std::vector<CaseOutcome> calibrated = heldOutCalibrated(outcomes);
  ASSERT_EQ(calibrated.size(), 8u);
  // Even hearts of "a" by the fit on hearts 1 and 3: sum(g t^2) / sum(g^2 t^2) = 56400 / 80100.
  const double even = 1.25 * 56400.0 / 80100.0;
  const double ratios[8] = {even, 1.0, even, 1.5 / 1.25, 1.0, 1.0, 1.0, 1.0};
  for (size_t i = 0; i < calibrated.size(); ++i)
    EXPECT_NEAR(calibrated[i].measured[2] / calibrated[i].truth[2], ratios[i], 1e-9) << i;
  const auto perProtocol = protocolCalibrations(outcomes);
  ASSERT_EQ(perProtocol.size(), 2u);
  EXPECT_NEAR(perProtocol[1].second.factor[0], 1.25, 1e-9);
  EXPECT_EQ(perProtocol[1].second.pairs[0], 4);
}

TEST(CameraValidation, SuitesAreTheSameForASeedAndCanBeSimulated) {
  const std::vector<SuiteCase> quick = suiteCases(Suite::Quick, 1, 2), again = suiteCases(Suite::Quick, 1, 2);
  const std::vector<SuiteCase> other = suiteCases(Suite::Quick, 2, 2), full = suiteCases(Suite::Full, 1, 5);
  ASSERT_EQ(quick.size(), 4u);
  // Five hearts at eight settings, the first four also on the 128 matrix with and without correction.
  EXPECT_EQ(full.size(), 48u);
  int fine = 0;
  for (const SuiteCase& c : full) {
    fine += c.params.matrix == 128;
    EXPECT_EQ(validate(c.acquisition, c.params), "") << c.name;
  }
  EXPECT_EQ(fine, 8);
  std::set<std::string> names;
  for (size_t i = 0; i < quick.size(); ++i) {
    names.insert(quick[i].name);
    EXPECT_EQ(quick[i].acquisition.seed, again[i].acquisition.seed);
    EXPECT_NE(quick[i].acquisition.seed, other[i].acquisition.seed);
    EXPECT_EQ(quick[i].recon.attenuation_correction, i % 2 == 1) << quick[i].name;
    EXPECT_EQ(quick[i].name.find(':'), std::string::npos) << "a file name";
    EXPECT_EQ(validate(quick[i].acquisition, quick[i].params), "") << quick[i].name;
  }
  EXPECT_EQ(names.size(), quick.size());
}

}  // namespace
}  // namespace quorvel::camera
