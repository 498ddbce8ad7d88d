#include "phantom/phantom.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <utility>

#include "model3d/segmental.h"

namespace quorvel::phantom {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFwhmPerSigma = 2.3548200450309493;  // 2 sqrt(2 ln 2)
constexpr double kMm3PerMl = 1000.0;
constexpr double kGaussianReachSigmas = 3.5;
constexpr int kCurveCheckSamples = 400;
constexpr double kNoiseReferenceVoxelMm = 6.8;  // the 64-matrix default voxel keeps its own Poisson deviation
constexpr double kMaxShiftMm = 500.0;

// Fixed placement of the non-ventricular structures in the heart frame (mm).
constexpr double kAtriumFlatten = 0.8;      // atria are flatter along the slices
constexpr double kVesselStartMm = 8.0;      // great vessels and outflow tract end this far beyond the valve plane
constexpr double kFaultEdge = 0.1;          // width of the wall fault's edge on the bull's-eye
constexpr double kRvApexCapShare = 0.1;     // the right ventricle's apex segment, from its tip
constexpr double kRvEndSlabMm = 5.0;        // slab of the crescent's tip and valve plane whose centroids set its axis
constexpr double kRvTipShare = 0.01;        // share of the right ventricle's blood beyond its apex
constexpr double kCapAxialShare = 0.2;      // apical share of the long axis on the inner quarter of the bull's-eye
constexpr double kLaW = 10.0;               // left atrium lies posterior (towards larger slices)
constexpr double kRaV = -25.0, kRaW = 0.0;  // right atrium over the right ventricle
constexpr double kOutflowV = -12.0, kOutflowW = -42.0, kOutflowU0 = -30.0;  // anterior, basal
constexpr double kPulmonaryU1 = 60.0;
constexpr double kAortaV = 8.0, kAortaW = -22.0, kAortaU1 = 90.0;
struct EllipsoidSpec {
  double u, v, w, ru, rv, rw;
};
constexpr EllipsoidSpec kLiverShape{-50.0, -85.0, 75.0, 80.0, 65.0, 45.0};
constexpr EllipsoidSpec kSpleenShape{-40.0, 95.0, 65.0, 45.0, 30.0, 30.0};
constexpr EllipsoidSpec kThoraxShape{0.0, 0.0, 0.0, 130.0, 150.0, 110.0};

struct Vec3 {
  double u, v, w;
};

// Volume factor of an ellipsoid of unit semi-major axis cut at tau semi-axes beyond its centre.
double capFactor(double tau) {
  tau = std::clamp(tau, -1.0, 1.0);
  return tau + 2.0 / 3.0 - tau * tau * tau / 3.0;
}

// Shapes of one instant, in the heart frame.
struct Geometry {
  double ub = 0;                 // valve plane
  double uc = 0, a = 0, b = 0;   // left-ventricular ellipsoid
  double vL = 0;                 // long axis (column offset)
  double ain = 0, bin = 0;       // dilated left ventricle the crescent wraps around
  double aout = 0, rvv = 0, rvw = 0;  // crescent's outer ellipsoid
  EllipsoidSpec la{}, ra{};
  // Wall fault: the shape the faulty region follows at this instant, scaled by its motion from
  // the end-diastolic shape.
  bool fault = false;
  double fuc = 0, fa = 0, fb = 0;
  double motion = 1;
  double educ = 0, eda = 0, edb = 0;
  // Right free-wall fault: the crescent's end-diastolic reach, from which the band moves by rvMotion.
  bool rvFault = false;
  double rvvEd = 0, rvMotion = 1;
  double rvReachMax() const { return rvFault ? std::max(rvv, rvvEd + std::fabs(rvMotion * (rvv - rvvEd))) : rvv; }
};

double faultMotion(WallFault k) {
  return k == WallFault::Hypokinetic ? kHypokineticMotion : k == WallFault::Dyskinetic ? kDyskineticMotion : 1.0;
}

// Share of the normal excursion a right free-wall band makes.
double rvFaultMotion(WallFault k) { return k == WallFault::Akinetic ? 0.0 : faultMotion(k); }

double lvSemiMinor(double volumeMl, double a, double tau) {
  return std::sqrt(volumeMl * kMm3PerMl / (kPi * a * capFactor(tau)));
}

// Area of the unit disc beyond distance t from its centre.
double discSegment(double t) {
  if (t >= 1.0) return 0.0;
  t = std::max(t, -1.0);
  return std::acos(t) - t * std::sqrt(1.0 - t * t);
}

// Volume of the crescent (outer ellipsoid minus the dilated LV, below the valve plane, on the
// septum-plane side v <= 0) and its derivative in the septal reach rvv. Each cross-section
// normal to the long axis is an ellipse minus a circle inside it, both cut by the same line,
// so only the long axis needs quadrature; the step is far below a voxel.
constexpr int kCrescentQuadrature = 3000;

std::pair<double, double> crescentVolume(const Geometry& g, double rvv) {
  const double u0 = g.uc - g.aout, h = (g.ub - u0) / kCrescentQuadrature;
  double vol = 0, dvol = 0;
  for (int i = 0; i < kCrescentQuadrature; ++i) {
    const double du = u0 + (i + 0.5) * h - g.uc;
    const double so = std::sqrt(std::max(0.0, 1.0 - (du / g.aout) * (du / g.aout)));
    const double p = rvv * so, q = g.rvw * so;
    if (p > g.vL) {
      const double t = g.vL / p;
      vol += p * q * discSegment(t);
      dvol += so * q * (std::acos(t) + t * std::sqrt(1.0 - t * t));
    }
    const double r = g.bin * std::sqrt(std::max(0.0, 1.0 - (du / g.ain) * (du / g.ain)));
    if (r > g.vL) vol -= r * r * discSegment(g.vL / r);
  }
  return {vol * h, dvol * h};
}

// Septal reach giving the crescent volumeMm3; below bin (rejected by validate) when even the
// thinnest crescent that still wraps the LV holds more.
double solveCrescentReach(const Geometry& g, double volumeMm3) {
  const double vMin = crescentVolume(g, g.bin).first;
  if (vMin >= volumeMm3) return g.bin * volumeMm3 / vMin;
  double lo = g.bin, hi = 2.0 * g.bin;
  while (crescentVolume(g, hi).first < volumeMm3) lo = hi, hi *= 2.0;
  double x = 0.5 * (lo + hi);
  for (int it = 0; it < 100 && hi - lo > 1e-9 * hi; ++it) {
    const auto [v, dv] = crescentVolume(g, x);
    if (v < volumeMm3) lo = x; else hi = x;
    // Newton inside the bracket, halving when it would leave it.
    const double next = dv > 0 ? x - (v - volumeMm3) / dv : lo - 1.0;
    x = (next > lo && next < hi) ? next : 0.5 * (lo + hi);
    if (std::fabs(v - volumeMm3) < 1e-9 * volumeMm3) break;
  }
  return x;
}

// Left-ventricular ellipsoid at a phase: valve plane, centre and semi-axes; the apex stays put.
struct LvShape {
  double ub, uc, a, b;
};
LvShape lvShapeAt(const PhantomParams& p, double phase) {
  const AnatomyParams& an = p.anatomy;
  const VolumeCurve lv(p.lv);
  const double tau = an.lv_truncation;
  const double vLv = lv.volume(phase);
  LvShape s{};
  s.ub = -an.base_descent_mm * (lv.edv() - vLv) / lv.strokeVolume();
  s.a = (an.lv_length_mm + s.ub) / (1.0 + tau);
  s.uc = s.ub - tau * s.a;
  s.b = lvSemiMinor(vLv, s.a, tau);
  return s;
}

// Phase the late region shows at phase: its systole stretched to end delay later.
double latePhase(const PhantomParams& p, double phase) {
  const double es = p.lv.es_phase_pct / 100.0, d = p.lv_fault.delay_pct / 100.0;
  return phase <= es + d ? phase * es / (es + d) : es + (phase - es - d) * (1.0 - es) / (1.0 - es - d);
}

Geometry geometryAt(const PhantomParams& p, double phase) {
  const AnatomyParams& an = p.anatomy;
  const VolumeCurve lv(p.lv), rv(p.rv);
  const double tau = an.lv_truncation;
  Geometry g;
  const double aEd = an.lv_length_mm / (1.0 + tau);
  g.vL = lvSemiMinor(p.lv.edv_ml, aEd, tau) + an.septum_mm / 2.0;

  const double vLv = lv.volume(phase);
  const LvShape now = lvShapeAt(p, phase);
  g.ub = now.ub, g.a = now.a, g.uc = now.uc, g.b = now.b;
  if (p.lv_fault.kind != WallFault::None) {
    const WallFault k = p.lv_fault.kind;
    const LvShape f = lvShapeAt(p, k == WallFault::Akinetic ? 0.0 : k == WallFault::Late ? latePhase(p, phase) : phase);
    const LvShape ed = lvShapeAt(p, 0.0);
    g.fault = true, g.fuc = f.uc, g.fa = f.a, g.fb = f.b, g.motion = faultMotion(k);
    g.educ = ed.uc, g.eda = ed.a, g.edb = ed.b;
  }

  g.ain = g.a + an.septum_mm;
  g.bin = g.b + an.septum_mm;
  g.aout = g.ain + an.rv_apex_extra_mm;
  g.rvw = g.bin + an.rv_junction_mm;
  g.rvv = solveCrescentReach(g, rv.volume(phase) * kMm3PerMl);
  if (p.rv_fault.kind != WallFault::None) {
    PhantomParams healthy = p;
    healthy.rv_fault.kind = WallFault::None;
    g.rvFault = true, g.rvvEd = geometryAt(healthy, 0.0).rvv, g.rvMotion = rvFaultMotion(p.rv_fault.kind);
  }
  // The atria follow the valve plane over the cycle, gap mm beyond it.
  auto atrium = [&](double volumeMl, double v, double w) {
    const double r = std::cbrt(3.0 * volumeMl * kMm3PerMl / (4.0 * kPi * kAtriumFlatten));
    return EllipsoidSpec{g.ub + an.atrial_gap_mm + r, v, w, r, r, r * kAtriumFlatten};
  };
  g.la = atrium(an.la_min_ml + an.atrial_share * (lv.edv() - vLv), g.vL, kLaW);
  g.ra = atrium(an.ra_min_ml + an.atrial_share * (rv.edv() - rv.volume(phase)), kRaV, kRaW);
  return g;
}

bool inEllipsoid(const EllipsoidSpec& e, const Vec3& h) {
  const double du = (h.u - e.u) / e.ru, dv = (h.v - e.v) / e.rv, dw = (h.w - e.w) / e.rw;
  return du * du + dv * dv + dw * dw <= 1.0;
}

bool inCylinderU(const Vec3& h, double v, double w, double r, double u0, double u1) {
  const double dv = h.v - v, dw = h.w - w;
  return h.u >= u0 && h.u <= u1 && dv * dv + dw * dw <= r * r;
}

// Radius of an ellipsoid (centre uc, semi-axes a, b) across its axis at height u; 0 beyond it.
double crossRadius(double u, double uc, double a, double b) {
  const double du = (u - uc) / a;
  return b * std::sqrt(std::max(0.0, 1.0 - du * du));
}

bool contains(int s, const Geometry& g, const PhantomParams& p, const Vec3& h) {
  const AnatomyParams& an = p.anatomy;
  switch (s) {
    case kLV: {
      if (h.u > g.ub) return false;
      const double du = (h.u - g.uc) / g.a, dv = h.v - g.vL;
      if (g.fault) {
        // The faulty region's wall follows its own shape; the rest of the wall the healthy one.
        const double f = wallFaultWeight(p, h.u, h.v, h.w);
        if (f > 0) {
          const double rEd = crossRadius(h.u, g.educ, g.eda, g.edb);
          const double rFault = rEd + g.motion * (crossRadius(h.u, g.fuc, g.fa, g.fb) - rEd);
          const double r = (1 - f) * crossRadius(h.u, g.uc, g.a, g.b) + f * std::max(0.0, rFault);
          return r > 0 && dv * dv + h.w * h.w <= r * r;
        }
      }
      return du * du + (dv * dv + h.w * h.w) / (g.b * g.b) <= 1.0;
    }
    case kRV: {
      // Cut at the septal mid-plane so that no crescent lies on the LV side of the septum.
      if (h.u > g.ub || h.v > 0.0) return false;
      double reach = g.rvv;
      if (g.rvFault) {
        // The faulty band's free wall keeps its end-diastolic reach, moved by its share of the motion.
        const double f = rvFreeWallFaultWeight(p, h.u);
        reach = (1 - f) * g.rvv + f * std::max(0.0, g.rvvEd + g.rvMotion * (g.rvv - g.rvvEd));
      }
      const double du = (h.u - g.uc) / g.aout, dv = (h.v - g.vL) / reach, dw = h.w / g.rvw;
      if (du * du + dv * dv + dw * dw > 1.0) return false;
      const double iu = (h.u - g.uc) / g.ain, iv = h.v - g.vL;
      return iu * iu + (iv * iv + h.w * h.w) / (g.bin * g.bin) > 1.0;
    }
    case kLA: return inEllipsoid(g.la, h);
    case kRA: return inEllipsoid(g.ra, h);
    case kRVOutflow: return inCylinderU(h, kOutflowV, kOutflowW, an.outflow_radius_mm, kOutflowU0, kVesselStartMm);
    case kAorta: return inCylinderU(h, kAortaV, kAortaW, an.aorta_radius_mm, kVesselStartMm, kAortaU1);
    case kPulmonaryTrunk:
      return inCylinderU(h, kOutflowV, kOutflowW, an.pulmonary_radius_mm, kVesselStartMm, kPulmonaryU1);
    case kLiver: return inEllipsoid(kLiverShape, h);
    case kSpleen: return inEllipsoid(kSpleenShape, h);
    case kLungBackground: return inEllipsoid(kThoraxShape, h);
    default: return false;
  }
}

// Convex structures may be filled whole when every corner of a voxel lies inside.
bool isConvex(int s, const Geometry& g) { return s != kRV && !(s == kLV && g.fault); }

double bloodFraction(int s, const AnatomyParams& an) {
  switch (s) {
    case kLiver: return an.liver_blood_fraction;
    case kSpleen: return an.spleen_blood_fraction;
    case kLungBackground: return an.lung_blood_fraction;
    default: return 1.0;
  }
}

struct Box {
  Vec3 lo, hi;
};

Box heartBox(int s, const Geometry& g, const AnatomyParams& an) {
  auto ell = [](const EllipsoidSpec& e) {
    return Box{{e.u - e.ru, e.v - e.rv, e.w - e.rw}, {e.u + e.ru, e.v + e.rv, e.w + e.rw}};
  };
  auto cyl = [](double v, double w, double r, double u0, double u1) { return Box{{u0, v - r, w - r}, {u1, v + r, w + r}}; };
  switch (s) {
    case kLV: {
      // A dyskinetic wall bulges beyond its end-diastolic radius by its motion times the stroke's.
      const double r = g.fault ? std::max({g.b, g.fb, g.edb * (1 + std::fabs(g.motion))}) : g.b;
      return {{g.uc - g.a, g.vL - r, -r}, {g.ub, g.vL + r, r}};
    }
    case kRV: return {{g.uc - g.aout, g.vL - g.rvReachMax(), -g.rvw}, {g.ub, 0.0, g.rvw}};
    case kLA: return ell(g.la);
    case kRA: return ell(g.ra);
    case kRVOutflow: return cyl(kOutflowV, kOutflowW, an.outflow_radius_mm, kOutflowU0, kVesselStartMm);
    case kAorta: return cyl(kAortaV, kAortaW, an.aorta_radius_mm, kVesselStartMm, kAortaU1);
    case kPulmonaryTrunk: return cyl(kOutflowV, kOutflowW, an.pulmonary_radius_mm, kVesselStartMm, kPulmonaryU1);
    case kLiver: return ell(kLiverShape);
    case kSpleen: return ell(kSpleenShape);
    default: return ell(kThoraxShape);
  }
}

// Working pose: position (row, column, slice offsets in mm) = S(R(rotation) T(tilt) heart point) + shift,
// where S negates the slice offset when the scene is mirrored.
struct Pose {
  double m[3][3];  // heart (u, v, w) -> (row, column, slice) millimetres
  double shift[3];

