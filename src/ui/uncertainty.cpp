#include "ui/uncertainty.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "base/scripted_platform.h"
#include "curves/numerics.h"
#include "model3d/parallel.h"
#include "segmentation/classification.h"
#include "segmentation/placement_texts.h"
#include "segmentation/reorient.h"
#include "segmentation/volume_curves.h"
#include "study/study_model.h"
#include "ui/workstation.h"

namespace quorvel {

ResultVector resultVectorOf(const VolumeCurves& vc) {
  ResultVector r{};
  const VentricleResults* sides[2] = {&vc.G, &vc.D};
  for (int v = 0; v < 2; ++v) {
    const VentricleResults& s = *sides[v];
    double* out = r.data() + v * kResultsPerVentricle;
    out[kEf] = s.FES, out[kEdv] = s.volmax, out[kEsv] = s.volmin, out[kEndSystole] = s.TFS;
    out[kPeakEmptying] = s.PER, out[kPeakFilling] = s.PFR;
  }
  return r;
}

namespace {

// Counts above this are halved by the normal approximation, which is then exact to well under a count.
constexpr uint64_t kExactBinomialLimit = 4096;

// Binomial(n, 1/2): the number of ones among n fair random bits, 64 at a time.
uint64_t halfOf(uint64_t n, std::mt19937_64& rng) {
  if (n > kExactBinomialLimit) {
    const double half =
        std::round(n / 2.0 + std::sqrt(static_cast<double>(n)) / 2 * std::normal_distribution<double>(0.0, 1.0)(rng));
    return static_cast<uint64_t>(std::clamp(half, 0.0, static_cast<double>(n)));
  }
  uint64_t ones = 0;
  for (; n >= 64; n -= 64) ones += static_cast<uint64_t>(std::popcount(rng()));
  if (n) ones += static_cast<uint64_t>(std::popcount(rng() & ((uint64_t{1} << n) - 1)));
  return ones;
}

}  // namespace

void thinCounts(const std::vector<float>& counts, std::mt19937_64& rng, std::vector<float>& a, std::vector<float>& b) {
  a.resize(counts.size());
  b.resize(counts.size());
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (size_t i = 0; i < counts.size(); ++i) {
    const double c = std::isfinite(counts[i]) ? std::max(0.0, static_cast<double>(counts[i])) : 0.0;
    double n = std::floor(c);
    if (n != c && unit(rng) < c - n) n += 1;
    const auto whole = static_cast<uint64_t>(n);
    const uint64_t half = halfOf(whole, rng);
    a[i] = static_cast<float>(half);
    b[i] = static_cast<float>(whole - half);
  }
}

bool NoiseModel::poisson() const {
  return std::abs(varianceToMean - 1) <= kPoissonVarianceTolerance &&
         std::all_of(neighbourCorrelation.begin(), neighbourCorrelation.end(),
                     [](double r) { return r < kWhiteCorrelation; });
}

NoiseModel estimateNoise(const Study& s) {
  NoiseModel m;
  const int T = s.Ninst, Z = s.NCZ;
  const size_t n = s.instantSize();
  if (T < 2 || Z < 2 || s.DATA.size() < n * static_cast<size_t>(T)) return m;
  std::vector<float> mean(n, 0), ratio(n, 0);
  for (size_t i = 0; i < n; ++i) {
    double sum = 0, squares = 0;
    for (int t = 0; t < T; ++t) sum += s.DATA[t * n + i];
    const double mu = sum / T;
    for (int t = 0; t < T; ++t) squares += (s.DATA[t * n + i] - mu) * (s.DATA[t * n + i] - mu);
    mean[i] = static_cast<float>(mu);
    ratio[i] = mu >= kMinStaticMeanCounts ? static_cast<float>(squares / (T - 1) / mu) : -1.0f;
  }
  std::vector<float> kept;
  for (float r : ratio)
    if (r >= 0) kept.push_back(r);
  if (kept.empty()) return m;
  std::nth_element(kept.begin(), kept.begin() + kept.size() / 2, kept.end());
  const double g = std::max(1e-6, static_cast<double>(kept[kept.size() / 2]));
  m.varianceToMean = g;
  // Static: enough counts and no more change over the cycle than noise gives (the heart moves).
  constexpr double kStaticRatio = 3.0;
  std::vector<uint8_t> still(n, 0);
  for (size_t i = 0; i < n; ++i) {
    still[i] = ratio[i] >= 0 && ratio[i] < kStaticRatio * g;
    m.staticVoxels += still[i];
  }
  // Normalised differences of successive instants, pairs of neighbours along each axis.
  const size_t strides[3] = {kSliceVoxels, kMatrix, 1};
  const int extents[3] = {Z, kMatrix, kMatrix};
  for (int axis = 0; axis < 3; ++axis) {
    double products = 0;
    size_t pairs = 0;
    for (size_t i = 0; i < n; ++i) {
      const int position = static_cast<int>(i / strides[axis]) % extents[axis];
      if (!still[i] || position + 1 >= extents[axis] || !still[i + strides[axis]]) continue;
      const size_t j = i + strides[axis];
      const double si = std::sqrt(2 * g * mean[i]), sj = std::sqrt(2 * g * mean[j]);
      for (int t = 0; t < T; ++t) {
        const int u = (t + 1) % T;
        products += (s.DATA[t * n + i] - s.DATA[u * n + i]) / si * ((s.DATA[t * n + j] - s.DATA[u * n + j]) / sj);
        ++pairs;
      }
    }
    const double rho = pairs ? products / pairs : 0;
    m.neighbourCorrelation[axis] = rho;
    constexpr double kMostCorrelation = 0.95;
    // White noise smoothed by a Gaussian of sigma k has neighbours correlated by exp(-1 / (4 k^2)).
    if (rho >= kWhiteCorrelation)
      m.kernelSigma[axis] = std::sqrt(-1.0 / (4 * std::log(std::min(rho, kMostCorrelation))));
  }
  return m;
}

namespace {

// The source index of position q of a line of `length` with its ends mirrored.
int mirrored(int q, int length) {
  const int from = q < 0 ? -q : q >= length ? 2 * length - 2 - q : q;
  return std::clamp(from, 0, length - 1);
}

// A field laid out as [outer][length][inner] (inner > 1) convolved along `length`: whole rows of
// `inner` contiguous values at a time, so that every access runs along memory.
void convolveRows(float* field, size_t outer, int length, size_t inner, const std::vector<float>& w,
                  std::vector<float>& copy) {
  const int radius = static_cast<int>(w.size() / 2);
  const size_t block = static_cast<size_t>(length) * inner;
  for (size_t o = 0; o < outer; ++o) {
    float* data = field + o * block;
    copy.assign(data, data + block);
    for (int q = 0; q < length; ++q) {
      float* out = data + static_cast<size_t>(q) * inner;
      std::fill(out, out + inner, 0.0f);
      for (size_t k = 0; k < w.size(); ++k) {
        const float wk = w[k];
        const int source = mirrored(q + static_cast<int>(k) - radius, length);
        const float* from = copy.data() + static_cast<size_t>(source) * inner;
        for (size_t i = 0; i < inner; ++i) out[i] += wk * from[i];
      }
    }
  }
}

// The same along contiguous lines of `length`: each copied with its mirrored ends first.
void convolveLines(float* field, size_t lines, int length, const std::vector<float>& w, std::vector<float>& line) {
  const int radius = static_cast<int>(w.size() / 2);
  line.resize(static_cast<size_t>(length + 2 * radius));
  for (size_t l = 0; l < lines; ++l) {
    float* data = field + l * static_cast<size_t>(length);
    for (int q = -radius; q < length + radius; ++q) line[static_cast<size_t>(q + radius)] = data[mirrored(q, length)];
    std::fill(data, data + length, 0.0f);
    for (size_t k = 0; k < w.size(); ++k) {
      const float wk = w[k];
      const float* from = line.data() + k;
      for (int q = 0; q < length; ++q) data[q] += wk * from[q];
    }
  }
}

// One instant's white noise smoothed along each axis (edges mirrored), brought back to unit variance.
void correlateInstant(float* field, int Z, const NoiseModel& m, std::vector<float>& scratch) {
  const size_t n = static_cast<size_t>(Z) * kSliceVoxels;
  double gain = 1;
  for (int axis = 0; axis < 3; ++axis) {
    const std::vector<double> kernel = gaussianKernel(m.kernelSigma[axis]);
    if (kernel.size() == 1) continue;
    double squares = 0;
    for (double v : kernel) squares += v * v;
    gain *= squares;
    const std::vector<float> w(kernel.begin(), kernel.end());
    const auto slices = static_cast<size_t>(Z);
    if (axis == 0)
      convolveRows(field, 1, Z, kSliceVoxels, w, scratch);  // along the slices
    else if (axis == 1)
      convolveRows(field, slices, kMatrix, kMatrix, w, scratch);  // along the rows of each slice
    else
      convolveLines(field, slices * kMatrix, kMatrix, w, scratch);  // along the columns
  }
  const auto restore = static_cast<float>(1 / std::sqrt(gain));
  for (size_t i = 0; i < n; ++i) field[i] *= restore;
}

}  // namespace

void splitStudy(const Study& s, const NoiseModel& m, std::mt19937_64& rng, std::vector<float>& a,
                std::vector<float>& b) {
  if (m.poisson()) return thinCounts(s.DATA, rng, a, b);
  const size_t n = s.instantSize();
  a.resize(s.DATA.size());
  b.resize(s.DATA.size());
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::vector<float> field(n), scratch;
  const auto varianceToMean = static_cast<float>(m.varianceToMean);
  for (size_t t = 0; t * n < s.DATA.size(); ++t) {
    for (float& v : field) v = normal(rng);
    correlateInstant(field.data(), s.NCZ, m, scratch);
    for (size_t i = 0; i < n; ++i) {
      const float x = s.DATA[t * n + i];
      const float e = field[i] * std::sqrt(varianceToMean * std::max(0.0f, x)) / 2;
      a[t * n + i] = std::max(0.0f, x / 2 + e);
      b[t * n + i] = std::max(0.0f, x / 2 - e);
    }
  }
}

namespace {

// The re-orientation steps of the automatic road: square and rotation, septum and valve lines,
// then the segmentation.
bool placeAndSegment(Workstation& ws, const Placement& p) {
  applyPlacement(p, ws.w.settings.reorient);
  if (ws.validateStep() != ReorientOutcome::StepValidated) return false;
  selectStep(ws.w.settings.flow, 1);
  if (ws.validateStep() != ReorientOutcome::StepValidated) return false;
  if (p.infand_plane >= 0) {
    SegmentationContext c = ws.segmentation();
    setInfundibulumSlice(c, p.infand_plane);
  }
  return ws.validateStep() == ReorientOutcome::Segmented;
}

}  // namespace

std::optional<Placement> placementOfSteps(const ReorientSettings& r) {
  const ValidationRecords& rec = r.records;
  Placement p;
  int squares = 0, tilts = 0;
  for (int i = 0; i < std::min(rec.N_list, kMaxValidationRecords); ++i) {
    if (rec.list_fich_axis[i] == 0) {
      ++squares;
      p.recad_x = rec.list_recad_x[i], p.recad_y = rec.list_recad_y[i], p.recad_t = rec.list_recad_t[i];
      p.rotation = rec.list_rotation[i];
    } else if (rec.list_fich_axis[i] == 1) {
      ++tilts;
      p.valves_angle = rec.list_valve_angle[i];
    }
  }
  // Re-orientations composed of several validations of a step are no single placement.
  if (squares != 1 || tilts > 1) return std::nullopt;
  p.septum_plano = r.septum_plano, p.valves_plano_ = r.valves_plano_;
  p.infand_plane = r.infand_plane > 0 ? r.infand_plane : -1;
  return p;
}

std::optional<ResultVector> analyseAgain(const AnalysisRecipe& r, const std::vector<float>& counts,
                                         const Placement& placement, const std::filesystem::path& folder) {
  ScriptedPlatform quiet;
  Workstation ws(quiet, folder);
  ws.w = r.asLoaded;
  ws.w.study.DATA = counts;
  stampCounts(ws.w.study);
  EVAL_DATA_INTERVAL(ws.w.study, ws.log);
  ws.startNewStudy();
  ws.curves.settings = r.fit;
  if (!placeAndSegment(ws, placement) || !ws.checkVentricles() || !ws.computeCurves()) return std::nullopt;
  return resultVectorOf(ws.curves.vc);
}

std::optional<ResultVector> endSystoleFromOwnCycleStart(std::optional<ResultVector> r, const std::vector<float>& counts,
                                                        const Study& s, int studyFirst) {
  if (!r || s.Ninst <= 0) return r;
  const int first = (cycleStartInstant(counts, s) - studyFirst + s.Ninst) % s.Ninst;
  const double cycleMs = static_cast<double>(s.CYCLE) * s.Ninst;
  if (first == 0 || !(cycleMs > 0)) return r;
  for (int v = 0; v < 2; ++v) {
    double& t = (*r)[v * kResultsPerVentricle + kEndSystole];
    t = std::fmod(t - first * static_cast<double>(s.CYCLE) + cycleMs, cycleMs);
  }
  return r;
}

namespace {

struct PlacementMove {
  void (*apply)(Placement&, int sign);
};

constexpr PlacementMove kPlacementMoves[] = {
    {[](Placement& p, int s) { p.recad_x += s * kPlacementStepVoxels; }},
    {[](Placement& p, int s) { p.recad_y += s * kPlacementStepVoxels; }},
    {[](Placement& p, int s) { p.recad_t += 2 * s * kPlacementStepVoxels; }},  // each edge by the step
    {[](Placement& p, int s) { p.septum_plano += s * kPlacementStepVoxels; }},
    {[](Placement& p, int s) { p.valves_plano_ += s * kPlacementStepVoxels; }},
    {[](Placement& p, int s) { p.rotation += static_cast<float>(s * kPlacementStepDeg * std::numbers::pi / 180.0); }},
    {[](Placement& p, int s) { p.valves_angle += static_cast<float>(s * kPlacementStepDeg); }},
};
constexpr int kPlacementRuns = 2 * static_cast<int>(std::size(kPlacementMoves));

using RunPair = std::array<std::optional<ResultVector>, 2>;

// The two analyses of each placement setting moved either way, spread over the cores; false when
// the progress (runs done before, runs planned) stopped the work.
bool analyseMovedPlacements(const AnalysisRecipe& r, const std::filesystem::path& folder, int runsBefore, int planned,
                            const UncertaintyProgress& progress, std::vector<RunPair>& sides) {
  const int moves = static_cast<int>(std::size(kPlacementMoves));
  sides.assign(moves, {});
  return parallelFor(
      moves, 0,
      [&](int m, int) {
        for (int s = 0; s < 2; ++s) {
          Placement p = r.placement;
          kPlacementMoves[m].apply(p, s == 0 ? -1 : 1);
          sides[m][s] = analyseAgain(r, r.asLoaded.study.DATA, p, folder);
        }
      },
      [&](int finished) { return !progress || progress(runsBefore + 2 * finished, planned); });
}

// Each setting's share of the placement part: uniform within its step.
void addPlacementPart(const std::vector<RunPair>& sides, const ResultVector& value, UncertaintyReport& report,
                      ResultVector& variance) {
  for (const RunPair& side : sides) {
    for (const auto& run : side) {
      report.failedRuns += !run;
      report.placementRuns += run.has_value();
    }
    for (int i = 0; i < kUncertainResults; ++i) {
      // Half the spread of the two sides; one side only: its distance from the study's result.
      double halfSpread = 0;
      if (side[0] && side[1])
        halfSpread = std::abs((*side[1])[i] - (*side[0])[i]) / 2;
      else if (side[0] || side[1])
        halfSpread = std::abs((side[0] ? *side[0] : *side[1])[i] - value[i]);
      variance[i] += halfSpread * halfSpread / 3.0;
    }
  }
}

// Split k's own random stream, so that the result does not depend on which core made it.
std::mt19937_64 splitStream(uint64_t seed, int k) {
  std::seed_seq sequence{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32), static_cast<uint32_t>(k)};
  return std::mt19937_64(sequence);
}

// Squared differences of the halves' results, summed; pairs counted.
void addPair(const std::optional<ResultVector>& ra, const std::optional<ResultVector>& rb, UncertaintyReport& report,
             ResultVector& sumSquares, int& pairs) {
  report.failedRuns += !ra + !rb;
  if (!ra || !rb) return;
  ++pairs;
  for (int i = 0; i < kUncertainResults; ++i) sumSquares[i] += ((*ra)[i] - (*rb)[i]) * ((*ra)[i] - (*rb)[i]);
}

void completeReport(UncertaintyReport& report, const ResultVector& value, const ResultVector& sumSquares, int pairs,
                    const ResultVector& placementVariance) {
  report.countingRuns = 2 * pairs;
  report.valid = pairs > 0 && 2 * pairs >= report.halvings;
  for (int i = 0; i < kUncertainResults; ++i) {
    ResultUncertainty& u = report.results[i];
    u.value = value[i];
    u.counting = pairs ? std::sqrt(sumSquares[i] / pairs) / 2 : 0;
    u.placement = std::sqrt(placementVariance[i]);
    u.standard = std::hypot(u.counting, u.placement);
    u.low95 = u.value - kCoverage95 * u.standard;
    u.high95 = u.value + kCoverage95 * u.standard;
  }
}

}  // namespace

