// The numerical toolkit against independent truth.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "curves/fourier.h"
#include "curves/numerics.h"
#include "curves/tacfit.h"

using namespace quorvel;

namespace {
double splineAt(const std::vector<SplineSegment>& seg, const std::vector<SamplePoint>& p, int i, double t) {
  const SplineSegment& c = seg[i];
  (void)p;
  return c[0] + t * (c[1] + t * (c[2] + t * c[3]));
}
double slopeAt(const SplineSegment& c, double t) { return c[1] + t * (2 * c[2] + 3 * t * c[3]); }
double curvAt(const SplineSegment& c, double t) { return 2 * c[2] + 6 * t * c[3]; }
}  // namespace

TEST(PolyApprox, RecoversPolynomialsThroughExactPoints) {
  // p(x) = 2 - x + 0.5 x^2 + 3 x^3
  std::vector<SamplePoint> pts;
  for (int i = 0; i < 7; ++i) {
    const double x = -1.0 + 0.4 * i;
    pts.push_back({x, 2 - x + 0.5 * x * x + 3 * x * x * x});
  }
  const std::vector<double> c3 = mkPolyApprox(pts.data(), 7, 3);
  ASSERT_EQ(c3.size(), 5u);  // d+2, the last a spare
  EXPECT_NEAR(c3[0], 2.0, 1e-9);
  EXPECT_NEAR(c3[1], -1.0, 1e-9);
  EXPECT_NEAR(c3[2], 0.5, 1e-9);
  EXPECT_NEAR(c3[3], 3.0, 1e-9);
  // A higher degree finds no x^4 term.
  const std::vector<double> c4 = mkPolyApprox(pts.data(), 7, 4);
  EXPECT_NEAR(c4[4], 0.0, 1e-8);
  EXPECT_NEAR(c4[3], 3.0, 1e-8);
  // Least squares on a line with symmetric noise: the line itself.
  std::vector<SamplePoint> noisy = {{0, 1.1}, {1, 2.9}, {2, 5.1}, {3, 6.9}};
  const std::vector<double> l = mkPolyApprox(noisy.data(), 4, 1);
  EXPECT_NEAR(l[1], 1.96, 1e-9);
  EXPECT_NEAR(l[0], 1.06, 1e-9);
}

TEST(PolyApprox, ForcedPolynomialPassesThroughZeroAndOne) {
  // Exact points of Q(x) = 0.3 x + 0.5 x^2 + 0.2 x^10 (Q(1) = 1): three terms recover it.
  std::vector<SamplePoint> pts;
  for (int i = 0; i <= 10; ++i) {
    const double x = i / 10.0;
    pts.push_back({x, 0.3 * x + 0.5 * x * x + 0.2 * std::pow(x, 10)});
  }
  const std::vector<double> q = mkPolyApproxForceSpecial(pts.data(), 11, 3);
  ASSERT_EQ(q.size(), 4u);
  EXPECT_EQ(q[0], 0.0);
  EXPECT_NEAR(q[1], 0.3, 1e-7);
  EXPECT_NEAR(q[2], 0.5, 1e-7);
  EXPECT_NEAR(q[3], 0.2, 1e-7);
  // Points far from any such curve still give Q(0) = 0 and Q(1) = 1.
  std::vector<SamplePoint> wild = {{0.1, 0.9}, {0.3, 0.1}, {0.5, 0.8}, {0.7, 0.2}, {0.9, 0.4}};
  for (int d : {2, 4, 6}) {
    const std::vector<double> w = mkPolyApproxForceSpecial(wild.data(), 5, d);
    EXPECT_EQ(evalPolyForceSpecial(w, 0.0), 0.0);
    EXPECT_NEAR(evalPolyForceSpecial(w, 1.0), 1.0, 1e-9) << "d " << d;
  }
}

TEST(Trinome, ThreeRootsOneRootAndRepeatedRoots) {
  auto r = trinome(-6, 11, -6);  // (x-1)(x-2)(x-3)
  EXPECT_NEAR(r[0], 1.0, 1e-12);
  EXPECT_NEAR(r[1], 2.0, 1e-12);
  EXPECT_NEAR(r[2], 3.0, 1e-12);
  EXPECT_EQ(r[3], 3.0);
  // Roots given out of order by the trigonometric form still come sorted: (x+2)(x-0.5)(x-4).
  r = trinome(-2.5, -7, 4);
  EXPECT_NEAR(r[0], -2.0, 1e-12);
  EXPECT_NEAR(r[1], 0.5, 1e-12);
  EXPECT_NEAR(r[2], 4.0, 1e-12);
  r = trinome(0, 0, -8);  // x^3 = 8
  EXPECT_NEAR(r[0], 2.0, 1e-12);
  EXPECT_EQ(r[1], 0.0);
  EXPECT_EQ(r[2], 0.0);
  EXPECT_EQ(r[3], 1.0);
  r = trinome(1, 1, 1);  // (x+1)(x^2+1): one real root
  EXPECT_NEAR(r[0], -1.0, 1e-12);
  EXPECT_EQ(r[3], 1.0);
  r = trinome(-6, 9, -4);  // (x-1)^2 (x-4)
  EXPECT_NEAR(r[0], 1.0, 1e-12);
  EXPECT_NEAR(r[1], 1.0, 1e-12);
  EXPECT_NEAR(r[2], 4.0, 1e-12);
  EXPECT_EQ(r[3], 3.0);
  r = trinome(-6, 12, -8);  // (x-2)^3
  EXPECT_NEAR(r[0], 2.0, 1e-12);
  EXPECT_NEAR(r[2], 2.0, 1e-12);
  EXPECT_EQ(r[3], 1.0);
}

