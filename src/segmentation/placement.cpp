#include "segmentation/placement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "segmentation/corrections.h"

namespace quorvel {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kRadPerValveDegree = 0.0175;  // the factor the tilt step applies
constexpr double kSmoothingMm = 5.0;           // Gaussian sigma of the stroke and count images
constexpr double kMinBeatToNoise = 6.0;         // a study that does not beat reaches about 4.5
constexpr double kVentricleLevel = 0.2;        // of the largest stroke
constexpr double kAtriumLevel = 0.1;
constexpr double kBodyLevel = 0.2;             // of the largest mean count: where the noise is measured
constexpr double kSupportRadiusMm = 120.0;
constexpr double kAxisRadiusMm = 60.0;         // the valve profile is taken this close to the axis
constexpr double kNoiseFloor = 3.0;             // noise deviations below which a stroke is ignored
constexpr double kNoiseless = 1e9;
constexpr double kJoinShare = 0.2;             // of the strongest group's stroke
constexpr double kJoinDistanceMm = 100.0;
constexpr int kAxisRefinements = 2;
constexpr double kSideGapMm = 10.0;            // the sides seen apart leave out this band about the axis
constexpr double kBasalBandMm = 15.0;          // the valve plane's travel, left out of the septum profile
constexpr double kMinValleyDepth = 0.1;        // of the highest peak
constexpr double kMarginMm = 15.0;
constexpr int kMinSide = 16;
constexpr double kMaxValveAngle = 40.0;
constexpr Text kNoVentricles{
    "Les structures qui battent ne forment pas deux ventricules au-dessus d'un plan valvulaire : placement automatique impossible.",
    "The beating structures do not form two ventricles above a valve plane: no automatic placement."};

constexpr Text kNoStudy{"Aucune étude chargée : pas de placement automatique.", "No study loaded: no automatic placement."};
constexpr Text kNoVoxelSize{"Taille des voxels inconnue : pas de placement automatique.",
                            "Unknown voxel size: no automatic placement."};
constexpr Text kNoCounts{"L'étude ne contient aucun coup : pas de placement automatique.",
                         "The study holds no counts: no automatic placement."};
constexpr Text kNoBeat{"Aucune structure ne bat au-dessus du bruit : les ventricules ne peuvent pas être placés.",
                       "Nothing beats above the noise: the ventricles cannot be placed."};

struct Vec {
  double r = 0, c = 0, z = 0;  // millimetres along rows, columns, slices
  Vec operator+(const Vec& o) const { return {r + o.r, c + o.c, z + o.z}; }
  Vec operator-(const Vec& o) const { return {r - o.r, c - o.c, z - o.z}; }
  Vec operator*(double f) const { return {r * f, c * f, z * f}; }
  double dot(const Vec& o) const { return r * o.r + c * o.c + z * o.z; }
  double norm() const { return std::sqrt(dot(*this)); }
  Vec cross(const Vec& o) const { return {c * o.z - z * o.c, z * o.r - r * o.z, r * o.c - c * o.r}; }
};

// One 3D image over the study's slices, rows and columns.
struct Image {
  int nz = 0;
  std::vector<float> v;
  explicit Image(int slices) : nz(slices), v(static_cast<size_t>(slices) * kSliceVoxels, 0.0f) {}
  size_t size() const { return v.size(); }
};

struct Geometry {
  double mmRow = 0, mmSlice = 0;  // voxel sizes in millimetres
  Vec at(size_t i) const {
    const int z = static_cast<int>(i / kSliceVoxels), r = static_cast<int>(i / kMatrix % kMatrix),
              c = static_cast<int>(i % kMatrix);
    return {r * mmRow, c * mmRow, z * mmSlice};
  }
};

// Mean counts, the stroke image (first harmonic in the phase of the whole study's curve) and
// the highest harmonic, which a beating heart barely feeds: a measure of the noise.
struct Harmonics {
  Image mean, stroke, nyquist;
  explicit Harmonics(int nz) : mean(nz), stroke(nz), nyquist(nz) {}
};

Harmonics harmonicImages(const Study& s) {
  const int N = s.Ninst;
  const size_t n = s.instantSize();
  std::vector<double> cs(N), sn(N);
  for (int t = 0; t < N; ++t) cs[t] = std::cos(2 * kPi * t / N), sn[t] = std::sin(2 * kPi * t / N);
  double gre = 0, gim = 0;
  std::vector<float> re(n, 0.0f), im(n, 0.0f);
  Harmonics h(s.NCZ);
  for (int t = 0; t < N; ++t) {
    const float* d = &s.DATA[static_cast<size_t>(t) * n];
    const float c = static_cast<float>(cs[t]), si = static_cast<float>(sn[t]);
    const float alt = (t % 2 == 0) ? 1.0f : -1.0f;
    double total = 0;
    for (size_t i = 0; i < n; ++i) {
      const float v = d[i];
      total += v;
      re[i] += v * c;
      im[i] += v * si;
      h.mean.v[i] += v;
      h.nyquist.v[i] += alt * v;
    }
    gre += total * cs[t];
    gim += total * sn[t];
  }
  const double g = std::hypot(gre, gim);
  const float pr = g > 0 ? static_cast<float>(gre / g) : 1.0f, pi = g > 0 ? static_cast<float>(gim / g) : 0.0f;
  const float inv = 1.0f / static_cast<float>(N);
  for (size_t i = 0; i < n; ++i) {
    h.stroke.v[i] = (re[i] * pr + im[i] * pi) * 2.0f * inv;  // amplitude of the in-phase cosine
    h.mean.v[i] *= inv;
    h.nyquist.v[i] *= inv;
  }
  return h;
}

std::vector<double> gaussianKernel(double sigma) {
  if (!(sigma > 0.3)) return {1.0};
  const int r = static_cast<int>(std::ceil(3.0 * sigma));
  std::vector<double> k(2 * r + 1);
  double sum = 0;
  for (int i = -r; i <= r; ++i) sum += k[i + r] = std::exp(-0.5 * i * i / (sigma * sigma));
  for (double& x : k) x /= sum;
  return k;
}

// Separable Gaussian blur, zero outside the study.
void smooth(Image& im, double sigmaXY, double sigmaZ) {
  const std::vector<double> kxy = gaussianKernel(sigmaXY), kz = gaussianKernel(sigmaZ);
  std::vector<double> line;
  auto pass = [&](const std::vector<double>& k, int count, size_t stride, size_t start) {
    const int r = static_cast<int>(k.size() / 2);
    line.resize(count);
    for (int i = 0; i < count; ++i) line[i] = im.v[start + i * stride];
    for (int i = 0; i < count; ++i) {
      double acc = 0;
      for (int d = std::max(-r, -i); d <= r && i + d < count; ++d) acc += k[d + r] * line[i + d];
      im.v[start + i * stride] = static_cast<float>(acc);
    }
  };
  for (int z = 0; z < im.nz; ++z)
    for (int x = 0; x < kMatrix; ++x) pass(kxy, kMatrix, 1, (static_cast<size_t>(z) * kMatrix + x) * kMatrix);
  for (int z = 0; z < im.nz; ++z)
    for (int y = 0; y < kMatrix; ++y) pass(kxy, kMatrix, kMatrix, static_cast<size_t>(z) * kSliceVoxels + y);
  if (kz.size() > 1)
    for (size_t x = 0; x < kSliceVoxels; ++x) pass(kz, im.nz, kSliceVoxels, x);
}

// Connected (6-neighbour) groups of the voxels where keep is set, each with its stroke sum and
// stroke-weighted centroid (mm), the strongest first.
struct Group {
  std::vector<size_t> members;
  double sum = 0;
  Vec centroid;
};

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
      const int z = static_cast<int>(i / kSliceVoxels), r = static_cast<int>(i / kMatrix % kMatrix),
                c = static_cast<int>(i % kMatrix);
      auto visit = [&](bool inside, size_t j) {
        if (inside && keep[j] && !seen[j]) seen[j] = 1, stack.push_back(j);
      };
      visit(c > 0, i - 1);
      visit(c < kMatrix - 1, i + 1);
      visit(r > 0, i - kMatrix);
      visit(r < kMatrix - 1, i + kMatrix);
      visit(z > 0, i - kSliceVoxels);
      visit(z < stroke.nz - 1, i + kSliceVoxels);
    }
    for (size_t i : g.members) g.sum += stroke.v[i];
    for (size_t i : g.members) g.centroid = g.centroid + geo.at(i) * (stroke.v[i] / g.sum);
    groups.push_back(std::move(g));
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const Group& a, const Group& b) { return std::fabs(a.sum) > std::fabs(b.sum); });
  return groups;
}

