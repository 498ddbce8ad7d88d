#pragma once
// Numerical toolkit of the curve fits: least-squares polynomials, cubic splines, resampling,
// cubic roots, LU (double, 1-based) and Gaussian-elimination inversion (float, flat).
// Failures throw NumericalError; no routine returns a partly filled result.
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel {

inline constexpr int kMigsMaxDim = 100;

struct NumericalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws NumericalError carrying "Numerical Recipes Run-Time Error : <text>".
[[noreturn]] void nrerror(const std::string& text);

struct SamplePoint {
  double x = 0, y = 0;
};

// Square matrix for the LU routines, indexed from 1 to n in both directions.
class Matrix1 {
 public:
  explicit Matrix1(int n) : n_(n), a_(static_cast<size_t>(n + 1) * (n + 1), 0.0) {}
  int n() const { return n_; }
  double& operator()(int i, int j) { return a_[static_cast<size_t>(i) * (n_ + 1) + j]; }
  double operator()(int i, int j) const { return a_[static_cast<size_t>(i) * (n_ + 1) + j]; }

 private:
  int n_;
  std::vector<double> a_;
};

// Crout LU with implicit partial pivoting, in place; indx[1..n] gets the row permutation
// (size n+1). A row of zeros throws; a zero pivot is replaced by 1e-20.
void ludcmp(Matrix1& a, std::vector<int>& indx, double& d);
// Solves with the factors of ludcmp; b[1..n] (size n+1) is replaced by the solution.
void lubksb(const Matrix1& a, const std::vector<int>& indx, std::vector<double>& b);
// a is destroyed; returns its inverse.
Matrix1 inverse_matrice_LU(Matrix1& a);
// a is destroyed; b[1..n] is replaced by the solution of a x = b.
void solve_matrice_LU(Matrix1& a, std::vector<double>& b);

// Inverse of the n x n float matrix a (destroyed) into x, both flat n*n in the same order.
// Throws for n > 100 ("The matrix dimension is too large.") and for a singular matrix.
void migs(int n, float* a, float* x);
// Elimination with scaled partial pivoting; a receives the factors, indx[0..n-1] the pivot order.
void elgs(float* a, int n, int* indx);

// Least-squares polynomial of degree d: d+2 values, element k = coefficient of x^k (the last unused).
std::vector<double> mkPolyApprox(const SamplePoint* p, int n, int d);
// Least-squares Q(x) = sum_{k=1}^{d-1} q_k x^k + q_d x^10 with Q(0) = 0 and Q(1) = 1;
// d+1 values: [0] = 0, [1..d-1] = q_1..q_{d-1}, [d] = coefficient of x^10.
std::vector<double> mkPolyApproxForceSpecial(const SamplePoint* p, int n, int d);
double evalPolyForceSpecial(const std::vector<double>& q, double x);

// Segment i: a + b t + c t^2 + d t^3, t = x - x_i.
using SplineSegment = std::array<double, 4>;
// Natural cubic spline through n >= 3 points sorted by x; n-1 segments.
std::vector<SplineSegment> mkNatCSplines(const SamplePoint* p, int n);
// Periodic cubic spline; the last point must close the period (same y as the first).
std::vector<SplineSegment> mkCyclCSplines(const SamplePoint* p, int n);

// m evenly spaced samples of a spline through the points (period 0: natural spline over
// [0, x_{n-1}]; period p: periodic, the closing point appended when missing). The output is
// indexed cyclically by position in the span. Empty result for an empty input.
std::vector<SamplePoint> getInterpoledCurve(const SamplePoint* p, int n, double period, int m,
                                            double* ymin = nullptr, double* ymax = nullptr);

// Real roots of x^3 + a x^2 + b x + c = 0: {root1, root2, root3, count (1.0 or 3.0)}.
// Three roots come sorted ascending; with one, roots 2 and 3 are 0.
std::array<double, 4> trinome(double a, double b, double c);

// Normalised Gaussian weights of sigma (samples) over three sigmas each side; {1} when sigma is
// 0.3 sample or less (a narrower kernel is no smoothing).
std::vector<double> gaussianKernel(double sigma);

}  // namespace quorvel
