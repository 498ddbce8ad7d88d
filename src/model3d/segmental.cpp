#include "model3d/segmental.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "model3d/vec3.h"
#include "segmentation/volume_curves.h"

namespace quorvel {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kDegPerRad = 180.0f / kPi;
constexpr int kSegmentCurveSamples = 512;  // samples of a segment's Fourier series over the cycle
constexpr int kMaxSegmentHarmonic = 3;
constexpr float kPhasePercentile = 0.99f;  // amplitude reference of the phase mask
constexpr float kCentralShare = 0.95f;     // of the phase bandwidth
constexpr double kTipShare = 0.01;         // share of the end-diastolic volume beyond the apex

float wrap360(float deg) {
  float a = std::fmod(deg, 360.0f);
  return a < 0 ? a + 360.0f : a;
}
float wrap180(float deg) { return wrap360(deg + 180.0f) - 180.0f; }

// Order of the Fourier series a segment's curve is read with: low enough to be smooth on 8 instants.
int segmentHarmonics(int Ninst) { return std::clamp(Ninst / 4, 1, kMaxSegmentHarmonic); }

Vec3f voxelPoint(const Study& s, size_t index) {
  const size_t inSlice = index % kSliceVoxels;
  const int z = static_cast<int>((index / kSliceVoxels) % static_cast<size_t>(s.NCZ));
  return {modelX(static_cast<int>(inSlice / kMatrix)), modelY(static_cast<int>(inSlice % kMatrix)), modelZ(s, z)};
}

// One pass over a ventricle's (1 left, 2 right) measured voxels: the sum of their values at every
// instant, and every voxel they hold at some instant of the cycle.
struct MeasuredCycle {
  std::array<double, kMaxInstants> sums{};
  std::vector<uint8_t> held;  // index within one instant
  int largestInstant = 0;     // of the largest measured volume
};

MeasuredCycle measuredCycle(const ModelInputs& in, int cls, int volume_voxels) {
  const Study& s = in.study;
  const size_t frame = static_cast<size_t>(s.NCZ) * kSliceVoxels;
  MeasuredCycle m;
  m.held.assign(frame, 0);
  for (int t = 0; t < s.Ninst; ++t) {
    double& sum = m.sums[t];
    forEachMeasuredVoxel(s, in.limits, in.seg, cls, t, volume_voxels, [&](size_t i, double v) {
      sum += v;
      m.held[i % frame] = 1;
    });
    if (sum > m.sums[m.largestInstant]) m.largestInstant = t;
  }
  return m;
}

// Loading puts a head-first patient's cranial slices first; a feet-first patient's files keep their
// order in long-axis mode, so there the cranial side lies towards the larger slices.
bool cranialSlicesAreLarger(const ModelInputs& in) {
  return in.study.IM_FORMAT == kFormatDicom && in.study.patient_orientation == 1 && in.options.short_axis == 0;
}

// Unit part of d perpendicular to unit a, or zero.
Vec3f perpendicular(Vec3f d, Vec3f a) { return normalised(d - dot(d, a) * a); }

VentricleFrame frameOf(const ModelInputs& in, const SkeletonModel& sk, int cls, int volume_voxels, int edInstant) {
  VentricleFrame f;
  f.edInstant = edInstant;
  const int t = f.edInstant;
  f.apex = get3(sk.apexX, sk.apexY, sk.apexZ, cls, t);
  f.valveCentre = get3(sk.Sx0, sk.Sy0, sk.Sz0, cls, t);
  f.length = norm(f.valveCentre - f.apex);
  if (!(f.length > 1.0f)) return f;
  f.axis = (1.0f / f.length) * (f.valveCentre - f.apex);
  // The skeleton's apex is a mean of voxels inside the cavity; depth starts at the blood pool's tip.
  std::vector<std::pair<float, double>> along;
  double total = 0;
  forEachMeasuredVoxel(in.study, in.limits, in.seg, cls, t, volume_voxels, [&](size_t i, double v) {
    along.emplace_back(dot(voxelPoint(in.study, i) - f.valveCentre, f.axis), v);
    total += v;
  });
  std::sort(along.begin(), along.end());
  double below = 0;
  for (const auto& [depth, v] : along) {
    below += v;
    if (below >= kTipShare * total) {
      if (depth < 0) f.length = -depth, f.apex = f.valveCentre - f.length * f.axis;
      break;
    }
  }
  // The septum: where the other ventricle lies around the axis, at mid depth.
  const int other = cls == kClassLeft ? kClassRight : kClassLeft;
  Vec3f sum{};
  forEachMeasuredVoxel(in.study, in.limits, in.seg, other, t, volume_voxels, [&](size_t i, double v) {
    const Vec3f d = voxelPoint(in.study, i) - f.apex;
    const float h = dot(d, f.axis) / f.length;
    if (h >= kApicalEndDepth && h < kMidEndDepth) sum = sum + static_cast<float>(v) * perpendicular(d, f.axis);
  });
  f.septalFromVoxels = norm(sum) > 0;
  // Without the other ventricle: the septum lies towards smaller columns of the left ventricle.
  const Vec3f fallback{0.0f, cls == kClassLeft ? -1.0f : 1.0f, 0.0f};
  f.septal = perpendicular(f.septalFromVoxels ? sum : fallback, f.axis);
  const Vec3f cranial{0.0f, 0.0f, cranialSlicesAreLarger(in) ? 1.0f : -1.0f};
  Vec3f anterior = cranial - dot(cranial, f.axis) * f.axis;
  anterior = perpendicular(anterior, f.septal);
  if (!(norm(anterior) > 0.5f)) {
    anterior = cross(f.axis, f.septal);
    if (dot(anterior, cranial) < 0) anterior = -1.0f * anterior;
  }
  f.anterior = anterior;
  f.valid = norm(f.septal) > 0.5f && norm(f.anterior) > 0.5f;
  return f;
}

// A voxel of a ventricle's cycle region, with its segment.
struct PlacedVoxel {
  size_t inFrame;  // index within one instant
  int z;           // slice, for the instant's slice limits
  int segment;
};

// Every voxel the ventricle's measured volume holds at some instant of the cycle, with the segment
// of the fixed frame it lies in.
std::vector<PlacedVoxel> cycleRegion(const ModelInputs& in, int cls, const std::vector<uint8_t>& held,
                                     const VentricleFrame& f) {
  const Study& s = in.study;
  std::vector<PlacedVoxel> region;
  for (size_t i = 0; i < held.size(); ++i) {
    if (!held[i]) continue;
    float h = 0, phi = 0;
    f.locate(voxelPoint(s, i), h, phi);
    region.push_back(
        {i, static_cast<int>(i / kSliceVoxels), cls == kClassLeft ? leftSegmentAt(h, phi) : rightSegmentAt(h, phi)});
  }
  return region;
}

// Counts of each segment (index 1..17) over the cycle region at instant t. A voxel another chamber
// holds at t, or outside the instant's slice limits, is left out.
std::array<double, kMaxSegments + 1> segmentCounts(const ModelInputs& in, int cls, int t,
                                                   const std::vector<PlacedVoxel>& region) {
  const size_t frame = static_cast<size_t>(in.study.NCZ) * kSliceVoxels;
  const auto& lo = cls == kClassLeft ? in.limits.limG_inf : in.limits.limD_inf;
  const auto& hi = cls == kClassLeft ? in.limits.limG_sup : in.limits.limD_sup;
  std::array<double, kMaxSegments + 1> counts{};
  for (const PlacedVoxel& p : region) {
    if (p.z < lo[t] || p.z > hi[t]) continue;
    const size_t at = t * frame + p.inFrame;
    const int holder = in.seg.CORR[in.seg.LPE[at]];
    if (holder == cls || holder == kClassBackground) counts[p.segment] += in.study.DATA[at];
  }
  return counts;
}

// The segment curves: the measured volume at every instant, shared by the segments' counts over the
// cycle region. The threshold of the measured volume drops a wall that systole thins and the blur
// dims (the apex most), while its counts stay in the region. The region also holds counts that are
// not blood (the wall's, the neighbours' spill): the measured volume is fitted over the cycle as a
// line of the region's counts, and the line's offset, that background, is taken from each segment by
// its share of the region's voxels, with the fit's residual, so the segments add up to the measured
// volume at every instant.
void shareMeasuredVolume(const ModelInputs& in, int cls, const MeasuredCycle& cycle, float normalisation,
                         const std::vector<PlacedVoxel>& region, VentricleSegments& vs) {
  const Study& s = in.study;
  const int N = s.Ninst;
  std::array<double, kMaxSegments + 1> voxelShare{};
  for (const PlacedVoxel& p : region) voxelShare[p.segment] += 1.0 / static_cast<double>(region.size());
  std::array<std::array<double, kMaxSegments + 1>, kMaxInstants> counts{};
  std::array<double, kMaxInstants> total{}, measured{};
  double meanTotal = 0, meanMeasured = 0;
  for (int t = 0; t < N; ++t) {
    counts[t] = segmentCounts(in, cls, t, region);
    for (double c : counts[t]) total[t] += c;
    measured[t] = volumeOfMeasuredSum(s, cycle.sums[t], normalisation);
    meanTotal += total[t] / N, meanMeasured += measured[t] / N;
  }
  double covariance = 0, variance = 0;
  for (int t = 0; t < N; ++t) {
    covariance += (total[t] - meanTotal) * (measured[t] - meanMeasured);
    variance += (total[t] - meanTotal) * (total[t] - meanTotal);
  }
  // A beat too weak for a slope falls back to the ratio of the means.
  double slope = variance > 0 ? covariance / variance : 0.0;
  if (!(slope > 0)) slope = meanTotal > 0 ? meanMeasured / meanTotal : 0.0;
  for (int t = 0; t < N; ++t) {
    const double rest = measured[t] - slope * total[t];
    for (int k = 1; k <= vs.count; ++k)
      vs.segments[k].ml[t] = static_cast<float>(slope * counts[t][k] + voxelShare[k] * rest);
  }
}

// Fourier coefficients a[k], b[k] (k = 0..H) of samples y[0..N-1] at times t = 0..N-1.
void fourierSeries(const float* y, int N, int H, std::array<double, kMaxSegmentHarmonic + 1>& a,
                   std::array<double, kMaxSegmentHarmonic + 1>& b) {
  for (int k = 0; k <= H; ++k) {
    double ca = 0, sb = 0;
    for (int t = 0; t < N; ++t) {
      const double w = 2.0 * std::numbers::pi * k * t / N;
      ca += y[t] * std::cos(w), sb += y[t] * std::sin(w);
    }
    a[k] = (k == 0 ? 1.0 : 2.0) * ca / N;
    b[k] = 2.0 * sb / N;
  }
}

}  // namespace

