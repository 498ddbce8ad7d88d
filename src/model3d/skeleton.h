#pragma once
// The geometric frame of each ventricle and instant: the label volume BORD, the valve plane,
// the apex, the count-weighted barycentre of the cavity and the quadratic skeleton sampled at
// equal arc lengths. Ventricles are 1 (left) and 2 (right); ranges are inclusive.
#include "model3d/model3d_state.h"

namespace quorvel {

// Fills BORD for every instant (surface, interior and isolated-voxel rules) after the
// barycentres and whole-model extents (EVAL_BARYCENTRES mode 1).
void BUILD_VISU_3D1(const ModelInputs& in, SkeletonModel& sk);

// Valve voxels (marked v + 200 in BORD), plane centre and normal of each ventricle and instant.
// Without a usable valve voxel the plane is the validated valve-plane line (valves_plano_), centred
// on the ventricle's basal rows with its normal along the long axis; valve_source tells which.
// BORD must have been rebuilt since the last run: marked voxels are not found again.
void EVAL_VALVES_PLANES(const ModelInputs& in, SkeletonModel& sk, int v0, int v1, int t0, int t1);

// Apex: mean of the interior voxels beyond APEX_dismax of the largest distance from the valve
// centre, on the apex side; (0, 0, 0) when there is none.
void EVAL_SKEL_APEX(const ModelInputs& in, const Model3DSettings& set, SkeletonModel& sk, int v0, int v1, int t0,
                    int t1);

// Count-weighted barycentre of the slab between the valve plane and the apex plane; mode 1 also
// the whole-model extents over every instant.
void EVAL_BARYCENTRES(const ModelInputs& in, SkeletonModel& sk, int mode, int v0, int v1, int t0, int t1);

// Skeleton coefficients (parabola through valve centre, barycentre and apex blended with the
// straight axis by Apex_deriv), axial samples at equal arc lengths for mesh_samA rings, apex
// direction. A singular parabola fit falls back to the straight axis for that ventricle and instant.
void SKEL_DISCRETISE(const ModelInputs& in, const Model3DSettings& set, int mesh_samA, SkeletonModel& sk, int v0,
                     int v1, int t0, int t1);

// Re-centres the valve centre on the voxels of ventricle v within half a voxel of the plane
// through p (normal unchanged); leaves it when there is none.
void EVAL_ORIG_COORD(const ModelInputs& in, SkeletonModel& sk, int v, int i, Vec3f p);

// Skeleton point and unit tangent at parameter t (0 valve centre, 1 apex).
Vec3f EVAL_SKEL_COORD(const SkeletonModel& sk, float t, int v, int i);
Vec3f EVAL_SKEL_DERIV(const SkeletonModel& sk, float t, int v, int i);

// Number of cylindrical rings (and of skeleton intervals) for samA rings: at least 1, and at
// most samA - 2 so that the polar cap keeps two rings.
int cylindricalRings(int samA, float APEX_dismax);

// The class a voxel takes in BORD before the surface rules (0, 1, 2 or 3): CORR of its label,
// the threshold rule when equilibrium is off, the slice-limit rule, and the frozen AFFECT class
// on a locked slice or instant when locks is set.
int bordClass(const ModelInputs& in, int t, int z, size_t voxel, bool locks);

}  // namespace quorvel
