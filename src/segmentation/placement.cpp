#include "segmentation/placement.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "curves/numerics.h"
#include "segmentation/corrections.h"
#include "segmentation/placement_texts.h"

namespace quorvel {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kRadPerValveDegree = 0.0175;  // the factor the tilt step applies
// Gaussian sigma of the harmonic images; a study whose beat does not stand out of its noise at
// the first is looked at again with the second, as a user squints at a faint study.
constexpr double kSmoothingMm[kPlacementLooks] = {5.0, 10.0};
constexpr double kBodyLevel = 0.2;             // of the largest mean count: where the noise is measured
// A study that does not beat reaches 3.3 to 6.5 and a heart of EF 8 % at 20 M counts 3.6 to 6.8
// (its strongest voxel): no limit parts them. Below the first nothing is proposed; up to the
// second a proposal is made with no confidence, so it is flagged for a person rather than refused.
constexpr double kMinBeatToNoise = 4.0;
constexpr double kConfidentBeatToNoise = 6.0;
// A study without noise (identical instants) has a stroke of rounding errors only.
constexpr double kMinStrokeOfMean = 1e-3;
constexpr double kNoiseFloor = 3.0;            // strokes within this many noise deviations are ignored
constexpr double kVentricleLevel = 0.2;        // of the largest stroke: the ventricles' groups
constexpr double kAtriumLevel = 0.1;           // of the largest stroke, against the phase: the atria
constexpr double kJoinShare = 0.2;             // a group this strong, next to the strongest, is a ventricle too
constexpr double kJoinDistanceMm = 100.0;
// The stroke's phase taken again from the ventricles when they beat this far out of the whole
// study's, until it turns less than the second.
constexpr double kRephaseTurnRad = 20.0 * std::numbers::pi / 180, kSettledTurnRad = 1.0 * std::numbers::pi / 180;
constexpr int kMaxRephasings = 6;
constexpr double kSupportRadiusMm = 120.0;     // what beats farther from the ventricles is not the heart
constexpr double kAxisRadiusMm = 60.0;         // the valve plane is looked for this close to the axis
constexpr int kAxisLevellings = 2;
constexpr double kSideGapMm = 10.0;            // the sides of the axis leave out this band about it
constexpr double kMaxLean = 0.27;              // tan 15 degrees: one levelling step turns the axis at most so far
constexpr double kBasalBandMm = 15.0;          // the base's travel, left out of the septum's profile
constexpr double kEdgeLevel = 0.15;            // of the basal peak: the outer edge of the base's travel
constexpr double kBasalLobeShare = 0.05;       // of the basal peak: a lobe beyond a dip that is not noise
constexpr double kMinValleyDepth = 0.1;        // of the highest peak of that profile
constexpr double kDeeperValley = 0.1;          // of that peak: a clearly deeper valley
constexpr double kPoolLevel = 0.5;             // of the brightest beating voxel: the blood pools
// Twice the least beat given any confidence and twice the shallowest septal valley accepted: a
// proposal made this close to them is flagged for checking.
constexpr double kWarnBeatToNoise = 2 * kConfidentBeatToNoise, kWarnValleyDepth = 2 * kMinValleyDepth;
constexpr double kMarginMm = 25.0;             // around the ventricles in the square: the segmented
                                               // blood pool reaches beyond the stroke
constexpr int kSquareFittings = 3;
constexpr int kMinSide = 16;
constexpr double kMaxValveAngle = 40.0;

struct Vec {
  double r = 0, c = 0, z = 0;  // millimetres along rows, columns, slices
  Vec operator+(const Vec& o) const { return {r + o.r, c + o.c, z + o.z}; }
  Vec operator-(const Vec& o) const { return {r - o.r, c - o.c, z - o.z}; }
  Vec operator*(double f) const { return {r * f, c * f, z * f}; }
  double dot(const Vec& o) const { return r * o.r + c * o.c + z * o.z; }
  double norm() const { return std::sqrt(dot(*this)); }
  Vec unit() const { return *this * (1.0 / norm()); }
  Vec cross(const Vec& o) const { return {c * o.z - z * o.c, z * o.r - r * o.z, r * o.c - c * o.r}; }
};

Vec toVec(const PointMm& p) { return {p.row, p.column, p.slice}; }
PointMm toPoint(const Vec& v) { return {v.r, v.c, v.z}; }

// One 3D image over the study's slices, rows and columns, and where its voxels lie in mm.
struct Image {
  int nz = 0;
  std::vector<float> v;
  explicit Image(int slices) : nz(slices), v(static_cast<size_t>(slices) * kSliceVoxels, 0.0f) {}
  float max() const { return *std::max_element(v.begin(), v.end()); }
};

struct Geometry {
  double mmRow = 0, mmSlice = 0;  // voxel sizes
  Vec at(size_t i) const {
    return {static_cast<double>(i / kMatrix % kMatrix) * mmRow, static_cast<double>(i % kMatrix) * mmRow,
            static_cast<double>(i / kSliceVoxels) * mmSlice};
  }
};

// Mean counts; the first harmonic of every voxel's curve (cosine and sine parts) and the stroke
// image, its amplitude in a reference phase; and the highest harmonic, which a beating heart
// barely feeds: the noise.
struct Harmonics {
  Image mean, cosine, sine, stroke, highest;
  double phaseCos = 1, phaseSin = 0;  // the reference phase of the stroke image
  explicit Harmonics(int nz) : mean(nz), cosine(nz), sine(nz), stroke(nz), highest(nz) {}

