#include "model3d/mesh.h"

#include <algorithm>
#include <cmath>

#include "model3d/parallel.h"
#include "model3d/skeleton.h"
#include "model3d/vec3.h"

namespace quorvel {

namespace {

constexpr float kTwoPi = 6.2831853f;
constexpr float kHalfPi = 1.570796325f;
constexpr float kRayLength = 32.0f;
constexpr float kFullStep = 0.1f;
constexpr float kPreviewCylinderStep = 0.2f;
constexpr float kExtentReset = 999.9f;
constexpr int kCoarseCells = 16;

// The ray samples: single-precision sums of the step, below the ray length.
std::vector<float> stepTable(float step) {
  std::vector<float> s;
  for (float x = 0.0f; x < kRayLength; x += step) s.push_back(x);
  return s;
}
const std::vector<float>& raySteps(float step) {
  static const std::vector<float> fine = stepTable(kFullStep), coarse = stepTable(kPreviewCylinderStep);
  return step == kFullStep ? fine : coarse;
}

// One instant of BORD and DATA with the geometry that turns model points into voxels.
struct InstantVolume {
  const uint8_t* bord;
  const float* data;
  int NCZ;
  float VXY, VZ;
};

InstantVolume instantVolume(const ModelInputs& in, const SkeletonModel& sk, int t) {
  const Study& s = in.study;
  const size_t base = static_cast<size_t>(t) * s.NCZ * kSliceVoxels;
  return {&sk.BORD[base], &s.DATA[base], s.NCZ, s.VOXEL_SIZE_XY, s.VOXEL_SIZE_Z};
}

struct RayHit {
  float dist = 0;  // last sample on a surface or interior voxel of the ventricle
  float act = 0;   // counts of the ventricle's voxels met, valve voxels included
};

// floor() without a library call; exact for the small values of voxel indices.
inline int floorToInt(double x) {
  const int i = static_cast<int>(x);
  return x < i ? i - 1 : i;
}

RayHit castRay(const InstantVolume& vol, int cls, Vec3f c, Vec3f d, const std::vector<float>& steps) {
  RayHit hit;
  if (!(std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z) && std::isfinite(d.x) && std::isfinite(d.y) &&
        std::isfinite(d.z)))
    return hit;  // a degenerate skeleton: no sample can be placed
  const double zc = vol.NCZ / 2.0 + 0.5;
  const unsigned nz = static_cast<unsigned>(vol.NCZ);
  for (float s : steps) {
    const Vec3f p{c.x + s * d.x, c.y + s * d.y, c.z + s * d.z};
    const int row = floorToInt(p.x + 32.5), col = floorToInt(p.y + 32.5);
    const int z = floorToInt(static_cast<double>(p.z * vol.VXY / vol.VZ) + zc);
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(kMatrix) ||
        static_cast<unsigned>(col) >= static_cast<unsigned>(kMatrix) || static_cast<unsigned>(z) >= nz)
      continue;
    const size_t i = (static_cast<size_t>(z) * kMatrix + static_cast<size_t>(row)) * kMatrix + static_cast<size_t>(col);
    // Written without branches: the ray crosses the wall back and forth between samples.
    int b = vol.bord[i];
    b -= b > 100 ? 100 : 0;
    const bool surfaceOrInterior = b == cls;
    hit.dist = surfaceOrInterior ? s : hit.dist;
    hit.act += (surfaceOrInterior || b == cls + 100) ? vol.data[i] : 0.0f;
  }
  return hit;
}

// Direction of angular index r on a ring of axis d; on the polar cap tilted by phi towards d.
Vec3f rayDirection(Vec3f d, Vec3f u, Vec3f w, int r, int R, bool cap, float phi) {
  const float theta = static_cast<float>(r) * kTwoPi / static_cast<float>(R);
  const Vec3f around = std::cos(theta) * u + std::sin(theta) * w;
  return cap ? std::sin(phi) * d + std::cos(phi) * around : around;
}

