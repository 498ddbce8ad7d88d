// Method 0 (developer mode): the older reference-curve fit, y(t) = S(Q(t))^e.
#include "curves/tacfit_ref.h"

#include <algorithm>
#include <cmath>


namespace quorvel {

namespace {
constexpr double kRootTolerance = 1e-5;
constexpr int kResampled = 200;
constexpr int kStartWarpDegree = 6;
constexpr double kFlatMeanLength = 90.0;

double wrapUnit(double u) {
  while (u < 0.0) u += 1.0;
  while (u >= 1.0) u -= 1.0;
  return u;
}

double segValue(const SplineSegment& c, double f) { return c[0] + f * (c[1] + f * (c[2] + f * c[3])); }

double exponentFor(double F) { return std::log(1.0 - std::min(F, 0.99)) / std::log(kRefMinValue); }

// Phase w where the reference spline takes the value v (in [min, 1]), on its descending part
// (up to the minimum) or its rising part (after it). Root of the segment cubic, as the closed
// form gives it; bisection only when rounding leaves no root inside the segment.
double locateOnSpline(const RefStdModel& m, double v, bool rising) {
  const SamplePoint* k = m.points;
  int j;
  double lo, hi;
  const double minF = m.minPhase - k[1].x;  // the minimum lies inside segment 1
  if (!rising) {
    if (v >= k[1].y) { j = 0; lo = 0.0; hi = k[1].x - k[0].x; }
    else { j = 1; lo = 0.0; hi = minF; }
  } else {
    if (v <= k[2].y) { j = 1; lo = minF; hi = k[2].x - k[1].x; }
    else if (v <= k[3].y) { j = 2; lo = 0.0; hi = k[3].x - k[2].x; }
    else if (v <= k[4].y) { j = 3; lo = 0.0; hi = k[4].x - k[3].x; }
    else { j = 4; lo = 0.0; hi = k[5].x - k[4].x; }
  }
  const SplineSegment& c = m.seg[j];
  const std::array<double, 4> r = trinome(c[2] / c[3], c[1] / c[3], (c[0] - v) / c[3]);
  const int count = static_cast<int>(r[3]);
  for (int i = 0; i < count; ++i) {
    double f = r[i];
    if (std::fabs(f) < kRootTolerance) f = 0.0;
    if (f >= lo - (lo > 0 ? kRootTolerance : 0.0) && f <= hi + kRootTolerance)
      return k[j].x + std::clamp(f, lo, hi);
  }
  double a = lo, b = hi;
  const double sa = segValue(c, a) - v;
  for (int it = 0; it < 60; ++it) {
    const double mid = 0.5 * (a + b);
    if ((segValue(c, mid) - v) * sa > 0) a = mid; else b = mid;
  }
  return k[j].x + 0.5 * (a + b);
}

double warpValue(const RefCurveModel& m, double t) {
  if (m.degree <= 1) return (1.0 - m.q[1]) * t + m.q[1] * t * t;
  return evalPolyForceSpecial(m.q, t);
}

// Accepts the warp when it does not decrease before t = 0.86.
bool refcurve_isPolyMonoton(const RefCurveModel& m) {
  double prev = warpValue(m, 0.0);
  for (int i = 1; i * 0.01 < 0.86; ++i) {
    const double v = warpValue(m, i * 0.01);
    if (v < prev) return false;
    prev = v;
  }
  return true;
}

double refcurve_distTac2Fit(const RefCurveModel& m, const std::vector<SamplePoint>& pts) {
  double d = 0.0;
  for (const SamplePoint& p : pts) {
    const double model = std::pow(modif_baseModel(p.x, m), 1.0 / m.exponent);
    const double e = std::pow(std::max(p.y, 0.0), 1.0 / m.exponent) - model;
    d += e * e;
  }
  return d;
}

RefCurveModel warpOfDegree(const RefCurveModel& base, const std::vector<SamplePoint>& tw, int degree) {
  RefCurveModel m = modif_cloneModel(base);
  m.degree = degree;
  if (degree <= 1) {
    double num = 0.0, den = 0.0;
    for (const SamplePoint& p : tw) {
      const double t = p.x, w = p.y;
      num += w * t + t * t * t - (w + 1.0) * t * t;
      den += (t * t - t) * (t * t - t);
    }
    m.q = {0.0, den > 0.0 ? -num / den : 0.0};
  } else {
    m.q = mkPolyApproxForceSpecial(tw.data(), static_cast<int>(tw.size()), degree);
  }
  return m;
}

// Phase on the reference for every point, from its value raised to 1/e.
std::vector<SamplePoint> warpPairs(const RefStdModel& s, const std::vector<SamplePoint>& pts, double e,
                                   double tes) {
  std::vector<SamplePoint> tw;
  for (const SamplePoint& p : pts) {
    const double v = std::clamp(std::pow(std::max(p.y, 0.0), 1.0 / e), s.minValue, 1.0);
    tw.push_back({p.x, locateOnSpline(s, v, p.x > tes)});
  }
  return tw;
}

RefCurveModel refcurve_modelFit(const RefStdModel& s, const std::vector<SamplePoint>& pts, double tes, double F) {
  RefCurveModel base;
  base.std = s;
  base.exponent = exponentFor(F);
  const std::vector<SamplePoint> tw = warpPairs(s, pts, base.exponent, tes);
  int d = kStartWarpDegree;
  RefCurveModel m = warpOfDegree(base, tw, d);
  while (d > 1 && !refcurve_isPolyMonoton(m)) m = warpOfDegree(base, tw, --d);
  double dist = refcurve_distTac2Fit(m, pts);
  while (d > 1) {
    RefCurveModel lower = warpOfDegree(base, tw, d - 1);
    const double dl = refcurve_distTac2Fit(lower, pts);
    if (dl > dist || !refcurve_isPolyMonoton(lower)) break;
    m = lower;
    dist = dl;
    --d;
  }
  return m;
}

double refcurve_adaptFes(const RefStdModel& s, const std::vector<SamplePoint>& pts, double tes, double F) {
  F = std::min(F, 0.99);
  const double e = exponentFor(F);
  const std::vector<SamplePoint> tw = warpPairs(s, pts, e, tes);
  // Raise the degree while it still removes a tenth of the residual; use the last tried minus 2.
  const int n = static_cast<int>(tw.size());
  auto residual = [&](const std::vector<double>& c) {
    double r = 0.0;
    for (const SamplePoint& p : tw) {
      double v = 0.0, xp = 1.0;
      for (size_t k = 0; k + 1 < c.size(); ++k, xp *= p.x) v += c[k] * xp;
      r += (v - p.y) * (v - p.y);
    }
    return r;
  };
  int tried = 2;
  double res = residual(mkPolyApprox(tw.data(), n, tried));
  while (tried < kStartWarpDegree && tried + 2 < n) {
    const double next = residual(mkPolyApprox(tw.data(), n, tried + 1));
    ++tried;
    if (!(next < 0.9 * res)) break;
    res = next;
  }
  const int used = std::clamp(tried - 2, 1, 4);
  const std::vector<double> P = mkPolyApprox(tw.data(), n, used);

  const SamplePoint* nearest = &pts[0];
  for (const SamplePoint& p : pts)
    if (std::fabs(p.x - tes) < std::fabs(nearest->x - tes)) nearest = &p;
  double wp = 0.0, xp = 1.0;
  for (int k = 0; k <= used; ++k, xp *= nearest->x) wp += P[k] * xp;
  wp = std::fabs(wp);
  if (wp > 1.0) wp = 0.99;
  const double sv = refcurve_spline(s, wp);
  if (!(nearest->y > 0.0) || !(sv > 0.0) || sv == 1.0) return F;
  const double e2 = std::log(nearest->y) / std::log(sv);
  const double cand = 1.0 - std::pow(kRefMinValue, e2);
  const bool ok = cand > 0.5 * F && cand < 1.5 * F && cand > 0.05 && cand < 0.95 && e2 > 0.25 * e && e2 < 4.0 * e;
  return ok && std::isfinite(cand) ? cand : F;
}
}  // namespace

RefStdModel modif_stdModel() {
  RefStdModel m;
  static constexpr SamplePoint kPoints[kRefPoints] = {{0.0, 1.0},      {0.390625, 0.3604}, {0.703125, 0.7588},
                                                      {0.78125, 0.8102}, {0.859375, 0.8668}, {1.0, 1.0}};
  std::copy(std::begin(kPoints), std::end(kPoints), m.points);
  m.seg = mkCyclCSplines(m.points, kRefPoints);
  return m;
}

RefCurveModel modif_cloneModel(const RefCurveModel& m) { return m; }

double refcurve_spline(const RefStdModel& m, double w) {
  w = wrapUnit(w);
  for (int j = 0; j + 1 < m.npoints; ++j)
    if (w < m.points[j + 1].x) return segValue(m.seg[j], w - m.points[j].x);
  return m.points[m.npoints - 1].y;
}

double modif_baseModel(double t, const RefCurveModel& m) {
  double q = warpValue(m, t);
  if (m.degree < 3) {
    q = std::clamp(q, 0.0, 1.0);
  } else {
    if (q > 1.0 && t > 0.85) q = 1.0;
    if (q < 0.0 && t < 0.03) q = 0.0;
  }
  const double sv = q >= 1.0 ? 1.0 : refcurve_spline(m.std, q);
  return std::pow(sv, m.exponent);
}

int TACFIT_REF(RefCurveResult& voc, const double* tacfit_arg, int Ninst) {
  const int N = Ninst;
  voc = RefCurveResult{};
  voc.model.std = modif_stdModel();

  // curveGD, normalised: x by 1, y by the largest value.
  std::vector<SamplePoint> pts(static_cast<size_t>(N) + 1);
  double ymax = 0.0;
  for (int i = 0; i <= N; ++i) {
    pts[i] = {static_cast<double>(i) / N, tacfit_arg[i]};
    ymax = std::max(ymax, tacfit_arg[i]);
  }
  voc.yscale = ymax;
  if (!(ymax > 0.0)) return 0;  // nothing to fit: the identity model times a zero scale
  for (SamplePoint& p : pts) p.y /= ymax;

  double rmin = 0.0;
  const std::vector<SamplePoint> res = getInterpoledCurve(pts.data(), N + 1, 1.0, kResampled, &rmin);

  // Alignment of the reference on the points (modif_recaleHB): best cyclic correlation.
  RefCurveModel ident = modif_cloneModel(voc.model);
  ident.exponent = std::log(std::max(rmin, 1e-6)) / std::log(kRefMinValue);
  int bestShift = 0;
  double best = -1.0;
  for (int s = 0; s < N; ++s) {
    double c = 0.0;
    for (int j = 0; j < N; ++j) c += pts[j].y * modif_baseModel(pts[(s + j) % N].x, ident);
    if (c > best) { best = c; bestShift = s; }
  }
  const double a = pts[(N - bestShift) % N].x;

  // refcurve_recale: the largest value first.
  int imax = 0;
  for (int i = 1; i < N; ++i)
    if (pts[i].y > pts[imax].y) imax = i;
  const double b = pts[imax].x;
  std::vector<SamplePoint> sh(static_cast<size_t>(N) + 1);
  for (int i = 0; i < N; ++i) sh[((i - imax) % N + N) % N] = {wrapUnit(pts[i].x - b), pts[i].y};
  sh[N] = {1.0, sh[0].y};

  // End-systole and ejection fraction estimates.
  int i1 = 0;
  for (int i = 1; i < N; ++i)
    if (sh[i].y < sh[i1].y) i1 = i;
  int i2 = i1 == 0 ? 1 : 0;
  for (int i = 0; i < N; ++i)
    if (i != i1 && sh[i].y < sh[i2].y) i2 = i;
  const bool neighbours = std::abs(i1 - i2) == 1 || std::abs(i1 - i2) == N - 1;
  double tes;
  if (neighbours) {
    int kmin = 0;
    for (int k = 1; k < kResampled; ++k)
      if (res[k].y < res[kmin].y) kmin = k;
    tes = wrapUnit(static_cast<double>(kmin) / kResampled - b);
  } else {
    tes = wrapUnit(kRefMinPhase + a - b);
  }
  double F = 1.0 - sh[i1].y;
  double length = 0.0;
  for (int i = 0; i < N; ++i) length += std::hypot(sh[i + 1].x - sh[i].x, sh[i + 1].y - sh[i].y);
  if (length * 1000.0 / (N + 1) < kFlatMeanLength) {
    // A flat curve: lift it so the estimate does not hang on one noisy minimum.
    const double larger = std::max(sh[1].y, sh[N - 1].y);
    const double o = (larger + 1.0) / 2.0 - 1.0;
    const double mean3 = (sh[(i1 + N - 1) % N].y + sh[i1].y + sh[(i1 + 1) % N].y) / 3.0;
    F = 1.0 - mean3 + o;
    for (SamplePoint& p : sh) p.y = std::min(p.y - o, 1.0);
  }
  F = std::clamp(F, 0.01, 0.99);

  const double Fa = refcurve_adaptFes(voc.model.std, sh, tes, F);
  voc.model = refcurve_modelFit(voc.model.std, sh, tes, Fa);

  // refcurve_modeliseCurve: minimum and steepest slopes up to the end of rapid filling.
  double vmin = 2.0, tmin = 0.0, fall = 0.0, tfall = 0.0, rise = 0.0, trise = 0.0;
  double prev = modif_baseModel(0.0, voc.model);
  vmin = prev;
  for (int i = 1; i < kResampled; ++i) {
    const double t = static_cast<double>(i) / kResampled;
    if (warpValue(voc.model, t) >= kRefFillPhase) break;
    const double v = modif_baseModel(t, voc.model);
    if (v < vmin) { vmin = v; tmin = t; }
    const double slope = (v - prev) * kResampled;
    if (slope < fall) { fall = slope; tfall = t; }
    if (slope > rise) { rise = slope; trise = t; }
    prev = v;
  }
  voc.tfs = wrapUnit(tmin + b);
  voc.fes = 1.0 - vmin;
  voc.per = -fall;
  voc.tper = wrapUnit(tfall + b);
  voc.pfr = rise;
  voc.tpfr = wrapUnit(trise + b);
  voc.shift = b;
  voc.xscale = 1.0;
  voc.valid = true;
  return 0;
}

void referenceModelCurve(const RefCurveResult& voc, float Cmax, int tmax, int Ninst, float* vidange) {
  const int offset = (tmax * 512) / Ninst;
  for (int i = 0; i < 512; ++i) {
    int j = i + offset;
    if (j > 511) j -= 512;
    vidange[j] = Cmax * static_cast<float>(modif_baseModel(i / 512.0, voc.model));
  }
}

}  // namespace quorvel
