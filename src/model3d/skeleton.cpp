#include "model3d/skeleton.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "curves/numerics.h"
#include "model3d/vec3.h"
#include "segmentation/classification.h"

namespace quorvel {

namespace {

constexpr int kInterior = 100;
constexpr int kValveMark = 200;
constexpr float kExtentReset = 999.9f;
constexpr float kMinValveAxisCosine = 0.5f;
// Fewer valve voxels than this give no plane: a few voxels touching an atrium through a thin gap
// are not the valve ring.
constexpr int kMinValveVoxels = 8;

const InstantTable& lowLimit(const SliceLimits& lim, int v) { return v == kClassLeft ? lim.limG_inf : lim.limD_inf; }
const InstantTable& highLimit(const SliceLimits& lim, int v) { return v == kClassLeft ? lim.limG_sup : lim.limD_sup; }

struct VoxelGrid {
  int NCZ;
  size_t at(int t, int z, int row, int col) const { return Study::index(NCZ, t, z, row, col); }
};

// The plane of the validated valve-plane line: normal along the long axis towards the apex,
// centred on the ventricle's two rows nearest the line. Used when the ventricle's base touches
// no atrium voxel in its slice (a cold valve ring, atria excluded or outside the slice limits).
void valveLinePlane(const ModelInputs& in, SkeletonModel& sk, int v, int t) {
  const Study& s = in.study;
  const VoxelGrid g{s.NCZ};
  auto isVentricle = [&](uint8_t b) { return b == v || b == v + kInterior || b == v + kValveMark; };
  std::array<bool, kMatrix> rowHas{};
  for (int z = 0; z < s.NCZ; ++z)
    for (int row = 0; row < kMatrix; ++row)
      for (int col = 0; col < kMatrix && !rowHas[row]; ++col)
        if (isVentricle(sk.BORD[g.at(t, z, row, col)])) rowHas[row] = true;
  const int line = std::clamp(in.reorient.valves_plano_, 0, kMatrix);
  int first = -1, last = -1;  // the two rows taken
  for (int row = line - 1; row >= 0 && first < 0; --row)
    if (rowHas[row]) first = row - 1, last = row;
  for (int row = line; row < kMatrix && first < 0; ++row)
    if (rowHas[row]) first = row, last = row + 1;
  Vec3f centre{modelX(line), 0, 0};
  if (first >= 0 || last >= 0) {
    double sum[3] = {0, 0, 0};
    long n = 0;
    for (int z = 0; z < s.NCZ; ++z)
      for (int row = std::max(first, 0); row <= std::min(last, kMatrix - 1); ++row)
        for (int col = 0; col < kMatrix; ++col)
          if (isVentricle(sk.BORD[g.at(t, z, row, col)])) {
            sum[0] += modelX(row), sum[1] += modelY(col), sum[2] += modelZ(s, z);
            ++n;
          }
    if (n > 0) centre = {static_cast<float>(sum[0] / n), static_cast<float>(sum[1] / n), static_cast<float>(sum[2] / n)};
  }
  set3(sk.Sx0, sk.Sy0, sk.Sz0, v, t, centre);
  set3(sk.Sx1, sk.Sy1, sk.Sz1, v, t, {1, 0, 0});
  set3(sk.dsx1, sk.dsy1, sk.dsz1, v, t, {-1, 0, 0});
  sk.valve_source[v][t] = kValveLine;
}

// One ventricle and instant of the valve step; false when the voxels give no plane.
bool valvePlaneFromVoxels(const ModelInputs& in, SkeletonModel& sk, int v, int t) {
  const Study& s = in.study;
  const Segmentation& seg = in.seg;
  const VoxelGrid g{s.NCZ};
  auto classOf = [&](size_t i) {
    const int L = seg.LPE[i];
    return L < kLabelSlots ? seg.CORR[L] : kClassBackground;
  };
  struct Voxel {
    int z, row, col;
  };
  std::vector<Voxel> valve;
  double sum[3] = {0, 0, 0};
  for (int z = 0; z < s.NCZ; ++z)
    for (int row = 0; row < kMatrix; ++row)
      for (int col = 0; col < kMatrix; ++col) {
        const size_t i = g.at(t, z, row, col);
        if (sk.BORD[i] != v) continue;
        // Neighbours outside the slice are not atrium.
        const bool atrium = (row + 1 < kMatrix && classOf(g.at(t, z, row + 1, col)) == kClassOther) ||
                            (row > 0 && classOf(g.at(t, z, row - 1, col)) == kClassOther) ||
                            (col > 0 && classOf(g.at(t, z, row, col - 1)) == kClassOther) ||
                            (col + 1 < kMatrix && classOf(g.at(t, z, row, col + 1)) == kClassOther);
        if (!atrium) continue;
        sk.BORD[i] = static_cast<uint8_t>(v + kValveMark);
        valve.push_back({z, row, col});
        sum[0] += modelX(row), sum[1] += modelY(col), sum[2] += modelZ(s, z);
      }
  sk.valve_voxels[v][t] = static_cast<int>(valve.size());
  if (valve.size() < static_cast<size_t>(kMinValveVoxels)) return false;
  const double n = static_cast<double>(valve.size());
  const Vec3f S0{static_cast<float>(sum[0] / n), static_cast<float>(sum[1] / n), static_cast<float>(sum[2] / n)};

  // Each valve voxel once per plain surface voxel of the ventricle around it.
  const int lo = lowLimit(in.limits, v)[t], hi = highLimit(in.limits, v)[t];
  std::vector<Vec3f> points;
  for (const Voxel& w : valve) {
    const Vec3f p{modelX(w.row), modelY(w.col), modelZ(s, w.z)};
    for (int dz = -1; dz <= 1; ++dz)
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          const int z = w.z + dz, row = w.row + dr, col = w.col + dc;
          if (z < 0 || z >= s.NCZ || row < 0 || row >= kMatrix || col < 0 || col >= kMatrix) continue;
          if (z < lo || z > hi || sk.BORD[g.at(t, z, row, col)] != v) continue;
          if (points.size() < static_cast<size_t>(kValvePointCap)) points.push_back(p);
        }
  }