int leftSegmentAt(float h, float phiDeg) {
  if (h < kApexCapDepth) return 17;
  // Angle from the anterior junction, through the septum, the inferior and the lateral wall.
  const float fromJunction = wrap360(kJunctionFromSeptumDeg - phiDeg);
  if (h < kApicalEndDepth) {
    static constexpr int kApical[4] = {14, 15, 16, 13};  // quarters centred on septal, inferior, lateral, anterior
    const int q = std::min(3, static_cast<int>(wrap360(fromJunction - 15.0f) / 90.0f));
    return kApical[q];
  }
  const int first = h < kMidEndDepth ? 7 : 1;
  const int sixth = std::min(5, static_cast<int>(fromJunction / 60.0f));
  return first + (sixth + 1) % 6;
}

int rightSegmentAt(float h, float phiDeg) {
  if (h < kApexCapDepth) return 7;
  const int side = std::fabs(wrap180(phiDeg)) < 90.0f ? 0 : 1;
  const int level = h < kApicalEndDepth ? 2 : h < kMidEndDepth ? 1 : 0;
  return 1 + 2 * level + side;
}

const char* leftSegmentName(int segment) {
  static constexpr const char* kNames[kLeftSegments + 1] = {"",
                                                            "basal anterior",
                                                            "basal anteroseptal",
                                                            "basal inferoseptal",
                                                            "basal inferior",
                                                            "basal inferolateral",
                                                            "basal anterolateral",
                                                            "mid anterior",
                                                            "mid anteroseptal",
                                                            "mid inferoseptal",
                                                            "mid inferior",
                                                            "mid inferolateral",
                                                            "mid anterolateral",
                                                            "apical anterior",
                                                            "apical septal",
                                                            "apical inferior",
                                                            "apical lateral",
                                                            "apex"};
  return segment >= 1 && segment <= kLeftSegments ? kNames[segment] : "";
}