// Smoothing passes of a distance grid [A][stride]: 3 x 3 binomial weights, angles wrapping,
// ring 0 with its own ring only; the pole ring then takes the mean of the ring before it.
void smoothDistances(float* dis, int stride, int A, int R, int passes) {
  const int last = A - 1;
  std::vector<float> old(static_cast<size_t>(A) * R);
  for (int p = 0; p < passes; ++p) {
    for (int a = 0; a < A; ++a) std::copy_n(dis + static_cast<size_t>(a) * stride, R, &old[static_cast<size_t>(a) * R]);
    for (int a = 0; a < last; ++a)
      for (int r = 0; r < R; ++r) {
        float sum = 0, wsum = 0;
        for (int da = -1; da <= 1; ++da) {
          if (a == 0 && da != 0) continue;
          for (int dr = -1; dr <= 1; ++dr) {
            const float wt = (da == 0 ? 0.5f : 0.25f) * (dr == 0 ? 0.5f : 0.25f);
            sum += wt * old[static_cast<size_t>(a + da) * R + (r + dr + R) % R];
            wsum += wt;
          }
        }
        dis[static_cast<size_t>(a) * stride + r] = sum / wsum;
      }
    float mean = 0;
    for (int r = 0; r < R; ++r) mean += dis[static_cast<size_t>(last - 1) * stride + r];
    mean /= static_cast<float>(R);
    for (int r = 0; r < R; ++r) dis[static_cast<size_t>(last) * stride + r] = mean;
  }
}

void ensureFullArrays(MeshModel& mesh) {
  const size_t nodes = static_cast<size_t>(2) * kMaxInstants * kMeshSize * kMeshSize;
  if (mesh.MESH_DIS.size() == nodes) return;
  mesh.MESH_CTR.assign(static_cast<size_t>(2) * kMaxInstants * kMeshSize * 3, 0.0f);
  for (auto* a : {&mesh.MESH_DIR, &mesh.MESH, &mesh.MESH_nor}) a->assign(3 * nodes, 0.0f);
  for (auto* a : {&mesh.MESH_DIS, &mesh.MESH_ACT, &mesh.MESH_act, &mesh.MESH_pond}) a->assign(nodes, 0.0f);
}

void ensurePreviewArrays(MeshModel& mesh) {
  const size_t nodes = static_cast<size_t>(2) * kMaxInstants * kPreviewMax * kPreviewMax;
  if (mesh.MESHpre_DIS.size() == nodes) return;
  mesh.MESHpre_CTR.assign(static_cast<size_t>(2) * kMaxInstants * kPreviewMax * 3, 0.0f);
  for (auto* a : {&mesh.MESHpre_DIR, &mesh.MESHpre, &mesh.MESHpre_nor}) a->assign(3 * nodes, 0.0f);
  mesh.MESHpre_DIS.assign(nodes, 0.0f);
}

void put3(std::vector<float>& a, size_t i, Vec3f p) { a[3 * i] = p.x, a[3 * i + 1] = p.y, a[3 * i + 2] = p.z; }
Vec3f get(const std::vector<float>& a, size_t i) { return {a[3 * i], a[3 * i + 1], a[3 * i + 2]}; }

