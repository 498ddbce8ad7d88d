#pragma once
// Per-study settings of the 3D stages: skeleton and mesh choices, the display windows of the
// parametric maps and the 3D views. Default member values are the reset values of a new study.
#include <array>

#include "base/capacities.h"
#include "base/options.h"
#include "study/per_study_settings.h"

namespace quorvel {

// Display window of each parametric map, in percent; [0] left, [1] right ventricle.
struct MapRanges {
  std::array<float, 2> fej_pmin{}, per_pmin{}, pfr_pmin{}, tej_pmin{}, tper_pmin{}, tpfr_pmin{};
  std::array<float, 2> fej_pmax{100, 100}, per_pmax{100, 100}, pfr_pmax{100, 100}, tej_pmax{100, 100},
      tper_pmax{100, 100}, tpfr_pmax{100, 100};
};

struct Model3DSettings {
  std::array<InstantTable, 2> Plan_Pond{};
  VentricleTable<float> APEX_dismax = filled(0.8f);
  VentricleTable<float> Apex_deriv = filled(1.0f);
  std::array<int, kVentricleRows> SKEL_OK{};
  int mesh_curve = 1, mesh_param = 1, mesh_double = 1, mesh_sect_grad = 1;
  int mesh_Hsect = 0, mesh_visu = 0, visu_activ = 0, rendu3D = 0;
  std::array<std::array<int, kMaxInstants>, 3> Ntriangle{};  // triangles of the exam's surface lists

 private:
  static VentricleTable<float> filled(float v) {
    VentricleTable<float> t{};
    for (int r = 1; r < kVentricleRows; ++r) t[r].fill(v);
    return t;
  }
};

struct View3D {
  std::array<float, 3> axis1{-1, 0, 0}, axis2{0, -1, 0}, axis3{0, 0, 1};
  int visu_view = 1;
  int visu_Pvue = 1;
  int visu_scale = 133;
  int visu_center = 1;
  int visu_skel = 1;
  int visu_axes = 0;
  int mesh_vent = 0;
};

inline constexpr float kPlaneRadiusDefault = 12, kPlaneRadiusMin = 4, kPlaneRadiusMax = 40;

struct View3DSettings {
  int visu_no = 0;  // ventricles the preview shows: 0 the left, 1 the right, 2 both
  std::array<int, 4> visu_echelle{};
  std::array<int, 2> visu_plane{1, 1};
  std::array<int, 2> visu_type{};
  int visu_coord = 0, visu_coordz = 0, visu_coordv = 0;
  int visu_rendu = 1;
  int visu_nrand = 50;
  int visu_updt = 0;
  std::array<View3D, kViews3D> views = initialViews();
  // The preview's own display choices, kept for the session only (not in the exam file).
  int showAtria = 0;
  float planeRadius = kPlaneRadiusDefault;  // valve-plane ring, voxels
  int secondFrameVentricles = 2;            // as visu_no, for the second frame when not synchronised

 private:
  static std::array<View3D, kViews3D> initialViews() {
    std::array<View3D, kViews3D> v{};
    for (int i = 0; i < 2; ++i) {
      v[i].axis1 = {1, 0, 0};
      v[i].axis2 = {0, 1, 0};
      v[i].visu_scale = 100;
    }
    return v;
  }
};

struct Model3DStudySettings {
  Model3DSettings model3d;
  View3DSettings view3d;
  MapRanges ranges;
};

// The reset of a new study; the view kinds and coordinates come from their options.
void resetModel3DSettings(Model3DStudySettings& s, const Options& opt);

}  // namespace quorvel