const char* rightSegmentName(int segment) {
  static constexpr const char* kNames[kRightSegments + 1] = {
      "",    "basal septal", "basal free wall", "mid septal", "mid free wall", "apical septal", "apical free wall",
      "apex"};
  return segment >= 1 && segment <= kRightSegments ? kNames[segment] : "";
}

void VentricleFrame::locate(Vec3f p, float& h, float& phiDeg) const {
  const Vec3f d = p - apex;
  const float along = dot(d, axis);
  h = along / length;
  const Vec3f r = d - along * axis;
  phiDeg = std::atan2(dot(r, anterior), dot(r, septal)) * kDegPerRad;
}

void describeSegmentCurve(SegmentResult& r, int Ninst, int ed, float cycleMs) {
  r = SegmentResult{.ml = r.ml};
  const int H = segmentHarmonics(Ninst);
  std::array<double, kMaxSegmentHarmonic + 1> a{}, b{};
  fourierSeries(r.ml.data(), Ninst, H, a, b);
  auto value = [&](double t) {
    double y = a[0];
    for (int k = 1; k <= H; ++k) {
      const double w = 2.0 * std::numbers::pi * k * t / Ninst;
      y += a[k] * std::cos(w) + b[k] * std::sin(w);
    }
    return y;
  };
  auto slope = [&](double t) {  // ml per instant
    double y = 0;
    for (int k = 1; k <= H; ++k) {
      const double c = 2.0 * std::numbers::pi * k / Ninst, w = c * t;
      y += c * (b[k] * std::cos(w) - a[k] * std::sin(w));
    }
    return y;
  };
  const double edv = value(ed);
  if (!(edv > 0)) return;
  const double step = static_cast<double>(Ninst) / kSegmentCurveSamples;
  int lowest = 0;
  double low = value(0);
  for (int k = 1; k < kSegmentCurveSamples; ++k)
    if (const double y = value(k * step); y < low) low = y, lowest = k;
  // Parabola through the lowest sample and its neighbours for a time between samples.
  const double ym = value((lowest - 1) * step), yp = value((lowest + 1) * step);
  const double curvature = ym - 2 * low + yp;
  const double shift = curvature > 0 ? std::clamp(0.5 * (ym - yp) / curvature, -0.5, 0.5) : 0.0;
  const double tMin = (lowest + shift) * step;
  const double esv = std::min(value(tMin), low);
  double ejection = 0, filling = 0;
  for (int k = 0; k < kSegmentCurveSamples; ++k) {
    const double t = k * step;
    const double y = slope(t);
    // Ejection from end-diastole to the minimum, filling after it (times counted from end-diastole).
    const double sinceEd = std::fmod(t - ed + Ninst, static_cast<double>(Ninst));
    const double minSinceEd = std::fmod(tMin - ed + Ninst, static_cast<double>(Ninst));
    if (sinceEd <= minSinceEd)
      ejection = std::max(ejection, -y);
    else
      filling = std::max(filling, y);
  }
  const double perSecond = cycleMs > 0 ? 1000.0 * Ninst / cycleMs : 0.0;
  r.edvMl = static_cast<float>(edv);
  r.esvMl = static_cast<float>(esv);
  r.ef = static_cast<float>(100.0 * (edv - esv) / edv);
  r.timeToMinPct = static_cast<float>(100.0 * tMin / Ninst);
  r.timeToMinMs = static_cast<float>(tMin / Ninst * cycleMs);
  r.peakEjectionRate = static_cast<float>(ejection * perSecond / edv);
  r.peakFillingRate = static_cast<float>(filling * perSecond / edv);
}

