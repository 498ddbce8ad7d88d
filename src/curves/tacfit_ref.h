#pragma once
// Method 0 (developer mode): the reference spline S raised to an exponent and read through a
// time-warp polynomial Q, y(t) = S(Q(t))^e, on a curve rotated so that its maximum comes first.
#include <vector>

#include "curves/numerics.h"

namespace quorvel {

inline constexpr double kRefMinPhase = 0.405506815;   // phase of the reference spline's minimum
inline constexpr double kRefMinValue = 0.358067824;   // its value
inline constexpr double kRefFillPhase = 0.703125;     // end of rapid filling
inline constexpr int kRefPoints = 6;

// modif_stdModel: the reference spline through its six points.
struct RefStdModel {
  double minPhase = kRefMinPhase;
  double minValue = kRefMinValue;
  double fillPhase = kRefFillPhase;
  int npoints = kRefPoints;
  SamplePoint points[kRefPoints] = {};
  std::vector<SplineSegment> seg;  // npoints - 1 segments
};

// A curve model: the exponent, the warp degree and its coefficients. Degree 1 is the quadratic
// (1 - q[1]) t + q[1] t^2; degree d >= 2 is sum_{k=1}^{d-1} q[k] t^k + q[d] t^10.
struct RefCurveModel {
  double exponent = 1.0;
  int degree = 1;
  std::vector<double> q = {0.0, 0.0};
  RefStdModel std;
};

// voc: the result of method 0.
struct RefCurveResult {
  double xscale = 1.0, yscale = 0.0;
  double tfs = 0;           // end-systolic phase, fraction of the cycle (after undoing b)
  double fes = 0;           // 1 - minimum of the normalised model
  double per = 0, tper = 0;  // steepest fall (per cycle) and its phase
  double pfr = 0, tpfr = 0;  // steepest rise and its phase
  double shift = 0;          // b
  RefCurveModel model;
  bool valid = false;
};

RefStdModel modif_stdModel();
RefCurveModel modif_cloneModel(const RefCurveModel& m);
// Reference spline value at phase w in [0, 1].
double refcurve_spline(const RefStdModel& m, double w);
// Normalised model value at phase t in [0, 1).
double modif_baseModel(double t, const RefCurveModel& m);

// Fits the first Ninst+1 values (maximum first, the last closing the cycle) into voc.
// Returns 0; throws NumericalError when a polynomial system cannot be solved.
int TACFIT_REF(RefCurveResult& voc, const double* tacfit_arg, int Ninst);

// The 512-sample fitted volume of method 0, the input rotation (maximum at instant tmax) undone:
// vidange[(i + tmax*512/Ninst) mod 512] = Cmax * model(i/512).
void referenceModelCurve(const RefCurveResult& voc, float Cmax, int tmax, int Ninst, float* vidange);

}  // namespace quorvel