  // Mean of the unit normals of all point pairs about the centre, all turned towards +X.
  double nsum[3] = {0, 0, 0};
  double pairs = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    const double ax = points[i].x - S0.x, ay = points[i].y - S0.y, az = points[i].z - S0.z;
    for (size_t j = i + 1; j < points.size(); ++j) {
      const double bx = points[j].x - S0.x, by = points[j].y - S0.y, bz = points[j].z - S0.z;
      double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
      const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
      pairs += 1;
      if (len > 0) {
        nx /= len, ny /= len, nz /= len;
        if (nx < 0) nx = -nx, ny = -ny, nz = -nz;
        nsum[0] += nx, nsum[1] += ny, nsum[2] += nz;
      }
    }
  }
  if (pairs > 0) nsum[0] /= pairs, nsum[1] /= pairs, nsum[2] /= pairs;
  const Vec3f S1{static_cast<float>(nsum[0]), static_cast<float>(nsum[1]), static_cast<float>(nsum[2])};
  if (!(norm(S1) > 0)) return false;
  const Vec3f ds1 = normalised(-1.0f * S1);
  // The re-orientation put the long axis along X: a plane tilted more than 60 degrees from it
  // comes from a few voxels touching something beside the base, not from the valve ring.
  if (!(ds1.x <= -kMinValveAxisCosine)) return false;

  // Depth: the centre moves along the normal by the RMS distance of the points from the plane.
  double d2 = 0;
  for (const Vec3f& p : points) {
    const double d = dot(ds1, p - S0);
    d2 += d * d;
  }
  const float depth = static_cast<float>(std::sqrt(d2 / static_cast<double>(points.size())));
  set3(sk.Sx0, sk.Sy0, sk.Sz0, v, t, S0 + depth * ds1);
  set3(sk.Sx1, sk.Sy1, sk.Sz1, v, t, S1);
  set3(sk.dsx1, sk.dsy1, sk.dsz1, v, t, ds1);
  sk.valve_source[v][t] = kValveVoxels;
  return true;
}

}  // namespace

int bordClass(const ModelInputs& in, int t, int z, size_t voxel, bool locks) {
  const Segmentation& seg = in.seg;
  const Study& s = in.study;
  const int L = seg.LPE[voxel];
  int c = L < kLabelSlots ? seg.CORR[L] : kClassBackground;
  if (in.options.equilibrium == 0 && c > 0 && c < kStructMaxEntries &&
      belowThreshold(static_cast<int>(s.DATA[voxel]), seg.struct_max[c], s.seuillage))
    c = kClassBackground;
  if (c == kClassLeft && (z < in.limits.limG_inf[t] || z > in.limits.limG_sup[t])) return kClassOther;
  if (c == kClassRight && (z < in.limits.limD_inf[t] || z > in.limits.limD_sup[t])) return kClassOther;
  if (locks && (seg.InstLock[t] || seg.SegLock[t][z]) && voxel < seg.AFFECT.size()) c = seg.AFFECT[voxel];
  // Excluded structures (7, 13) are not part of the model.
  return c >= kClassLeft && c <= kClassOther ? c : kClassBackground;
}