PhaseIndices phaseIndices(const std::vector<float>& phaseDeg, const std::vector<float>& amplitude) {
  PhaseIndices p;
  const size_t n = std::min(phaseDeg.size(), amplitude.size());
  if (n == 0) return p;
  double c = 0, s = 0, wc = 0, ws = 0, wsum = 0;
  for (size_t k = 0; k < n; ++k) {
    const double r = phaseDeg[k] / kDegPerRad;
    c += std::cos(r), s += std::sin(r);
    wc += amplitude[k] * std::cos(r), ws += amplitude[k] * std::sin(r), wsum += amplitude[k];
  }
  p.voxels = static_cast<int>(n);
  p.meanDeg = wrap360(static_cast<float>(std::atan2(s, c)) * kDegPerRad);
  p.synchrony = wsum > 0 ? static_cast<float>(std::hypot(wc, ws) / wsum) : 0.0f;
  std::vector<float> d(n);
  double m1 = 0, m2 = 0;
  for (size_t k = 0; k < n; ++k) {
    d[k] = wrap180(phaseDeg[k] - p.meanDeg);
    m1 += d[k], m2 += static_cast<double>(d[k]) * d[k];
    p.histogram[std::min(kPhaseBins - 1, static_cast<int>(wrap360(phaseDeg[k])))] += 1.0f / n;
  }
  m1 /= n, m2 /= n;
  p.sdDeg = static_cast<float>(std::sqrt(std::max(0.0, m2 - m1 * m1)));
  std::sort(d.begin(), d.end());
  const float tail = (1.0f - kCentralShare) / 2;
  auto quantile = [&](float q) { return d[std::min(n - 1, static_cast<size_t>(q * (n - 1) + 0.5f))]; };
  p.bandwidthDeg = quantile(1.0f - tail) - quantile(tail);
  double entropy = 0;
  for (float share : p.histogram)
    if (share > 0) entropy -= share * std::log(share);
  p.entropyPct = static_cast<float>(100.0 * entropy / std::log(static_cast<double>(kPhaseBins)));
  return p;
}