TEST(Splines, PeriodicSplineClosesTheCycle) {
  const std::vector<SamplePoint> p = {{0, 1}, {0.390625, 0.3604}, {0.703125, 0.7588}, {0.78125, 0.8102},
                                      {0.859375, 0.8668}, {1, 1}};
  const std::vector<SplineSegment> seg = mkCyclCSplines(p.data(), 6);
  ASSERT_EQ(seg.size(), 5u);
  const double hL = p[5].x - p[4].x;
  EXPECT_NEAR(splineAt(seg, p, 4, hL), p[0].y, 1e-12);
  EXPECT_NEAR(slopeAt(seg[4], hL), slopeAt(seg[0], 0), 1e-9);
  EXPECT_NEAR(curvAt(seg[4], hL), curvAt(seg[0], 0), 1e-9);  // M_0 = M_{n-1}
  for (int i = 0; i + 1 < 5; ++i) {
    const double h = p[i + 1].x - p[i].x;
    EXPECT_NEAR(splineAt(seg, p, i, h), p[i + 1].y, 1e-12);
    EXPECT_NEAR(slopeAt(seg[i], h), slopeAt(seg[i + 1], 0), 1e-9);
  }
  // These six points are the reference curve of the model fit: its coefficient table (computed
  // in single precision) follows.
  TacFitWork s;
  for (int j = 0; j < 5; ++j)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(seg[j][c], s.TACFIT_SPLINE[j][c], 1e-4) << j << "," << c;
}

TEST(Splines, NaturalSplineHasFreeEndsAndKeepsLines) {
  const std::vector<SamplePoint> p = {{0, 0}, {1, 2}, {1.5, 1}, {3, 4}, {4, 3}};
  const std::vector<SplineSegment> seg = mkNatCSplines(p.data(), 5);
  ASSERT_EQ(seg.size(), 4u);
  EXPECT_NEAR(curvAt(seg[0], 0), 0.0, 1e-12);
  EXPECT_NEAR(curvAt(seg[3], 1.0), 0.0, 1e-12);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(splineAt(seg, p, i, p[i + 1].x - p[i].x), p[i + 1].y, 1e-12);
  const std::vector<SamplePoint> line = {{0, 1}, {0.5, 2}, {2, 5}};
  const std::vector<SplineSegment> ls = mkNatCSplines(line.data(), 3);
  EXPECT_NEAR(ls[1][1], 2.0, 1e-12);
  EXPECT_NEAR(ls[1][2], 0.0, 1e-12);
  EXPECT_NEAR(ls[1][3], 0.0, 1e-12);
}

TEST(Splines, InterpoledCurveAppendsClosureAndRotatesByItsStart) {
  // Eight samples of a cosine over one period, without the closing point.
  std::vector<SamplePoint> p;
  for (int i = 0; i < 8; ++i) p.push_back({i / 8.0, std::cos(2 * M_PI * i / 8.0)});
  double lo = 0, hi = 0;
  const std::vector<SamplePoint> out = getInterpoledCurve(p.data(), 8, 1.0, 64, &lo, &hi);
  ASSERT_EQ(out.size(), 64u);
  for (int k = 0; k < 64; ++k) {
    EXPECT_NEAR(out[k].x, k / 64.0, 1e-12);
    EXPECT_NEAR(out[k].y, std::cos(2 * M_PI * k / 64.0), 0.01) << k;
  }
  EXPECT_NEAR(out[0].y, 1.0, 1e-12);  // through the points
  EXPECT_NEAR(out[32].y, -1.0, 1e-12);
  EXPECT_NEAR(hi, 1.0, 1e-12);
  EXPECT_NEAR(lo, -1.0, 1e-12);

  // Starting at x0 = 0.25: output index i still corresponds to position i/64 in the period.
  std::vector<SamplePoint> q;
  for (int i = 0; i < 8; ++i) q.push_back({0.25 + i / 8.0, std::cos(2 * M_PI * (0.25 + i / 8.0))});
  const std::vector<SamplePoint> r = getInterpoledCurve(q.data(), 8, 1.0, 64);
  EXPECT_NEAR(r[16].x, 0.25, 1e-12);
  EXPECT_NEAR(r[16].y, 0.0, 1e-12);
  EXPECT_NEAR(r[32].y, -1.0, 1e-12);
  EXPECT_NEAR(r[48].y, 0.0, 1e-12);
  EXPECT_TRUE(getInterpoledCurve(nullptr, 8, 1.0, 64).empty());
}

