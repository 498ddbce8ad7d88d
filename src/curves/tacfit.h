#pragma once
// The volume-curve fitting methods, their user settings and the work buffers they fill.
// Every method reads the first ctx.Ninst values of tacfit_arg (callers pass Ninst+1, the last
// repeating the first), fills the common record s.out and returns 0. Numerical failures throw
// NumericalError (curves/numerics.h); the record is then not to be used.
#include <filesystem>
#include <string>

#include "curves/tacfit_ref.h"
#include "curves/tacfit_record.h"

namespace quorvel {

inline constexpr int kSplineMatrixSide = 3 * kMaxInstants;  // SPmatrix: 3 Ninst x 3 Ninst at most

// Selector values of TACFIT_switch.
enum TacFitMethod : int {
  kTacFitRef = 0,         // TACFIT_REF, developer mode only
  kTacFitNew = 1,         // TACFIT_NEW
  kMultiHarmonique = 2,   // MULTI_HARMONIQUE
  kTacFitAlt = 3,         // TACFIT_ALT
  kTacFitAffine = 4,      // TACFIT_AFFINE
  kTacFitSplines = 5,     // TACFIT_SPLINES
};
inline constexpr int kTacFitMethods = 6;

// The user's settings of the methods; they persist across studies. The method itself is chosen
// per study (TACFIT_switch of the per-study settings).
struct TacFitSettings {
  int TACFIT_ITER = 15;   // method 1 iterations
  int CMH_DEG = 2;        // method 2 harmonics, 1..4
  int TACFIT_ITmax = 20;  // method 3 iterations
};

// Work buffers of the methods: overwritten by every fit. One per thread that fits.
struct TacFitWork {
  TacFitWork();  // the reference spline of method 1 set up (INIT_TACFITNEW)

  TacFitOutput out;  // common output record

  // Normalised measured instants, shared by methods 1 and 3.
  float TACFIT_points[kMaxInstants] = {};
  float TACFIT_YMAX = 0, TACFIT_YMIN = 0;

  // Method 1: reference spline, model parameters and probe steps.
  float TACFIT_ABC[6] = {};
  float TACFIT_SPLINE[5][4] = {};
  int TACFIT_DEG[3] = {7, 7, 3};
  float TACFITNEW_PARAM[3][40] = {};
  float TACFITNEW_eps[3][40] = {};

  // Method 2 work arrays.
  float CMH_real[kCurveSamples] = {};
  float CMH_imag[kCurveSamples] = {};

  // Method 3: parameters, steps, piece coefficients and the 6 x 6 work matrices.
  float TACFIT_PARAM[16] = {};
  float TACFIT_eps[16] = {};
  float TACFIT_COEF[3][12] = {};
  float TACFIT_COEF_tmp[3][6] = {};
  float matrix_0[36] = {};
  float matrix_1[36] = {};

  // Method 5: uniform periodic spline system and its inverse (row-major, 3 Ninst used).
  float SPmatrix[kSplineMatrixSide * kSplineMatrixSide] = {};
  float SPmatrix_[kSplineMatrixSide * kSplineMatrixSide] = {};
  int SPmatrix_Ninst = 0;  // Ninst the matrices were built for; 0 = not built

  // Method 0 result.
  RefCurveResult voc;
};

// Start-up initialisation of the reference spline of method 1.
void INIT_TACFITNEW(TacFitWork& s);

// Builds SPmatrix for ctx.Ninst and inverts it into SPmatrix_. Returns 0.
int BUILD_SPLINES_MATRIX(TacFitWork& s, const FitContext& ctx);

// Method 1: reference curve warped in time and amplitude, fitted by probe-and-step descent
// with TACFIT_ITER iterations.
int TACFIT_NEW(TacFitWork& s, int TACFIT_ITER, const double* tacfit_arg, const FitContext& ctx);
// Method 2: mean and the first CMH_DEG harmonics of the closed piecewise-linear curve.
int MULTI_HARMONIQUE(TacFitWork& s, int CMH_DEG, const double* tacfit_arg, const FitContext& ctx);
// Method 3: three quintic pieces fitted by probe-and-step descent; fills s.out itself.
int TACFIT_ALT(TacFitWork& s, const double* tacfit_arg, int iterations, const FitContext& ctx);
// Method 4: piecewise-linear through the instants; needs Ninst+1 values.
int TACFIT_AFFINE(TacFitWork& s, const double* tacfit_arg, const FitContext& ctx);
// Method 5: uniform periodic cubic spline through the instants. Builds the spline matrices
// when they were not built for ctx.Ninst.
int TACFIT_SPLINES(TacFitWork& s, const double* tacfit_arg, const FitContext& ctx);

// Method 1 pieces, exposed for tests.
float TACFITNEW_POLY(float a, float s, float d);
float TACFITNEW_EVAL_Y(const TacFitWork& s, float t, const FitContext& ctx);
float TACFITNEW_EVAL_FONCT(const TacFitWork& s, const FitContext& ctx);
void TACFITNEW_PARAM_0(TacFitWork& s, const FitContext& ctx);
// Value of the plain reference spline at phase w in [0, 1].
float referenceSplineAt(const TacFitWork& s, float w);

// Method 3 pieces, exposed for tests.
void TACFITALT_EVAL_COEFF(TacFitWork& s, int a, int b, int c);
float TACFITALT_EVAL_POINT(const TacFitWork& s, float u);
float TACFITALT_EVAL_DERIV(const TacFitWork& s, float u);
float TACFITALT_EVAL_FONCT(const TacFitWork& s, const FitContext& ctx);
int TACFIT_VERIF_CURVE(const TacFitWork& s);
void TACFIT_SHIFT_PARAM(TacFitWork& s, const FitContext& ctx);

// Runs method TACFIT_switch (1..5) with its setting. Method 0 is refused unless developer is set
// (it throws std::invalid_argument), and leaves s.voc instead of s.out.
int fitSelectedMethod(int TACFIT_switch, const TacFitSettings& set, TacFitWork& s, const double* tacfit_arg,
                    const FitContext& ctx, bool developer);

// The method label shown with the results, with its setting, in the language LANGUE.
std::string tacfitMethodLabel(int TACFIT_switch, const TacFitSettings& set, int LANGUE);

// Developer trace: the 512 samples of the plain reference spline to folder/TAC.txt. The content
// depends on nothing measured. False when the file cannot be written.
bool writeReferenceSplineTrace(const TacFitWork& s, const std::filesystem::path& folder);

}  // namespace quorvel