namespace {

// Amplitude and phase (degrees, time of the minimum) of the first harmonic of N values over the cycle.
void firstHarmonic(const float* y, int N, float& amplitude, float& phaseDeg) {
  std::array<double, kMaxSegmentHarmonic + 1> a{}, b{};
  fourierSeries(y, N, 1, a, b);
  amplitude = static_cast<float>(std::hypot(a[1], b[1]));
  phaseDeg = wrap360(static_cast<float>(std::atan2(b[1], a[1])) * kDegPerRad + 180.0f);
}

PhaseIndices maskedPhaseIndices(const std::vector<float>& phase, const std::vector<float>& amplitude);

// Phase indices of the counts of every voxel the ventricle holds at end-diastole, amplitude-masked.
PhaseIndices ventriclePhase(const ModelInputs& in, int cls, int ed, int volume_voxels) {
  const Study& s = in.study;
  const int N = s.Ninst;
  const size_t frame = static_cast<size_t>(s.NCZ) * kSliceVoxels;
  std::vector<float> phase, amplitude, values(N);
  forEachMeasuredVoxel(s, in.limits, in.seg, cls, ed, volume_voxels, [&](size_t i, double) {
    const size_t at = i % frame;
    for (int t = 0; t < N; ++t) values[t] = s.DATA[t * frame + at];
    float amp = 0, deg = 0;
    firstHarmonic(values.data(), N, amp, deg);
    amplitude.push_back(amp), phase.push_back(deg);
  });
  return maskedPhaseIndices(phase, amplitude);
}

// Phase indices of the values whose amplitude reaches the mask's share of the 99th percentile.
PhaseIndices maskedPhaseIndices(const std::vector<float>& phase, const std::vector<float>& amplitude) {
  if (amplitude.empty()) return {};
  std::vector<float> sorted = amplitude;
  const size_t rank = static_cast<size_t>(kPhasePercentile * (sorted.size() - 1));
  std::nth_element(sorted.begin(), sorted.begin() + rank, sorted.end());
  if (!(sorted[rank] > 0)) return {};  // nothing beats: no phase to read
  const float floor = kPhaseAmplitudeShare * sorted[rank];
  std::vector<float> keptPhase, keptAmplitude;
  for (size_t k = 0; k < amplitude.size(); ++k)
    if (amplitude[k] >= floor) keptPhase.push_back(phase[k]), keptAmplitude.push_back(amplitude[k]);
  return phaseIndices(keptPhase, keptAmplitude);
}

// SD of the segments' times to minimum (per cent of the cycle), about their circular mean.
float timeSpreadPct(const VentricleSegments& v, int first, int last) {
  double c = 0, s = 0;
  int n = 0;
  for (int k = first; k <= last; ++k) {
    if (!(v.segments[k].edvMl > 0)) continue;  // an empty segment has no time
    ++n;
    const double r = 2.0 * std::numbers::pi * v.segments[k].timeToMinPct / 100.0;
    c += std::cos(r), s += std::sin(r);
  }
  if (n == 0) return 0.0f;
  const float mean = static_cast<float>(std::atan2(s, c) / (2.0 * std::numbers::pi) * 100.0);
  double m1 = 0, m2 = 0;
  for (int k = first; k <= last; ++k) {
    if (!(v.segments[k].edvMl > 0)) continue;
    const double d = wrap180((v.segments[k].timeToMinPct - mean) * 3.6f) / 3.6f;
    m1 += d, m2 += d * d;
  }
  m1 /= n, m2 /= n;
  return static_cast<float>(std::sqrt(std::max(0.0, m2 - m1 * m1)));
}

}  // namespace