TEST(LinearAlgebra, LuSolvesAndInvertsAKnownSystem) {
  // 2x + y - z = 8; -3x - y + 2z = -11; -2x + y + 2z = -3  ->  (2, 3, -1)
  const double A[3][3] = {{2, 1, -1}, {-3, -1, 2}, {-2, 1, 2}};
  Matrix1 m(3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m(i + 1, j + 1) = A[i][j];
  Matrix1 copy = m;
  std::vector<double> b = {0, 8, -11, -3};
  solve_matrice_LU(m, b);
  EXPECT_NEAR(b[1], 2.0, 1e-12);
  EXPECT_NEAR(b[2], 3.0, 1e-12);
  EXPECT_NEAR(b[3], -1.0, 1e-12);
  const Matrix1 inv = inverse_matrice_LU(copy);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += A[i][k] * inv(k + 1, j + 1);
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12);
    }
  Matrix1 zero(2);
  zero(1, 1) = 1;  // row 2 all zero
  std::vector<double> rhs = {0, 1, 1};
  EXPECT_THROW(solve_matrice_LU(zero, rhs), NumericalError);
}

TEST(LinearAlgebra, MigsInverseTimesMatrixIsIdentity) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int n : {1, 6, 24}) {
    std::vector<float> a(n * n), work, inv(n * n);
    for (float& v : a) v = u(gen);
    for (int i = 0; i < n; ++i) a[i * n + i] += 2.0f;  // well conditioned
    work = a;
    migs(n, work.data(), inv.data());
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        float s = 0;
        for (int k = 0; k < n; ++k) s += inv[i * n + k] * a[k * n + j];
        EXPECT_NEAR(s, i == j ? 1.0f : 0.0f, 2e-5f) << n << ":" << i << "," << j;
      }
  }
  // A pivot order that needs the index vector: a permutation matrix.
  float perm[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0}, pinv[9];
  migs(3, perm, pinv);
  const float expect[9] = {0, 0, 1, 1, 0, 0, 0, 1, 0};
  for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(pinv[i], expect[i]);

  std::vector<float> big(101 * 101, 1.0f), out(101 * 101);
  EXPECT_THROW(migs(101, big.data(), out.data()), NumericalError);
  float singular[4] = {1, 2, 2, 4}, sout[4];
  EXPECT_THROW(migs(2, singular, sout), NumericalError);
}

TEST(Fourier, RoundTripAndACosineInItsBins) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<float> u(-50.0f, 50.0f);
  std::vector<float> re(512), im(512);
  for (int i = 0; i < 512; ++i) {
    re[i] = u(gen);
    im[i] = u(gen);
  }
  const std::vector<float> re0 = re, im0 = im;
  TFn1(re.data(), im.data(), 512, 1);
  TFn1(re.data(), im.data(), 512, -1);
  for (int i = 0; i < 512; ++i) {
    EXPECT_NEAR(re[i], re0[i], 1e-3f);
    EXPECT_NEAR(im[i], im0[i], 1e-3f);
  }
  // 3 + 2 cos(2 pi 5 k / 512): mean in bin 0, half the amplitude in bins 5 and 507.
  for (int k = 0; k < 512; ++k) {
    re[k] = 3.0f + 2.0f * static_cast<float>(std::cos(2 * M_PI * 5 * k / 512.0));
    im[k] = 0.0f;
  }
  TFn1(re.data(), im.data(), 512, 1);
  for (int i = 0; i < 512; ++i) {
    const float expect = i == 0 ? 3.0f : (i == 5 || i == 507) ? 1.0f : 0.0f;
    EXPECT_NEAR(re[i], expect, 1e-5f) << i;
    EXPECT_NEAR(im[i], 0.0f, 1e-5f) << i;
  }
  EXPECT_THROW(TFn1(re.data(), im.data(), 12, 1), NumericalError);
}

TEST(Fourier, TwoDimensionalTransformOfAPlaneWave) {
  const int nx = 8, ny = 16;
  std::vector<float> re(nx * ny), im(nx * ny, 0.0f);
  for (int ix = 0; ix < nx; ++ix)
    for (int iy = 0; iy < ny; ++iy)
      re[ix * ny + iy] = static_cast<float>(std::cos(2 * M_PI * (1.0 * ix / nx + 3.0 * iy / ny)));
  const std::vector<float> re0 = re;
  TFn2(re.data(), im.data(), nx, ny, 1);
  for (int ix = 0; ix < nx; ++ix)
    for (int iy = 0; iy < ny; ++iy) {
      const bool peak = (ix == 1 && iy == 3) || (ix == nx - 1 && iy == ny - 3);
      EXPECT_NEAR(re[ix * ny + iy], peak ? 0.5f : 0.0f, 1e-5f) << ix << "," << iy;
    }
  TFn2(re.data(), im.data(), nx, ny, -1);
  for (int i = 0; i < nx * ny; ++i) EXPECT_NEAR(re[i], re0[i], 1e-5f);
}
