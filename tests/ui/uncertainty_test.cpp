// The uncertainty of the global results: halves of the counts that add up to them, analyses that
// repeat the study's own, and a counting part that falls as the counts grow.
#include "ui/uncertainty.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "phantom_session.h"
#include "scratch_folder.h"

namespace quorvel::testing {
namespace {

TEST(Thinning, HalvesAddUpToTheCountsAndHoldHalfEach) {
  const std::vector<float> counts{0, 1, 7, 2.5f, 1000, 65535, 3.0e6f};
  std::mt19937_64 rng(7);
  std::vector<float> a, b;
  for (int repeat = 0; repeat < 50; ++repeat) {
    thinCounts(counts, rng, a, b);
    for (size_t i = 0; i < counts.size(); ++i) {
      EXPECT_EQ(a[i], std::round(a[i]));
      EXPECT_GE(b[i], 0.0f);
      if (i == 3)
        EXPECT_TRUE(a[i] + b[i] == 2 || a[i] + b[i] == 3) << a[i] + b[i];
      else
        EXPECT_EQ(a[i] + b[i], counts[i]) << i;
    }
  }
  // A half of n counts: binomial, mean n/2 and variance n/4.
  const std::vector<float> many(20000, 400.0f);
  thinCounts(many, rng, a, b);
  const double mean = std::accumulate(a.begin(), a.end(), 0.0) / a.size();
  double var = 0;
  for (float v : a) var += (v - mean) * (v - mean);
  var /= a.size() - 1;
  EXPECT_NEAR(mean, 200.0, 0.5);
  EXPECT_NEAR(var, 100.0, 5.0);
  std::mt19937_64 again(7), other(8);
  std::vector<float> a2, b2, a3, b3;
  thinCounts(counts, again, a2, b2);
  thinCounts(many, other, a3, b3);
  EXPECT_NE(a3, a);  // another seed, other halves
}

// A half whose most counted instant is not the study's has its cycle started there, as the loader
// would start it: its end-systole times move by whole instants, round the cycle.
TEST(Thinning, AHalfsEndSystoleReadFromItsOwnCycleStart) {
  Study s;
  s.Ninst = 8, s.NCZ = 1, s.CYCLE = 100;
  const struct {
    int halfFirst, studyFirst;
    double endSystole;  // ms, both ventricles
  } cases[] = {{0, 0, 300}, {1, 0, 200}, {7, 0, 400}, {3, 0, 0}, {4, 0, 700}, {2, 2, 300}, {1, 2, 400}};
  for (const auto& c : cases) {
    std::vector<float> half(s.Ninst * s.instantSize(), 1.0f);
    half[c.halfFirst * s.instantSize() + 17] = 5.0f;
    ASSERT_EQ(cycleStartInstant(half, s), c.halfFirst);
    ResultVector r{};
    r[kEf] = 60, r[kEndSystole] = r[kResultsPerVentricle + kEndSystole] = 300;
    const auto read = endSystoleFromOwnCycleStart(r, half, s, c.studyFirst);
    ASSERT_TRUE(read.has_value());
    EXPECT_DOUBLE_EQ((*read)[kEndSystole], c.endSystole) << c.halfFirst << " " << c.studyFirst;
    EXPECT_DOUBLE_EQ((*read)[kResultsPerVentricle + kEndSystole], c.endSystole);
    EXPECT_EQ((*read)[kEf], 60);  // only the times move
  }
  EXPECT_FALSE(endSystoleFromOwnCycleStart(std::nullopt, std::vector<float>(8 * 4096), s, 0).has_value());
}

// The noise read from the study: counts (white, variance equal to the mean) or a reconstruction's
// correlated noise, as the phantom makes it; the halves of a correlated study carry that noise.
TEST(NoiseModel, ReadFromTheStudyAndCarriedIntoItsHalves) {
  const struct {
    double fwhmMm, correlation;  // a Gaussian of sigma s voxels correlates neighbours by exp(-1 / (4 s^2))
    bool poisson;
  } cases[] = {{0.0, 0.0, true}, {12.8, std::exp(-1.0 / (4 * std::pow(12.8 / 2.3548 / 6.8, 2))), false}};
  for (const auto& c : cases) {
    phantom::PhantomParams p = phantom::defaultParams();
    p.noise_fwhm_mm = c.fwhmMm;
    StudyWorkspace w;
    loadPhantom(phantom::buildPhantom(p), w);
    const NoiseModel m = estimateNoise(w.study);
    EXPECT_NEAR(m.varianceToMean, 1.0, 0.1) << c.fwhmMm;
    for (double rho : m.neighbourCorrelation) EXPECT_NEAR(rho, c.correlation, 0.06) << c.fwhmMm;
    EXPECT_EQ(m.poisson(), c.poisson) << c.fwhmMm;
    EXPECT_GT(m.staticVoxels, w.study.instantSize() / 10);
    if (c.poisson) continue;
    // Halves: half the signal each, their difference with the study's variance and correlation.
    std::mt19937_64 rng(3);
    std::vector<float> a, b;
    splitStudy(w.study, m, rng, a, b);
    double sum = 0, halves = 0, squares = 0, counts = 0, lagged = 0, left = 0, right = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      const double d = a[i] - b[i];
      sum += w.study.DATA[i], halves += a[i] + b[i];
      squares += d * d, counts += w.study.DATA[i];
      // Neighbours along the columns, both with counts: the difference's own correlation.
      if (i % kMatrix + 1 < kMatrix && w.study.DATA[i] > 20 && w.study.DATA[i + 1] > 20) {
        const double e = a[i + 1] - b[i + 1];
        lagged += d * e, left += d * d, right += e * e;
      }
    }
    EXPECT_NEAR(halves / sum, 1.0, 0.01);
    EXPECT_NEAR(squares / counts, m.varianceToMean, 0.1);
    EXPECT_NEAR(lagged / std::sqrt(left * right), m.neighbourCorrelation[2], 0.1);
  }
}

class UncertaintyOnPhantom : public ::testing::Test {
 protected:
  // The phantom with total counts, placed automatically: what an analysis repeats, and its results.
  struct Analysed {
    AnalysisRecipe recipe;
    ResultVector value;
  };
  Analysed analyse(double totalCounts) {
    phantom::PhantomParams p = phantom::defaultParams();
    p.total_counts = totalCounts;
    PhantomSession s(phantom::buildPhantom(p), dir);
    const PlacementProposal proposal = proposePlacement(s.ws.w.study);
    EXPECT_TRUE(proposal.proposed());
    Analysed out{AnalysisRecipe{s.ws.w, proposal.placement, s.ws.curves.settings}, {}};
    const auto value = analyseAgain(out.recipe, s.ws.w.study.DATA, proposal.placement, dir);
    EXPECT_TRUE(value.has_value());
    if (value) out.value = *value;
    return out;
  }
  std::filesystem::path dir = scratchFolder();
};

TEST_F(UncertaintyOnPhantom, IntervalsHoldTheResultAndNarrowWithMoreCounts) {
  const Analysed low = analyse(6.0e6), high = analyse(96.0e6);
  // The same counts and placement give the study's own results, to the last digit.
  const auto repeated = analyseAgain(low.recipe, low.recipe.asLoaded.study.DATA, low.recipe.placement, dir);
  ASSERT_TRUE(repeated);
  EXPECT_EQ(*repeated, low.value);
  EXPECT_NEAR(low.value[kEf], 60.0, 10.0);

  int lastDone = 0;
  const UncertaintyReport ul =
      measureUncertainty(low.recipe, low.value, 5, kUncertaintySeed, dir, [&](int done, int all) {
        EXPECT_EQ(all, 2 * 5 + 14);
        EXPECT_GE(done, lastDone);
        lastDone = done;
        return true;
      });
  EXPECT_EQ(lastDone, 2 * 5 + 14);
  // The same again: each split has its own random stream, whichever core makes it.
  const UncertaintyReport again = measureUncertainty(low.recipe, low.value, 5, kUncertaintySeed, dir);
  for (int i = 0; i < kUncertainResults; ++i) EXPECT_EQ(again.results[i].standard, ul.results[i].standard);
  const UncertaintyReport uh = measureUncertainty(high.recipe, high.value, 5, kUncertaintySeed, dir);
  for (const UncertaintyReport* r : {&ul, &uh}) {
    ASSERT_TRUE(r->valid);
    EXPECT_EQ(r->countingRuns, 10);
    EXPECT_EQ(r->placementRuns + r->failedRuns, 14);
    for (int i = 0; i < kUncertainResults; ++i) {
      const ResultUncertainty& u = r->results[i];
      EXPECT_NEAR(u.standard, std::hypot(u.counting, u.placement), 1e-9) << kUncertainResultKeys[i];
      EXPECT_LE(u.low95, u.value) << kUncertainResultKeys[i];
      EXPECT_GE(u.high95, u.value) << kUncertainResultKeys[i];
    }
  }
  // Sixteen times the counts: a quarter of the left ventricle's counting spread in theory; the
  // halves' segmentation is not smooth in the counts, so only a clear fall is asked for.
  for (int i : {int{kEf}, int{kEdv}, int{kEsv}}) {
    EXPECT_GT(ul.results[i].counting, 0.0) << kUncertainResultKeys[i];
    EXPECT_LT(uh.results[i].counting, 0.75 * ul.results[i].counting) << kUncertainResultKeys[i];
  }
  // The placement part alone, as an unchecked automatic placement measures it: the same figures.
  const PlacementSensitivity alone = measurePlacementSensitivity(low.recipe, low.value, dir);
  ASSERT_TRUE(alone.measured);
  EXPECT_EQ(alone.runs, ul.placementRuns);
  EXPECT_EQ(alone.efPoints, placementSensitivityOf(ul).efPoints);
  EXPECT_EQ(alone.efPoints[1], ul.results[kResultsPerVentricle + kEf].placement);
  // Stopped from the progress: no report.
  EXPECT_FALSE(
      measureUncertainty(low.recipe, low.value, 5, kUncertaintySeed, dir, [](int, int) { return false; }).valid);
}

// An analysed workstation keeps its segmentation: the halves are measured with its labels and it
// is left with its own counts and results.
TEST_F(UncertaintyOnPhantom, SegmentationKeptAndTheWorkstationLeftAsItWas) {
  PhantomSession s(phantom::buildPhantom(phantom::defaultParams()), dir);
  Workstation& ws = s.ws;
  ASSERT_TRUE(segmentInWorkingPose(ws));
  ASSERT_TRUE(ws.computeCurves());
  const std::vector<float> counts = ws.w.study.DATA;
  const uint64_t generation = ws.w.study.countsGeneration;
  const ResultVector before = resultVectorOf(ws.curves.vc);
  const UncertaintyReport r = measureWithSegmentationKept(ws, nullptr, 4, kUncertaintySeed);
  ASSERT_TRUE(r.valid);
  EXPECT_FALSE(r.placementMeasured);
  EXPECT_EQ(r.countingRuns, 8);
  for (int i : {int{kEf}, int{kEdv}, kResultsPerVentricle + kEf}) {
    EXPECT_GT(r.results[i].counting, 0.0) << kUncertainResultKeys[i];
    EXPECT_EQ(r.results[i].placement, 0.0) << kUncertainResultKeys[i];
    EXPECT_EQ(r.results[i].value, before[i]) << kUncertainResultKeys[i];
  }
  EXPECT_EQ(ws.w.study.DATA, counts);
  EXPECT_EQ(ws.w.study.countsGeneration, generation);
  EXPECT_EQ(resultVectorOf(ws.curves.vc), before);
}

}  // namespace
}  // namespace quorvel::testing