  // The stroke image in the phase (c, s), a unit vector.
  void projectStroke(double c, double s) {
    phaseCos = c, phaseSin = s;
    for (size_t i = 0; i < stroke.v.size(); ++i)
      stroke.v[i] = static_cast<float>(cosine.v[i] * c + sine.v[i] * s);
  }
};

// The harmonic images of the study (the stroke not yet projected), with the phase of the whole
// study's curve as the stroke's reference.
Harmonics harmonicImages(const Study& s) {
  const int N = s.Ninst;
  const size_t n = s.instantSize();
  Harmonics h(s.NCZ);
  double wholeRe = 0, wholeIm = 0;
  for (int t = 0; t < N; ++t) {
    const double a = 2 * kPi * t / N;
    const float c = static_cast<float>(std::cos(a)), si = static_cast<float>(std::sin(a));
    const float alternate = t % 2 == 0 ? 1.0f : -1.0f;
    const float* d = &s.DATA[static_cast<size_t>(t) * n];
    double total = 0;
    for (size_t i = 0; i < n; ++i) {
      total += d[i];
      h.cosine.v[i] += d[i] * c;
      h.sine.v[i] += d[i] * si;
      h.mean.v[i] += d[i];
      h.highest.v[i] += alternate * d[i];
    }
    wholeRe += total * std::cos(a);
    wholeIm += total * std::sin(a);
  }
  const float inv = 1.0f / static_cast<float>(N);
  for (size_t i = 0; i < n; ++i) {
    h.cosine.v[i] *= 2.0f * inv;
    h.sine.v[i] *= 2.0f * inv;
    h.mean.v[i] *= inv;
    h.highest.v[i] *= inv;
  }
  const double whole = std::hypot(wholeRe, wholeIm);
  if (whole > 0) h.phaseCos = wholeRe / whole, h.phaseSin = wholeIm / whole;
  return h;
}

// One pass of a Gaussian along an axis of lines (count samples, stride apart, starting at start + j
// for j in 0..width-1): every output sample is the kernel's sum over the samples inside the study,
// in increasing offset, in double. A whole row of width lines is done at once, so that the passes
// across rows and slices read memory in order.
void smoothAxis(std::vector<float>& v, const std::vector<double>& k, int count, size_t stride, int width,
                size_t start, std::vector<float>& copy, std::vector<double>& acc) {
  const int r = static_cast<int>(k.size() / 2);
  for (int i = 0; i < count; ++i)
    std::copy_n(v.begin() + static_cast<std::ptrdiff_t>(start + i * stride), width,
                copy.begin() + static_cast<std::ptrdiff_t>(i) * width);
  for (int i = 0; i < count; ++i) {
    std::fill(acc.begin(), acc.begin() + width, 0.0);
    for (int d = std::max(-r, -i); d <= r && i + d < count; ++d) {
      const double f = k[d + r];
      const float* in = copy.data() + static_cast<size_t>(i + d) * width;
      for (int j = 0; j < width; ++j) acc[j] += f * in[j];
    }
    float* out = v.data() + start + i * stride;
    for (int j = 0; j < width; ++j) out[j] = static_cast<float>(acc[j]);
  }
}

// Separable Gaussian blur, zero outside the study.
void smooth(Image& im, double sigmaXY, double sigmaZ) {
  const std::vector<double> kxy = gaussianKernel(sigmaXY), kz = gaussianKernel(sigmaZ);
  std::vector<float> copy(std::max<size_t>(kSliceVoxels, static_cast<size_t>(im.nz) * kSliceVoxels));
  std::vector<double> acc(kSliceVoxels);
  // Along each row (one sample wide: the samples of a row are adjacent).
  for (size_t row = 0; row < static_cast<size_t>(im.nz) * kMatrix; ++row)
    smoothAxis(im.v, kxy, kMatrix, 1, 1, row * kMatrix, copy, acc);
  // Across the rows of each slice, a whole row of columns at a time.
  for (int z = 0; z < im.nz; ++z)
    smoothAxis(im.v, kxy, kMatrix, kMatrix, kMatrix, static_cast<size_t>(z) * kSliceVoxels, copy, acc);
  // Across the slices, a whole slice at a time.
  if (kz.size() > 1) smoothAxis(im.v, kz, im.nz, kSliceVoxels, kSliceVoxels, 0, copy, acc);
}

// Deviation of the stroke image that noise alone gives: the highest harmonic over the voxels of
// heart-like counts, times sqrt 2 (a cosine over the cycle sums the same deviations with twice
// the variance of an alternating sign). The deviation is read from the median magnitude, so that
// a heart whose sharp end-systole feeds the highest harmonic, in the minority of those voxels,
// is not taken for noise.
double strokeNoise(const Harmonics& h) {
  constexpr double kMedianAbsPerSigma = 0.6744897501960817;  // of a normal deviate
  const float level = static_cast<float>(kBodyLevel) * h.mean.max();
  std::vector<float> magnitude;
  for (size_t i = 0; i < h.mean.v.size(); ++i)
    if (h.mean.v[i] > level) magnitude.push_back(std::fabs(h.highest.v[i]));
  if (magnitude.empty()) return 0.0;
  const auto middle = magnitude.begin() + static_cast<std::ptrdiff_t>(magnitude.size() / 2);
  std::nth_element(magnitude.begin(), middle, magnitude.end());
  return std::sqrt(2.0) * *middle / kMedianAbsPerSigma;
}

// A connected (6-neighbour) group of voxels with its stroke sum and stroke-weighted centroid.
struct Group {
  std::vector<size_t> members;
  double sum = 0;
  Vec centroid;

