#pragma once
// Per-study settings of every stage, reset for each new study by INIT_ACQ_PARAM.
// Default member values are the reset values, so a field added here is reset with the others.
#include <array>
#include <string>

#include "base/capacities.h"

namespace quorvel {

using InstantTable = std::array<int, kMaxInstants>;
template <typename T>
using VentricleTable = std::array<std::array<T, kMaxInstants>, kVentricleRows>;  // [v][t], v 1 = G, 2 = D

inline constexpr size_t kCommentSize = 8000;

struct WorkflowState {
  int IDB_loaded = 0;
  int fich_axis = 0;
  int stade_axis = 1;
  int SAVE_PATH = 0;
  int preview_run = 0;
  int segment_done = 0;
  int Previsu_OK = 0;
  int vidange_done = 0;
  int build_visu = 0;
  int depol_run = 0;
  int timer_base = 250;   // ms, cine
  int timer_base2 = 250;  // ms, depolarisation animation
  int SEG_sel = 1;
  int N_segsel = 0;
  int N_coupesel = 0;
  std::string comment, comment2;
  int CONTROL_KDOWN = 0, SHIFT_KDOWN = 0, SPACE_KDOWN = 0, V_KDOWN = 0, W_KDOWN = 0, F_KDOWN = 0, B_KDOWN = 0;
  int retouche_on = 0;
  int Paint_on = 0;
  int Paint_type = 0;
  int Paint_no = 0;
  int Paint_sz = 3;
  int segment_updt1 = 1;
  int segment_updt2 = 1;
  int UNDOseg_pos = 0;
  int UNDOseg_lev = 0;
  // Corrections by hand of the segmentation.
  int butt_down = 0;      // class the mouse or key action under way applies (0 none)
  int butt_down_tmp = 0;  // butt_down saved while a marking key is held
  int visu_contupdt = 0;  // slice-only modifier held: assignments change the clicked slice only
  int retouche_slice = 0;
  int Paint_reg = 0;      // label the brush writes
  int Paint_pending = 0;  // labels painted since the region statistics were last recounted
  int infu_button = 0;    // infundibulum button shown pressed; any change of the right ventricle turns it off
};

inline constexpr int kMaxValidationRecords = 100;

// One record per validated re-orientation step, so that a template can replay them.
struct ValidationRecords {
  int N_list = 0;
  int C_list = 0;
  int LIST_PROC = 0;
  std::array<int, kMaxValidationRecords> list_fich_axis{};
  std::array<float, kMaxValidationRecords> list_rotation{};
  std::array<float, kMaxValidationRecords> list_valve_angle{};
  std::array<int, kMaxValidationRecords> list_recad_x{}, list_recad_y{}, list_recad_t{};
};

struct ReorientSettings {
  int recad_x = 32;
  int recad_y = 32;
  int recad_t = 32;
  int recad_x0 = 32;
  int recad_y0 = 32;
  float rotation = 0;
  int coupesag = 31;
  int coupevla = 31;
  int valves_planaff = 1;
  float valves_angle = 0;
  int valves_plano_ = 32;
  int septum_plano = 32;
  int infand_plane = 0;
  ValidationRecords records;
};

struct SliceLimits {
  InstantTable limG_inf{}, limG_sup{}, limD_inf{}, limD_sup{};
};

struct CurveSettings {
  int TACFIT_switch = 1;
  // Two entries each: [0] left, [1] right ventricle.
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
  std::array<std::array<int, 8>, 3> Ntriangle{};

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

struct View3DSettings {
  int visu_no = 0;
  std::array<int, 4> visu_echelle{};
  std::array<int, 2> visu_plane{1, 1};
  std::array<int, 2> visu_type{};
  int visu_coord = 0, visu_coordz = 0, visu_coordv = 0;
  int visu_rendu = 1;
  int visu_nrand = 50;
  int visu_updt = 0;
  std::array<View3D, kViews3D> views = initialViews();

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

struct PerStudySettings {
  WorkflowState flow;
  ReorientSettings reorient;
  SliceLimits limits;
  CurveSettings curves;
  Model3DSettings model3d;
  View3DSettings view3d;
};

}  // namespace quorvel