  explicit Pose(const PhantomParams& p) : shift{p.shift_row_mm, p.shift_column_mm, p.shift_slice_mm} {
    const double th = p.rotation_deg * kPi / 180.0, be = p.tilt_deg * kPi / 180.0;
    const double ct = std::cos(th), st = std::sin(th), cb = std::cos(be), sb = std::sin(be);
    // T: (r, c, z) -> (r cb - z sb, c, r sb + z cb); R: (r, c) -> (r ct - c st, r st + c ct).
    const double t[3][3] = {{cb, 0, -sb}, {0, 1, 0}, {sb, 0, cb}};
    const double r[3][3] = {{ct, -st, 0}, {st, ct, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        m[i][j] = 0;
        for (int k = 0; k < 3; ++k) m[i][j] += r[i][k] * t[k][j];
      }
    if (p.mirror_slices)
      for (double& v : m[2]) v = -v;
  }
  std::array<double, 3> toWorking(const Vec3& h) const {
    return {m[0][0] * h.u + m[0][1] * h.v + m[0][2] * h.w + shift[0],
            m[1][0] * h.u + m[1][1] * h.v + m[1][2] * h.w + shift[1],
            m[2][0] * h.u + m[2][1] * h.v + m[2][2] * h.w + shift[2]};
  }
  Vec3 toHeart(double r, double c, double z) const {  // rows orthonormal: inverse is the transpose
    r -= shift[0], c -= shift[1], z -= shift[2];
    return {m[0][0] * r + m[1][0] * c + m[2][0] * z, m[0][1] * r + m[1][1] * c + m[2][1] * z,
            m[0][2] * r + m[1][2] * c + m[2][2] * z};
  }
};

struct VoxelBox {
  int lo[3], hi[3];  // slice, row, column; inclusive
};

}  // namespace

const char* structureName(int s) {
  static constexpr const char* kNames[kStructureCount] = {
      "left_ventricle", "right_ventricle", "left_atrium", "right_atrium", "rv_outflow_tract",
      "aorta",          "pulmonary_trunk", "liver",       "spleen",       "lung_background"};
  return (s >= 0 && s < kStructureCount) ? kNames[s] : "unknown";
}

namespace {
// Position on the bull's-eye disc (x along the slice axis, y along the columns) of the centre of a
// sector of the 17-sector layout.
std::array<double, 2> sectorCentre17(int sector) {
  if (sector <= 1) return {0.0, 0.0};
  const bool apical = sector <= 5;
  const int k = apical ? sector - 2 : (sector - 6) % 6;
  const double rho = apical ? 0.375 : sector <= 11 ? 0.625 : 0.875;
  const double angle = apical ? k * kPi / 2 : k * kPi / 3;
  return {rho * std::cos(angle), rho * std::sin(angle)};
}

double faultWeightOnDisc(const WallFaultParams& f, double x, double y) {
  if (f.kind == WallFault::None) return 0.0;
  const auto c = sectorCentre17(f.sector);
  const double d = std::hypot(x - c[0], y - c[1]), inner = f.size - kFaultEdge / 2;
  if (d <= inner) return 1.0;
  if (d >= f.size + kFaultEdge / 2) return 0.0;
  return 0.5 * (1.0 + std::cos(kPi * (d - inner) / kFaultEdge));
}
}  // namespace

double wallFaultWeight(const PhantomParams& p, double u, double v, double w) {
  if (p.lv_fault.kind == WallFault::None) return 0.0;
  // Long-axis share from the apex (which stays put) to the end-diastolic valve plane.
  const double L = p.anatomy.lv_length_mm;
  const double x = std::clamp((u + L) / L, 0.0, 1.0);
  const double f = x <= kCapAxialShare ? 0.25 * x / kCapAxialShare
                                       : 0.25 + 0.75 * (x - kCapAxialShare) / (1.0 - kCapAxialShare);
  const double tau = p.anatomy.lv_truncation;
  const double vL = lvSemiMinor(p.lv.edv_ml, L / (1.0 + tau), tau) + p.anatomy.septum_mm / 2.0;
  const double theta = std::atan2(v - vL, w);
  return faultWeightOnDisc(p.lv_fault, f * std::cos(theta), f * std::sin(theta));
}

double rvFreeWallFaultWeight(const PhantomParams& p, double u) {
  const RvWallFaultParams& f = p.rv_fault;
  if (f.kind == WallFault::None) return 0.0;
  // Height share from the crescent's tip (it stays put with the left apex) to the valve plane.
  const double tip = -(p.anatomy.lv_length_mm + p.anatomy.septum_mm + p.anatomy.rv_apex_extra_mm);
  const double x = (u - tip) / -tip;
  const double centre = f.segment == 2 ? 5.0 / 6 : f.segment == 4 ? 0.5 : (kRvApexCapShare + 1.0 / 3) / 2;
  const double d = std::fabs(x - centre), inner = f.size / 2 - kFaultEdge / 2;
  if (d <= inner) return 1.0;
  if (d >= f.size / 2 + kFaultEdge / 2) return 0.0;
  return 0.5 * (1.0 + std::cos(kPi * (d - inner) / kFaultEdge));
}

int bullseyeSector(double f, double theta, int layout) {
  if (f > 1.0) return 0;
  if (f <= 0.25) return 1;
  struct Ring {
    int n, first;
  };
  Ring rings[3];
  double offset = 0.5;
  switch (layout) {
    case 13: rings[0] = {4, 2}, rings[1] = {4, 6}, rings[2] = {4, 10}; break;
    case 19: rings[0] = {6, 2}, rings[1] = {6, 8}, rings[2] = {6, 14}; break;
    case 25: rings[0] = {8, 2}, rings[1] = {8, 10}, rings[2] = {8, 18}, offset = 0.0; break;
    default: rings[0] = {4, 2}, rings[1] = {6, 6}, rings[2] = {6, 12}; break;
  }
  const Ring& r = rings[f <= 0.5 ? 0 : f <= 0.75 ? 1 : 2];
  const double width = 2 * kPi / r.n;
  double a = std::fmod(theta + offset * width, 2 * kPi);
  if (a < 0) a += 2 * kPi;
  return r.first + std::min(r.n - 1, static_cast<int>(a / width));
}

std::vector<double> faultShareBySector(const PhantomParams& p, int layout) {
  constexpr int kGrid = 400;
  std::vector<double> inside(layout + 1, 0.0), all(layout + 1, 0.0);
  for (int i = 0; i < kGrid; ++i)
    for (int j = 0; j < kGrid; ++j) {
      const double x = -1.0 + (i + 0.5) * 2.0 / kGrid, y = -1.0 + (j + 0.5) * 2.0 / kGrid;
      const int s = bullseyeSector(std::hypot(x, y), std::atan2(y, x), layout);
      if (s == 0) continue;
      all[s] += 1;
      inside[s] += faultWeightOnDisc(p.lv_fault, x, y) >= 0.5;
    }
  for (int s = 1; s <= layout; ++s) inside[s] = all[s] > 0 ? inside[s] / all[s] : 0.0;
  inside[0] = 0.0;
  return inside;
}

std::array<double, 3> lvApexWorking(const PhantomParams& p) {
  const double tau = p.anatomy.lv_truncation, L = p.anatomy.lv_length_mm;
  const double vL = lvSemiMinor(p.lv.edv_ml, L / (1.0 + tau), tau) + p.anatomy.septum_mm / 2.0;
  const auto w = Pose(p).toWorking({-L, vL, 0.0});
  return {p.matrix / 2 + w[0] / p.pixel_mm, p.matrix / 2 + w[1] / p.pixel_mm, p.slices / 2 + w[2] / p.slice_mm};
}

std::array<double, 3> heartOriginWorking(const PhantomParams& p) {
  const auto w = Pose(p).toWorking({0.0, 0.0, 0.0});
  return {p.matrix / 2 + w[0] / p.pixel_mm, p.matrix / 2 + w[1] / p.pixel_mm, p.slices / 2 + w[2] / p.slice_mm};
}

std::array<double, 3> longAxisWorking(const PhantomParams& p) {
  const Pose pose(p);
  const auto a = pose.toWorking({1.0, 0.0, 0.0}), o = pose.toWorking({0.0, 0.0, 0.0});
  return {a[0] - o[0], a[1] - o[1], a[2] - o[2]};
}

PhantomParams defaultParams(int matrix) {
  PhantomParams p;
  p.matrix = matrix;
  p.slices = matrix;
  p.pixel_mm = 6.8 * 64.0 / matrix;
  p.slice_mm = p.pixel_mm;
  return p;
}

std::string validate(const PhantomParams& p) {
  if (p.matrix != 64 && p.matrix != 128) return "matrix must be 64 or 128";
  if (p.instants != 8 && p.instants != 16) return "instants must be 8 or 16";
  if (p.slices < 1 || p.slices > 128) return "slices must lie in 1..128";
  if (!(p.pixel_mm > 0 && p.slice_mm > 0)) return "pixel size and slice thickness must be positive";
  if (!(p.heart_rate_bpm >= 30 && p.heart_rate_bpm <= 240)) return "heart rate must lie in 30..240 bpm";
  if (!(p.fwhm_mm >= 0)) return "FWHM must not be negative";
  if (!std::isfinite(p.rotation_deg) || !std::isfinite(p.tilt_deg)) return "rotation and tilt must be finite";
  for (double d : {p.shift_row_mm, p.shift_column_mm, p.shift_slice_mm})
    if (!(std::fabs(d) <= kMaxShiftMm)) return "shifts must lie within +-500 mm";
  if (!(p.noise_fwhm_mm >= 0)) return "noise FWHM must not be negative";
  if (!(p.total_counts > 0)) return "total counts must be positive";
  if (p.supersample < 1 || p.supersample > 16) return "supersampling must lie in 1..16";
  if (p.patient.position != "HFS" && p.patient.position != "FFS") return "patient position must be HFS or FFS";
  for (const auto* c : {&p.lv, &p.rv}) {
    std::string why = validate(*c);
    if (!why.empty()) return (c == &p.lv ? "left ventricle: " : "right ventricle: ") + why;
  }
  const AnatomyParams& an = p.anatomy;
  if (!(an.lv_length_mm > an.base_descent_mm && an.base_descent_mm >= 0)) return "LV length must exceed the base descent";
  if (!(an.lv_truncation > -1 && an.lv_truncation < 1)) return "LV truncation must lie strictly in -1..1";
  if (!(an.septum_mm > 0 && an.rv_junction_mm > 0 && an.rv_apex_extra_mm >= 0))
    return "septum and junction widths must be positive";
  if (!(an.atrial_gap_mm >= 0 && an.atrial_gap_mm <= 30)) return "the band between valve plane and atria must lie in 0..30 mm";
  const WallFaultParams& f = p.lv_fault;
  if (f.kind != WallFault::None) {
    if (f.sector < 1 || f.sector > 17) return "the wall fault's sector must lie in 1..17";
    if (!(f.size > 0 && f.size <= 1)) return "the wall fault's size must lie in 0..1 of the bull's-eye radius";
    if (f.kind == WallFault::Late && !(f.delay_pct > 0 && p.lv.es_phase_pct + f.delay_pct <= 90))
      return "the late wall's delay must be positive and end its systole by 90 % of the cycle";
  }
  const RvWallFaultParams& rf = p.rv_fault;
  if (rf.kind != WallFault::None) {
    if (rf.kind == WallFault::Late) return "the right free-wall fault must be akinetic, hypokinetic or dyskinetic";
    if (rf.segment != 2 && rf.segment != 4 && rf.segment != 6)
      return "the right free-wall fault's segment must be 2 (basal), 4 (mid) or 6 (apical)";
    if (!(rf.size > 0 && rf.size <= 1))
      return "the right free-wall fault's size must lie in 0..1 of the ventricle's length";
  }
  for (int k = 0; k <= kCurveCheckSamples; ++k) {
    const Geometry g = geometryAt(p, static_cast<double>(k) / kCurveCheckSamples);
    if (g.rvv < g.bin) return "right-ventricular volume too small to wrap around the left ventricle";
  }
  return {};
}

namespace {
// Centres of the cells of a grid_mm lattice fixed in the heart frame (the same at every instant)
// that lie inside box b.
template <typename Fn>
void forEachCell(const Box& b, double grid_mm, Fn fn) {
  auto first = [&](double lo) { return (std::floor(lo / grid_mm) + 0.5) * grid_mm; };
  for (double u = first(b.lo.u); u <= b.hi.u; u += grid_mm)
    for (double v = first(b.lo.v); v <= b.hi.v; v += grid_mm)
      for (double w = first(b.lo.w); w <= b.hi.w; w += grid_mm) fn(Vec3{u, v, w});
}

Vec3 minus(const Vec3& a, const Vec3& b) { return {a.u - b.u, a.v - b.v, a.w - b.w}; }
double dot3(const Vec3& a, const Vec3& b) { return a.u * b.u + a.v * b.v + a.w * b.w; }
Vec3 scaled(const Vec3& a, double k) { return {a.u * k, a.v * k, a.w * k}; }
}  // namespace

std::vector<SegmentVolumes> lvSegmentVolumes(const PhantomParams& p, double grid_mm) {
  const double L = p.anatomy.lv_length_mm, tau = p.anatomy.lv_truncation;
  const double vL = lvSemiMinor(p.lv.edv_ml, L / (1.0 + tau), tau) + p.anatomy.septum_mm / 2.0;
  const double cellMl = grid_mm * grid_mm * grid_mm / kMm3PerMl;
  std::vector<SegmentVolumes> out(p.instants, SegmentVolumes{});
  for (int t = 0; t < p.instants; ++t) {
    const Geometry g = geometryAt(p, static_cast<double>(t) / p.instants);
    forEachCell(heartBox(kLV, g, p.anatomy), grid_mm, [&](const Vec3& h) {
      if (!contains(kLV, g, p, h)) return;
      const double phi = std::atan2(-h.w, -(h.v - vL)) * 180.0 / kPi;
      out[t][leftSegmentAt(static_cast<float>((h.u + L) / L), static_cast<float>(phi))] += cellMl;
    });
  }
  return out;
}

std::vector<RvSegmentVolumes> rvSegmentVolumes(const PhantomParams& p, double grid_mm) {
  const double cellMl = grid_mm * grid_mm * grid_mm / kMm3PerMl;
  // The end-diastolic frame as the regional analysis builds it from the blood pool: the axis from
  // the centroid of the crescent's tip to the centroid of its valve plane, depth from the point
  // beyond which kRvTipShare of the blood lies, septal side towards the left ventricle at mid depth.
  const Geometry ed = geometryAt(p, 0.0);
  std::vector<Vec3> cells;
  forEachCell(heartBox(kRV, ed, p.anatomy), grid_mm, [&](const Vec3& h) {
    if (contains(kRV, ed, p, h)) cells.push_back(h);
  });
  std::vector<RvSegmentVolumes> out(p.instants, RvSegmentVolumes{});
  if (cells.empty()) return out;
  double lowest = cells.front().u, highest = cells.front().u;
  for (const Vec3& c : cells) lowest = std::min(lowest, c.u), highest = std::max(highest, c.u);
  auto centroidWhere = [&](auto keep) {
    Vec3 sum{0, 0, 0};
    int n = 0;
    for (const Vec3& c : cells)
      if (keep(c)) sum = {sum.u + c.u, sum.v + c.v, sum.w + c.w}, ++n;
    return scaled(sum, 1.0 / std::max(1, n));
  };
  const Vec3 tip = centroidWhere([&](const Vec3& c) { return c.u < lowest + kRvEndSlabMm; });
  const Vec3 valve = centroidWhere([&](const Vec3& c) { return c.u > highest - kRvEndSlabMm; });
  Vec3 axis = minus(valve, tip);
  axis = scaled(axis, 1.0 / std::sqrt(dot3(axis, axis)));
  std::vector<double> depths;
  for (const Vec3& c : cells) depths.push_back(dot3(minus(c, valve), axis));
  std::sort(depths.begin(), depths.end());
  const double length = -depths[static_cast<size_t>(kRvTipShare * (depths.size() - 1))];
  if (!(length > 0)) return out;
  const Vec3 apex = minus(valve, scaled(axis, length));
  auto across = [&](const Vec3& h) {
    const Vec3 d = minus(h, apex);
    return minus(d, scaled(axis, dot3(d, axis)));
  };
  Vec3 septal{0, 0, 0};
  forEachCell(heartBox(kLV, ed, p.anatomy), grid_mm, [&](const Vec3& h) {
    const double depth = dot3(minus(h, apex), axis) / length;
    if (depth < 1.0 / 3 || depth >= 2.0 / 3 || !contains(kLV, ed, p, h)) return;
    const Vec3 a = across(h);
    septal = {septal.u + a.u, septal.v + a.v, septal.w + a.w};
  });
  for (int t = 0; t < p.instants; ++t) {
    const Geometry g = geometryAt(p, static_cast<double>(t) / p.instants);
    forEachCell(heartBox(kRV, g, p.anatomy), grid_mm, [&](const Vec3& h) {
      if (!contains(kRV, g, p, h)) return;
      const Vec3 a = across(h);
      // Only the side matters to the scheme: within 90 degrees of the septal direction or not.
      const float phi = dot3(a, septal) >= 0 ? 0.0f : 180.0f;
      out[t][rightSegmentAt(static_cast<float>(dot3(minus(h, apex), axis) / length), phi)] += cellMl;
    });
  }
  return out;
}

std::vector<float> voxeliseInstant(const PhantomParams& p, int t, std::array<double, kStructureCount>& perStructureMl,
                                   std::vector<uint8_t>* dominant, int traced, std::vector<float>* tracedMl) {
  const double phase = static_cast<double>(t) / p.instants;
  const Geometry g = geometryAt(p, phase);
  const Pose pose(p);
  const int M = p.matrix, Z = p.slices, n = p.supersample;
  const double half = M / 2, halfZ = Z / 2;  // integer centres, as the re-orientation uses
  const double voxelMl = p.pixel_mm * p.pixel_mm * p.slice_mm / kMm3PerMl;
  std::vector<float> out(static_cast<size_t>(Z) * M * M, 0.0f);
  perStructureMl.fill(0.0);
  if (dominant) dominant->assign(out.size(), static_cast<uint8_t>(kStructureCount));
  if (tracedMl) tracedMl->assign(out.size(), 0.0f);

  std::array<VoxelBox, kStructureCount> boxes{};
  VoxelBox all{{Z, M, M}, {-1, -1, -1}};
  for (int s = 0; s < kStructureCount; ++s) {
    const Box b = heartBox(s, g, p.anatomy);
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (int c = 0; c < 8; ++c) {
      const Vec3 h{(c & 1) ? b.hi.u : b.lo.u, (c & 2) ? b.hi.v : b.lo.v, (c & 4) ? b.hi.w : b.lo.w};
      const auto w = pose.toWorking(h);
      const double idx[3] = {halfZ + w[2] / p.slice_mm, half + w[0] / p.pixel_mm, half + w[1] / p.pixel_mm};
      for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], idx[k]), hi[k] = std::max(hi[k], idx[k]);
    }
    const int lim[3] = {Z - 1, M - 1, M - 1};
    for (int k = 0; k < 3; ++k) {
      boxes[s].lo[k] = std::max(0, static_cast<int>(std::floor(lo[k])) - 1);
      boxes[s].hi[k] = std::min(lim[k], static_cast<int>(std::ceil(hi[k])) + 1);
      all.lo[k] = std::min(all.lo[k], boxes[s].lo[k]);
      all.hi[k] = std::max(all.hi[k], boxes[s].hi[k]);
    }
  }

  const double inv = 1.0 / (static_cast<double>(n) * n * n);
  std::array<int, kStructureCount> cand{};
  std::array<int, kStructureCount> hits{};
  for (int z = all.lo[0]; z <= all.hi[0]; ++z)
    for (int x = all.lo[1]; x <= all.hi[1]; ++x)
      for (int y = all.lo[2]; y <= all.hi[2]; ++y) {
        int nc = 0;
        for (int s = 0; s < kStructureCount; ++s) {
          const VoxelBox& b = boxes[s];
          if (z >= b.lo[0] && z <= b.hi[0] && x >= b.lo[1] && x <= b.hi[1] && y >= b.lo[2] && y <= b.hi[2])
            cand[nc++] = s;
        }
        if (nc == 0) continue;
        // Voxel corners in millimetres of the working frame.
        const double r0 = (x - half - 0.5) * p.pixel_mm, c0 = (y - half - 0.5) * p.pixel_mm;
        const double z0 = (z - halfZ - 0.5) * p.slice_mm;
        hits.fill(0);
        bool filled = false;
        if (nc == 1 && isConvex(cand[0], g)) {
          bool inside = true;
          for (int c = 0; c < 8 && inside; ++c)
            inside = contains(cand[0], g, p,
                              pose.toHeart(r0 + ((c & 1) ? p.pixel_mm : 0), c0 + ((c & 2) ? p.pixel_mm : 0),
                                           z0 + ((c & 4) ? p.slice_mm : 0)));
          if (inside) hits[cand[0]] = n * n * n, filled = true;
        }
        if (!filled) {
          for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
              for (int k = 0; k < n; ++k) {
                const Vec3 h = pose.toHeart(r0 + (i + 0.5) * p.pixel_mm / n, c0 + (j + 0.5) * p.pixel_mm / n,
                                            z0 + (k + 0.5) * p.slice_mm / n);
                for (int q = 0; q < nc; ++q)
                  if (contains(cand[q], g, p, h)) {
                    ++hits[cand[q]];
                    break;
                  }
              }
        }
        double ml = 0;
        int best = 0;
        for (int q = 0; q < nc; ++q) {
          const int s = cand[q];
          if (hits[s] == 0) continue;
          if (dominant && hits[s] > best) {
            best = hits[s];
            (*dominant)[(static_cast<size_t>(z) * M + x) * M + y] = static_cast<uint8_t>(s);
          }
          const double v = hits[s] * inv * voxelMl;
          perStructureMl[s] += v;
          if (tracedMl && s == traced) (*tracedMl)[(static_cast<size_t>(z) * M + x) * M + y] = static_cast<float>(v);
          ml += v * bloodFraction(s, p.anatomy);
        }
        out[(static_cast<size_t>(z) * M + x) * M + y] = static_cast<float>(ml);
      }
  return out;
}