  void join(const Group& o) {
    centroid = (centroid * sum + o.centroid * o.sum) * (1.0 / (sum + o.sum));
    sum += o.sum;
    members.insert(members.end(), o.members.begin(), o.members.end());
  }
};

// The groups of the voxels where keep is set, the largest stroke sum (in magnitude) first.
std::vector<Group> groupsOf(const std::vector<uint8_t>& keep, const Image& stroke, const Geometry& geo) {
  std::vector<Group> groups;
  std::vector<uint8_t> seen(keep.size(), 0);
  std::vector<size_t> stack;
  for (size_t seed = 0; seed < keep.size(); ++seed) {
    if (!keep[seed] || seen[seed]) continue;
    Group g;
    seen[seed] = 1;
    stack.push_back(seed);
    while (!stack.empty()) {
      const size_t i = stack.back();
      stack.pop_back();
      g.members.push_back(i);
      const size_t z = i / kSliceVoxels, r = i / kMatrix % kMatrix, c = i % kMatrix;
      auto visit = [&](bool inside, size_t j) {
        if (inside && keep[j] && !seen[j]) seen[j] = 1, stack.push_back(j);
      };
      visit(c > 0, i - 1);
      visit(c + 1 < kMatrix, i + 1);
      visit(r > 0, i - kMatrix);
      visit(r + 1 < kMatrix, i + kMatrix);
      visit(z > 0, i - kSliceVoxels);
      visit(z + 1 < static_cast<size_t>(stroke.nz), i + kSliceVoxels);
    }
    for (size_t i : g.members) g.sum += stroke.v[i];
    for (size_t i : g.members) g.centroid = g.centroid + geo.at(i) * (stroke.v[i] / g.sum);
    groups.push_back(std::move(g));
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const Group& a, const Group& b) { return std::fabs(a.sum) > std::fabs(b.sum); });
  return groups;
}

