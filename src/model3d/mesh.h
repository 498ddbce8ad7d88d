#pragma once
// Surface meshes of the ventricles: rays cast from the skeleton samples over cylindrical rings and
// a polar cap; the distance to the last ventricle voxel gives the surface, the counts met give the
// regional activity. Ventricles are 0 (left) and 1 (right) here.
#include "model3d/model3d_state.h"
#include "model3d/wait_window.h"

namespace quorvel {

// The five samplings the mesh options offer; anything else is taken as the default 48.
int meshSampling(int requested);
// Preview sampling: 12, 24 or 48, else 24.
int previewSampling(int requested);

// Full mesh of both ventricles and all instants: takes DEFAULT_sama and DEFAULT_samr, recomputes
// apex, barycentres and skeletons (not the valve planes) and the preview mesh, then rays, coarse
// grid, smoothing, surface points, area weights, activity in percent of its maximum and bounding
// boxes. The wait window advances once per ventricle and instant. Returns false when the user
// cancelled it (mesh_valid stays 0). threads 0 uses every core.
bool MAILLAGE_3D(const ModelInputs& in, const Model3DSettings& set, Model3D& m, WaitWindow* wait, int threads = 0);

// Area weights of every node; MESH_act gets the raw activity and, with Vpond 1, MESH_ACT is
// weighted by the area.
void EVAL_WEIGHTINGS(int Vpond, int Ninst, MeshModel& mesh);

// Triangles, their vertex positions and parametric-map values, then EVAL_NORMALES; closes the
// wait window. Must follow the regional analysis. Returns false when cancelled.
bool TRIANGULATION_3D(int Ninst, Model3D& m, WaitWindow* wait);
bool EVAL_NORMALES(int Ninst, MeshModel& mesh, WaitWindow* wait);

// Preview mesh (geometry only) of the ventricle and instant ranges (0-based ventricles), each
// followed by its triangles and normals; sets the instants' UPDT_instant flags.
void MAILLAGE_3D_PRE(const ModelInputs& in, const Model3DSettings& set, Model3D& m, int v0, int v1, int t0, int t1);
void TRIANGULATION_3D_PRE(MeshModel& mesh, int v, int t);
void EVAL_NORMALES_PRE(MeshModel& mesh, int v, int t);

// Circular weighted mean of three phases (percent of the cycle), in 0..100.
float _MEAN_VECT_(float p1, float w1, float p2, float w2, float p3, float w3);

// Unit vectors u (in the X-Z plane) and w = d x u perpendicular to the axis d: the angular origin
// of every ring.
void ringBasis(Vec3f d, Vec3f& u, Vec3f& w);

}  // namespace quorvel