UncertaintyReport measureUncertainty(const AnalysisRecipe& r, const ResultVector& value, int halvings, uint64_t seed,
                                     const std::filesystem::path& folder, const UncertaintyProgress& progress) {
  UncertaintyReport report;
  report.halvings = halvings;
  report.placementMeasured = true;
  const int planned = 2 * halvings + kPlacementRuns;
  report.noise = estimateNoise(r.asLoaded.study);
  std::vector<RunPair> halves(halvings);
  const int studyFirst = cycleStartInstant(r.asLoaded.study.DATA, r.asLoaded.study);  // 0 as loaded
  const bool split = parallelFor(
      halvings, 0,
      [&](int k, int) {
        std::mt19937_64 rng = splitStream(seed, k);
        std::vector<float> a, b;
        splitStudy(r.asLoaded.study, report.noise, rng, a, b);
        const Study& loaded = r.asLoaded.study;
        halves[k][0] = endSystoleFromOwnCycleStart(analyseAgain(r, a, r.placement, folder), a, loaded, studyFirst);
        halves[k][1] = endSystoleFromOwnCycleStart(analyseAgain(r, b, r.placement, folder), b, loaded, studyFirst);
      },
      [&](int finished) { return !progress || progress(2 * finished, planned); });
  std::vector<RunPair> sides;
  if (!split || !analyseMovedPlacements(r, folder, 2 * halvings, planned, progress, sides)) return report;
  ResultVector sumSquares{}, placementVariance{};
  int pairs = 0;
  for (const RunPair& h : halves) addPair(h[0], h[1], report, sumSquares, pairs);
  addPlacementPart(sides, value, report, placementVariance);
  completeReport(report, value, sumSquares, pairs, placementVariance);
  return report;
}