// Profile of weights over positions (mm) in bins of the given width between lo and hi; each
// weight is shared between its two nearest bin centres, so that voxels seen along an oblique
// direction leave no empty bins.
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

// Position along n of the valve plane seen by the beating voxels that `keep` selects near the
// axis. Their stroke summed across the axis rises to its basal peak, where the base travels over
// the cycle, then falls and turns to the atria's phase: the outer edge of that travel, where the
// profile has fallen to half its peak, is the valve plane at end-diastole.
template <typename Keep>
std::optional<double> valveEdge(const std::vector<Beat>& beats, const Vec& n, double binMm, Keep keep) {
  Profile along(-kSupportRadiusMm, kSupportRadiusMm, binMm);
  for (const Beat& b : beats) {
    const double a = b.x.dot(n);
    if ((b.x - n * a).norm() <= kAxisRadiusMm && keep(b.x)) along.add(a, b.w);
  }
  const std::vector<double>& f = along.bins;
  // The turn to the atria's phase: where the sum from the apex on is largest.
  double cumulative = 0, best = -1;
  size_t turn = 0;
  for (size_t b = 0; b < f.size(); ++b) {
    cumulative += f[b];
    if (cumulative > best) best = cumulative, turn = b;
  }
  const size_t peak = static_cast<size_t>(std::max_element(f.begin(), f.begin() + turn + 1) - f.begin());
  if (!(f[peak] > 0)) return std::nullopt;
  size_t edge = peak;
  while (edge + 1 < f.size() && f[edge + 1] > 0.5 * f[peak]) ++edge;
  const double next = edge + 1 < f.size() ? f[edge + 1] : 0.0;
  return along.at(edge) + along.width * (f[edge] - 0.5 * f[peak]) / (f[edge] - next);
}

}  // namespace