// Rays of one ventricle (0-based) and instant of the full mesh: centres, directions, measured
// distances and raw activity.
void castFullMesh(const ModelInputs& in, const Model3DSettings& set, Model3D& m, int v, int i) {
  MeshModel& mesh = m.mesh;
  const SkeletonModel& sk = m.skel;
  const int A = mesh.mesh_samA, R = mesh.mesh_samR, V = v + 1;
  const int N = cylindricalRings(A, set.APEX_dismax[V][0]);
  const Vec3f ds1 = get3(sk.dsx1, sk.dsy1, sk.dsz1, V, i), ds2 = get3(sk.dsx2, sk.dsy2, sk.dsz2, V, i);
  const InstantVolume vol = instantVolume(in, sk, i);
  const std::vector<float>& steps = raySteps(kFullStep);
  for (int a = 0; a < A; ++a) {
    const bool cap = a >= N;
    const Vec3f centre = EVAL_SKEL_COORD(sk, sk.Skel_Discret[v][i][cap ? N : a], V, i);
    const Vec3f d = cap ? ds2 : normalised(ds1 + (static_cast<float>(a) / static_cast<float>(N)) * (ds2 - ds1));
    const float phi = cap ? static_cast<float>(a - N) * kHalfPi / static_cast<float>(A - N - 1) : 0.0f;
    Vec3f u, w;
    ringBasis(d, u, w);
    put3(mesh.MESH_CTR, MeshModel::ring(v, i, a), centre);
    for (int r = 0; r < R; ++r) {
      const size_t n = MeshModel::node(v, i, a, r);
      const Vec3f dir = rayDirection(d, u, w, r, R, cap, phi);
      put3(mesh.MESH_DIR, n, dir);
      const RayHit hit = castRay(vol, V, centre, dir, steps);
      mesh.MESH_DIS[n] = hit.dist;
      mesh.MESH_ACT[n] = hit.act;
    }
  }
}

// Keeps the measured distances of the coarse grid and interpolates the other nodes bilinearly.
void coarseGrid(MeshModel& mesh, int v, int i) {
  const int A = mesh.mesh_samA, R = mesh.mesh_samR;
  const int gA = A / kCoarseCells, gR = R / kCoarseCells;
  float* dis = &mesh.MESH_DIS[MeshModel::node(v, i, 0, 0)];
  auto D = [&](int a, int r) { return dis[static_cast<size_t>(a) * kMeshSize + r]; };
  for (int a = 0; a <= A - 2; ++a)
    for (int r = 0; r < R; ++r) {
      if (a % gA == 0 && r % gR == 0) continue;
      const int a0 = gA * (a / gA);
      int a1 = a0 + gA;
      float fa = static_cast<float>(a - a0) / static_cast<float>(gA);
      if (a1 >= A) a1 = A - 1, fa = static_cast<float>(a - a0) / static_cast<float>(gA - 1);
      const int r0 = gR * (r / gR), r1 = (r0 + gR) % R;
      const float fr = static_cast<float>(r - r0) / static_cast<float>(gR);
      dis[static_cast<size_t>(a) * kMeshSize + r] = (1 - fa) * (1 - fr) * D(a0, r0) + (1 - fa) * fr * D(a0, r1) +
                                                   fa * (1 - fr) * D(a1, r0) + fa * fr * D(a1, r1);
    }
}

void surfacePoints(MeshModel& mesh, int v, int i) {
  for (int a = 0; a < mesh.mesh_samA; ++a) {
    const Vec3f c = get(mesh.MESH_CTR, MeshModel::ring(v, i, a));
    for (int r = 0; r < mesh.mesh_samR; ++r) {
      const size_t n = MeshModel::node(v, i, a, r);
      put3(mesh.MESH, n, c + mesh.MESH_DIS[n] * get(mesh.MESH_DIR, n));
    }
  }
}

// Mean over the angles of ring a, written to every node of ring `to`.
void poleFromRing(float* grid, int stride, int a, int to, int R) {
  float mean = 0;
  for (int r = 0; r < R; ++r) mean += grid[static_cast<size_t>(a) * stride + r];
  mean /= static_cast<float>(R);
  for (int r = 0; r < R; ++r) grid[static_cast<size_t>(to) * stride + r] = mean;
}

// Triangles of an A x R grid: two per cell, numbered 2k and 2k + 1 with k = a R + r.
void gridTriangles(int A, int R, uint8_t* points) {
  for (int a = 0; a + 1 < A; ++a)
    for (int r = 0; r < R; ++r) {
      const int rp = (r + 1) % R;
      const int k = a * R + r;
      const int tri[2][6] = {{a, r, a + 1, r, a + 1, rp}, {a, r, a + 1, rp, a, rp}};
      for (int h = 0; h < 2; ++h)
        for (int j = 0; j < 6; ++j) points[(2 * k + h) * 6 + j] = static_cast<uint8_t>(tri[h][j]);
    }
}