void BUILD_VISU_3D1(const ModelInputs& in, SkeletonModel& sk) {
  const Study& s = in.study;
  EVAL_BARYCENTRES(in, sk, 1, kClassLeft, kClassRight, 0, s.Ninst - 1);
  const int Z = s.NCZ;
  const size_t perInstant = static_cast<size_t>(Z) * kSliceVoxels;
  sk.BORD.assign(perInstant * s.Ninst, 0);
  std::vector<uint8_t> cls(perInstant);
  std::vector<size_t> removed;
  auto local = [](int z, int row, int col) { return (static_cast<size_t>(z) * kMatrix + row) * kMatrix + col; };
  for (int t = 0; t < s.Ninst; ++t) {
    const size_t base = perInstant * t;
    for (int z = 0; z < Z; ++z)
      for (size_t k = 0; k < static_cast<size_t>(kSliceVoxels); ++k) {
        const size_t i = static_cast<size_t>(z) * kSliceVoxels + k;
        cls[i] = static_cast<uint8_t>(bordClass(in, t, z, base + i, true));
      }
    // Interior unless on the border of the volume, on a limit slice, or beside another value.
    uint8_t* out = &sk.BORD[base];
    for (int z = 0; z < Z; ++z)
      for (int row = 0; row < kMatrix; ++row)
        for (int col = 0; col < kMatrix; ++col) {
          const size_t i = local(z, row, col);
          const int c = cls[i];
          out[i] = static_cast<uint8_t>(c);
          if (c == 0) continue;
          bool surface = z == 0 || z == Z - 1 || row == 0 || row == kMatrix - 1 || col == 0 || col == kMatrix - 1;
          surface = surface || (c == kClassLeft && (z == in.limits.limG_inf[t] || z == in.limits.limG_sup[t]));
          surface = surface || (c == kClassRight && (z == in.limits.limD_inf[t] || z == in.limits.limD_sup[t]));
          if (!surface)
            surface = cls[local(z - 1, row, col)] != c || cls[local(z + 1, row, col)] != c ||
                      cls[local(z, row - 1, col)] != c || cls[local(z, row + 1, col)] != c ||
                      cls[local(z, row, col - 1)] != c || cls[local(z, row, col + 1)] != c;
          if (!surface) out[i] = static_cast<uint8_t>(c + kInterior);
        }
    // Isolated surface voxels: same-valued neighbours must span both sides along two axes.
    removed.clear();
    for (int z = 1; z < Z - 1; ++z)
      for (int row = 1; row < kMatrix - 1; ++row)
        for (int col = 1; col < kMatrix - 1; ++col) {
          const size_t i = local(z, row, col);
          const int c = out[i];
          if (c < kClassLeft || c > kClassOther) continue;
          int lo[3] = {2, 2, 2}, hi[3] = {-2, -2, -2};
          for (int dz = -1; dz <= 1; ++dz)
            for (int dr = -1; dr <= 1; ++dr)
              for (int dc = -1; dc <= 1; ++dc) {
                if ((dz | dr | dc) == 0 || out[local(z + dz, row + dr, col + dc)] != c) continue;
                const int d[3] = {dz, dr, dc};
                for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], d[a]), hi[a] = std::max(hi[a], d[a]);
              }
          int spanned = 0;
          for (int a = 0; a < 3; ++a) spanned += lo[a] == -1 && hi[a] == 1;
          if (spanned < 2) removed.push_back(i);
        }
    for (size_t i : removed) out[i] = 0;
  }
}

void EVAL_VALVES_PLANES(const ModelInputs& in, SkeletonModel& sk, int v0, int v1, int t0, int t1) {
  if (sk.BORD.empty()) return;
  // One source per ventricle over the instants: planes switching between the voxels and the line
  // from one instant to the next move ring 0 and the axis, which the regional curves read as wall
  // motion. The voxels only when every instant has enough of them.
  for (int v = v0; v <= v1; ++v) {
    bool voxels = true;
    for (int t = t0; t <= t1; ++t) {
      set3(sk.Sx0, sk.Sy0, sk.Sz0, v, t, {});
      set3(sk.Sx1, sk.Sy1, sk.Sz1, v, t, {});
      voxels = valvePlaneFromVoxels(in, sk, v, t) && voxels;  // every instant marks its valve voxels
    }
    if (!voxels)
      for (int t = t0; t <= t1; ++t) valveLinePlane(in, sk, v, t);
  }
}