// The ventricles: the strongest group beating in the stroke image's phase, with any strong group
// next to it (the two ventricles may part at that level); none when nothing stands above the floor.
Group ventriclesOf(const Harmonics& h, const Geometry& geo, double floorLevel) {
  const float inPhase = static_cast<float>(std::max(kVentricleLevel * h.stroke.max(), floorLevel));
  std::vector<uint8_t> keep(h.stroke.v.size());
  for (size_t i = 0; i < keep.size(); ++i) keep[i] = h.stroke.v[i] > inPhase;
  const std::vector<Group> beating = groupsOf(keep, h.stroke, geo);
  if (beating.empty()) return {};
  Group ventricles = beating.front();
  for (size_t g = 1; g < beating.size(); ++g)
    if (beating[g].sum >= kJoinShare * beating[0].sum &&
        (beating[g].centroid - beating[0].centroid).norm() <= kJoinDistanceMm)
      ventricles.join(beating[g]);
  return ventricles;
}

// Weights summed over positions (mm) in bins between lo and hi; each weight is shared between its
// two nearest bin centres, so that voxels seen along an oblique direction leave no empty bins.
struct Profile {
  double lo = 0, width = 1;
  std::vector<double> bins;
  Profile(double from, double to, double binMm)
      : lo(from), width(binMm), bins(static_cast<size_t>(std::max(1.0, std::ceil((to - from) / binMm))), 0.0) {}
  void add(double s, double w) {
    const double f = (s - lo) / width - 0.5;
    const long b = static_cast<long>(std::floor(f));
    const double frac = f - b;
    if (b >= 0 && b < static_cast<long>(bins.size())) bins[b] += w * (1 - frac);
    if (b + 1 >= 0 && b + 1 < static_cast<long>(bins.size())) bins[b + 1] += w * frac;
  }
  double at(size_t b) const { return lo + (b + 0.5) * width; }
};

struct Beat {
  Vec x;    // mm from the ventricles' centre
  float w;  // stroke: positive in the ventricles' phase
};

bool nearAxis(const Vec& x, const Vec& n) { return (x - n * x.dot(n)).norm() <= kAxisRadiusMm; }

// Position along the axis n of the valve plane seen by the beats near the axis that `keep`
// selects. Their stroke summed across the axis rises to its basal peak, where the base travels
// over the cycle, falls, and turns to the atria's phase: the outer edge of that travel, where the
// profile has fallen to kEdgeLevel of its peak, is the valve plane at end-diastole. The turn is
// the last bin in the ventricles' phase before the atria's strongest one. A wall beating against
// the ventricles (a dyskinetic free wall) dips the profile before the base: a lobe in the
// ventricles' phase between that dip and the turn is still the ventricles, and when it is not
// noise the valve is at its outer edge.
template <typename Keep>
std::optional<double> valveEdge(const std::vector<Beat>& beats, const Vec& n, double binMm, Keep keep) {
  Profile along(-kSupportRadiusMm, kSupportRadiusMm, binMm);
  for (const Beat& b : beats)
    if (nearAxis(b.x, n) && keep(b.x)) along.add(b.x.dot(n), b.w);
  const std::vector<double>& f = along.bins;
  // The turn to the atria's phase: back from the atria's strongest bin beyond the peak to the last
  // bin in the ventricles' phase; with no atria there, where the sum from the apex on is largest.
  const size_t top = static_cast<size_t>(std::max_element(f.begin(), f.end()) - f.begin());
  const size_t atrium = static_cast<size_t>(std::min_element(f.begin() + top, f.end()) - f.begin());
  size_t turn = 0;
  if (f[top] > 0 && f[atrium] < 0) {
    for (turn = atrium; turn > top && f[turn] < 0;) --turn;
  } else {
    double cumulative = 0, best = -1;
    for (size_t b = 0; b < f.size(); ++b) {
      cumulative += f[b];
      if (cumulative > best) best = cumulative, turn = b;
    }
  }
  const size_t peak = static_cast<size_t>(std::max_element(f.begin(), f.begin() + turn + 1) - f.begin());
  if (!(f[peak] > 0)) return std::nullopt;
  // The outer edge of a lobe whose highest bin is `high`, where it falls to kEdgeLevel of it.
  auto outerEdge = [&](size_t high) {
    size_t edge = high;
    while (edge + 1 < f.size() && f[edge + 1] > kEdgeLevel * f[high]) ++edge;
    return edge;
  };
  size_t high = peak, edge = outerEdge(peak);
  for (size_t b = edge + 1; b <= turn; ++b) {
    if (!(f[b] > 0) || f[b - 1] > 0) continue;  // not the first bin of a lobe
    size_t lobeTop = b;
    for (; b + 1 <= turn && f[b + 1] > 0; ++b)
      if (f[b + 1] > f[lobeTop]) lobeTop = b + 1;
    if (f[lobeTop] >= kBasalLobeShare * f[peak]) high = lobeTop, edge = outerEdge(lobeTop);
  }
  const double next = edge + 1 < f.size() ? f[edge + 1] : 0.0;
  return along.at(edge) + along.width * (f[edge] - kEdgeLevel * f[high]) / (f[edge] - next);
}