PlacementProposal proposePlacement(const Study& s, PlacementTrace* trace) {
  PlacementProposal out;
  auto refuse = [&](PlacementStatus st, Text why) {
    out.status = st;
    out.why = why;
    return out;
  };
  if (!s.loaded() || s.Ninst < 2 || s.NCZ < 1 || s.DATA.size() != static_cast<size_t>(s.Ninst) * s.instantSize())
    return refuse(PlacementStatus::NoStudy, kNoStudy);
  if (!(s.VOXEL_SIZE_XY > 0 && s.VOXEL_SIZE_Z > 0 && std::isfinite(s.VOXEL_SIZE_XY) && std::isfinite(s.VOXEL_SIZE_Z)))
    return refuse(PlacementStatus::NoVoxelSize, kNoVoxelSize);
  const Geometry geo{s.VOXEL_SIZE_XY * 10.0, s.VOXEL_SIZE_Z * 10.0};

  Harmonics h = harmonicImages(s);
  if (!(*std::max_element(h.mean.v.begin(), h.mean.v.end()) > 0)) return refuse(PlacementStatus::NoCounts, kNoCounts);
  const double sxy = kSmoothingMm / geo.mmRow, sz = kSmoothingMm / geo.mmSlice;
  smooth(h.stroke, sxy, sz);
  smooth(h.nyquist, sxy, sz);
  smooth(h.mean, sxy, sz);

  // Noise of the stroke image: the highest harmonic over the voxels of heart-like counts, times
  // sqrt 2 (a cosine of the cycle sums the same deviations with twice the variance).
  const float bodyLevel = static_cast<float>(kBodyLevel) * *std::max_element(h.mean.v.begin(), h.mean.v.end());
  double nyq2 = 0;
  long body = 0;
  for (size_t i = 0; i < h.mean.size(); ++i)
    if (h.mean.v[i] > bodyLevel) nyq2 += double(h.nyquist.v[i]) * h.nyquist.v[i], ++body;
  const double noise = body > 0 ? std::sqrt(2.0 * nyq2 / body) : 0.0;
  const float strokeMax = *std::max_element(h.stroke.v.begin(), h.stroke.v.end());
  const double beatToNoise = noise > 0 ? strokeMax / noise : (strokeMax > 0 ? kNoiseless : 0.0);
  if (trace) trace->beatToNoise = beatToNoise;
  if (!(beatToNoise >= kMinBeatToNoise)) return refuse(PlacementStatus::NoBeat, kNoBeat);

  // The ventricles: the strongest connected group beating in phase with the whole study; the
  // atria: the strongest group beating against it near them.
  const double floorLevel = kNoiseFloor * noise;
  std::vector<uint8_t> keep(h.stroke.size());
  const float vLevel = static_cast<float>(std::max(kVentricleLevel * strokeMax, floorLevel));
  for (size_t i = 0; i < keep.size(); ++i) keep[i] = h.stroke.v[i] > vLevel;
  std::vector<Group> beating = groupsOf(keep, h.stroke, geo);
  if (beating.empty()) return refuse(PlacementStatus::NoBeat, kNoBeat);
  // The two ventricles may part at that level: a strong group close to the strongest joins it.
  Group ventricles = beating[0];
  for (size_t g = 1; g < beating.size(); ++g)
    if (beating[g].sum >= kJoinShare * beating[0].sum &&
        (beating[g].centroid - beating[0].centroid).norm() <= kJoinDistanceMm) {
      ventricles.centroid = (ventricles.centroid * ventricles.sum + beating[g].centroid * beating[g].sum) *
                            (1.0 / (ventricles.sum + beating[g].sum));
      ventricles.sum += beating[g].sum;
      ventricles.members.insert(ventricles.members.end(), beating[g].members.begin(), beating[g].members.end());
    }
  const Vec centre = ventricles.centroid;
  const float aLevel = static_cast<float>(std::max(kAtriumLevel * strokeMax, floorLevel));
  for (size_t i = 0; i < keep.size(); ++i)
    keep[i] = h.stroke.v[i] < -aLevel && (geo.at(i) - centre).norm() < kSupportRadiusMm;
  const std::vector<Group> against = groupsOf(keep, h.stroke, geo);
  if (against.empty()) return refuse(PlacementStatus::NoVentricles, kNoVentricles);

  // Long axis, apex to base: from the ventricles towards the atria. Rows of the re-oriented
  // slices follow it; columns follow its in-plane perpendicular.
  Vec n = against[0].centroid - centre;
  if (!(n.norm() > 0)) return refuse(PlacementStatus::NoVentricles, kNoVentricles);
  n = n * (1.0 / n.norm());

  // The voxels that clearly beat, in either phase, near the ventricles.
  std::vector<Beat> beats;
  for (size_t i = 0; i < h.stroke.size(); ++i) {
    const float w = h.stroke.v[i];
    const Vec x = geo.at(i) - centre;
    if (std::fabs(w) > floorLevel && x.norm() <= kSupportRadiusMm) beats.push_back({x, w});
  }
  // The valve plane seen on either side of the axis, across the septum and across the slices,
  // must lie at one height: the axis leans towards the side where it lies lower.
  for (int pass = 0; pass < kAxisRefinements; ++pass) {
    const double th = std::atan2(n.c, n.r);
    const Vec across{-std::sin(th), std::cos(th), 0.0};
    const Vec sides[2] = {across, n.cross(across)};
    for (const Vec& d : sides) {
      double edge[2], lateral[2];
      bool found = true;
      for (int k = 0; k < 2 && found; ++k) {
        const double sign = k == 0 ? 1.0 : -1.0;
        double sw = 0, sl = 0;
        auto mine = [&](const Vec& x) { return sign * x.dot(d) > kSideGapMm; };
        const std::optional<double> e = valveEdge(beats, n, geo.mmRow, mine);
        for (const Beat& b : beats)
          if (b.w > 0 && mine(b.x) && (b.x - n * b.x.dot(n)).norm() <= kAxisRadiusMm) sw += b.w, sl += b.w * b.x.dot(d);
        found = e.has_value() && sw > 0;
        if (found) edge[k] = *e, lateral[k] = sl / sw;
      }
      if (!found || !(lateral[0] - lateral[1] > 0)) continue;
      const Vec leaned = n - d * ((edge[0] - edge[1]) / (lateral[0] - lateral[1]));
      n = leaned * (1.0 / leaned.norm());
    }
  }
  const double theta = std::atan2(n.c, n.r), beta = std::asin(std::clamp(n.z, -1.0, 1.0));
  const Vec m{-std::sin(theta), std::cos(theta), 0.0};
  const std::optional<double> edge = valveEdge(beats, n, geo.mmRow, [](const Vec&) { return true; });
  if (!edge) return refuse(PlacementStatus::NoVentricles, kNoVentricles);
  const double valve = *edge;

  // Septum: the count valley between the two ventricles. The stroke of the ventricular group,
  // away from the basal band that spans both, profiled across the axis; the valley is the
  // lowest point between its highest peak and the peak standing out most on the other side.
  Profile across(-kSupportRadiusMm, kSupportRadiusMm, geo.mmRow);
  for (size_t i : ventricles.members) {
    const Vec x = geo.at(i) - centre;
    if (x.dot(n) < valve - kBasalBandMm) across.add(x.dot(m), h.stroke.v[i]);
  }
  const std::vector<double>& f = across.bins;
  const size_t top = static_cast<size_t>(std::max_element(f.begin(), f.end()) - f.begin());
  size_t valley = top;
  double prominence = 0;
  for (size_t b = 0; b < f.size(); ++b) {
    if (b == top) continue;
    // Lowest point between b and the highest peak; b's height above it is its prominence.
    const size_t lo = std::min(b, top), hi = std::max(b, top);
    const size_t low = static_cast<size_t>(std::min_element(f.begin() + lo, f.begin() + hi + 1) - f.begin());
    if (f[b] - f[low] > prominence) prominence = f[b] - f[low], valley = low;
  }
  if (!(prominence > kMinValleyDepth * f[top])) return refuse(PlacementStatus::NoVentricles, kNoVentricles);
  const double septum = across.at(valley);

  // The crux (valve plane meets septum) in the middle of the square; the square frames the
  // ventricles with a margin, as the default square frames a heart of usual size.
  const Vec crux = centre + n * valve + m * septum;
  const Vec inPlane = Vec{n.r, n.c, 0.0} * (1.0 / std::hypot(n.r, n.c));
  double reach = 0;
  for (size_t i : ventricles.members) {
    const Vec x = geo.at(i) - crux;
    reach = std::max({reach, std::fabs(x.dot(inPlane)), std::fabs(x.dot(m))});
  }
  Placement& pl = out.placement;
  pl.recad_t = std::clamp(2 * static_cast<int>(std::ceil((reach + kMarginMm) / geo.mmRow)), kMinSide, kMatrix);
  const int half = pl.recad_t / 2;
  pl.recad_x = std::clamp(static_cast<int>(std::lround(crux.r / geo.mmRow)), half, kMatrix - half);
  pl.recad_y = std::clamp(static_cast<int>(std::lround(crux.c / geo.mmRow)), half, kMatrix - half);
  pl.rotation = static_cast<float>(-theta);
  pl.valves_angle = static_cast<float>(std::clamp(-beta / kRadPerValveDegree, -kMaxValveAngle, kMaxValveAngle));

  // Where the two planes land once the square is resampled (outMm per voxel) and the tilt turns
  // about row 32 of slice NCZ / 2.
  const double outMm = geo.mmRow * pl.recad_t / kMatrix;
  const Vec pivot{pl.recad_x * geo.mmRow, pl.recad_y * geo.mmRow, (s.NCZ / 2) * geo.mmSlice};
  pl.septum_plano = static_cast<int>(std::lround(kMatrix / 2 + (crux - pivot).dot(m) / outMm));
  pl.valves_plano_ = static_cast<int>(std::lround(kMatrix / 2 + (crux - pivot).dot(n) / outMm));
  if (pl.septum_plano < kLineMin || pl.septum_plano > kLineMax || pl.valves_plano_ < kLineMin ||
      pl.valves_plano_ > kLineMax)
    return refuse(PlacementStatus::NoVentricles, kNoVentricles);
  if (trace) {
    trace->axis[0] = n.r, trace->axis[1] = n.c, trace->axis[2] = n.z;
    trace->crux[0] = crux.r / geo.mmRow, trace->crux[1] = crux.c / geo.mmRow, trace->crux[2] = crux.z / geo.mmSlice;
    trace->reachMm = reach;
  }
  out.status = PlacementStatus::Proposed;
  return out;
}

}  // namespace quorvel