PlacementSensitivity measurePlacementSensitivity(const AnalysisRecipe& r, const ResultVector& value,
                                                 const std::filesystem::path& folder) {
  PlacementSensitivity s;
  std::vector<RunPair> sides;
  if (!analyseMovedPlacements(r, folder, 0, kPlacementRuns, {}, sides)) return s;
  UncertaintyReport report;
  ResultVector variance{};
  addPlacementPart(sides, value, report, variance);
  s.runs = report.placementRuns;
  s.failedRuns = report.failedRuns;
  s.measured = s.runs > 0;
  for (int v = 0; v < 2; ++v) s.efPoints[v] = std::sqrt(variance[v * kResultsPerVentricle + kEf]);
  return s;
}

PlacementSensitivity placementSensitivityOf(const UncertaintyReport& r) {
  PlacementSensitivity s;
  s.measured = r.placementMeasured && r.placementRuns > 0;
  s.runs = r.placementRuns;
  for (int v = 0; v < 2; ++v) s.efPoints[v] = r.results[v * kResultsPerVentricle + kEf].placement;
  return s;
}

std::vector<int> placementSensitiveVentricles(const PlacementSensitivity& s) {
  std::vector<int> past;
  if (!s.measured) return past;
  for (int v = 0; v < 2; ++v)
    if (s.efPoints[v] >= kPlacementSensitiveEfPoints[v]) past.push_back(v + 1);
  return past;
}