// In-plane direction of the re-oriented columns for the axis n (rows follow n).
Vec columnsOf(const Vec& n) {
  const double theta = std::atan2(n.c, n.r);
  return {-std::sin(theta), std::cos(theta), 0.0};
}

// Leans the axis until the valve plane, seen apart on either side of it across the septum and
// across the slices, lies at one height: the plane through both edges gives the new axis. The
// axis before each levelling and after the last, kAxisLevellings + 1 in all.
std::vector<Vec> levelledAxes(const std::vector<Beat>& beats, Vec n, double binMm) {
  std::vector<Vec> axes{n};
  for (int pass = 0; pass < kAxisLevellings; ++pass) {
    const Vec across = columnsOf(n);
    for (const Vec& d : {across, n.cross(across)}) {
      double edge[2] = {0, 0}, lateral[2] = {0, 0};
      bool seen = true;
      for (int k = 0; k < 2 && seen; ++k) {
        const double sign = k == 0 ? 1.0 : -1.0;
        auto side = [&](const Vec& x) { return sign * x.dot(d) > kSideGapMm; };
        const std::optional<double> e = valveEdge(beats, n, binMm, side);
        double sw = 0, sl = 0;
        for (const Beat& b : beats)
          if (b.w > 0 && side(b.x) && nearAxis(b.x, n)) sw += b.w, sl += b.w * b.x.dot(d);
        seen = e.has_value() && sw > 0;
        if (seen) edge[k] = *e, lateral[k] = sl / sw;
      }
      if (!seen) continue;
      const double slope = std::clamp((edge[0] - edge[1]) / (lateral[0] - lateral[1]), -kMaxLean, kMaxLean);
      n = (n - d * slope).unit();
    }
    axes.push_back(n);
  }
  return axes;
}

// Offset along m of the septum: the lowest point of the blood pools' mean counts profiled across
// the axis, between the highest peak and the peak standing out most on the other side. A pool
// shows in the counts however weakly its wall moves, so a ventricle of low ejection fraction
// still stands out. The profile covers the box of the in-phase beats in the frame (n, m, n x m)
// below the basal band that spans both ventricles, and counts what stands above half the
// brightest beating voxel there: the pools, not the wall or the background between them. None
// when no second pool stands out.
struct Valley {
  double at = 0;     // mm across the axis
  double depth = 0;  // of the highest peak
};

std::optional<Valley> septumValley(const std::vector<Beat>& beats, const Harmonics& h, const Geometry& geo,
                                   const Vec& centre, const Vec& n, const Vec& m, double valve) {
  const Vec k = n.cross(m);
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
  for (const Beat& b : beats) {
    if (b.w <= 0) continue;
    const double c[3] = {b.x.dot(n), b.x.dot(m), b.x.dot(k)};
    for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], c[a]), hi[a] = std::max(hi[a], c[a]);
  }
  hi[0] = std::min(hi[0], valve - kBasalBandMm);
  std::vector<std::pair<double, float>> zone;  // offset across the axis, mean counts
  float brightest = 0;
  for (size_t i = 0; i < h.mean.v.size(); ++i) {
    const Vec x = geo.at(i) - centre;
    const double c[3] = {x.dot(n), x.dot(m), x.dot(k)};
    if (c[0] < lo[0] || c[0] >= hi[0] || c[1] < lo[1] || c[1] > hi[1] || c[2] < lo[2] || c[2] > hi[2]) continue;
    zone.push_back({c[1], h.mean.v[i]});
    if (h.stroke.v[i] > 0) brightest = std::max(brightest, h.mean.v[i]);
  }
  Profile across(-kSupportRadiusMm, kSupportRadiusMm, geo.mmRow);
  const float level = static_cast<float>(kPoolLevel) * brightest;
  for (const auto& [offset, mean] : zone)
    if (mean > level) across.add(offset, mean - level);
  const std::vector<double>& f = across.bins;
  const size_t top = static_cast<size_t>(std::max_element(f.begin(), f.end()) - f.begin());
  size_t valley = top;
  double prominence = 0;
  for (size_t b = 0; b < f.size(); ++b) {
    if (b == top) continue;
    // Its height above the lowest point between it and the highest peak.
    const size_t lo = std::min(b, top), hi = std::max(b, top);
    const size_t low = static_cast<size_t>(std::min_element(f.begin() + lo, f.begin() + hi + 1) - f.begin());
    if (f[b] - f[low] > prominence) prominence = f[b] - f[low], valley = low;
  }
  if (!(prominence > kMinValleyDepth * f[top])) return std::nullopt;
  return Valley{across.at(valley), prominence / f[top]};
}

}  // namespace