// Vertex normals of one grid of surface points: point(a, r) gives a node's position.
template <typename Point>
void gridNormals(int A, int R, Point point, float* out, int stride) {
  const int last = A - 1;
  for (int a = 0; a <= last; ++a)
    for (int r = 0; r < R; ++r) {
      const Vec3f P = point(std::min(a + 1, last), r);
      const Vec3f B = point(std::max(a - 1, 0), (r - 1 + R) % R);
      const Vec3f C = point(std::max(a - 1, 0), (r + 1) % R);
      const Vec3f n = normalised(cross(C - P, B - P));
      float* o = out + 3 * (static_cast<size_t>(a) * stride + r);
      o[0] = n.x, o[1] = n.y, o[2] = n.z;
    }
}

}  // namespace

int meshSampling(int requested) {
  for (int s : {24, 48, 72, 96, 120})
    if (requested == s) return s;
  return 48;
}

int previewSampling(int requested) { return requested == 12 || requested == 24 || requested == 48 ? requested : 24; }

void ringBasis(Vec3f d, Vec3f& u, Vec3f& w) {
  if (std::fabs(d.z) > 0) {
    const float n = std::sqrt(d.z * d.z + d.x * d.x);
    u = {d.z / n, 0.0f, -d.x / n};
  } else {
    u = {0.0f, 0.0f, 1.0f};
  }
  w = cross(d, u);
}

float _MEAN_VECT_(float p1, float w1, float p2, float w2, float p3, float w3) {
  float x = 0, y = 0;
  for (auto [p, w] : {std::pair{p1, w1}, std::pair{p2, w2}, std::pair{p3, w3}}) {
    const float a = kTwoPi * p / 100.0f;
    x += w * std::cos(a), y += w * std::sin(a);
  }
  float angle = std::atan2(y, x);
  if (angle < 0) angle += kTwoPi;
  return angle * 15.915494f;
}

