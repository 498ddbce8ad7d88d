#include "curves/numerics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorvel {

namespace {
constexpr double kTinyPivot = 1.0e-20;
}

void nrerror(const std::string& text) {
  throw NumericalError("Numerical Recipes Run-Time Error : " + text);
}

void ludcmp(Matrix1& a, std::vector<int>& indx, double& d) {
  const int n = a.n();
  indx.assign(static_cast<size_t>(n) + 1, 0);
  std::vector<double> vv(static_cast<size_t>(n) + 1);
  d = 1.0;
  for (int i = 1; i <= n; ++i) {
    double big = 0.0;
    for (int j = 1; j <= n; ++j) big = std::max(big, std::fabs(a(i, j)));
    if (big == 0.0) nrerror("singular matrix in routine ludcmp");
    vv[i] = 1.0 / big;
  }
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) {
      double sum = a(i, j);
      for (int k = 1; k < i; ++k) sum -= a(i, k) * a(k, j);
      a(i, j) = sum;
    }
    double big = 0.0;
    int imax = j;
    for (int i = j; i <= n; ++i) {
      double sum = a(i, j);
      for (int k = 1; k < j; ++k) sum -= a(i, k) * a(k, j);
      a(i, j) = sum;
      const double dum = vv[i] * std::fabs(sum);
      if (dum >= big) {
        big = dum;
        imax = i;
      }
    }
    if (j != imax) {
      for (int k = 1; k <= n; ++k) std::swap(a(imax, k), a(j, k));
      d = -d;
      vv[imax] = vv[j];
    }
    indx[j] = imax;
    if (a(j, j) == 0.0) a(j, j) = kTinyPivot;
    if (j != n) {
      const double dum = 1.0 / a(j, j);
      for (int i = j + 1; i <= n; ++i) a(i, j) *= dum;
    }
  }
}

void lubksb(const Matrix1& a, const std::vector<int>& indx, std::vector<double>& b) {
  const int n = a.n();
  int ii = 0;
  for (int i = 1; i <= n; ++i) {
    const int ip = indx[i];
    double sum = b[ip];
    b[ip] = b[i];
    if (ii) {
      for (int j = ii; j <= i - 1; ++j) sum -= a(i, j) * b[j];
    } else if (sum != 0.0) {
      ii = i;
    }
    b[i] = sum;
  }
  for (int i = n; i >= 1; --i) {
    double sum = b[i];
    for (int j = i + 1; j <= n; ++j) sum -= a(i, j) * b[j];
    b[i] = sum / a(i, i);
  }
}

Matrix1 inverse_matrice_LU(Matrix1& a) {
  const int n = a.n();
  std::vector<int> indx;
  double d = 0;
  ludcmp(a, indx, d);
  Matrix1 inv(n);
  std::vector<double> col(static_cast<size_t>(n) + 1);
  for (int j = 1; j <= n; ++j) {
    std::fill(col.begin(), col.end(), 0.0);
    col[j] = 1.0;
    lubksb(a, indx, col);
    for (int i = 1; i <= n; ++i) inv(i, j) = col[i];
  }
  return inv;
}

void solve_matrice_LU(Matrix1& a, std::vector<double>& b) {
  std::vector<int> indx;
  double d = 0;
  ludcmp(a, indx, d);
  lubksb(a, indx, b);
}

void elgs(float* a, int n, int* indx) {
  if (n > kMigsMaxDim) throw NumericalError("The matrix dimension is too large.");
  float c[kMigsMaxDim];
  for (int i = 0; i < n; ++i) indx[i] = i;
  for (int i = 0; i < n; ++i) {
    float c1 = 0.0f;
    for (int j = 0; j < n; ++j) c1 = std::max(c1, std::fabs(a[i * n + j]));
    // A zero row would divide by zero below and spread NaN through the inverse.
    if (c1 == 0.0f) throw NumericalError("singular matrix in routine elgs");
    c[i] = c1;
  }
  for (int j = 0; j < n - 1; ++j) {
    float pi1 = 0.0f;
    int k = j;
    for (int i = j; i < n; ++i) {
      const float pi0 = std::fabs(a[indx[i] * n + j]) / c[indx[i]];
      if (pi0 > pi1) {
        pi1 = pi0;
        k = i;
      }
    }
    if (pi1 == 0.0f) throw NumericalError("singular matrix in routine elgs");
    std::swap(indx[j], indx[k]);
    for (int i = j + 1; i < n; ++i) {
      const float pj = a[indx[i] * n + j] / a[indx[j] * n + j];
      a[indx[i] * n + j] = pj;
      for (int l = j + 1; l < n; ++l) a[indx[i] * n + l] -= pj * a[indx[j] * n + l];
    }
  }
  if (a[indx[n - 1] * n + n - 1] == 0.0f) throw NumericalError("singular matrix in routine elgs");
}