void EVAL_SKEL_APEX(const ModelInputs& in, const Model3DSettings& set, SkeletonModel& sk, int v0, int v1, int t0,
                    int t1) {
  if (sk.BORD.empty()) return;
  const Study& s = in.study;
  const VoxelGrid g{s.NCZ};
  for (int t = t0; t <= t1; ++t)
    for (int v = v0; v <= v1; ++v) {
      const Vec3f S0 = get3(sk.Sx0, sk.Sy0, sk.Sz0, v, t);
      struct Candidate {
        Vec3f p;
        double d;
      };
      std::vector<Candidate> apexSide;
      double d2max = 0;
      for (int z = 0; z < s.NCZ; ++z)
        for (int row = 0; row < kMatrix; ++row) {
          const float X = modelX(row);
          if (!(X < S0.x)) continue;
          for (int col = 0; col < kMatrix; ++col) {
            if (sk.BORD[g.at(t, z, row, col)] != v + kInterior) continue;
            const Vec3f p{X, modelY(col), modelZ(s, z)};
            const Vec3f d = p - S0;
            const double d2 = static_cast<double>(d.x) * d.x + static_cast<double>(d.y) * d.y +
                              static_cast<double>(d.z) * d.z;
            d2max = std::max(d2max, d2);
            apexSide.push_back({p, std::sqrt(d2)});
          }
        }
      // No voxel beyond the valve plane: the apex found before stays (the model's origin would
      // put it in the middle of the volume).
      if (apexSide.empty()) {
        sk.apex_source[v][t] = kApexKept;
        continue;
      }
      const double dmax = std::sqrt(d2max);
      const double r = dmax * set.APEX_dismax[v][0];
      auto meanBeyond = [&](auto beyond) {
        double sum[3] = {0, 0, 0};
        long n = 0;
        for (const Candidate& c : apexSide)
          if (beyond(c.d)) sum[0] += c.p.x, sum[1] += c.p.y, sum[2] += c.p.z, ++n;
        return n > 0 ? std::optional<Vec3f>(Vec3f{static_cast<float>(sum[0] / n), static_cast<float>(sum[1] / n),
                                                  static_cast<float>(sum[2] / n)})
                     : std::nullopt;
      };
      std::optional<Vec3f> apex = meanBeyond([r](double d) { return d > r; });
      sk.apex_source[v][t] = kApexBeyondDistance;
      if (!apex) {  // the C/S fraction at 1 leaves nothing strictly beyond: the farthest voxels
        apex = meanBeyond([dmax](double d) { return d >= dmax; });
        sk.apex_source[v][t] = kApexFarthest;
      }
      set3(sk.apexX, sk.apexY, sk.apexZ, v, t, *apex);
    }
}