bool MAILLAGE_3D(const ModelInputs& in, const Model3DSettings& set, Model3D& m, WaitWindow* wait, int threads) {
  const Study& s = in.study;
  MeshModel& mesh = m.mesh;
  mesh.mesh_valid = 0;
  mesh.mesh_samA = meshSampling(in.options.DEFAULT_sama);
  mesh.mesh_samR = meshSampling(in.options.DEFAULT_samr);
  const int last = s.Ninst - 1;
  EVAL_SKEL_APEX(in, set, m.skel, kClassLeft, kClassRight, 0, last);
  EVAL_BARYCENTRES(in, m.skel, 0, kClassLeft, kClassRight, 0, last);
  SKEL_DISCRETISE(in, set, mesh.mesh_samA, m.skel, kClassLeft, kClassRight, 0, last);
  MAILLAGE_3D_PRE(in, set, m, 0, 1, 0, last);
  ensureFullArrays(mesh);

  const int A = mesh.mesh_samA, R = mesh.mesh_samR;
  const int passes = (R * in.options.mesh_itpre * A) /
                     (previewSampling(in.options.mesh_samP) * previewSampling(in.options.mesh_samP));
  int reported = 0;
  const bool done = parallelFor(
      2 * s.Ninst, threads,
      [&](int item, int) {
        const int v = item / s.Ninst, i = item % s.Ninst;
        castFullMesh(in, set, m, v, i);
        coarseGrid(mesh, v, i);
        smoothDistances(&mesh.MESH_DIS[MeshModel::node(v, i, 0, 0)], kMeshSize, A, R, passes);
        surfacePoints(mesh, v, i);
      },
      [&](int finished) {
        const bool go = !wait || wait->step(finished - reported);
        reported = finished;
        return go;
      });
  if (!done) return false;

  EVAL_WEIGHTINGS(in.options.DEFAULT_Vpond, s.Ninst, mesh);
  // Activity in percent of its largest value over both ventricles, instants and non-pole rings.
  for (std::vector<float>* act : {&mesh.MESH_ACT, &mesh.MESH_act}) {
    float top = 0;
    for (int v = 0; v < 2; ++v)
      for (int i = 0; i < s.Ninst; ++i)
        for (int a = 0; a < A - 1; ++a)
          for (int r = 0; r < R; ++r) top = std::max(top, (*act)[MeshModel::node(v, i, a, r)]);
    for (int v = 0; v < 2; ++v)
      for (int i = 0; i < s.Ninst; ++i) {
        float* grid = &(*act)[MeshModel::node(v, i, 0, 0)];
        for (int a = 0; a < A; ++a)
          for (int r = 0; r < R; ++r) {
            float& x = grid[static_cast<size_t>(a) * kMeshSize + r];
            x = top > 0 ? std::min(100.0f, x / top * 100.0f) : 0.0f;
          }
        poleFromRing(grid, kMeshSize, A - 2, A - 1, R);
      }
  }
  for (int v = 0; v < 2; ++v) {
    mesh.MIN_mX[v] = mesh.MIN_mY[v] = mesh.MIN_mZ[v] = kExtentReset;
    mesh.MAX_mX[v] = mesh.MAX_mY[v] = mesh.MAX_mZ[v] = -kExtentReset;
    for (int i = 0; i < s.Ninst; ++i)
      for (int a = 0; a < A; ++a)
        for (int r = 0; r < R; ++r) {
          const Vec3f p = mesh.point(v, i, a, r);
          mesh.MIN_mX[v] = std::min(mesh.MIN_mX[v], p.x), mesh.MAX_mX[v] = std::max(mesh.MAX_mX[v], p.x);
          mesh.MIN_mY[v] = std::min(mesh.MIN_mY[v], p.y), mesh.MAX_mY[v] = std::max(mesh.MAX_mY[v], p.y);
          mesh.MIN_mZ[v] = std::min(mesh.MIN_mZ[v], p.z), mesh.MAX_mZ[v] = std::max(mesh.MAX_mZ[v], p.z);
        }
  }
  mesh.mesh_valid = 1;
  return true;
}

void EVAL_WEIGHTINGS(int Vpond, int Ninst, MeshModel& mesh) {
  const int A = mesh.mesh_samA, R = mesh.mesh_samR, last = A - 1;
  for (int v = 0; v < 2; ++v)
    for (int t = 0; t < Ninst; ++t) {
      for (int a = 0; a < last; ++a)
        for (int r = 0; r < R; ++r) {
          const Vec3f P = mesh.point(v, t, a, r);
          const Vec3f up = 0.5f * (mesh.point(v, t, a + 1, r) + P);
          const Vec3f down = a == 0 ? P : 0.5f * (mesh.point(v, t, a - 1, r) + P);
          float h = norm(up - down);
          if (a == 0) h *= 2.0f;
          const Vec3f next = 0.5f * (mesh.point(v, t, a, (r + 1) % R) + P);
          const Vec3f prev = 0.5f * (mesh.point(v, t, a, (r - 1 + R) % R) + P);
          mesh.MESH_pond[MeshModel::node(v, t, a, r)] = h * norm(next - prev);
        }
      float rho = 0;
      const Vec3f pole = mesh.point(v, t, last, 0);
      for (int r = 0; r < R; ++r) rho += 0.5f * norm(mesh.point(v, t, last - 1, r) - pole);
      rho /= static_cast<float>(R);
      for (int r = 0; r < R; ++r) mesh.MESH_pond[MeshModel::node(v, t, last, r)] = 3.14159265f * rho * rho;
      for (int a = 0; a < A; ++a)
        for (int r = 0; r < R; ++r) {
          const size_t n = MeshModel::node(v, t, a, r);
          mesh.MESH_act[n] = mesh.MESH_ACT[n];
          if (Vpond == 1) mesh.MESH_ACT[n] *= mesh.MESH_pond[n];
        }
    }
}