Text placementWarningText(PlacementWarning w) {
  switch (w) {
    case PlacementWarning::WeakBeat: return placement_texts::kWeakBeat;
    case PlacementWarning::ShallowSeptum: return placement_texts::kShallowSeptum;
    case PlacementWarning::SquareAtEdge: return placement_texts::kSquareAtEdge;
    case PlacementWarning::SquareFull: return placement_texts::kSquareFull;
    case PlacementWarning::TiltAtLimit: return placement_texts::kTiltAtLimit;
    case PlacementWarning::LaterLook: return placement_texts::kLaterLook;
  }
  return {"", ""};
}

double placementConfidence(const PlacementProposal& p) {
  if (!p.proposed()) return 0;
  const double beat = std::clamp((p.beatToNoise - kConfidentBeatToNoise) / (3 * kConfidentBeatToNoise), 0.0, 1.0);
  const double septum = std::clamp((p.septumDepth - kMinValleyDepth) / (3 * kMinValleyDepth), 0.0, 1.0);
  double c = std::min(beat, septum);
  // A square pushed off the crux by the slice's edge keeps the lines on the crux (on a 128 matrix
  // framed to 64 it often is); what it may cut is caught after the segmentation. A tilt held at
  // its limit is a valve plane the levelling could not reach: the plane shown is not the heart's.
  for (PlacementWarning w : p.warnings) {
    if (w == PlacementWarning::SquareFull) c *= 0.5;
    if (w == PlacementWarning::TiltAtLimit || w == PlacementWarning::LaterLook) c = 0;
  }
  return c;
}

void applyPlacement(const Placement& p, ReorientSettings& r) {
  r.recad_x = p.recad_x;
  r.recad_y = p.recad_y;
  r.recad_t = p.recad_t;
  r.rotation = p.rotation;
  r.septum_plano = p.septum_plano;
  r.valves_plano_ = p.valves_plano_;
  r.valves_angle = p.valves_angle;
}

FramedPlacement placementOfFrame(const Study& s, const PointMm& cruxAt, const PointMm& axis,
                                 const std::vector<PointMm>& ventricles) {
  FramedPlacement out;
  const Geometry geo{s.VOXEL_SIZE_XY * 10.0, s.VOXEL_SIZE_Z * 10.0};
  const Vec crux = toVec(cruxAt), n = toVec(axis).unit(), m = columnsOf(n);
  // The square: centred on the crux (valve plane meets septum) as far as it stays inside the
  // slice, its side reaching every ventricular point with a margin once tilted: rows then follow
  // the axis n itself from the tilt's pivot (the middle slice), so a tilted heart reaches farther
  // than its in-plane extent. A square pushed off the crux by the slice's edge reaches farther on
  // the other side, so the side is measured again from where the square ended up.
  const double pivotMm = (s.NCZ / 2) * geo.mmSlice;
  Placement& p = out.placement;
  Vec middle{crux.r, crux.c, pivotMm};
  for (int pass = 0; pass < kSquareFittings; ++pass) {
    double reach = 0;
    for (const PointMm& v : ventricles) {
      const Vec x = toVec(v) - middle;
      reach = std::max({reach, std::fabs(x.dot(n)), std::fabs(x.dot(m))});
    }
    const int side = 2 * static_cast<int>(std::ceil((reach + kMarginMm) / geo.mmRow));
    out.squareFull = side > kMatrix;
    p.recad_t = std::clamp(side, kMinSide, kMatrix);
    const int half = p.recad_t / 2;
    p.recad_x = std::clamp(static_cast<int>(std::lround(crux.r / geo.mmRow)), half, kMatrix - half);
    p.recad_y = std::clamp(static_cast<int>(std::lround(crux.c / geo.mmRow)), half, kMatrix - half);
    middle = Vec{p.recad_x * geo.mmRow, p.recad_y * geo.mmRow, pivotMm};
  }
  out.squareAtEdge = p.recad_x != std::lround(crux.r / geo.mmRow) || p.recad_y != std::lround(crux.c / geo.mmRow);
  // Step 0 shows at output (r, q) the source point centre + (t / 64) M (r - 32, q - 32), M the
  // rotation by -rotation: rows follow n's in-plane direction when rotation is minus its angle.
  // Step 1 turns each column's (slice, row) plane by valves_angle x 0.0175 rad about row 32 and
  // slice NCZ / 2; minus n's elevation out of the slice plane makes the valve plane a row.
  p.rotation = static_cast<float>(-std::atan2(n.c, n.r));
  const double elevation = std::asin(std::clamp(n.z, -1.0, 1.0));
  p.valves_angle = static_cast<float>(std::clamp(-elevation / kRadPerValveDegree, -kMaxValveAngle, kMaxValveAngle));
  // Both lines pass through the crux; their offsets from the square's centre on the middle slice
  // (the tilt's pivot), in voxels of the square.
  const double outMm = geo.mmRow * p.recad_t / kMatrix;
  p.septum_plano = static_cast<int>(std::lround(kMatrix / 2 + (crux - middle).dot(m) / outMm));
  p.valves_plano_ = static_cast<int>(std::lround(kMatrix / 2 + (crux - middle).dot(n) / outMm));
  out.linesInside = p.septum_plano >= kLineMin && p.septum_plano <= kLineMax && p.valves_plano_ >= kLineMin &&
                    p.valves_plano_ <= kLineMax;
  return out;
}