SegmentalAnalysis analyseSegments(const ModelInputs& in, const SkeletonModel& skel, int volume_voxels) {
  SegmentalAnalysis out;
  const Study& s = in.study;
  if (in.seg.LPE.size() != s.DATA.size() || s.Ninst < 2) return out;
  const std::array<float, 2> norm = volumeNormalisation(s, in.seg, in.options, volume_voxels);
  const float cycleMs = s.CYCLE * s.Ninst;
  out.valid = true;
  out.Ninst = s.Ninst;
  for (int v = 0; v < 2; ++v) {
    const int cls = v == 0 ? kClassLeft : kClassRight;
    VentricleSegments& vs = out.ventricles[v];
    vs.count = v == 0 ? kLeftSegments : kRightSegments;
    const MeasuredCycle cycle = measuredCycle(in, cls, volume_voxels);
    vs.frame = frameOf(in, skel, cls, volume_voxels, cycle.largestInstant);
    const double perUnit = millilitresPerUnit(s, norm[v]);
    if (!vs.frame.valid || !(perUnit > 0)) {
      out.valid = false;
      continue;
    }
    shareMeasuredVolume(in, cls, cycle, norm[v], cycleRegion(in, cls, cycle.held, vs.frame), vs);
    for (int k = 1; k <= vs.count; ++k) describeSegmentCurve(vs.segments[k], s.Ninst, vs.frame.edInstant, cycleMs);
    // The apex is left out of the spread, as the wall segments around it are
    // what can be late.
    vs.dyssynchronyPct = timeSpreadPct(vs, 1, vs.count - 1);
    vs.dyssynchronyMs = vs.dyssynchronyPct / 100.0f * cycleMs;
    vs.phase = ventriclePhase(in, cls, vs.frame.edInstant, volume_voxels);
  }
  const PhaseIndices &left = out.ventricles[0].phase, &right = out.ventricles[1].phase;
  if (left.voxels > 0 && right.voxels > 0) out.phaseDelayMs = wrap180(left.meanDeg - right.meanDeg) / 360.0f * cycleMs;
  return out;
}

SegmentalAnalysis analyseSegments(const ModelInputs& in, const Model3D& m, int volume_voxels) {
  SegmentalAnalysis out = analyseSegments(in, m.skel, volume_voxels);
  const MeshModel& mesh = m.mesh;
  const int N = in.study.Ninst;
  // An exam's model is current without a meshing run: its regional curves come from the file.
  if (!out.valid || mesh.mesh_samA <= 0 || mesh.MESH_ACT.size() < MeshModel::node(1, N - 1, kMeshSize - 1, kMeshSize))
    return out;
  for (int v = 0; v < 2; ++v) {
    std::vector<float> values(N);
    std::vector<float> phase, amplitude;
    for (int a = 0; a < mesh.mesh_samA; ++a)
      for (int r = 0; r < mesh.mesh_samR; ++r) {
        for (int t = 0; t < N; ++t) values[t] = mesh.MESH_ACT[MeshModel::node(v, t, a, r)];
        float amp = 0, deg = 0;
        firstHarmonic(values.data(), N, amp, deg);
        amplitude.push_back(amp), phase.push_back(deg);
      }
    out.ventricles[v].nodePhase = maskedPhaseIndices(phase, amplitude);
  }
  return out;
}

}  // namespace quorvel