void migs(int n, float* a, float* x) {
  if (n > kMigsMaxDim) throw NumericalError("The matrix dimension is too large.");
  if (n <= 0) return;
  int indx[kMigsMaxDim];
  std::vector<float> b(static_cast<size_t>(n) * n, 0.0f);
  for (int i = 0; i < n; ++i) b[i * n + i] = 1.0f;
  elgs(a, n, indx);
  for (int i = 0; i < n - 1; ++i)
    for (int j = i + 1; j < n; ++j)
      for (int k = 0; k < n; ++k) b[indx[j] * n + k] -= a[indx[j] * n + i] * b[indx[i] * n + k];
  for (int i = 0; i < n; ++i) {
    x[(n - 1) * n + i] = b[indx[n - 1] * n + i] / a[indx[n - 1] * n + n - 1];
    for (int j = n - 2; j >= 0; --j) {
      float s = b[indx[j] * n + i];
      for (int k = j + 1; k < n; ++k) s -= a[indx[j] * n + k] * x[k * n + i];
      x[j * n + i] = s / a[indx[j] * n + j];
    }
  }
}

std::vector<double> mkPolyApprox(const SamplePoint* p, int n, int d) {
  const int m = d + 1;
  Matrix1 A(m);
  std::vector<double> b(static_cast<size_t>(m) + 1, 0.0);
  for (int i = 1; i <= m; ++i) {
    for (int j = 1; j <= m; ++j) {
      double s = 0.0;
      for (int k = 0; k < n; ++k) s += std::pow(p[k].x, (m - i) + (m - j));
      A(i, j) = s;
    }
    for (int k = 0; k < n; ++k) b[i] += p[k].y * std::pow(p[k].x, m - i);
  }
  Matrix1 inv = inverse_matrice_LU(A);
  std::vector<double> coef(static_cast<size_t>(d) + 2, 0.0);
  for (int i = 1; i <= m; ++i) {
    double s = 0.0;
    for (int j = 1; j <= m; ++j) s += inv(i, j) * b[j];
    coef[m - i] = s;
  }
  return coef;
}

std::vector<double> mkPolyApproxForceSpecial(const SamplePoint* p, int n, int d) {
  // Basis, by row: x^10, then x^(d-1) down to x^1; no constant so Q(0) = 0.
  auto power = [d](int i) { return i == 1 ? 10 : d + 1 - i; };
  Matrix1 A(d);
  std::vector<double> b(static_cast<size_t>(d) + 1, 0.0);
  for (int i = 1; i <= d; ++i) {
    for (int j = 1; j <= d; ++j) {
      double s = 0.0;
      for (int k = 0; k < n; ++k) s += std::pow(p[k].x, power(i) + power(j));
      A(i, j) = s;
    }
    for (int k = 0; k < n; ++k) b[i] += p[k].y * std::pow(p[k].x, power(i));
  }
  // The first normal equation gives way to Q(1) = 1.
  for (int j = 1; j <= d; ++j) A(1, j) = 1.0;
  b[1] = 1.0;
  solve_matrice_LU(A, b);
  std::vector<double> q(static_cast<size_t>(d) + 1, 0.0);
  for (int i = 2; i <= d; ++i) q[d + 1 - i] = b[i];
  q[d] = b[1];
  return q;
}

double evalPolyForceSpecial(const std::vector<double>& q, double x) {
  const int d = static_cast<int>(q.size()) - 1;
  double s = 0.0, xp = x;
  for (int k = 1; k <= d - 1; ++k, xp *= x) s += q[k] * xp;
  return s + q[d] * std::pow(x, 10);
}

namespace {
std::vector<SplineSegment> segmentsFrom(const SamplePoint* p, int n, const std::vector<double>& M) {
  std::vector<SplineSegment> seg(static_cast<size_t>(n) - 1);
  for (int i = 0; i + 1 < n; ++i) {
    const double h = p[i + 1].x - p[i].x;
    seg[i] = {p[i].y, (p[i + 1].y - p[i].y) / h - (M[i + 1] + 2.0 * M[i]) * h / 6.0, M[i] / 2.0,
              (M[i + 1] - M[i]) / (6.0 * h)};
  }
  return seg;
}
}  // namespace

std::vector<SplineSegment> mkNatCSplines(const SamplePoint* p, int n) {
  if (n < 3) nrerror("a natural spline needs at least 3 points");
  const int m = n - 2;
  Matrix1 A(m);
  std::vector<double> r(static_cast<size_t>(m) + 1, 0.0);
  for (int row = 1; row <= m; ++row) {
    const int i = row;  // interior point
    A(row, row) = 2.0 * (p[i + 1].x - p[i - 1].x);
    if (row < m) A(row, row + 1) = p[i + 1].x - p[i].x;
    if (row > 1) A(row, row - 1) = p[i].x - p[i - 1].x;
    r[row] = 6.0 * (p[i + 1].y - p[i].y) / (p[i + 1].x - p[i].x) +
             6.0 * (p[i - 1].y - p[i].y) / (p[i].x - p[i - 1].x);
  }
  Matrix1 inv = inverse_matrice_LU(A);
  std::vector<double> M(static_cast<size_t>(n), 0.0);
  for (int row = 1; row <= m; ++row) {
    double s = 0.0;
    for (int j = 1; j <= m; ++j) s += inv(row, j) * r[j];
    M[row] = s;
  }
  return segmentsFrom(p, n, M);
}

