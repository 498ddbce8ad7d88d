#pragma once
// Regional curves of the mesh nodes fitted with the method of the global curves, the six
// parametric maps, their histograms, windowed statistics, palette ranges and result texts, and
// the fitted curve of a picked point.
#include <array>
#include <string>
#include <vector>

#include "base/trace_log.h"
#include "curves/tacfit.h"
#include "model3d/model3d_settings.h"
#include "model3d/model3d_state.h"
#include "model3d/wait_window.h"

namespace quorvel {

// Fits the regional curve of node (a, r) of ventricle v (0 left, 1 right), or with r = -1 of the
// first vertex of triangle a, with method TACFIT_switch; the common record fit.out holds the
// result (method 0 included). Sets set.TACFIT_ITER to TACFIT_ITvol first. courbe, when given,
// receives the Ninst measured values. False when the method failed numerically (fit.out is then
// zero).
bool EVAL_TACFIT_CURVE(const MeshModel& mesh, int Ninst, int TACFIT_switch, TacFitSettings& set, TacFitWork& fit,
                       const FitContext& ctx, int TACFIT_ITvol, bool developer, int v, int a, int r,
                       float* courbe = nullptr);

// The whole regional analysis of both ventricles (fits on `threads` threads, 0 = every core,
// with results that do not depend on the count), the bull's-eyes and sector means, then the
// statistics and palette ranges (written to both entries of ranges' fej_pmin ..). Uses method
// TACFIT_switch with set's settings; leaves set.TACFIT_ITER at TACFIT_ITvol. The wait window
// advances once per ring; false when the user cancelled.
bool CALCUL_3D(const ModelInputs& in, int TACFIT_switch, TacFitSettings& set, TacFitWork& fit, MapRanges& ranges,
               Model3D& m, WaitWindow* wait, TraceLog* log, int threads = 0);

// Mean and standard deviation of every map of both ventricles inside its window.
void UPDATE_MESH_MEANSTD(RegionalMaps& maps, TraceLog* log);
// Palette ranges of the six maps from both ventricles' statistics.
void EVAL_MESH_PALETTES(const RegionalMaps& maps, const StudyRecord& s, MapRanges& ranges);
// Result texts of map mesh_visu: [0] the right ventricle, [1] the left, each followed by where its
// valve planes came from and how many of its regional curves met no voxel of it.
std::array<std::string, 2> AFFICHAGE_RES_MESH(const Model3D& m, int mesh_visu, const StudyRecord& s, int LANGUE);
// Where the valve planes of ventricle v (0 left, 1 right) came from, its empty curves and, when
// there are some, the regional fits its method refused.
std::string MODEL_3D_NOTES(const Model3D& m, int v, int Ninst, int LANGUE);
// True when more than 1 % of ventricle v's fitted nodes have an empty regional curve.
bool tooManyEmptyCurves(const Model3D& m, int v);

// The picked-point curve as data for its 300 x 80 picture.
struct MeshCurve {
  bool valid = false;
  int scale = 1;                                       // vertical scale s
  std::array<float, kCurvePictureWidth> y{};           // fitted curve, pixels above the bottom
  std::vector<std::array<float, 2>> dots;              // measured instants: x, y in pixels
  int marker = 0;                                      // x of the time of the displayed map
  std::string caption;
};
// Fits and describes the curve of picked entry k (0 or 1); invalid with an empty caption when the
// entry holds no ventricle or no triangle of the full mesh.
MeshCurve EVAL_MESH_CURVE(const Model3D& m, int k, int mesh_visu, const ModelInputs& in, int TACFIT_switch,
                          TacFitSettings& set, TacFitWork& fit, bool developer);

// Histogram bin of a map value: its integer part, clamped into 0..100.
int histogramBin(float value);
// Scale factor of the rate maps: 100 over the first multiple of 5 not below the largest rate.
float meshRateCorrection(float largestRate);

}  // namespace quorvel