namespace {
// Normalised sampled Gaussian, cut at kGaussianReachSigmas.
std::vector<double> gaussianKernel(double sigma) {
  if (sigma <= 0) return {1.0};
  std::vector<double> k;
  const int r = std::max(1, static_cast<int>(std::ceil(kGaussianReachSigmas * sigma)));
  double sum = 0;
  for (int i = -r; i <= r; ++i) k.push_back(std::exp(-0.5 * i * i / (sigma * sigma))), sum += k.back();
  for (double& v : k) v /= sum;
  return k;
}
}  // namespace

double noiseRestoringGain(double sigmaXYvox, double sigmaZvox) {
  // Smoothing independent deviations divides their variance by the kernel's sum of squares.
  auto squares = [](const std::vector<double>& k) {
    double s = 0;
    for (double v : k) s += v * v;
    return s;
  };
  const double kxy = squares(gaussianKernel(sigmaXYvox)), kz = squares(gaussianKernel(sigmaZvox));
  return 1.0 / std::sqrt(kxy * kxy * kz);
}

void gaussianBlur(std::vector<float>& vol, int instants, int slices, int matrix, double sigmaXYvox, double sigmaZvox) {
  auto kernel = gaussianKernel;
  const std::vector<double> kxy = kernel(sigmaXYvox), kz = kernel(sigmaZvox);
  const size_t M = matrix, Z = slices;
  std::vector<double> line, res;
  // Blurs every line of `count` samples spaced by `stride`, starting at each of `starts`.
  auto pass = [&](const std::vector<double>& k, size_t count, size_t stride, auto&& forEachStart) {
    const int r = static_cast<int>(k.size() / 2);
    line.resize(count);
    forEachStart([&](size_t start) {
      for (size_t i = 0; i < count; ++i) line[i] = vol[start + i * stride];
      for (size_t i = 0; i < count; ++i) {
        double acc = 0;
        for (int d = -r; d <= r; ++d) {
          const long j = static_cast<long>(i) + d;
          if (j >= 0 && j < static_cast<long>(count)) acc += k[d + r] * line[j];
        }
        vol[start + i * stride] = static_cast<float>(acc);
      }
    });
  };
  for (int t = 0; t < instants; ++t) {
    const size_t base = static_cast<size_t>(t) * Z * M * M;
    pass(kxy, M, 1, [&](auto&& f) {  // along columns
      for (size_t z = 0; z < Z; ++z)
        for (size_t x = 0; x < M; ++x) f(base + (z * M + x) * M);
    });
    pass(kxy, M, M, [&](auto&& f) {  // along rows
      for (size_t z = 0; z < Z; ++z)
        for (size_t y = 0; y < M; ++y) f(base + z * M * M + y);
    });
    pass(kz, Z, M * M, [&](auto&& f) {  // along slices
      for (size_t x = 0; x < M * M; ++x) f(base + x);
    });
  }
}