void EVAL_BARYCENTRES(const ModelInputs& in, SkeletonModel& sk, int mode, int v0, int v1, int t0, int t1) {
  const Study& s = in.study;
  if (mode == 1) {
    sk.NPTS.fill(0);
    sk.BC_X.fill(0), sk.BC_Y.fill(0), sk.BC_Z.fill(0);
    sk.MIN_X.fill(kExtentReset), sk.MIN_Y.fill(kExtentReset), sk.MIN_Z.fill(kExtentReset);
    sk.MAX_X.fill(-kExtentReset), sk.MAX_Y.fill(-kExtentReset), sk.MAX_Z.fill(-kExtentReset);
  }
  // Weighted sums of the slab of each ventricle and instant of the ranges.
  double sums[kVentricleRows][kMaxInstants][4] = {};
  float p0[kVentricleRows][kMaxInstants] = {}, pa[kVentricleRows][kMaxInstants] = {};
  for (int v = v0; v <= v1; ++v)
    for (int t = t0; t <= t1; ++t) {
      const Vec3f ds1 = get3(sk.dsx1, sk.dsy1, sk.dsz1, v, t);
      p0[v][t] = dot(ds1, get3(sk.Sx0, sk.Sy0, sk.Sz0, v, t));
      pa[v][t] = dot(ds1, get3(sk.apexX, sk.apexY, sk.apexZ, v, t));
    }
  double ext[4][3] = {};
  long total = 0;
  const int first = mode == 1 ? 0 : t0, last = mode == 1 ? s.Ninst - 1 : t1;
  for (int t = first; t <= last; ++t)
    for (int z = 0; z < s.NCZ; ++z) {
      const float Z = modelZ(s, z);
      for (int row = 0; row < kMatrix; ++row) {
        const float X = modelX(row);
        for (int col = 0; col < kMatrix; ++col) {
          const size_t i = Study::index(s.NCZ, t, z, row, col);
          const int c = bordClass(in, t, z, i, false);
          if (c == 0) continue;
          const float Y = modelY(col);
          if (mode == 1) {
            ++sk.NPTS[c];
            ++total;
            for (int k : {0, c}) ext[k][0] += X, ext[k][1] += Y, ext[k][2] += Z;
            sk.MIN_X[c] = std::min(sk.MIN_X[c], X), sk.MAX_X[c] = std::max(sk.MAX_X[c], X);
            sk.MIN_Y[c] = std::min(sk.MIN_Y[c], Y), sk.MAX_Y[c] = std::max(sk.MAX_Y[c], Y);
            sk.MIN_Z[c] = std::min(sk.MIN_Z[c], Z), sk.MAX_Z[c] = std::max(sk.MAX_Z[c], Z);
          }
          if (c < v0 || c > v1 || t < t0 || t > t1) continue;
          const float p = sk.dsx1[c][t] * X + sk.dsy1[c][t] * Y + sk.dsz1[c][t] * Z;
          if (p < p0[c][t] || p > pa[c][t]) continue;
          const double w = s.DATA[i];
          double* acc = sums[c][t];
          acc[0] += w, acc[1] += w * X, acc[2] += w * Y, acc[3] += w * Z;
        }
      }
    }
  if (mode == 1) {
    const double counts[4] = {static_cast<double>(total), static_cast<double>(sk.NPTS[1]),
                              static_cast<double>(sk.NPTS[2]), static_cast<double>(sk.NPTS[3])};
    for (int k = 0; k < 4; ++k)
      if (counts[k] > 0) {
        sk.BC_X[k] = static_cast<float>(ext[k][0] / counts[k]);
        sk.BC_Y[k] = static_cast<float>(ext[k][1] / counts[k]);
        sk.BC_Z[k] = static_cast<float>(ext[k][2] / counts[k]);
      }
  }
  for (int v = v0; v <= v1; ++v)
    for (int t = t0; t <= t1; ++t) {
      const double* acc = sums[v][t];
      const Vec3f bc = acc[0] > 0 ? Vec3f{static_cast<float>(acc[1] / acc[0]), static_cast<float>(acc[2] / acc[0]),
                                          static_cast<float>(acc[3] / acc[0])}
                                  : Vec3f{};
      set3(sk.bcx, sk.bcy, sk.bcz, v, t, bc);
    }
}

int cylindricalRings(int samA, float APEX_dismax) {
  const int n = static_cast<int>((0.5f * APEX_dismax + 0.35f) * static_cast<float>(samA) + 0.5f);
  return std::clamp(n, 1, std::max(1, samA - 2));
}

Vec3f EVAL_SKEL_COORD(const SkeletonModel& sk, float t, int v, int i) {
  const float x = sk.Sx0[v][i] + (sk.apexX[v][i] - sk.Sx0[v][i]) * t;
  return {x, sk.Cy0[v][i] + sk.Cy1[v][i] * x + sk.Cy2[v][i] * x * x,
          sk.Cz0[v][i] + sk.Cz1[v][i] * x + sk.Cz2[v][i] * x * x};
}

Vec3f EVAL_SKEL_DERIV(const SkeletonModel& sk, float t, int v, int i) {
  const float x = sk.Sx0[v][i] + (sk.apexX[v][i] - sk.Sx0[v][i]) * t;
  return normalised({1.0f, sk.Cy1[v][i] + 2.0f * sk.Cy2[v][i] * x, sk.Cz1[v][i] + 2.0f * sk.Cz2[v][i] * x});
}