namespace {
PlacementProposal proposeWithSmoothing(const Study& s, double smoothingMm);
}  // namespace

PlacementProposal proposePlacement(const Study& s, int fromLook) {
  PlacementProposal out;
  for (int look = std::clamp(fromLook, 0, kPlacementLooks - 1); look < kPlacementLooks; ++look) {
    out = proposeWithSmoothing(s, kSmoothingMm[look]);
    out.look = look;
    if (fromLook > 0 && out.proposed()) out.warnings.push_back(PlacementWarning::LaterLook);
    if (out.status != PlacementStatus::NoBeat) break;
  }
  return out;
}

namespace {
PlacementProposal proposeWithSmoothing(const Study& s, double smoothingMm) {
  PlacementProposal out;
  auto refuse = [&](PlacementStatus status, Text why) {
    out.status = status;
    out.why = why;
    return out;
  };
  if (!s.loaded() || s.Ninst < 2 || s.NCZ < 1 || s.DATA.size() != static_cast<size_t>(s.Ninst) * s.instantSize())
    return refuse(PlacementStatus::NoStudy, placement_texts::kNoStudy);
  if (!(s.VOXEL_SIZE_XY > 0 && s.VOXEL_SIZE_Z > 0 && std::isfinite(s.VOXEL_SIZE_XY) && std::isfinite(s.VOXEL_SIZE_Z)))
    return refuse(PlacementStatus::NoVoxelSize, placement_texts::kNoVoxelSize);
  const Geometry geo{s.VOXEL_SIZE_XY * 10.0, s.VOXEL_SIZE_Z * 10.0};

  Harmonics h = harmonicImages(s);
  if (!(h.mean.max() > 0)) return refuse(PlacementStatus::NoCounts, placement_texts::kNoCounts);
  for (Image* im : {&h.mean, &h.cosine, &h.sine, &h.highest})
    smooth(*im, smoothingMm / geo.mmRow, smoothingMm / geo.mmSlice);
  const double noise = strokeNoise(h);
  const double floorLevel = kNoiseFloor * noise;
  h.projectStroke(h.phaseCos, h.phaseSin);
  // The whole study's count barely varies, since the blood moves between chambers that all lie
  // in the field, so its phase can stand far from the chambers' own and the stroke image keep a
  // fraction of the beat. When the ventricles it shows beat clearly out of that phase, the stroke
  // is taken again in theirs until it settles. A nearer phase is kept: the whole study's weighs
  // the atria's against the ventricles' and parts them better.
  Group ventricles;
  bool ventriclesInPhase = false;  // found in the stroke image's present phase
  for (int pass = 0; pass < kMaxRephasings && h.stroke.max() > 0; ++pass) {
    ventricles = ventriclesOf(h, geo, floorLevel);
    ventriclesInPhase = true;
    double c = 0, si = 0;
    for (size_t i : ventricles.members) c += h.cosine.v[i], si += h.sine.v[i];
    const double amplitude = std::hypot(c, si);
    if (!(amplitude > 0)) break;
    const double turn = std::fabs(std::atan2(si * h.phaseCos - c * h.phaseSin, c * h.phaseCos + si * h.phaseSin));
    if (turn < (pass == 0 ? kRephaseTurnRad : kSettledTurnRad)) break;
    h.projectStroke(c / amplitude, si / amplitude);
    ventriclesInPhase = false;
  }
  const float strokeMax = h.stroke.max();
  if (!(strokeMax > kMinBeatToNoise * noise && strokeMax > kMinStrokeOfMean * h.mean.max()))
    return refuse(PlacementStatus::NoBeat, placement_texts::kNoBeat);
  if (!ventriclesInPhase) ventricles = ventriclesOf(h, geo, floorLevel);
  std::vector<uint8_t> keep(h.stroke.v.size());
  const Vec centre = ventricles.centroid;

  // The atria: the strongest group beating against that phase near the ventricles.
  const float against = static_cast<float>(std::max(kAtriumLevel * strokeMax, floorLevel));
  for (size_t i = 0; i < keep.size(); ++i)
    keep[i] = h.stroke.v[i] < -against && (geo.at(i) - centre).norm() < kSupportRadiusMm;
  const std::vector<Group> atria = groupsOf(keep, h.stroke, geo);
  if (atria.empty() || !((atria[0].centroid - centre).norm() > 0))
    return refuse(PlacementStatus::NoVentricles, placement_texts::kNoVentricles);

  // The long axis, apex to base, levelled on the valve plane.
  std::vector<Beat> beats;
  for (size_t i = 0; i < h.stroke.v.size(); ++i) {
    const Vec x = geo.at(i) - centre;
    if (std::fabs(h.stroke.v[i]) > floorLevel && x.norm() <= kSupportRadiusMm) beats.push_back({x, h.stroke.v[i]});
  }
  const std::vector<Vec> axes = levelledAxes(beats, (atria[0].centroid - centre).unit(), geo.mmRow);
  Vec n = axes.back();
  Vec m = columnsOf(n);
  std::optional<double> valve = valveEdge(beats, n, geo.mmRow, [](const Vec&) { return true; });
  if (!valve) return refuse(PlacementStatus::NoVentricles, placement_texts::kNoVentricles);
  // No valley between the pools: the septum is put through the ventricles' centre with no
  // confidence, so the study is flagged for a person rather than refused.
  Valley valley = septumValley(beats, h, geo, centre, n, m, *valve).value_or(Valley{0.0, 0.0});
  // The levelling across the septum reads the valve plane on both sides of the axis; a weak
  // ventricle's base misleads it, and it can turn the axis by its full reach the wrong way. Seen
  // along the right axis the septum is edge-on and the valley between the pools deepest, so an
  // axis levelled fewer times is taken when its valley is clearly deeper.
  for (int passes = kAxisLevellings - 1; passes >= 0; --passes) {
    const Vec nk = axes[passes];
    const Vec mk = columnsOf(nk);
    const std::optional<double> vk = valveEdge(beats, nk, geo.mmRow, [](const Vec&) { return true; });
    if (!vk) continue;
    const std::optional<Valley> yk = septumValley(beats, h, geo, centre, nk, mk, *vk);
    if (yk && yk->depth > valley.depth + kDeeperValley) n = nk, m = mk, valve = vk, valley = *yk;
  }

  std::vector<PointMm> points;
  points.reserve(ventricles.members.size());
  for (size_t i : ventricles.members) points.push_back(toPoint(geo.at(i)));
  const Vec crux = centre + n * *valve + m * valley.at;
  const FramedPlacement framed = placementOfFrame(s, toPoint(crux), toPoint(n), points);
  if (!framed.linesInside) return refuse(PlacementStatus::NoVentricles, placement_texts::kNoVentricles);
  out.placement = framed.placement;
  const Placement& p = out.placement;
  out.status = PlacementStatus::Proposed;
  out.beatToNoise = strokeMax / noise;
  out.septumDepth = valley.depth;
  auto warnIf = [&](bool strained, PlacementWarning w) {
    if (strained) out.warnings.push_back(w);
  };
  warnIf(out.beatToNoise < kWarnBeatToNoise, PlacementWarning::WeakBeat);
  warnIf(out.septumDepth < kWarnValleyDepth, PlacementWarning::ShallowSeptum);
  warnIf(framed.squareAtEdge, PlacementWarning::SquareAtEdge);
  warnIf(framed.squareFull, PlacementWarning::SquareFull);
  warnIf(std::fabs(p.valves_angle) >= kMaxValveAngle, PlacementWarning::TiltAtLimit);
  return out;
}

}  // namespace

}  // namespace quorvel