bool TRIANGULATION_3D(int Ninst, Model3D& m, WaitWindow* wait) {
  MeshModel& mesh = m.mesh;
  const RegionalMaps& maps = m.maps;
  const int A = mesh.mesh_samA, R = mesh.mesh_samR;
  const int n = R * (A - 1) * 2;
  mesh.Nmeshtri = n;
  mesh.MESH_points.assign(static_cast<size_t>(2) * n * 6, 0);
  mesh.MESH_tri.assign(static_cast<size_t>(2) * kMaxInstants * n * 9, 0.0f);
  std::vector<float>* attr[6] = {&mesh.MESH_fej, &mesh.MESH_tej, &mesh.MESH_per,
                                 &mesh.MESH_pfr, &mesh.MESH_tper, &mesh.MESH_tpfr};
  const std::vector<float>* maps6[6] = {&maps.MESH_FEJ, &maps.MESH_TEJ, &maps.MESH_PER,
                                        &maps.MESH_PFR, &maps.MESH_TPER, &maps.MESH_TPFR};
  for (auto* a : attr) a->assign(static_cast<size_t>(2) * n * 3, 0.0f);
  bool go = true;
  for (int v = 0; v < 2; ++v) {
    uint8_t* pts = &mesh.MESH_points[static_cast<size_t>(v) * n * 6];
    gridTriangles(A, R, pts);
    for (int k = 0; k < n; ++k)
      for (int j = 0; j < 3; ++j) {
        const int a = pts[k * 6 + 2 * j], r = pts[k * 6 + 2 * j + 1];
        for (int q = 0; q < 6; ++q)
          if (!maps6[q]->empty()) (*attr[q])[(static_cast<size_t>(v) * n + k) * 3 + j] = (*maps6[q])[RegionalMaps::at(v, a, r)];
      }
    for (int t = 0; t < Ninst; ++t) {
      float* tri = &mesh.MESH_tri[(static_cast<size_t>(v) * kMaxInstants + t) * n * 9];
      for (int k = 0; k < n; ++k)
        for (int j = 0; j < 3; ++j) {
          const Vec3f p = mesh.point(v, t, pts[k * 6 + 2 * j], pts[k * 6 + 2 * j + 1]);
          float* o = tri + static_cast<size_t>(k) * 9 + 3 * j;
          o[0] = p.z, o[1] = p.x, o[2] = p.y;
        }
      if (wait && go) go = wait->step();
    }
  }
  if (go) go = EVAL_NORMALES(Ninst, mesh, wait);
  if (wait) wait->close();
  return go;
}

bool EVAL_NORMALES(int Ninst, MeshModel& mesh, WaitWindow* wait) {
  bool go = true;
  for (int v = 0; v < 2; ++v)
    for (int t = 0; t < Ninst; ++t) {
      gridNormals(
          mesh.mesh_samA, mesh.mesh_samR, [&](int a, int r) { return mesh.point(v, t, a, r); },
          &mesh.MESH_nor[3 * MeshModel::node(v, t, 0, 0)], kMeshSize);
      if (wait && go) go = wait->step();
    }
  return go;
}