PoissonSource::PoissonSource(uint64_t seed) : engine_(seed) {}

double PoissonSource::uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

uint64_t PoissonSource::sample(double lam) {
  constexpr double kSmallMean = 10.0;
  if (!(lam > 0)) return 0;
  if (lam < kSmallMean) {  // multiplication method
    const double limit = std::exp(-lam);
    double prod = uniform();
    uint64_t k = 0;
    while (prod > limit) prod *= uniform(), ++k;
    return k;
  }
  // Transformed rejection with squeeze (Hormann 1993).
  const double slam = std::sqrt(lam), loglam = std::log(lam);
  const double b = 0.931 + 2.53 * slam, a = -0.059 + 0.02483 * b;
  const double invalpha = 1.1239 + 1.1328 / (b - 3.4), vr = 0.9277 - 3.6224 / (b - 2);
  for (;;) {
    const double U = uniform() - 0.5, V = uniform();
    const double us = 0.5 - std::fabs(U);
    const double k = std::floor((2 * a / us + b) * U + lam + 0.43);
    if (us >= 0.07 && V <= vr) return static_cast<uint64_t>(k);
    if (k < 0 || (us < 0.013 && V > us)) continue;
    if (std::log(V) + std::log(invalpha) - std::log(a / (us * us) + b) <= -lam + k * loglam - std::lgamma(k + 1))
      return static_cast<uint64_t>(k);
  }
}