std::vector<SplineSegment> mkCyclCSplines(const SamplePoint* p, int n) {
  if (n < 3) nrerror("a periodic spline needs at least 3 points");
  Matrix1 A(n);
  std::vector<double> r(static_cast<size_t>(n) + 1, 0.0);
  for (int row = 2; row <= n - 1; ++row) {
    const int i = row - 1;
    A(row, row) = 2.0 * (p[i + 1].x - p[i - 1].x);
    A(row, row + 1) = p[i + 1].x - p[i].x;
    A(row, row - 1) = p[i].x - p[i - 1].x;
    r[row] = 6.0 * (p[i + 1].y - p[i].y) / (p[i + 1].x - p[i].x) +
             6.0 * (p[i - 1].y - p[i].y) / (p[i].x - p[i - 1].x);
  }
  // Rows 1 and n both state the junction x_0 == x_{n-1}, which forces M_0 = M_{n-1}.
  const double h0 = p[1].x - p[0].x, hL = p[n - 1].x - p[n - 2].x;
  const double rhs = 6.0 * (p[1].y - p[0].y) / h0 - 6.0 * (p[n - 1].y - p[n - 2].y) / hL;
  for (int row : {1, n}) {
    A(row, row) += 2.0 * (h0 + hL);
    A(row, 2) += h0;
    A(row, n - 1) += hL;
    r[row] = rhs;
  }
  solve_matrice_LU(A, r);
  std::vector<double> M(r.begin() + 1, r.end());
  return segmentsFrom(p, n, M);
}

std::vector<SamplePoint> getInterpoledCurve(const SamplePoint* p, int n, double period, int m,
                                            double* ymin, double* ymax) {
  if (!p || n <= 0 || m <= 0) return {};
  std::vector<SamplePoint> pts(p, p + n);
  double span;
  std::vector<SplineSegment> seg;
  if (period == 0.0) {
    seg = mkNatCSplines(pts.data(), n);
    span = pts[n - 1].x;
  } else {
    if (!(pts[n - 1].x == pts[0].x + period && pts[n - 1].y == pts[0].y))
      pts.push_back({pts[0].x + period, pts[0].y});
    seg = mkCyclCSplines(pts.data(), static_cast<int>(pts.size()));
    span = period;
  }
  const int np = static_cast<int>(pts.size());
  const double x0 = pts[0].x;
  const int o = static_cast<int>(x0 * m / span);
  std::vector<SamplePoint> out(static_cast<size_t>(m));
  int s = 0;
  for (int k = 0; k < m; ++k) {
    const double X = x0 + k * span / m;
    const int idx = ((o + k) % m + m) % m;
    if (s < np - 1) {
      const double t = X - pts[s].x;
      const SplineSegment& c = seg[s];
      out[idx] = {pts[s].x + t, c[0] + t * (c[1] + t * (c[2] + t * c[3]))};
    } else {
      out[idx] = {X, out[(idx + m - 1) % m].y};
    }
    while (s < np - 1 && (k + 1) * span / m >= pts[s + 1].x - x0) ++s;
  }
  if (ymin || ymax) {
    double lo = out[0].y, hi = out[0].y;
    for (const SamplePoint& q : out) {
      lo = std::min(lo, q.y);
      hi = std::max(hi, q.y);
    }
    if (ymin) *ymin = lo;
    if (ymax) *ymax = hi;
  }
  return out;
}

std::array<double, 4> trinome(double a, double b, double c) {
  const double a3 = a / 3.0;
  const double Q = (a * a - 3.0 * b) / 9.0;
  const double R = (2.0 * a * a * a - 9.0 * a * b + 27.0 * c) / 54.0;
  if (R == 0.0 && Q == 0.0) return {-a3, -a3, -a3, 1.0};
  const double q3 = a * a - 3.0 * b, r2 = 2.0 * a * a * a - 9.0 * a * b + 27.0 * c;
  if (2916.0 * q3 * q3 * q3 == 729.0 * r2 * r2) {
    const double s = std::sqrt(Q);
    if (R > 0.0) return {-2.0 * s - a3, s - a3, s - a3, 3.0};
    return {-s - a3, -s - a3, 2.0 * s - a3, 3.0};
  }
  if (R * R < Q * Q * Q) {
    const double theta = std::acos(R / std::sqrt(Q * Q * Q));
    const double k = -2.0 * std::sqrt(Q);
    std::array<double, 3> r = {k * std::cos(theta / 3.0) - a3, k * std::cos((theta + 2.0 * std::numbers::pi) / 3.0) - a3,
                               k * std::cos((theta - 2.0 * std::numbers::pi) / 3.0) - a3};
    std::sort(r.begin(), r.end());
    return {r[0], r[1], r[2], 3.0};
  }
  const double A = (R >= 0.0 ? -1.0 : 1.0) * std::cbrt(std::fabs(R) + std::sqrt(R * R - Q * Q * Q));
  const double B = A != 0.0 ? Q / A : 0.0;
  return {A + B - a3, 0.0, 0.0, 1.0};
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

}  // namespace quorvel
