#pragma once
// The calling orders of the 3D model: building the preview, rebuilding it for a loaded exam,
// updating one ventricle and instant after a change, the preview sliders and uniform settings,
// the valve-plane adjustments, and the computation of the "3D" command.
#include "base/platform.h"
#include "base/trace_log.h"
#include "curves/tacfit.h"
#include "model3d/model3d_state.h"

namespace quorvel {

// Entering the pre-visualisation stage: BORD, then valve planes, apices, barycentres and
// skeletons of both ventricles at every instant, then the preview mesh.
void PREVISU_3D_BUILD(const ModelInputs& in, const Model3DSettings& set, Model3D& m);
// After loading an exam (labels, valve planes and apices from the file) or changing the preview
// sampling: the skeletons and the preview mesh (BORD only when there is none).
void PREVISU_3D_REBUILD(const ModelInputs& in, const Model3DSettings& set, Model3D& m);
// Ventricle v (1 left, 2 right) at instant i after a change: apex, barycentre, skeleton and the
// preview mesh of that ventricle and instant.
void PREVISU_3D_UPDATE(const ModelInputs& in, const Model3DSettings& set, Model3D& m, int v, int i);

// The preview sliders' positions that stand for 1.0.
inline constexpr int kCsSliderScale = 464, kCrSliderScale = 440;

// Slider "C/S" (apex-distance fraction, position / 464): clears the ventricle's preview flags and
// rebuilds instant i. Slider "Cr" (curvature, position / 440 for instant i): skeleton and preview.
void PREVIEW_SLIDER_CS(const ModelInputs& in, Model3DSettings& set, Model3D& m, int v, int i, int position);
void PREVIEW_SLIDER_CR(const ModelInputs& in, Model3DSettings& set, Model3D& m, int v, int i, int position);
// The current instant's curvature, or the apex-distance setting, applied to every instant of v.
void PREV_UNIFORM_APEX(const ModelInputs& in, Model3DSettings& set, Model3D& m, int v, int current);
void PREV_UNIFORM_CS(const ModelInputs& in, Model3DSettings& set, Model3D& m, int v);

// Valve plane of ventricle v at instant t: mode 1 shifts it by direction (+1 / -1) voxel along its
// normal, mode 0 tilts it about axis 0 or 1; then updates that ventricle and instant. A plane whose
// normal has no X component tilts about the Y axis (axis 0) and about normal x Y (axis 1).
void ADJUST_VALVES_PLANE(const ModelInputs& in, const Model3DSettings& set, Model3D& m, int v, int t, int mode,
                         int axis, int direction);
// The two tilt axes of a valve normal n, both perpendicular to n.
void valveTiltAxes(Vec3f n, Vec3f& axis0, Vec3f& axis1);

// The computation of the "3D" command: full mesh, regional analysis, triangulation and the
// bull's-eye outline with its labels shown, under one wait window. False when the user cancelled
// (the model is then incomplete and must not be shown).
bool COMPUTE_MODEL_3D(const ModelInputs& in, const Model3DSettings& set, int TACFIT_switch, TacFitSettings& fitSettings,
                      TacFitWork& fit, MapRanges& ranges, Model3D& m, Platform& platform, TraceLog* log,
                      int threads = 0);

}  // namespace quorvel