Phantom buildPhantom(const PhantomParams& p) {
  const std::string why = validate(p);
  if (!why.empty()) throw std::invalid_argument(why);
  Phantom ph;
  ph.params = p;
  const size_t perInstant = static_cast<size_t>(p.slices) * p.matrix * p.matrix;
  ph.expected_ml.resize(perInstant * p.instants);
  ph.voxelised_ml.resize(p.instants);
  const VolumeCurve lv(p.lv), rv(p.rv);
  for (int t = 0; t < p.instants; ++t) {
    const double phase = static_cast<double>(t) / p.instants;
    ph.lv_true_ml.push_back(lv.volume(phase));
    ph.rv_true_ml.push_back(rv.volume(phase));
    const std::vector<float> v = voxeliseInstant(p, t, ph.voxelised_ml[t]);
    std::copy(v.begin(), v.end(), ph.expected_ml.begin() + static_cast<long>(perInstant * t));
  }
  if (p.fwhm_mm > 0)
    gaussianBlur(ph.expected_ml, p.instants, p.slices, p.matrix, p.fwhm_mm / kFwhmPerSigma / p.pixel_mm,
                 p.fwhm_mm / kFwhmPerSigma / p.slice_mm);
  double total = 0;
  for (float v : ph.expected_ml) total += v;
  ph.counts_per_ml = p.total_counts / total;
  ph.counts.resize(ph.expected_ml.size());
  PoissonSource rng(p.seed);
  std::vector<float> deviation(p.noise ? ph.expected_ml.size() : 0);
  for (size_t i = 0; i < deviation.size(); ++i) {
    const double mean = ph.expected_ml[i] * ph.counts_per_ml;
    deviation[i] = static_cast<float>(static_cast<double>(rng.sample(mean)) - mean);
  }
  if (p.noise && p.noise_fwhm_mm > 0) {
    const double sxy = p.noise_fwhm_mm / kFwhmPerSigma / p.pixel_mm, sz = p.noise_fwhm_mm / kFwhmPerSigma / p.slice_mm;
    gaussianBlur(deviation, p.instants, p.slices, p.matrix, sxy, sz);
    // The gain restores the Poisson deviation of a voxel of the reference size, whatever the
    // study's voxel: a filter of given width leaves a region of the heart as noisy on a fine grid
    // as on a coarse one, where restoring each small voxel's own deviation would make it noisier.
    const double sxyRef = p.noise_fwhm_mm / kFwhmPerSigma / kNoiseReferenceVoxelMm;
    const double gain = noiseRestoringGain(sxyRef, sxyRef);
    for (float& d : deviation) d = static_cast<float>(d * gain);
  }
  for (size_t i = 0; i < ph.expected_ml.size(); ++i) {
    const double mean = ph.expected_ml[i] * ph.counts_per_ml;
    const double c = std::max(0.0, std::round(p.noise ? mean + deviation[i] : mean));
    if (c > kMaxStoredCount) ++ph.clipped_voxels;
    ph.counts[i] = static_cast<uint16_t>(std::min<double>(c, kMaxStoredCount));
  }
  return ph;
}

}  // namespace quorvel::phantom