void SKEL_DISCRETISE(const ModelInputs& in, const Model3DSettings& set, int mesh_samA, SkeletonModel& sk, int v0,
                     int v1, int t0, int t1) {
  (void)in;
  std::vector<float> longueur(kArcSteps);
  for (int v = v0; v <= v1; ++v)
    for (int i = t0; i <= t1; ++i) {
      const float x[3] = {sk.Sx0[v][i], sk.bcx[v][i], sk.apexX[v][i]};
      const float y[3] = {sk.Sy0[v][i], sk.bcy[v][i], sk.apexY[v][i]};
      const float z[3] = {sk.Sz0[v][i], sk.bcz[v][i], sk.apexZ[v][i]};
      float cy[3] = {0, 0, 0}, cz[3] = {0, 0, 0};
      bool parabola = true;
      float A[9], inv[9];
      for (int r = 0; r < 3; ++r) A[3 * r] = 1.0f, A[3 * r + 1] = x[r], A[3 * r + 2] = x[r] * x[r];
      try {
        migs(3, A, inv);
      } catch (const NumericalError&) {
        parabola = false;  // two X values coincide: only the straight axis is defined
      }
      for (int r = 0; r < 3 && parabola; ++r) {
        cy[r] = inv[3 * r] * y[0] + inv[3 * r + 1] * y[1] + inv[3 * r + 2] * y[2];
        cz[r] = inv[3 * r] * z[0] + inv[3 * r + 1] * z[1] + inv[3 * r + 2] * z[2];
        parabola = std::isfinite(cy[r]) && std::isfinite(cz[r]);
      }
      const float dx = x[2] - x[0];
      const float sy = dx == 0.0f ? 0.0f : (y[2] - y[0]) / dx, sz = dx == 0.0f ? 0.0f : (z[2] - z[0]) / dx;
      const float iy = y[0] - x[0] * sy, iz = z[0] - x[0] * sz;
      const float w = parabola ? set.Apex_deriv[v][i] : 0.0f;
      if (!parabola) cy[0] = cy[1] = cy[2] = cz[0] = cz[1] = cz[2] = 0.0f;
      sk.Cy0[v][i] = w * cy[0] + (1 - w) * iy;
      sk.Cy1[v][i] = w * cy[1] + (1 - w) * sy;
      sk.Cy2[v][i] = w * cy[2];
      sk.Cz0[v][i] = w * cz[0] + (1 - w) * iz;
      sk.Cz1[v][i] = w * cz[1] + (1 - w) * sz;
      sk.Cz2[v][i] = w * cz[2];

      // Equal arc-length samples along the skeleton.
      const int N = cylindricalRings(mesh_samA, set.APEX_dismax[v][0]);
      float L = 0;
      Vec3f prev = EVAL_SKEL_COORD(sk, 0.0f, v, i);
      for (int j = 0; j < kArcSteps; ++j) {
        const Vec3f next = EVAL_SKEL_COORD(sk, static_cast<float>(j + 1) / kArcSteps, v, i);
        L += norm(next - prev);
        longueur[j] = L;
        prev = next;
      }
      auto& samples = sk.Skel_Discret[v - 1][i];
      samples[0] = 0.0f;
      int k = 1;
      for (int j = 0; j < kArcSteps && k < mesh_samA; ++j)
        if (longueur[j] >= static_cast<float>(k) * L / static_cast<float>(N) - 0.001f)
          samples[k++] = static_cast<float>(j) / kArcSteps;

      set3(sk.dsx2, sk.dsy2, sk.dsz2, v, i, normalised(-1.0f * EVAL_SKEL_DERIV(sk, 1.0f, v, i)));
    }
}

void EVAL_ORIG_COORD(const ModelInputs& in, SkeletonModel& sk, int v, int i, Vec3f p) {
  const Study& s = in.study;
  const Vec3f n = get3(sk.dsx1, sk.dsy1, sk.dsz1, v, i);
  const float p0 = dot(n, p);
  double sum[3] = {0, 0, 0};
  long count = 0;
  for (int z = 0; z < s.NCZ; ++z)
    for (int row = 0; row < kMatrix; ++row)
      for (int col = 0; col < kMatrix; ++col) {
        const uint8_t b = sk.BORD[Study::index(s.NCZ, i, z, row, col)];
        if (b != v && b != v + kInterior) continue;
        const Vec3f q{modelX(row), modelY(col), modelZ(s, z)};
        if (std::fabs(dot(n, q) - p0) < 0.5f) sum[0] += q.x, sum[1] += q.y, sum[2] += q.z, ++count;
      }
  if (count > 0)
    set3(sk.Sx0, sk.Sy0, sk.Sz0, v, i,
         {static_cast<float>(sum[0] / count), static_cast<float>(sum[1] / count), static_cast<float>(sum[2] / count)});
}

}  // namespace quorvel