void MAILLAGE_3D_PRE(const ModelInputs& in, const Model3DSettings& set, Model3D& m, int v0, int v1, int t0, int t1) {
  MeshModel& mesh = m.mesh;
  SkeletonModel& sk = m.skel;
  if (sk.BORD.empty()) return;
  ensurePreviewArrays(mesh);
  const int P = previewSampling(in.options.mesh_samP);
  mesh.mesh_samP_built = P;
  for (int v = v0; v <= v1; ++v)
    for (int i = t0; i <= t1; ++i) {
      const int V = v + 1;
      sk.UPDT_instant[V][i] = 1;
      const int Np = cylindricalRings(P, set.APEX_dismax[V][0]);
      const Vec3f ds1 = get3(sk.dsx1, sk.dsy1, sk.dsz1, V, i), ds2 = get3(sk.dsx2, sk.dsy2, sk.dsz2, V, i);
      const InstantVolume vol = instantVolume(in, sk, i);
      for (int a = 0; a < P; ++a) {
        const bool cap = a >= Np;
        Vec3f centre, d;
        if (cap) {
          centre = EVAL_SKEL_COORD(sk, 1.0f, V, i);
          d = ds2;
        } else {
          const int k = static_cast<int>(static_cast<float>(mesh.mesh_samA * a) / static_cast<float>(P) + 0.5f);
          centre = EVAL_SKEL_COORD(sk, sk.Skel_Discret[v][i][std::clamp(k, 0, kSkelSamples - 1)], V, i);
          d = normalised(ds1 + (static_cast<float>(a) / static_cast<float>(Np)) * (ds2 - ds1));
        }
        const float phi = cap ? static_cast<float>(a - Np) * kHalfPi / static_cast<float>(P - Np - 1) : 0.0f;
        Vec3f u, w;
        ringBasis(d, u, w);
        put3(mesh.MESHpre_CTR, MeshModel::preRing(v, i, a), centre);
        const std::vector<float>& steps = raySteps(cap ? kFullStep : kPreviewCylinderStep);
        for (int r = 0; r < P; ++r) {
          const size_t n = MeshModel::preNode(v, i, a, r);
          const Vec3f dir = rayDirection(d, u, w, r, P, cap, phi);
          put3(mesh.MESHpre_DIR, n, dir);
          mesh.MESHpre_DIS[n] = castRay(vol, V, centre, dir, steps).dist;
        }
      }
      smoothDistances(&mesh.MESHpre_DIS[MeshModel::preNode(v, i, 0, 0)], kPreviewMax, P, P, in.options.mesh_itpre);
      for (int a = 0; a < P; ++a) {
        const Vec3f c = get(mesh.MESHpre_CTR, MeshModel::preRing(v, i, a));
        for (int r = 0; r < P; ++r) {
          const size_t n = MeshModel::preNode(v, i, a, r);
          put3(mesh.MESHpre, n, c + mesh.MESHpre_DIS[n] * get(mesh.MESHpre_DIR, n));
        }
      }
      TRIANGULATION_3D_PRE(mesh, v, i);
      EVAL_NORMALES_PRE(mesh, v, i);
    }
}

void TRIANGULATION_3D_PRE(MeshModel& mesh, int v, int t) {
  const int P = mesh.mesh_samP_built;
  const int n = P * (P - 1) * 2;
  const size_t perVentricle = static_cast<size_t>(kPreviewMax) * (kPreviewMax - 1) * 2;
  if (mesh.MESHpre_points.size() != 2 * perVentricle * 6) {
    mesh.MESHpre_points.assign(2 * perVentricle * 6, 0);
    mesh.MESHpre_tri.assign(2 * kMaxInstants * perVentricle * 9, 0.0f);
  }
  mesh.Nmeshtri_pre = n;
  uint8_t* pts = &mesh.MESHpre_points[v * perVentricle * 6];
  gridTriangles(P, P, pts);
  float* tri = &mesh.MESHpre_tri[(static_cast<size_t>(v) * kMaxInstants + t) * perVentricle * 9];
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < 3; ++j) {
      const size_t node = MeshModel::preNode(v, t, pts[k * 6 + 2 * j], pts[k * 6 + 2 * j + 1]);
      const Vec3f p = get(mesh.MESHpre, node);
      float* o = tri + static_cast<size_t>(k) * 9 + 3 * j;
      o[0] = p.z, o[1] = p.x, o[2] = p.y;
    }
}

void EVAL_NORMALES_PRE(MeshModel& mesh, int v, int t) {
  const int P = mesh.mesh_samP_built;
  gridNormals(
      P, P, [&](int a, int r) { return get(mesh.MESHpre, MeshModel::preNode(v, t, a, r)); },
      &mesh.MESHpre_nor[3 * MeshModel::preNode(v, t, 0, 0)], kPreviewMax);
}

}  // namespace quorvel