std::string placementSensitiveText(int ventricle, const PlacementSensitivity& s, int LANGUE) {
  const Text& t = ventricle == 1 ? placement_texts::kLeftEfSensitive : placement_texts::kRightEfSensitive;
  return format(t.pick(LANGUE), s.efPoints[ventricle - 1]);
}

std::string placementSensitiveLine(const PlacementSensitivity& s, int LANGUE) {
  const std::vector<int> past = placementSensitiveVentricles(s);
  if (past.size() == 2) return format(placement_texts::kBothEfSensitive.pick(LANGUE), s.efPoints[0], s.efPoints[1]);
  return past.empty() ? "" : placementSensitiveText(past[0], s, LANGUE);
}

UncertaintyReport measureWithSegmentationKept(Workstation& ws, const AnalysisRecipe* acquisition, int halvings,
                                              uint64_t seed, const UncertaintyProgress& progress) {
  UncertaintyReport report;
  report.halvings = halvings;
  report.placementMeasured = acquisition != nullptr;
  const int planned = 2 * halvings + (acquisition ? kPlacementRuns : 0);
  const ResultVector value = resultVectorOf(ws.curves.vc);

  Study& s = ws.w.study;
  const std::vector<float> counts = s.DATA;
  const auto structMax = ws.seg.struct_max;
  const WorkflowState flow = ws.w.settings.flow;
  const CurveState curves = ws.curves;
  report.noise = estimateNoise(s);
  const int studyFirst = cycleStartInstant(counts, s);
  auto measureOn = [&](const std::vector<float>& half) -> std::optional<ResultVector> {
    s.DATA = half;
    stampCounts(s);
    EVAL_STRUC_MAX(s, ws.w.settings.limits, ws.seg);
    SegmentationContext c = ws.segmentation();
    if (!VIDANGE(c, ws.curves)) return std::nullopt;
    return endSystoleFromOwnCycleStart(resultVectorOf(ws.curves.vc), half, s, studyFirst);
  };
  std::vector<float> a, b;
  ResultVector sumSquares{}, placementVariance{};
  int pairs = 0;
  bool stopped = false;
  // One workstation: its halves are measured one after the other.
  for (int k = 0; k < halvings && !stopped; ++k) {
    std::mt19937_64 rng = splitStream(seed, k);
    splitStudy(s, report.noise, rng, a, b);
    const auto ra = measureOn(a);
    const auto rb = measureOn(b);
    s.DATA = counts;  // the next split reads the study's own counts
    stopped = progress && !progress(2 * (k + 1), planned);
    if (!stopped) addPair(ra, rb, report, sumSquares, pairs);
  }
  // The workstation as it was: its counts (their generation with them), class maxima and curves.
  s.DATA = counts;
  stampCounts(s);
  ws.seg.struct_max = structMax;
  ws.w.settings.flow = flow;
  ws.curves = curves;
  if (stopped) return report;
  if (acquisition) {
    std::vector<RunPair> sides;
    if (!analyseMovedPlacements(*acquisition, ws.folder, 2 * halvings, planned, progress, sides)) return report;
    addPlacementPart(sides, value, report, placementVariance);
  }
  completeReport(report, value, sumSquares, pairs, placementVariance);
  return report;
}

}  // namespace quorvel
